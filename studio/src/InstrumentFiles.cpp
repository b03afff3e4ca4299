#include "InstrumentFiles.h"

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace orvate::studio {

namespace {

std::string Slashes(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

// base + "/" + relative, or relative itself when it is absolute.
std::string Join(const std::string& base, const std::string& relative) {
  if (!relative.empty() && relative[0] == '/') return relative;
  return base + (base.empty() || base.back() == '/' ? "" : "/") + relative;
}

// The rest of path below dir, when path lies inside dir.
std::optional<std::string> Below(const std::string& dir, const std::string& path) {
  const std::string prefix = dir.empty() || dir.back() != '/' ? dir + "/" : dir;
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return std::nullopt;
  return path.substr(prefix.size());
}

}  // namespace

std::optional<ResolvedInstrument> ResolveInstrument(const std::filesystem::path& scoreDir, const std::string& nameIn,
                                                    const std::string& instlibIn) {
  const std::string name = Slashes(nameIn);
  const std::string instlib = Slashes(instlibIn);
  if (name.empty() || name.find('\0') != std::string::npos || instlib.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  const std::string dir = scoreDir.string();
  const std::string bare = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
  std::optional<std::string> library;
  if (!instlib.empty()) library = RealPath(Join(dir, instlib));

  std::vector<std::string> candidates = {Join(dir, name)};
  if (!bare.empty()) {
    candidates.push_back(Join(dir, bare));
    if (library) candidates.push_back(Join(*library, bare));
  }
  for (const std::string& candidate : candidates) {
    const auto real = RealPath(candidate);
    if (!real) continue;
    struct stat st {};
    if (::stat(real->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    auto shown = Below(dir, *real);
    if (!shown && library) shown = Below(*library, *real);
    // The first file found is the one the command line would read: outside both trees, none is.
    if (!shown) return std::nullopt;
    return ResolvedInstrument{*real, *shown};
  }
  return std::nullopt;
}

}  // namespace orvate::studio
