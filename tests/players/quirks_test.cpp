// Layouts the compiler writes legitimately that a player reads its own way. Each test pins what
// the library does today (docs/players.md), so that a change in either library is noticed.
// Timing: 120 BPM and 3 ticks per row make a row last 1/16 s.
#include <gtest/gtest.h>

#include <string>

#include "Fixtures.h"
#include "ModuleViews.h"
#include "support/CompileHelper.h"

namespace orvate::players {
namespace {

using testsupport::CompileScore;

TEST(PlayerQuirks, ZeroRowPattern) {
  // Pattern 1 is selected but never written, and played between two passes of pattern 0 (8 rows).
  testsupport::Compiled c = CompileScore("#setorder 0,1,0\nc4\n#pt 1\n");
  ASSERT_TRUE(c.result.Success) << c.result.Msg;
  ASSERT_EQ(c.song().Patterns.at(1).RowCount, 0);

  const OpenMptModule m(c.xm);
  ASSERT_NE(m.get(), nullptr);
  EXPECT_EQ(openmpt_module_get_pattern_num_rows(m.get(), 1), 64);
  EXPECT_DOUBLE_EQ(openmpt_module_get_duration_seconds(m.get()), (8 + 64 + 8) / 16.0);

  const XmpModule x(c.xm);
  ASSERT_EQ(x.rc(), 0);
  EXPECT_EQ(x.mod().xxp[1]->rows, 256);
  EXPECT_EQ(x.info().seq_data[0].duration, (8 + 256 + 8) * 1000 / 16);

  ExpectPlayersMatchModel(c.song(), c.xm);  // the stand-in rows are empty
}

struct LongPattern {
  const char* score;
  int32_t rowCount;
  int noteRow;  // where the note d (XM 39) starts
  int openmptRows;
};

TEST(PlayerQuirks, PatternsLongerThan256Rows) {
  const LongPattern kCases[] = {
      {"#extendrow\n#setorder 0\nc*255 d*1\n", 256, 255, 256},
      {"#extendrow\n#setorder 0\nc*256 d*1\n", 257, 256, 257},
      {"#extendrow\n#setorder 0\nc*1000 d*24\n", 1024, 1000, 1024},
      {"#extendrow\n#setorder 0\nr*1023 d*100\n", 1123, 1023, 1024},
      // Without extended rows a note may start on row 63 and run on.
      {"#setorder 0\nr*63 d*300\n", 363, 63, 363},
  };
  for (const LongPattern& k : kCases) {
    SCOPED_TRACE(k.score);
    testsupport::Compiled c = CompileScore(k.score);
    ASSERT_TRUE(c.result.Success) << c.result.Msg;
    ASSERT_EQ(c.song().Patterns.at(0).RowCount, k.rowCount);

    const OpenMptModule m(c.xm);
    ASSERT_NE(m.get(), nullptr);
    EXPECT_EQ(openmpt_module_get_pattern_num_rows(m.get(), 0), k.openmptRows);
    EXPECT_EQ(openmpt_module_get_pattern_row_channel_command(m.get(), 0, k.noteRow, 0,
                                                             OPENMPT_MODULE_COMMAND_NOTE),
              39 + 12);

    const XmpModule x(c.xm);
    if (k.rowCount <= 256) {
      ASSERT_EQ(x.rc(), 0);
      EXPECT_EQ(x.mod().xxp[0]->rows, k.rowCount);
      EXPECT_EQ(x.Event(0, 0, k.noteRow).note, 39 + 12);
    } else {
      EXPECT_EQ(x.rc(), -XMP_ERROR_LOAD);
    }
  }
}

TEST(PlayerQuirks, OrderEntriesNamingMissingPatterns) {
  // Only pattern 0 (8 rows) exists; 1 is the first number past the last pattern, 7 lies further.
  testsupport::Compiled c = CompileScore("#setorder 0,1,0,7,0\nc4\n");
  ASSERT_TRUE(c.result.Success) << c.result.Msg;
  ASSERT_EQ(c.song().PatternCount, 1);

  const OpenMptModule m(c.xm);
  ASSERT_NE(m.get(), nullptr);
  EXPECT_EQ(openmpt_module_get_order_pattern(m.get(), 1), 1);
  EXPECT_EQ(openmpt_module_get_order_pattern(m.get(), 3), 7);
  EXPECT_EQ(openmpt_module_get_pattern_num_rows(m.get(), 1), 0);
  EXPECT_EQ(openmpt_module_get_pattern_num_rows(m.get(), 7), 0);
  EXPECT_DOUBLE_EQ(openmpt_module_get_duration_seconds(m.get()), 3 * 8 / 16.0);  // both skipped

  const XmpModule x(c.xm);
  ASSERT_EQ(x.rc(), 0);
  EXPECT_EQ(x.mod().xxo[1], 1);
  EXPECT_EQ(x.mod().xxo[3], 7);
  ASSERT_EQ(x.mod().pat, 2);
  EXPECT_EQ(x.mod().xxp[1]->rows, 64);
  // Entry 1 plays the empty pattern the loader appends; entry 7 is skipped.
  EXPECT_EQ(x.info().seq_data[0].duration, (3 * 8 + 64) * 1000 / 16);
}

TEST(PlayerQuirks, PlaceholderInstrument) {
  const InstrumentDir instruments;
  testsupport::Compiled c = CompileScore(
      "#instrument \"short.xi\"\n#instrument \"square.xi\"\n#instrument \"short.xi\"\n"
      "#setorder 0\nc4 @2 c4 @3 c4\n",
      instruments.base());
  ASSERT_TRUE(c.result.Success) << c.result.Msg;
  const std::string placeholder("\x1d\0\0\0Instrument ImportError\0\0\0", 29);
  ASSERT_EQ(c.xm.substr(c.xm.size() - 29), placeholder);

  const OpenMptModule m(c.xm);
  ASSERT_NE(m.get(), nullptr);
  ASSERT_EQ(openmpt_module_get_num_instruments(m.get()), 3);
  EXPECT_EQ(TakeString(openmpt_module_get_instrument_name(m.get(), 0)), kPlaceholderName);
  EXPECT_EQ(TakeString(openmpt_module_get_instrument_name(m.get(), 1)), "Square");
  EXPECT_EQ(TakeString(openmpt_module_get_instrument_name(m.get(), 2)), kPlaceholderName);
  EXPECT_EQ(openmpt_module_get_num_samples(m.get()), 1);

  const XmpModule x(c.xm);
  ASSERT_EQ(x.rc(), 0);
  ASSERT_EQ(x.mod().ins, 3);
  EXPECT_STREQ(x.mod().xxi[0].name, kPlaceholderName);
  EXPECT_STREQ(x.mod().xxi[1].name, "Square");
  // The last block is 29 bytes, shorter than the 33 the loader reads per instrument: no name.
  EXPECT_STREQ(x.mod().xxi[2].name, "");
  EXPECT_EQ(x.mod().xxi[0].nsm, 0);
  EXPECT_EQ(x.mod().xxi[1].nsm, 1);
  EXPECT_EQ(x.mod().xxi[2].nsm, 0);
}

TEST(PlayerQuirks, SpeedAbove31) {
  // "#speed" accepts 1 to 96 ticks per row.
  for (const int speed : {31, 32, 96}) {
    SCOPED_TRACE(speed);
    testsupport::Compiled c = CompileScore("#speed " + std::to_string(speed) + "\n#setorder 0\nc1\n");
    ASSERT_TRUE(c.result.Success) << c.result.Msg;

    const OpenMptModule m(c.xm);
    ASSERT_NE(m.get(), nullptr);
    EXPECT_EQ(openmpt_module_get_current_speed(m.get()), speed);

    const XmpModule x(c.xm);
    if (speed < 32) {
      ASSERT_EQ(x.rc(), 0);
      EXPECT_EQ(x.mod().spd, speed);
    } else {
      EXPECT_EQ(x.rc(), -XMP_ERROR_LOAD);
    }
  }
}

TEST(PlayerQuirks, NoChannels) {
  // An order table and nothing else: no channel, pattern 0 of 0 rows.
  testsupport::Compiled c = CompileScore("#setorder 0\n");
  ASSERT_TRUE(c.result.Success) << c.result.Msg;
  ASSERT_EQ(c.song().ChannelCount, 0);

  const OpenMptModule m(c.xm);
  EXPECT_EQ(m.get(), nullptr);

  const XmpModule x(c.xm);
  ASSERT_EQ(x.rc(), 0);
  EXPECT_EQ(x.mod().chn, 0);
  EXPECT_EQ(x.mod().xxp[0]->rows, 256);
}

}  // namespace
}  // namespace orvate::players
