// The compile call as the browser runs it: the demo score compiled 50 times with its instruments
// held in memory, built to WebAssembly and run under Node (scripts/bench-wasm.sh).
//   wasm_bench.js DIR      DIR holds demo.mml and the .xi files (mounted by the script)
// Prints the median and the fastest time of one CompileScore call, and the module's size.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/CompileCall.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? std::string(argv[1]) + "/" : std::string("examples/");
  const std::string score = ReadFile(dir + "demo.mml");
  if (score.empty()) {
    std::fprintf(stderr, "no score at %sdemo.mml\n", dir.c_str());
    return 1;
  }
  orvate::TMemoryFiles files;
  for (const char* name : {"lead.xi", "pad.xi", "bass.xi", "drums.xi"}) files.Add(name, ReadFile(dir + name));

  orvate::TCompileRequest request;
  request.Score = score;
  request.Files = &files;
  constexpr int kRuns = 50;
  std::vector<double> ms;
  std::size_t moduleBytes = 0;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const orvate::TCompileOutcome out = orvate::CompileScore(request);
    const auto t1 = std::chrono::steady_clock::now();
    if (!out.Result.Success) {
      std::fprintf(stderr, "the demo score did not compile\n");
      return 1;
    }
    moduleBytes = out.Module.size();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  const double median = (ms[kRuns / 2 - 1] + ms[kRuns / 2]) / 2;
  std::printf("demo score, %d compiles: median %.3f ms, fastest %.3f ms, module %zu bytes\n", kRuns, median, ms[0],
              moduleBytes);
  return 0;
}
