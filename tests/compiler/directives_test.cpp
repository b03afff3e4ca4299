#include <gtest/gtest.h>

#include <filesystem>

#include "source/Messages.h"
#include "support/CompileHelper.h"
#include "support/SongDump.h"

using namespace orvate;
using namespace orvate::testsupport;


TEST(Directives, HeaderFields) {
  Compiled r = CompileScore(
      "#songname \"abcdefghijklmnopqrstuvwxy\" #setorder 1, 0 ,2\n#setorder 3 #restart 2 "
      "#speed 6 #tempo 140 #pt 3");
  ASSERT_TRUE(r.result.Success);
  TXMSong& s = r.song();
  EXPECT_EQ(std::string(s.ModuleName.data(), 20), "abcdefghijklmnopqrst");
  EXPECT_EQ(s.SongLength, 4);
  EXPECT_EQ(s.OrderTable[0], 1);
  EXPECT_EQ(s.OrderTable[2], 2);
  EXPECT_EQ(s.OrderTable[3], 3);
  EXPECT_EQ(s.RestartPos, 1);
  EXPECT_EQ(s.DefaultTempo, 6);
  EXPECT_EQ(s.DefaultBPM, 140);
  EXPECT_EQ(s.PatternCount, 4);  // patterns 0..3 exist, all with 0 rows

  Compiled unnamed = CompileScore("#songname #setorder 0");
  EXPECT_EQ(std::string(unnamed.song().ModuleName.data(), 20), std::string(20, '\0'));
  Compiled plain = CompileScore("#setorder 0");
  EXPECT_EQ(std::string(plain.song().ModuleName.data(), 20), std::string(20, ' '));
}

TEST(Directives, SelectionAndModes) {
  Compiled r = CompileScore("#setorder 0 #ch 32 c4 #CH 1 #Pt 255 d4 #pt c4 #extendrow #extendrow");
  ASSERT_TRUE(r.result.Success);
  EXPECT_EQ(DumpChannel(r.song(), 0, 31), "0:n37i1v50 8:n97");
  EXPECT_EQ(DumpChannel(r.song(), 255, 0), "0:n39i1v50 8:n97");
  EXPECT_EQ(DumpChannel(r.song(), 0, 0), "0:n37i1v50 8:n97");
  EXPECT_EQ(r.song().MaxRows, 64);
  EXPECT_EQ(r.song().ChannelCount, 32);

  Compiled rev = CompileScore("#setorder 0 #octrev #octrev < c4");
  EXPECT_EQ(DumpChannel(rev.song(), 0, 0), "0:n25i1v50 8:n97");
}

TEST(Directives, OrderTableHoldsExactly256) {
  std::string score = "#setorder 0";
  for (int i = 1; i < 256; ++i) score += ",0";
  Compiled full = CompileScore(score);
  EXPECT_TRUE(full.result.Success);
  EXPECT_EQ(full.song().SongLength, 256);
  Compiled over = CompileScore(score + "\n#setorder 7");
  EXPECT_EQ(over.result.Msg, Stopped(2, 11, "#setorder", msg::kOrderFull));
}

TEST(Directives, Refusals) {
  const Refusal cases[] = {
      {"#ch 0", 1, 5, "#ch", msg::kBadValue},        {"#ch 33", 1, 6, "#ch", msg::kBadValue},
      {"#ch -1", 1, 6, "#ch", msg::kBadValue},       {"#ch", 1, 3, "#ch", msg::kBadValue},
      {"#pt 256", 1, 7, "#pt", msg::kBadValue},      {"#pt -1", 1, 6, "#pt", msg::kBadValue},
      {"#restart 0", 1, 10, "#restart", msg::kBadValue}, {"#restart 257", 1, 12, "#restart", msg::kBadValue},
      {"#speed 0", 1, 8, "#speed", msg::kBadValue},  {"#speed 97", 1, 9, "#speed", msg::kBadValue},
      {"#tempo 31", 1, 9, "#tempo", msg::kBadValue}, {"#tempo 256", 1, 10, "#tempo", msg::kBadValue},
      {"#gatebase 0", 1, 11, "#gatebase", msg::kBadValue},
      {"#setorder 1,256", 1, 15, "#setorder", msg::kBadValue},
      {"#setorder -1", 1, 12, "#setorder", msg::kBadValue},
      {"#setorder 0 1", 1, 13, "1", msg::kUndefinedCommand},
      {"#instrument \"missing.xi\"", 1, 24, "#instrument", msg::kXiNotFound},
      {"#instrument", 2, 0, "#instrument", msg::kXiNotFound},
      {"#instrument \"\"", 1, 14, "#instrument", msg::kXiNotFound},
      {"#copy 0", 2, 0, "#copy", msg::kBadCopy},
      {"#copy 1", 1, 7, "#copy", msg::kBadCopy},
      {"#copy 0,2", 1, 9, "#copy", msg::kBadCopy},
      {"#copy 0,0", 1, 9, "#copy", msg::kBadCopy},
      {"#songs", 1, 6, "#songs", msg::kUndefinedCommand},
      {"#", 1, 1, "#", msg::kUndefinedCommand},
  };
  for (const Refusal& c : cases) ExpectRefused(c);
  Compiled empty = CompileScore(" // nothing\r\n/* at all */ \x82\xa0");
  EXPECT_FALSE(empty.result.Success);
  EXPECT_EQ(empty.result.Msg, msg::kNoOrder);
  EXPECT_EQ(empty.result.X, 0);
  EXPECT_EQ(empty.result.Y, 0);
  EXPECT_FALSE(empty.wrote);
}

TEST(Directives, CopyMergesAndAdvances) {
  const struct { const char* score; int pattern, channel; const char* cells; int row; } cases[] = {
      // Channel 2 is copied behind what channel 1 already holds.
      {"#ch2 c4 d4 #ch1 e4 #copy 0,2", 0, 0, "0:n41i1v50 8:n37i1v50 16:n39i1v50 24:n97", 24},
      // From another pattern, same channel; the source span counts, not its last event.
      {"c4 r4 #pt1 #copy 0", 1, 0, "0:n37i1v50 8:n97", 16},
      // Only rests: no events, but the write row still moves.
      {"#ch2 r4 r4 #ch1 #copy 0,2", 0, 0, "", 16},
      // Only effects at row 0: copied to the current row, row unchanged.
      {"#ch2 @vib1,2 #ch1 r4 #copy 0,2", 0, 0, "8:e4d12", 8},
      // Copies that land past the row limit are dropped.
      {"#ch2 c*8 d*8 #ch1 r*60 #copy 0,2", 0, 0, "60:n37i1v50", 76},
      // The destination keeps its own note where the copy has none.
      {"#ch2 %c1 #ch1 | c4 | #copy 0,2 ||", 0, 0, "0:n37i1v71 8:n97", 8},
  };
  for (const auto& c : cases) {
    Compiled r = CompileScore(std::string("#setorder 0 ") + c.score);
    ASSERT_TRUE(r.result.Success) << c.score;
    EXPECT_EQ(DumpChannel(r.song(), c.pattern, c.channel), c.cells) << c.score;
    EXPECT_EQ(r.compiler->RowPos(c.pattern, c.channel), c.row) << c.score;
  }
  Compiled far = CompileScore("#setorder 0 r*2147483647 #ch2 r*1 #ch1 #copy 0,2");
  EXPECT_EQ(far.result.Msg, Stopped(1, 48, "#copy", msg::kBadValue));
}

TEST(Directives, InstrumentLookupOrder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "lib");
  WriteFile(dir / "here.xi", "x");
  WriteFile(dir / "lib/inlib.xi", "x");
  const std::string base = dir.path() + "/";
  Compiled r = CompileScore(
      "#instrument \"" + dir.path() + "/here.xi\" #instrument \"nowhere/here.xi\"\n"
      "#instlib \"" + dir.path() + "/lib\" #instrument \"inlib.xi\" #instrument \"x\\\\inlib.xi\"\n"
      "#instrument \"nowhere/here.xi\" #setorder 0",
      base);
  ASSERT_TRUE(r.result.Success) << r.result.Msg;
  const std::vector<std::string> expected = {
      dir.path() + "/here.xi", base + "here.xi", dir.path() + "/lib/inlib.xi",
      dir.path() + "/lib/inlib.xi", base + "here.xi"};
  EXPECT_EQ(r.song().InstFiles, expected);
  EXPECT_EQ(r.song().InstrumentCount, 5);
}
