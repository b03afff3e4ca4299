#include "TextCodec.h"

#include <iconv.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orvate::studio {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

std::string ToUtf8(std::uint32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

// Runs all of in through cd; nothing when iconv refuses any of it.
std::optional<std::string> Convert(iconv_t cd, std::string_view in) {
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string source(in);
  char* inPtr = source.data();
  std::size_t inLeft = source.size();
  char buf[16];
  char* outPtr = buf;
  std::size_t outLeft = sizeof buf;
  if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
    return std::nullopt;
  }
  if (::iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  return std::string(buf, static_cast<std::size_t>(outPtr - buf));
}

std::uint32_t FirstCodePoint(std::string_view utf8) {
  const auto b = static_cast<unsigned char>(utf8[0]);
  const std::size_t n = utf8.size();
  if (b < 0x80 || n < 2) return b;
  const auto c = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(utf8[i]) & 0x3F); };
  if (b < 0xE0) return ((b & 0x1Fu) << 6) | c(1);
  if (b < 0xF0 || n < 4) return n < 3 ? kNone : ((b & 0x0Fu) << 12) | (c(1) << 6) | c(2);
  return ((b & 0x07u) << 18) | (c(1) << 12) | (c(2) << 6) | c(3);
}

// Every cp932 character, decoded once: index b for one byte, lead*256+trail for two.
const std::vector<std::uint32_t>& DecodeTable() {
  static const std::vector<std::uint32_t> table = [] {
    std::vector<std::uint32_t> t(65536, kNone);
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;
    const auto fill = [&](std::size_t index, std::string_view bytes) {
      const auto utf8 = Convert(cd, bytes);
      if (utf8 && !utf8->empty() && Utf8CharLength(*utf8) == utf8->size()) t[index] = FirstCodePoint(*utf8);
    };
    for (unsigned b = 0; b < 256; ++b) {
      if (IsLead(static_cast<unsigned char>(b))) continue;
      const char one = static_cast<char>(b);
      fill(b, std::string_view(&one, 1));
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLead(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (!IsTrail(static_cast<unsigned char>(trail))) continue;
        const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        fill(lead * 256 + trail, std::string_view(two, 2));
      }
    }
    ::iconv_close(cd);
    return t;
  }();
  return table;
}

}  // namespace

std::size_t Utf8CharLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b = static_cast<unsigned char>(text[0]);
  const std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
  return n <= text.size() ? n : 1;
}

std::size_t Cp932CharLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  return IsLead(static_cast<unsigned char>(bytes[0])) && bytes.size() >= 2 &&
                 IsTrail(static_cast<unsigned char>(bytes[1]))
             ? 2
             : 1;
}

std::optional<std::string> DecodeCp932Char(std::string_view bytes) {
  std::size_t index = 0;
  if (bytes.size() == 1 && !IsLead(static_cast<unsigned char>(bytes[0]))) {
    index = static_cast<unsigned char>(bytes[0]);
  } else if (bytes.size() == 2 && Cp932CharLength(bytes) == 2) {
    index = static_cast<unsigned char>(bytes[0]) * 256u + static_cast<unsigned char>(bytes[1]);
  } else {
    return std::nullopt;
  }
  const std::uint32_t cp = DecodeTable()[index];
  if (cp == kNone) return std::nullopt;
  return ToUtf8(cp);
}

std::optional<std::string> EncodeCp932Char(std::string_view utf8) {
  // Plain ASCII is the same in cp932 (glibc maps 0x5C and 0x7E to themselves).
  if (utf8.size() == 1 && static_cast<unsigned char>(utf8[0]) < 0x80) return std::string(utf8);
  static std::mutex mutex;
  static std::unordered_map<std::string, std::optional<std::string>> cache;
  static iconv_t cd = ::iconv_open("CP932", "UTF-8");
  std::lock_guard<std::mutex> lock(mutex);
  if (const auto hit = cache.find(std::string(utf8)); hit != cache.end()) return hit->second;
  std::optional<std::string> bytes;
  if (cd != reinterpret_cast<iconv_t>(-1)) bytes = Convert(cd, utf8);
  if (bytes && bytes->empty()) bytes.reset();
  cache.emplace(std::string(utf8), bytes);
  return bytes;
}

}  // namespace orvate::studio
