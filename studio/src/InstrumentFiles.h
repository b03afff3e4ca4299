#pragma once
// Instrument files for the page, found the way the command line finds `#instrument "NAME"`
// with `#instlib "DIR"`, with the score's directory standing in for the working directory.
#include <filesystem>
#include <optional>
#include <string>

namespace orvate::studio {

// Larger files are not served.
inline constexpr std::size_t kMaxInstrumentBytes = std::size_t(16) << 20;

struct ResolvedInstrument {
  std::filesystem::path path;  // canonical
  std::string shown;           // relative to the score's directory, or to the library
};

// Tries NAME under scoreDir, then scoreDir + NAME's bare file name, then instlib + the bare
// name (instlib taken from scoreDir when relative; "\" reads as "/"). The first regular file
// found is the answer, provided that, links followed, it lies inside scoreDir or inside instlib.
// scoreDir must be canonical.
std::optional<ResolvedInstrument> ResolveInstrument(const std::filesystem::path& scoreDir, const std::string& name,
                                                    const std::string& instlib);

}  // namespace orvate::studio
