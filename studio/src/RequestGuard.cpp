#include "RequestGuard.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace orvate::studio {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsControl(unsigned char b) { return b < 0x20 || b == 0x7f; }

// One segment between raw slashes, percent-decoded; nothing when it could escape or
// smuggle a separator.
std::optional<std::string> DecodeSegment(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(raw[i]);
    if (b == '%') {
      if (i + 2 >= raw.size()) return std::nullopt;
      const int hi = HexValue(raw[i + 1]), lo = HexValue(raw[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      b = static_cast<unsigned char>(hi * 16 + lo);
      if (b == '/') return std::nullopt;
      i += 2;
    }
    if (b == '\\' || IsControl(b)) return std::nullopt;
    out.push_back(static_cast<char>(b));
  }
  // Covers "." and "..", and keeps hidden files (.git, .env) out of reach.
  if (out.empty() || out[0] == '.') return std::nullopt;
  return out;
}

}  // namespace

bool IsAllowedHost(std::string_view host, int port) {
  const std::string portText = std::to_string(port);
  for (const std::string_view name : {std::string_view("127.0.0.1"), std::string_view("localhost")}) {
    if (host.size() == name.size() + 1 + portText.size() && host.substr(0, name.size()) == name &&
        host[name.size()] == ':' && host.substr(name.size() + 1) == portText) {
      return true;
    }
  }
  return false;
}

bool IsAllowedOrigin(std::string_view origin, int port) {
  constexpr std::string_view kScheme = "http://";
  return origin.substr(0, kScheme.size()) == kScheme && IsAllowedHost(origin.substr(kScheme.size()), port);
}

std::optional<std::string> PagePathFromTarget(std::string_view target) {
  if (const auto query = target.find('?'); query != std::string_view::npos) {
    target = target.substr(0, query);
  }
  if (target.empty() || target[0] != '/') return std::nullopt;
  if (target == "/") return std::string("index.html");
  std::string relative;
  std::size_t start = 1;
  for (;;) {
    const std::size_t slash = target.find('/', start);
    const std::string_view raw =
        target.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    const auto segment = DecodeSegment(raw);
    if (!segment) return std::nullopt;
    if (!relative.empty()) relative.push_back('/');
    relative += *segment;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return relative;
}

std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& realRoot,
                                                      const std::string& relative) {
  if (relative.empty() || relative[0] == '/' || relative.find('\0') != std::string::npos) return std::nullopt;
  std::string prefix = realRoot.string();
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  const std::string joined = prefix + relative;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(joined.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  const std::string real = resolved.get();
  // The separator matters: /srv/page-evil is not inside /srv/page.
  if (real.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return std::filesystem::path(real);
}

}  // namespace orvate::studio
