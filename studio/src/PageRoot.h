#pragma once
// Where the built studio page is.
#include <filesystem>
#include <string>
#include <vector>

namespace orvate::studio {

// The places tried when no --root is given, in order: an installed layout beside the
// program, a copy next to it, and the directory the build was configured with.
std::vector<std::filesystem::path> PageRootCandidates(const std::filesystem::path& exeDir,
                                                      const std::filesystem::path& compiledDir);

struct PageRootResult {
  std::filesystem::path root;  // canonical; empty on failure
  std::string error;           // one line, when root is empty
};

// explicitRoot (from --root) wins when given; otherwise the first candidate holding
// an index.html.
PageRootResult FindPageRoot(const std::string& explicitRoot,
                            const std::vector<std::filesystem::path>& candidates);

// The directory of the running program, or empty when it cannot be told.
std::filesystem::path ExecutableDir();

}  // namespace orvate::studio
