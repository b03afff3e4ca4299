// Volume-column commands, effects, loops, macros and parallel lanes, as the cells they leave.
#include <gtest/gtest.h>

#include "source/Messages.h"
#include "support/CompileHelper.h"
#include "support/SongDump.h"

using namespace orvate;
using namespace orvate::testsupport;

namespace {

struct CellCase {
  const char* score;  // compiled after "#setorder 0 "
  const char* cells;  // pattern 0, channel 0
};

void ExpectCells(const CellCase* begin, const CellCase* end) {
  for (const CellCase* c = begin; c != end; ++c) {
    Compiled r = CompileScore(std::string("#setorder 0 ") + c->score);
    EXPECT_TRUE(r.result.Success) << c->score;
    EXPECT_EQ(DumpChannel(r.song(), 0, 0), c->cells) << c->score;
  }
}

void ExpectRefusals(const Refusal* begin, const Refusal* end) {
  for (const Refusal* c = begin; c != end; ++c) ExpectRefused(*c);
}

}  // namespace

TEST(VolumeColumn, Cells) {
  const CellCase cases[] = {
      {"%v64", "0:v50"},      {"%v0", "0:v10"},      {"%d15", "0:v6F"},     {"%l0", "0:vD0"},
      {"%u0xA", "0:vAA"},     {"%c5", "0:v75"},      {"%a1 %b2", "0:v82"},  {"%h3", "0:vB3"},
      {"%r4", "0:vE4"},       {"%p15", "0:vCF"},     {"%p0", "0:vC0"},      {"%V 7", "0:v17"},
      {"%g8", "0:vF8"},       {"%g 4,2", "0:n2vF4"},
      {"o4 c %g 4,2", "0:n37i1v50 24:n39vF4"},
      {"o4 c %g 4,2 %g 4,2", "0:n37i1v50 24:n41vF4"},
      {"o4 c %g 8,-100", "0:n37i1v50 24:n1vF8"},
      {"o0 c %g 0,0", "0:n1i1v50 24:n1vF0"},
      {"%n", "0:"},
      {"| v32 c4 | %n ||", "0:n37i1 8:n97"},
      {"%c 3 c4", "0:n37i1v50 8:n97"},
      {"c4 %c 3", "0:n37i1v50 8:n97v73"},
  };
  ExpectCells(std::begin(cases), std::end(cases));
}

TEST(VolumeColumn, TargetWalksFromLastPitch) {
  Compiled r = CompileScore("#setorder 0 o4 c %g 8,-100");
  EXPECT_EQ(r.compiler->Channel(0).LastPitch, 1);
}

TEST(VolumeColumn, Refusals) {
  const Refusal cases[] = {
      {"%v65", 1, 4, "%v", msg::kBadValue},   {"%v -1", 1, 5, "%v", msg::kBadValue},
      {"%d16", 1, 4, "%d", msg::kBadValue},   {"%d-1", 1, 4, "%d", msg::kBadValue},
      {"%p16", 1, 4, "%p", msg::kBadValue},   {"%g16,2", 1, 4, "%g", msg::kBadValue},
      {"r*64 %n", 1, 7, "%n", msg::kRowLimit64}, {"r*64 %c1", 1, 7, "%c", msg::kRowLimit64},
      {"r*64 %g1", 1, 7, "%g", msg::kRowLimit64},
      {"o178956970 c %g1,100", 1, 20, "%g", msg::kBadValue},
      {"%x", 1, 2, "%x", msg::kUndefinedCommand},
  };
  ExpectRefusals(std::begin(cases), std::end(cases));
}

TEST(Effects, Cells) {
  const CellCase cases[] = {
      {"@vib 3,4", "0:e4d34"},      {"@@4,3,4", "0:e4d34"},       {"@@4 3,4", "0:e4d34"},
      {"@vib3,4", "0:e4d34"},       {"@vib 3", "0:e4d30"},        {"@arp 3,7", "0:e0d37"},
      {"@arp 0,0", "0:"},           {"@porup 32", "0:e1d20"},     {"@pordw 32", "0:e2d20"},
      {"@vs 15", "0:e10dF0"},       {"@vs -15", "0:e10d0F"},      {"@vs -3", "0:e10d03"},
      {"@vs 0", "0:"},              {"@v 64", "0:e12d40"},        {"@v 0", "0:"},
      {"@t 32", "0:e15d20"},        {"@t 255", "0:e15dFF"},       {"@ncut 0", "0:e14dC0"},
      {"@ncut 2", "0:e14dC2"},      {"@highofs 15", "0:e33dAF"},  {"@smpofs 0x80", "0:e9d80"},
      {"@@e1 5", "0:e14d15"},       {"@@e1,5", "0:e14d15"},       {"@@E1 5", "0:e14d15"},
      {"@VIB 1,2", "0:e4d12"},      {"@vib 3,4 @vs 2", "0:e10d20"},
      {"@vib 3,4 c4", "0:n37i1v50e4d34 8:n97"},
      {"c4 @vib 3,4", "0:n37i1v50 8:n97e4d34"},
      {"@break 70 @jump 30", "0:e11d1E"},
      {"@gv 64 @gvs -2", "0:e17d02"},  {"@keyoff 9", "0:e20d09"},  {"@envpos 9", "0:e21d09"},
      {"@ps 9", "0:e25d09"},        {"@xretrig 1,2", "0:e27d12"}, {"@turn 9", "0:e29d09"},
      {"@pbr 1,2", "0:e34d12"},     {"@midi 9", "0:e35d09"},      {"@xfporup 1", "0:e33d11"},
      {"@@x2 1", "0:e33d21"},       {"@@x5 1", "0:e33d51"},       {"@@x6 1", "0:e33d61"},
      {"@@x9 1", "0:e33d91"},       {"@@xa 1", "0:e33dA1"},       {"@@ef 1", "0:e14dF1"},
      {"@@3 9 @@5 -1", "0:e5d01"},  {"@@6 1", "0:e6d10"},         {"@@7 1,1", "0:e7d11"},
      {"@@8 9", "0:e8d09"},         {"@@g 9", "0:e16d09"},        {"@@h 1", "0:e17d10"},
  };
  ExpectCells(std::begin(cases), std::end(cases));
}

TEST(Effects, Refusals) {
  const Refusal cases[] = {
      {"@vib 16,0", 1, 7, "@vib", msg::kBadValue},  {"@vib 3,16", 1, 9, "@vib", msg::kBadValue},
      {"@arp -1", 1, 7, "@arp", msg::kBadValue},    {"@pbr 0,16", 1, 9, "@pbr", msg::kBadValue},
      {"@vs 16", 1, 6, "@vs", msg::kBadValue},      {"@vs -16", 1, 7, "@vs", msg::kBadValue},
      {"@v 65", 1, 5, "@v", msg::kBadValue},        {"@t 31", 1, 5, "@t", msg::kBadValue},
      {"@t 256", 1, 6, "@t", msg::kBadValue},       {"@fporup 16", 1, 10, "@fporup", msg::kBadValue},
      {"@porup 256", 1, 10, "@porup", msg::kBadValue},
      {"@@e15", 2, 0, "@@e15", msg::kUndefinedCommand},  // the alias took the line end
      {"@@e0 1", 1, 5, "@@e0", msg::kUndefinedCommand},
      {"@@x3 1", 1, 5, "@@x3", msg::kUndefinedCommand},
      {"@@ 1", 1, 3, "@@", msg::kUndefinedCommand},
      {"@vib,3,4", 1, 7, ",", msg::kUndefinedCommand},
      {"@vibc", 1, 5, "@vibc", msg::kUndefinedCommand},
      {"r*64 @vib 1", 1, 9, "@vib", msg::kRowLimit64},
      {"r*64 @@4 1", 1, 9, "@@4", msg::kRowLimit64},
  };
  ExpectRefusals(std::begin(cases), std::end(cases));
  // The mnemonic takes no comma: x reads 0 and y 3 before the stray comma stops the text.
  Compiled r = CompileScore("#setorder 0 @vib,3,4");
  EXPECT_EQ(DumpChannel(r.song(), 0, 0), "0:e4d03");
}

TEST(Loops, PassesRunTheSameText) {
  const CellCase cases[] = {
      {"l*1 (c)3", "0:n37i1v50 1:n37i1v50 2:n37i1v50 3:n97"},
      {"l*1 [c:d]3", "0:n37i1v50 1:n39i1v50 2:n37i1v50 3:n39i1v50 4:n37i1v50 5:n97"},
      {"l*1 [c:d]2", "0:n37i1v50 1:n39i1v50 2:n37i1v50 3:n97"},
      {"l*1 [c:d:e]2", "0:n37i1v50 1:n39i1v50 2:n41i1v50 3:n37i1v50 4:n97"},
      {"l*1 ((c)2 d)3",
       "0:n37i1v50 1:n37i1v50 2:n39i1v50 3:n37i1v50 4:n37i1v50 5:n39i1v50 6:n37i1v50 7:n37i1v50 "
       "8:n39i1v50 9:n97"},
      {"l*1 o1 (c >)3", "0:n1i1v50 1:n13i1v50 2:n25i1v50 3:n97"},
      {"l*1 (c)2 (d)2", "0:n37i1v50 1:n37i1v50 2:n39i1v50 3:n39i1v50 4:n97"},
      {"l*1 (c", "0:n37i1v50 1:n97"},  // never closed: no error
      {"l*1 $m{c} ($m)3", "0:n37i1v50 1:n37i1v50 2:n37i1v50 3:n97"},
      {"l*1 $m{(c)2} $m $m", "0:n37i1v50 1:n37i1v50 2:n37i1v50 3:n37i1v50 4:n97"},
  };
  ExpectCells(std::begin(cases), std::end(cases));
}

TEST(Loops, Refusals) {
  const Refusal cases[] = {
      {"(c)1", 1, 4, ")", msg::kBadValue},  {"(c)0", 1, 4, ")", msg::kBadValue},
      {"(c)-3", 1, 5, ")", msg::kBadValue}, {"(c)", 1, 3, ")", msg::kBadValue},
      {"c)2", 1, 3, ")", msg::kNoLoop},     {"c]2", 1, 3, "]", msg::kNoLoop},
      {":", 1, 1, ":", msg::kNoLoop},       {"[c)2", 1, 4, ")", msg::kLoopLevel},
      {"(c]2", 1, 4, "]", msg::kLoopLevel}, {"(c:", 1, 3, ":", msg::kLoopLevel},
  };
  ExpectRefusals(std::begin(cases), std::end(cases));
}

TEST(Macros, DefineRunReturn) {
  const CellCase cases[] = {
      {"l*1 $a{c} $a $a", "0:n37i1v50 1:n37i1v50 2:n97"},
      {"l*1 $c{e} $b{d $c} $a{c $b} $a f",
       "0:n37i1v50 1:n39i1v50 2:n41i1v50 3:n42i1v50 4:n97"},
      {"l*1 $a /* x */ // y\n {c} $A", "0:n37i1v50 1:n97"},
      {"l*1 $a{c} $a{d} $a", "0:n39i1v50 1:n97"},
      {"l*1 $a{ c /* } */ d } $a", "0:n37i1v50 1:n39i1v50 2:n97"},
      {"l*1 $a{ c d", ""},  // an unclosed body swallows the rest
  };
  for (const CellCase& c : cases) {
    Compiled r = CompileScore(std::string("#setorder 0 ") + c.score);
    if (std::string(c.cells).empty()) {
      EXPECT_TRUE(r.result.Success) << c.score;
      EXPECT_EQ(DumpChannel(r.song(), 0, 0), "-") << c.score;
      continue;
    }
    EXPECT_TRUE(r.result.Success) << c.score;
    EXPECT_EQ(DumpChannel(r.song(), 0, 0), c.cells) << c.score;
  }
}

TEST(Macros, Refusals) {
  const Refusal cases[] = {
      {"$ a", 1, 1, "$", msg::kMacroNameMissing},
      {"${c}", 1, 1, "$", msg::kMacroNameMissing},
      {"$a", 2, 0, "$", msg::kMacroUndefined},
      {"$a $a{c}", 1, 3, "$", msg::kMacroUndefined},
      {"$a{$a} $a", 1, 5, "$", msg::kMacroRecursive},
      {"$a{$b} $b{$a} $a", 1, 12, "$", msg::kMacroRecursive},
      {"}", 1, 1, "}", msg::kMacroNotRunning},
      {"$a{$b{c}} $a", 1, 9, "}", msg::kMacroNotRunning},  // a body holds no brace pair
      {"$a{ $b{ } $a", 1, 7, "$", msg::kMacroDefineInJump},
      {"$a{#songname \"}\" c", 1, 16, "\"", msg::kUndefinedCommand},  // the skip does not know strings
  };
  ExpectRefusals(std::begin(cases), std::end(cases));
}

TEST(Parallel, LanesShareRows) {
  const CellCase cases[] = {
      {"l*1 | c c | e || g", "0:n41i1v50 1:n97i1v50 2:n44i1v50 3:n97"},  // lane 2's key-off lands on lane 1's note
      {"l*1 c | | ||", "0:n37i1v50 1:n97"},
      {"l*1 | c c ||", "0:n37i1v50 1:n37i1v50 2:n97"},
      {"l*1 | c | d || | e || f", "0:n39i1v50 1:n41i1v50 2:n42i1v50 3:n97"},
      {"l*1 | c*4 | d*2 || e", "0:n39i1v50 2:n97 4:n41i1v50 5:n97"},
      {"l*1 | c*4 | d*2", "0:n39i1v50 2:n97 4:n97"},
  };
  ExpectCells(std::begin(cases), std::end(cases));
  // A block left open at the end is closed before the rows are counted.
  Compiled r = CompileScore("#setorder 0 | c*4 | d*2");
  EXPECT_EQ(r.compiler->PatternRows(0), 4);
  EXPECT_EQ(r.compiler->RowPos(0, 0), 4);
}

TEST(Parallel, Refusals) {
  const Refusal cases[] = {
      {"||", 1, 2, "||", msg::kNoParallel},
      {"| | || ||", 1, 9, "||", msg::kNoParallel},
      {"| c #pt 1", 1, 7, "#pt", msg::kParallelSelect},
      {"| #ch 2", 1, 5, "#ch", msg::kParallelSelect},
  };
  ExpectRefusals(std::begin(cases), std::end(cases));
}
