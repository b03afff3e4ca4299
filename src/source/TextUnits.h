#pragma once
// The one rule for how many bytes make one character of a score or a path.
// Everything that steps over text (scanner, path splitting, column counting)
// asks here, so cp932 and UTF-8 scores share every lexical rule.
#include <cstddef>
#include <string>
#include <string_view>

namespace orvate {

enum class TextEncoding { Cp932, Utf8 };

// A byte that starts a character of more than one byte.
inline bool IsLeadByte(unsigned char b, TextEncoding enc) {
  if (enc == TextEncoding::Cp932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0xC0 && b <= 0xF7;
}

// Bytes taken by the character at pos (pos < text.size()), never past the end:
// a lead byte with too few bytes behind it is one unit that ends the text.
inline std::size_t UnitLength(std::string_view text, std::size_t pos, TextEncoding enc) {
  const unsigned char b = static_cast<unsigned char>(text[pos]);
  std::size_t n = 1;
  if (IsLeadByte(b, enc)) {
    if (enc == TextEncoding::Cp932) n = 2;
    else n = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
  }
  const std::size_t left = text.size() - pos;
  return n < left ? n : left;
}

// True when the bytes are valid UTF-8 and hold at least one multi-byte sequence.
bool LooksLikeUtf8(std::string_view text);

// The encoding of a name given outside a score (command-line paths).
inline TextEncoding GuessEncoding(std::string_view text) {
  return LooksLikeUtf8(text) ? TextEncoding::Utf8 : TextEncoding::Cp932;
}

}  // namespace orvate
