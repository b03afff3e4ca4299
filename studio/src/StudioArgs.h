#pragma once
// The command line of orvatek-studio.
#include <string>
#include <vector>

namespace orvate::studio {

inline constexpr int kDefaultPort = 8932;

struct StudioOptions {
  int port = kDefaultPort;
  std::string root;   // empty: look for the page
  std::string score;  // empty: no score
  bool help = false;
};

struct ArgsResult {
  bool ok = false;
  StudioOptions options;
  std::string error;  // one line, when !ok
};

// args are the arguments after the program name.
ArgsResult ParseStudioArgs(const std::vector<std::string>& args);

std::string StudioUsage();

}  // namespace orvate::studio
