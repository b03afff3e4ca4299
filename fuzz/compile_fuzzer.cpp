// Arbitrary bytes as a score, through the whole pipeline: compile, XM file, event log.
// Besides the sanitizers' reports, any mismatch between what was written and the song is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ScoreOracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string problem =
      orvate::fuzz::CompileAndCheck(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
