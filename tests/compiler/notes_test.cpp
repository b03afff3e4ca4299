#include <gtest/gtest.h>

#include "source/Messages.h"
#include "support/CompileHelper.h"
#include "support/SongDump.h"

using namespace orvate;
using namespace orvate::testsupport;

namespace {

struct CellCase {
  const char* score;   // compiled after "#setorder 0 "
  const char* cells;   // pattern 0, channel 0
  int writeRow;
};

void ExpectCells(const CellCase& c) {
  Compiled r = CompileScore(std::string("#setorder 0 ") + c.score);
  ASSERT_TRUE(r.result.Success) << c.score;
  EXPECT_EQ(DumpChannel(r.song(), 0, 0), c.cells) << c.score;
  EXPECT_EQ(r.compiler->RowPos(0, 0), c.writeRow) << c.score;
}

}  // namespace

TEST(Notes, CellsAndWriteRows) {
  const CellCase cases[] = {
      {"c", "0:n37i1v50 24:n97", 24},
      {"o0 c", "0:n1i1v50 24:n97", 24},
      {"o9 c", "0:n96i1v50 24:n97", 24},
      {"o1 c o8 b", "0:n1i1v50 24:n96i1v50 48:n97", 48},
      {"l*1 c+ c- c+- c++-+", "0:n38i1v50 1:n36i1v50 2:n37i1v50 3:n39i1v50 4:n97", 4},
      {"c4 c8. c4^8 c*5", "0:n37i1v50 8:n37i1v50 14:n37i1v50 26:n37i1v50 31:n97", 31},
      {"#speed 1 c4^8", "0:n37i1v50 36:n97", 36},
      {"q-2 c4", "0:n37i1v50 6:n97", 8},
      {"q-20 c4", "0:n37i1v50 1:n97", 8},
      {"q4 c4", "0:n37i1v50 1:n97", 8},  // gate base still 0
      {"#gatebase 8 q16 v48 c4", "0:n37i1v40 4:n97", 8},
      {"c4,3", "0:n37i1v50 3:n97", 8},
      {"c4,0", "0:n37i1v50 8:n97", 8},
      {"c4,-1", "0:n37i1v50 7:n97", 8},
      {"c4,20", "0:n37i1v50 8:n97", 8},
      {"c4, d4", "0:n37i1v50 8:n39i1v50 16:n97", 16},
      {"c4&c4", "0:n37i1v50 16:n97", 16},
      {"c4&d4", "0:n37i1v50 8:n39i1v50 16:n97", 16},
      {"c4& r4 c4", "0:n37i1v50 24:n97", 24},
      {"c4& w4 c4", "0:n37i1v50 8:n97 24:n97", 24},
      {"#gatebase 8 v48 q16 c4,2& c4", "0:n37i1v40 12:n97", 16},
      {"v40 p3 c4", "0:n37i1v38 1:vC3 8:n97", 8},
      {"p3 c4", "0:n37i1vC3 8:n97", 8},
      {"v60 v-10", "0:v42", 0},
      {"v 50 c4", "0:n37i1v42 8:n97", 8},
      {"p-8", "0:vC0", 0},
      {"@200 c4", "0:n37i200v50 8:n97", 8},
      {"#octrev < c4 > > c4", "0:n49i1v50 8:n25i1v50 16:n97", 16},
      {"o+1 c4 k-2 o4 c4", "0:n1i1v50 8:n35i1v50 16:n97", 16},
      {"o c4", "0:n1i1v50 8:n97", 8},
      {"l8 c r c*", "0:n37i1v50 4:n97 8:n37i1v50 12:n97", 12},
      {"r4 w8 _ _", "8:n97", 14},
      {"r128 r*0", "-", 0},  // no cell, so no channel either
      {"#transpose -12 k1 c4", "0:n26i1v50 8:n97", 8},
      {"r*63 c4", "63:n37i1v50", 71},
      {"#extendrow r*1023 c4", "1023:n37i1v50", 1031},
      {"C4 D4", "0:n37i1v50 8:n39i1v50 16:n97", 16},
  };
  for (const CellCase& c : cases) ExpectCells(c);
}

TEST(Notes, LastPitchIsUnclamped) {
  Compiled low = CompileScore("#setorder 0 o0 c");
  EXPECT_EQ(low.compiler->Channel(0).LastPitch, -11);
  Compiled high = CompileScore("#setorder 0 o9 c");
  EXPECT_EQ(high.compiler->Channel(0).LastPitch, 97);
}

TEST(Notes, TieCarriesAcrossPatterns) {
  Compiled r = CompileScore("#setorder 0,1 c4& #pt1 c4");
  ASSERT_TRUE(r.result.Success);
  EXPECT_EQ(DumpChannel(r.song(), 0, 0), "0:n37i1v50");
  EXPECT_EQ(DumpChannel(r.song(), 1, 0), "8:n97");
}

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, StopWithPositionTokenAndMessage) { ExpectRefused(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    NotesAndSettings, Refusals,
    ::testing::Values(
        Refusal{"x", 1, 1, "x", msg::kUndefinedCommand},
        Refusal{"#setorder 0\nc +", 2, 3, "+", msg::kUndefinedCommand},
        Refusal{"c64", 2, 0, "c", msg::kBadValue},
        Refusal{"C128", 2, 0, "C", msg::kBadValue},
        Refusal{"l128", 2, 0, "l", msg::kBadValue},
        Refusal{"v60 v+10", 1, 8, "v", msg::kBadValue},
        Refusal{"v 65", 1, 4, "v", msg::kBadValue},
        Refusal{"v -5", 1, 4, "v", msg::kBadValue},
        Refusal{"p+8", 1, 3, "p", msg::kBadValue},
        Refusal{"@0", 1, 2, "@", msg::kBadValue},
        Refusal{"@201", 1, 4, "@", msg::kBadValue},
        Refusal{"r*63 c4 c4", 1, 9, "c", msg::kRowLimit64},
        Refusal{"r*64 r", 1, 6, "r", msg::kRowLimit64},
        Refusal{"r*64 w", 1, 6, "w", msg::kRowLimit64},
        Refusal{"r*64 _", 1, 6, "_", msg::kRowLimit64},
        Refusal{"r*64 @1", 1, 6, "@", msg::kRowLimit64},
        Refusal{"#extendrow r*1024 c", 1, 19, "c", msg::kRowLimit1024},
        // A length read at the end of the text has consumed the final line ending.
        // Values far outside musical use are refused rather than wrapped.
        Refusal{"o2147483647 c", 1, 13, "c", msg::kBadValue},
        Refusal{"o2147483647 >", 1, 13, ">", msg::kBadValue},
        Refusal{"o-2147483647 < <", 1, 16, "<", msg::kBadValue},
        Refusal{"c*2147483647 c*1", 1, 14, "c", msg::kRowLimit64},
        Refusal{"_ r*2147483647", 2, 0, "r", msg::kBadValue},
        Refusal{"c*2147483647^*1", 2, 0, "c", msg::kBadValue},
        Refusal{"#gatebase 2147483647 q1 c*2", 2, 0, "c", msg::kBadValue},
        Refusal{"l*2147483647^*2147483647", 2, 0, "l", msg::kBadValue}));

TEST(Notes, RefusedCommandKeepsEarlierEvents) {
  Compiled r = CompileScore("#setorder 0 c4 x");
  EXPECT_FALSE(r.result.Success);
  EXPECT_EQ(DumpChannel(r.song(), 0, 0), "0:n37i1v50 8:n97");
}
