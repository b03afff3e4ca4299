#pragma once
// The system's own texts and a score's bytes, in UTF-8.
#include <string>
#include <string_view>

#include "source/TextUnits.h"

namespace orvate {

// The system's cp932 texts in UTF-8; a byte outside them becomes U+FFFD.
std::string SystemTextToUtf8(std::string_view cp932);
// Bytes of a score (in its encoding) or of a command line, in UTF-8; invalid bytes become U+FFFD.
std::string BytesToUtf8(std::string_view bytes, TextEncoding enc);

}  // namespace orvate
