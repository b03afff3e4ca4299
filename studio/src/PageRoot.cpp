#include "PageRoot.h"

#include <system_error>

namespace orvate::studio {

namespace fs = std::filesystem;

namespace {

bool HoldsIndex(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "index.html", ec);
}

}  // namespace

std::vector<fs::path> PageRootCandidates(const fs::path& exeDir, const fs::path& compiledDir) {
  std::vector<fs::path> candidates;
  if (!exeDir.empty()) {
    candidates.push_back(exeDir / ".." / "share" / "orvate" / "studio");
    candidates.push_back(exeDir / "studio-page");
  }
  if (!compiledDir.empty()) candidates.push_back(compiledDir);
  return candidates;
}

PageRootResult FindPageRoot(const std::string& explicitRoot, const std::vector<fs::path>& candidates) {
  PageRootResult result;
  std::error_code ec;
  if (!explicitRoot.empty()) {
    if (!HoldsIndex(explicitRoot)) {
      result.error = "no index.html in " + explicitRoot + " (given with --root)";
      return result;
    }
    result.root = fs::canonical(explicitRoot, ec);
    if (ec) result.error = "cannot resolve " + explicitRoot + ": " + ec.message();
    return result;
  }
  for (const fs::path& dir : candidates) {
    if (!HoldsIndex(dir)) continue;
    result.root = fs::canonical(dir, ec);
    if (!ec) return result;
    result.root.clear();
  }
  result.error = "the studio page was not found (no index.html in";
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    result.error += (i == 0 ? " " : ", ") + candidates[i].lexically_normal().string();
  }
  result.error += "); build it or give its directory with --root DIR";
  return result;
}

fs::path ExecutableDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

}  // namespace orvate::studio
