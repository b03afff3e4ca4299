#include "StudioToken.h"

#include <sys/random.h>

#include <cerrno>
#include <random>
#include <stdexcept>

namespace orvate::studio {

std::string MakeToken() {
  unsigned char raw[16];
  std::size_t got = 0;
  while (got < sizeof raw) {
    const ssize_t n = ::getrandom(raw + got, sizeof raw - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < sizeof raw) {
    std::random_device device;  // reads /dev/urandom on Linux
    for (unsigned char& b : raw) b = static_cast<unsigned char>(device());
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char b : raw) {
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 15]);
  }
  return token;
}

bool TokensEqual(std::string_view expected, std::string_view given) {
  if (expected.empty() || expected.size() != given.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    diff |= static_cast<unsigned char>(expected[i] ^ given[i]);
  }
  return diff == 0;
}

}  // namespace orvate::studio
