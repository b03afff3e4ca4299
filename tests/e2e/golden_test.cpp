// Every folder under tests/e2e/cases is one run of the built program:
//   args          the arguments, one per line (default: score.mml)
//   stdout        the exact bytes it must print
//   stderr        the exact bytes it must print on standard error (default: nothing)
//   exit          its exit code (default 0)
//   expect/NAME   files that must exist afterwards with exactly these bytes
//   absent        names, one per line, that must not exist afterwards
// Everything else in the folder (the score, instruments) is copied into a fresh directory first.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace orvate::testsupport;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

std::vector<fs::path> Cases(bool withArguments = false) {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(fs::path(ORVATE_SOURCE_DIR) / "tests/e2e/cases"))
    if (entry.is_directory() &&
        !(withArguments && fs::exists(entry.path() / "args") && Lines(ReadFile((entry.path() / "args").string())).empty()))
      cases.push_back(entry.path());
  std::sort(cases.begin(), cases.end());
  return cases;
}

}  // namespace

// Copies a case's inputs (everything but the recordings) into work.
void CopyInputs(const fs::path& dir, const TempDir& work) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "args" || name == "stdout" || name == "stderr" || name == "exit" || name == "expect" ||
        name == "absent")
      continue;
    fs::copy(entry.path(), fs::path(work.path()) / name, fs::copy_options::recursive);
  }
}

std::vector<std::string> Arguments(const fs::path& dir) {
  if (!fs::exists(dir / "args")) return {"score.mml"};
  return Lines(ReadFile((dir / "args").string()));
}

// Standard output, exit code and the files of expect/ as recorded.
void ExpectRecorded(const fs::path& dir, const TempDir& work, const RunResult& run) {
  EXPECT_EQ(run.out, ReadFile((dir / "stdout").string()));
  const int exitCode = fs::exists(dir / "exit") ? std::stoi(ReadFile((dir / "exit").string())) : 0;
  EXPECT_EQ(run.exitCode, exitCode);
  if (!fs::exists(dir / "expect")) return;
  for (const auto& entry : fs::directory_iterator(dir / "expect")) {
    const std::string produced = work / entry.path().filename().string();
    ASSERT_TRUE(Exists(produced)) << entry.path().filename();
    EXPECT_TRUE(ReadFile(produced) == ReadFile(entry.path().string())) << entry.path().filename() << " differs";
  }
}

class Golden : public ::testing::TestWithParam<fs::path> {};

TEST_P(Golden, OutputsMatchByteForByte) {
  const fs::path dir = GetParam();
  TempDir work;
  CopyInputs(dir, work);
  const RunResult run = RunOrvatek(work.path(), Arguments(dir));
  ExpectRecorded(dir, work, run);
  EXPECT_EQ(run.err, fs::exists(dir / "stderr") ? ReadFile((dir / "stderr").string()) : std::string());
  if (fs::exists(dir / "absent")) {
    for (const std::string& name : Lines(ReadFile((dir / "absent").string())))
      EXPECT_FALSE(Exists(work / name)) << name;
  }
}

// Asking for a map and warnings changes nothing that the run prints or writes otherwise
// (every case but the one run without any argument).
class GoldenWithFlags : public ::testing::TestWithParam<fs::path> {};

TEST_P(GoldenWithFlags, MapAndWarningsChangeNothingElse) {
  const fs::path dir = GetParam();
  std::vector<std::string> args = Arguments(dir);
  ASSERT_FALSE(args.empty());
  TempDir work;
  CopyInputs(dir, work);
  args.push_back("-warn");
  args.push_back("/map");
  ExpectRecorded(dir, work, RunOrvatek(work.path(), args));
}

std::string CaseName(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.filename().string();
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(Cases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Cases, GoldenWithFlags, ::testing::ValuesIn(Cases(true)), CaseName);
