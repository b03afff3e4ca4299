// Every input the fuzzer once broke the program with, and every seed of its corpus, replayed
// through the fuzzer's own checks: the written module and event log must match the song.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/ScoreOracle.h"

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.is_regular_file()) files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ReplayAll(const std::string& dir) {
  const std::vector<std::string> files = FilesIn(dir);
  ASSERT_FALSE(files.empty()) << dir;
  for (const std::string& file : files) {
    std::string score;
    ASSERT_TRUE(orvate::fuzz::ReadAll(file, score)) << file;
    EXPECT_EQ(orvate::fuzz::CompileAndCheck(score), "") << file;
  }
}

}  // namespace

TEST(FuzzReplay, Regressions) { ReplayAll(ORVATE_SOURCE_DIR "/fuzz/regressions"); }

TEST(FuzzReplay, CorpusSeeds) { ReplayAll(ORVATE_SOURCE_DIR "/fuzz/corpus"); }
