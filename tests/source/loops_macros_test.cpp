#include <gtest/gtest.h>

#include "source/LoopListU.h"
#include "source/MacroListU.h"
#include "source/Messages.h"

using namespace orvate;

TEST(LoopList, PassCountsAndEarlyExit) {
  TLoopList loops;
  // "(" at 1, body, ")3" leaves the cursor at 10: the body runs three times.
  loops.OpenLoop(1, 1);
  int jumps = 0;
  for (;;) {
    TSourcePos pos = 10;
    ASSERT_TRUE(loops.CloseLoop(pos, 1, 3));
    if (pos == 10) break;
    EXPECT_EQ(pos, 1u);
    ++jumps;
  }
  EXPECT_EQ(jumps, 2);
  EXPECT_EQ(loops.Count(), 0);

  // "[" A ":" B "]3": the ":" leaves only in the last pass.
  loops.OpenLoop(1, 2);
  std::string passes;
  for (int guard = 0; guard < 10; ++guard) {
    passes += 'A';
    TSourcePos at = 5;
    ASSERT_TRUE(loops.BreakLoop(at, 2));
    if (at != 5) { EXPECT_EQ(at, 10u); break; }
    passes += 'B';
    TSourcePos end = 10;
    ASSERT_TRUE(loops.CloseLoop(end, 2, 3));
  }
  EXPECT_EQ(passes, "ABABA");
  EXPECT_EQ(loops.Count(), 0);
}

TEST(LoopList, LaterCountsAreIgnoredAndMismatchesRefused) {
  TLoopList loops;
  TSourcePos pos = 9;
  EXPECT_FALSE(loops.CloseLoop(pos, 1, 2));
  EXPECT_EQ(loops.FErrorMsg, msg::kNoLoop);
  EXPECT_FALSE(loops.BreakLoop(pos, 2));
  EXPECT_EQ(loops.FErrorMsg, msg::kNoLoop);
  loops.OpenLoop(1, 2);
  EXPECT_FALSE(loops.CloseLoop(pos, 1, 2));
  EXPECT_EQ(loops.FErrorMsg, msg::kLoopLevel);
  EXPECT_EQ(pos, 9u);
  loops.OpenLoop(3, 1);
  EXPECT_FALSE(loops.BreakLoop(pos, 2));
  EXPECT_EQ(loops.FErrorMsg, msg::kLoopLevel);
  ASSERT_TRUE(loops.CloseLoop(pos, 1, 2));  // first arrival: two passes
  EXPECT_EQ(pos, 3u);
  pos = 9;
  ASSERT_TRUE(loops.CloseLoop(pos, 1, 50));  // the later count does not matter
  EXPECT_EQ(pos, 9u);
  EXPECT_EQ(loops.Count(), 1);
}

TEST(MacroList, ChainsReturnInReverseOrder) {
  TMacroList macros;
  ASSERT_TRUE(macros.Define(10, "a"));
  ASSERT_TRUE(macros.Define(20, "B"));
  ASSERT_TRUE(macros.Define(30, "c"));
  TSourcePos pos = 100;
  ASSERT_TRUE(macros.Jump(pos, "A"));
  EXPECT_EQ(pos, 10u);
  pos = 12;
  ASSERT_TRUE(macros.Jump(pos, "b"));
  pos = 22;
  ASSERT_TRUE(macros.Jump(pos, "c"));
  EXPECT_EQ(pos, 30u);
  EXPECT_FALSE(macros.Jump(pos, "a"));
  EXPECT_EQ(macros.FErrorMsg, msg::kMacroRecursive);
  EXPECT_FALSE(macros.Define(40, "d"));
  EXPECT_EQ(macros.FErrorMsg, msg::kMacroDefineInJump);
  ASSERT_TRUE(macros.Return(pos));
  EXPECT_EQ(pos, 22u);
  ASSERT_TRUE(macros.Return(pos));
  EXPECT_EQ(pos, 12u);
  ASSERT_TRUE(macros.Return(pos));
  EXPECT_EQ(pos, 100u);
  EXPECT_FALSE(macros.Return(pos));
  EXPECT_EQ(macros.FErrorMsg, msg::kMacroNotRunning);
  EXPECT_FALSE(macros.Jump(pos, "zz"));
  EXPECT_EQ(macros.FErrorMsg, msg::kMacroUndefined);
  ASSERT_TRUE(macros.Jump(pos, "a"));  // runs again once returned
}

TEST(MacroList, RedefinitionIgnoresCase) {
  TMacroList macros;
  ASSERT_TRUE(macros.Define(10, "tune"));
  ASSERT_TRUE(macros.Define(20, "TUNE"));
  EXPECT_EQ(macros.Count(), 1);
  TSourcePos pos = 0;
  ASSERT_TRUE(macros.Jump(pos, "Tune"));
  EXPECT_EQ(pos, 20u);
}
