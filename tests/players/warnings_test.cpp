// The warnings name exactly the layouts the players read otherwise than the score means: each
// quirk score gets its warning and shows the quirk in a real player, and the examples get none
// and play in both libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "Fixtures.h"
#include "ModuleViews.h"
#include "compiler/CompileCall.h"
#include "support/CompileHelper.h"

namespace orvate::players {
namespace {

using testsupport::ReadFile;

struct Warned {
  TCompileOutcome outcome;
  std::set<std::string> codes;
};

Warned CompileWithWarnings(const std::string& score, const std::string& baseDir) {
  TCompileRequest request;
  request.Score = score;
  request.BaseDir = baseDir;
  request.WantWarnings = true;
  Warned w{CompileScore(request), {}};
  for (const TWarning& warning : w.outcome.Warnings) w.codes.insert(warning.Code);
  return w;
}

// libxmp plays a few seconds of the module; false when a frame does not come back or it refuses.
bool XmpPlays(const std::string& xm) {
  xmp_context ctx = xmp_create_context();
  bool ok = xmp_load_module_from_memory(ctx, xm.data(), static_cast<long>(xm.size())) == 0;
  if (ok) {
    ok = xmp_start_player(ctx, 44100, 0) == 0;
    for (int frame = 0; ok && frame < 200; ++frame) ok = xmp_play_frame(ctx) == 0;
    xmp_end_player(ctx);
    xmp_release_module(ctx);
  }
  xmp_free_context(ctx);
  return ok;
}

struct QuirkCase {
  const char* score;
  std::set<std::string> codes;
  bool openmptLoads;
  bool xmpLoads;
  int line, column;  // where the first warning points (0: nowhere)
};

TEST(PlayerWarnings, EachQuirkIsWarnedWhereItIsWritten) {
  const InstrumentDir instruments;
  const std::string inst = "#instrument \"square.xi\"\n";
  const QuirkCase kCases[] = {
      {"#setorder 0\n", {"no-channels"}, false, true, 0, 0},
      {"#instrument \"square.xi\"\n#setorder 0,1,0\nc4\n#pt 1\n", {"empty-pattern"}, true, true, 2, 0},
      {"#instrument \"square.xi\"\n#extendrow #setorder 0\nc*256 d*1\n", {"pattern-over-256-rows"}, true, false, 3, 6},
      {"#instrument \"square.xi\"\n#setorder 0\nr*63 d*300\n", {"pattern-over-256-rows"}, true, false, 3, 5},
      {"#instrument \"square.xi\"\n#setorder 0 #speed 32\nc1\n", {"speed-above-31"}, true, false, 2, 12},
      {"#instrument \"square.xi\"\n#setorder 0,1,0,7,0\nc4\n", {"order-names-missing-pattern"}, true, true, 2, 0},
      {"#instrument \"short.xi\"\n#instrument \"square.xi\"\n#setorder 0\nc4 @2 c4\n",
       {"placeholder-instrument", "note-on-placeholder-instrument"}, true, true, 1, 0},
      {"#instrument \"square.xi\"\n#setorder 0\nc4 @2 c4\n", {"note-on-missing-instrument"}, true, true, 3, 6},
      {"#instrument \"square.xi\"\n#setorder 0\n@midi 9 c4\n", {"midi-effect"}, true, true, 3, 0},
      {"#instrument \"square.xi\"\n#setorder 0\n%g 3 @por 5 r4\n", {"effect-beside-volume-portamento"}, true, true,
       3, 5},
      {"#instrument \"square.xi\"\n#setorder 0\nc4 d4 @vib 3,4 e4\n", {}, true, true, 0, 0},
  };
  for (const QuirkCase& k : kCases) {
    SCOPED_TRACE(k.score);
    const Warned w = CompileWithWarnings(k.score, instruments.base());
    ASSERT_TRUE(w.outcome.Result.Success) << w.outcome.Diagnostic.MessageUtf8;
    EXPECT_EQ(w.codes, k.codes);
    if (!w.outcome.Warnings.empty()) {
      const TWarning& first = w.outcome.Warnings.front();
      EXPECT_EQ(first.HasSpan, k.line != 0) << first.TextUtf8;
      EXPECT_EQ(first.Span.Line, k.line) << first.TextUtf8;
      EXPECT_EQ(first.Span.Column, k.column) << first.TextUtf8;
      EXPECT_EQ(first.TextUtf8.rfind("警告", 0), 0u);
      EXPECT_EQ(first.TextCp932.rfind("\x8c\x78\x8d\x90", 0), 0u);
    }
    const OpenMptModule m(w.outcome.Module);
    EXPECT_EQ(m.get() != nullptr, k.openmptLoads);
    const XmpModule x(w.outcome.Module);
    EXPECT_EQ(x.rc() == 0, k.xmpLoads);
  }
}

TEST(PlayerWarnings, DroppedEffectsAreWhatLibxmpDrops) {
  const InstrumentDir instruments;
  // Where the warning says libxmp loses an effect, it does; where there is none, the cell is kept.
  const Warned midi = CompileWithWarnings("#instrument \"square.xi\"\n#setorder 0\n@midi 9 c4\n", instruments.base());
  const XmpModule x(midi.outcome.Module);
  ASSERT_EQ(x.rc(), 0);
  EXPECT_EQ(x.Event(0, 0, 0).fxt, 0);  // Z read as an arpeggio
  const Warned porta =
      CompileWithWarnings("#instrument \"square.xi\"\n#setorder 0\n%g 3 @por 5 r4\n", instruments.base());
  const XmpModule y(porta.outcome.Module);
  ASSERT_EQ(y.rc(), 0);
  EXPECT_NE(y.Event(0, 0, 0).fxt, 3);
}

TEST(PlayerWarnings, ExamplesHaveNoneAndPlayInBothLibraries) {
  const auto scores = ExampleScores();
  ASSERT_FALSE(scores.empty());
  for (const auto& path : scores) {
    SCOPED_TRACE(path.filename().string());
    const Warned w = CompileWithWarnings(ReadFile(path.string()), path.parent_path().string() + "/");
    ASSERT_TRUE(w.outcome.Result.Success) << w.outcome.Diagnostic.MessageUtf8;
    for (const TWarning& warning : w.outcome.Warnings) ADD_FAILURE() << warning.TextUtf8;
    const OpenMptModule m(w.outcome.Module);
    EXPECT_NE(m.get(), nullptr);
    EXPECT_TRUE(XmpPlays(w.outcome.Module));
  }
}

}  // namespace
}  // namespace orvate::players
