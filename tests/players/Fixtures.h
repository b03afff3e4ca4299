#pragma once
// Instrument files and score discovery shared by the player tests.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/XiWriter.h"

namespace orvate::players {

// A directory with the instruments the scores of these tests name:
//   square.xi  one looped 8-bit square wave at full volume
//   odd.xi     the same under a name with a tab, a byte above 0x7E and trailing blanks
//   short.xi   too short to hold an XI header, so it is imported as the placeholder
class InstrumentDir {
 public:
  InstrumentDir() {
    testsupport::WriteFile(dir_ / "square.xi", Square("Square").Bytes());
    testsupport::WriteFile(dir_ / "odd.xi", Square("Odd\tname\xb1 x  ").Bytes());
    testsupport::WriteFile(dir_ / "short.xi", "short");
  }
  // The base directory to compile the scores with.
  std::string base() const { return dir_.path() + "/"; }

 private:
  static testsupport::XiInstrument Square(const std::string& name) {
    testsupport::XiInstrument xi;
    xi.name = name;
    xi.samples.push_back(testsupport::XiSample::Of(name, testsupport::wave::Square(64, 32, 100),
                                                   false, testsupport::kForwardLoop, 0, 64));
    return xi;
  }
  testsupport::TempDir dir_;
};

inline std::filesystem::path SourceDir() { return ORVATE_SOURCE_DIR; }

// examples/*.mml, sorted.
inline std::vector<std::filesystem::path> ExampleScores() {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(SourceDir() / "examples", ec))
    if (entry.is_regular_file() && entry.path().extension() == ".mml") found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

struct GoldenCase {
  std::filesystem::path dir;
  std::string input;  // the score, relative to dir
};

// The input named by a case's args file: its first argument that is not an option ("-x", or
// "/x" without a further "/"); score.mml when there is no args file.
inline std::string CaseInput(const std::filesystem::path& dir) {
  std::ifstream args(dir / "args");
  if (!args) return "score.mml";
  std::string arg;
  while (std::getline(args, arg)) {
    const bool option = arg.empty() || arg[0] == '-' ||
                        (arg[0] == '/' && arg.find('/', 1) == std::string::npos);
    if (!option) return arg;
  }
  return "";
}

// The end-to-end cases whose recorded outputs (expect/) hold an XM module, sorted.
inline std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(SourceDir() / "tests/e2e/cases", ec)) {
    bool module = false;
    for (const auto& out : std::filesystem::directory_iterator(entry.path() / "expect", ec))
      module = module || (out.path().extension() == ".xm" &&
                          testsupport::ReadFile(out.path().string()).rfind("Extended Module: ", 0) == 0);
    if (module) found.push_back({entry.path(), CaseInput(entry.path())});
  }
  std::sort(found.begin(), found.end(),
            [](const GoldenCase& a, const GoldenCase& b) { return a.dir < b.dir; });
  return found;
}

}  // namespace orvate::players
