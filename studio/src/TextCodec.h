#pragma once
// cp932 through glibc's iconv, one character at a time.
#include <optional>
#include <string>
#include <string_view>

namespace orvate::studio {

// How many bytes the cp932 character starting at bytes[0] takes by its shape (1 or 2);
// 0 when bytes is empty.
std::size_t Cp932CharLength(std::string_view bytes);

// One cp932 character (1 or 2 bytes) as UTF-8; nothing when it does not decode.
std::optional<std::string> DecodeCp932Char(std::string_view bytes);

// One UTF-8 character as cp932; nothing when cp932 has no such character.
std::optional<std::string> EncodeCp932Char(std::string_view utf8);

// The length of the UTF-8 sequence starting at text[0] (valid input assumed; 1 for a stray byte).
std::size_t Utf8CharLength(std::string_view text);

}  // namespace orvate::studio
