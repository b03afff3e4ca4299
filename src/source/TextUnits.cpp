#include "source/TextUnits.h"

#include <cstdint>
#include <cstring>

namespace orvate {

bool LooksLikeUtf8(std::string_view text) {
  bool multi = false;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    // Runs of ASCII are the bulk of a score: step over 8 bytes at a time.
    while (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if (word & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= n) break;
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) { ++i; continue; }
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) len = 2;
    else if (b == 0xE0) { len = 3; lo = 0xA0; }
    else if (b >= 0xE1 && b <= 0xEC) len = 3;
    else if (b == 0xED) { len = 3; hi = 0x9F; }
    else if (b >= 0xEE && b <= 0xEF) len = 3;
    else if (b == 0xF0) { len = 4; lo = 0x90; }
    else if (b >= 0xF1 && b <= 0xF3) len = 4;
    else if (b == 0xF4) { len = 4; hi = 0x8F; }
    else return false;
    if (n - i < len) return false;
    const unsigned char b1 = static_cast<unsigned char>(text[i + 1]);
    if (b1 < lo || b1 > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if (c < 0x80 || c > 0xBF) return false;
    }
    multi = true;
    i += len;
  }
  return multi;
}

}  // namespace orvate
