// Every example module makes sound when libopenmpt plays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "ModuleViews.h"
#include "support/CompileHelper.h"

namespace orvate::players {
namespace {

using testsupport::CompileScore;
using testsupport::ReadFile;

constexpr int32_t kRate = 44100;
constexpr double kCapSeconds = 60.0;

// Silence renders as exact zeros. One looped square voice of amplitude 100/128 measures about
// 0.14 RMS at full volume, 0.018 at volume 8 of 64 and 0.002 at volume 1 of 64 (the test below
// pins the first two). 1e-3 (-60 dBFS) lies under the quietest volume a note can have, and far
// above anything that rounding could leave.
constexpr double kAudibleRms = 1e-3;

// RMS over both channels of what libopenmpt plays, until the song ends or kCapSeconds; -1 when
// the module does not load.
double RenderRms(const std::string& xm) {
  const OpenMptModule m(xm);
  if (m.get() == nullptr) return -1;
  std::vector<float> left(4096), right(4096);
  const auto cap = static_cast<std::size_t>(kCapSeconds * kRate);
  std::size_t frames = 0;
  double sum = 0;
  while (frames < cap) {
    const std::size_t n = openmpt_module_read_float_stereo(
        m.get(), kRate, std::min(left.size(), cap - frames), left.data(), right.data());
    if (n == 0) break;
    for (std::size_t i = 0; i < n; ++i) sum += double{left[i]} * left[i] + double{right[i]} * right[i];
    frames += n;
  }
  return frames == 0 ? 0.0 : std::sqrt(sum / (2.0 * static_cast<double>(frames)));
}

TEST(PlayerRender, ExamplesAreNotSilent) {
  const auto scores = ExampleScores();
  ASSERT_FALSE(scores.empty()) << "examples/ holds no .mml score";
  for (const auto& path : scores) {
    SCOPED_TRACE(path.filename().string());
    testsupport::Compiled c = CompileScore(ReadFile(path.string()), path.parent_path().string() + "/");
    ASSERT_TRUE(c.result.Success) << c.result.Msg;
    EXPECT_GT(RenderRms(c.xm), kAudibleRms);
  }
}

TEST(PlayerRender, ThresholdSeparatesSoundFromSilence) {
  const InstrumentDir instruments;
  struct Case {
    const char* score;
    double minRms;
    double maxRms;
  };
  const Case kCases[] = {
      {"#instrument \"square.xi\"\n#setorder 0\nl4 c d e f\n", 0.05, 1.0},
      {"#instrument \"square.xi\"\n#setorder 0\nv 8 l4 c d e f\n", 2 * kAudibleRms, 0.05},
      // The same notes on the placeholder instrument, which has no sample.
      {"#instrument \"short.xi\"\n#setorder 0\nl4 c d e f\n", 0.0, 0.0},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.score);
    testsupport::Compiled c = CompileScore(k.score, instruments.base());
    ASSERT_TRUE(c.result.Success) << c.result.Msg;
    const double rms = RenderRms(c.xm);
    EXPECT_GE(rms, k.minRms);
    EXPECT_LE(rms, k.maxRms);
  }
}

}  // namespace
}  // namespace orvate::players
