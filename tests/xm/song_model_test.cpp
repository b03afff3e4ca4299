#include <gtest/gtest.h>

#include "source/Messages.h"
#include "support/CompileHelper.h"
#include "support/SongDump.h"
#include "xm/xmfU.h"

using namespace orvate;
using namespace orvate::testsupport;

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The bytes of one pattern as the writer emits it (header + packed data).
std::string PatternBytes(TXMSong& song, int n) {
  std::string image;
  EXPECT_TRUE(song.WriteSong(image));
  std::size_t at = 336;
  for (int i = 0; i < n; ++i) {
    const std::size_t size = static_cast<unsigned char>(image[at + 7]) | (static_cast<unsigned char>(image[at + 8]) << 8);
    at += 9 + size;
  }
  const std::size_t size = static_cast<unsigned char>(image[at + 7]) | (static_cast<unsigned char>(image[at + 8]) << 8);
  return image.substr(at, 9 + size);
}

}  // namespace

TEST(SongModel, AddEventMergesPartsAndKeepsRowsSorted) {
  TXMSong song;
  song.AddEvent(0, 0, 63, 1, 0, 0, 0, 0);
  song.AddEvent(0, 1, 64, 1, 0, 0, 0, 0);  // at the limit: nothing, not even the channel
  EXPECT_EQ(song.Patterns[0].Channels.size(), 1u);
  song.AddEvent(3, 5, 10, 40, 0, 0, 0, 0);
  EXPECT_EQ(song.Patterns.size(), 4u);
  EXPECT_EQ(song.Patterns[3].Channels.size(), 6u);
  EXPECT_EQ(song.Patterns[1].Channels.size(), 0u);
  song.AddEvent(3, 5, 10, 0, 2, 0, 1, 2);
  song.AddEvent(3, 5, 10, 0, 0, 0, 0x0C, 0);  // no parameter: the effect stays
  song.AddEvent(3, 5, 2, 0, 0, 0x30, 0, 0);
  song.AddEvent(3, 5, 7, 0, 0, 0, 0, 0x37);    // arpeggio, effect 0
  song.AddEvent(3, 5, 2, 0, 0, 0, 3, 5);
  EXPECT_EQ(DumpChannel(song, 3, 5), "2:v30e3d05 7:e0d37 10:n40i2e1d02");
  song.ClearVCol(3, 5, 2);
  song.ClearVCol(3, 5, 4);
  EXPECT_EQ(DumpChannel(song, 3, 5), "2:e3d05 4: 7:e0d37 10:n40i2e1d02");
  song.MaxRows = 1024;
  song.AddEvent(3, 5, 100, 1, 0, 0, 0, 0);
  EXPECT_EQ(song.Patterns[3].Channels[5].Events.back().Time, 100);
}

TEST(SongModel, PatternRowsAndCopies) {
  TXMSong song;
  song.AddPatternRows(2, 16);
  song.AddPatternRows(2, 16);
  EXPECT_EQ(song.Patterns[2].RowCount, 32);
  EXPECT_EQ(song.Patterns[0].RowCount, 0);
  song.CopyChannel(1, 3, 0, 0, 0);  // an unused source comes into being, nothing is copied
  EXPECT_EQ(song.Patterns[1].Channels.size(), 4u);
  EXPECT_TRUE(song.Patterns[0].Channels.empty());
  for (int row = 0; row < 8; ++row) song.AddEvent(1, 0, row, static_cast<uint8_t>(row + 1), 0, 0, 0, 0);
  song.AddEvent(0, 0, 61, 50, 0, 0x20, 0, 0);
  song.CopyChannel(1, 0, 60, 0, 0);
  EXPECT_EQ(DumpChannel(song, 0, 0), "60:n1 61:n2v20 62:n3 63:n4");
}

TEST(XmWriter, CellForms) {
  const struct { uint8_t note, inst, vcol, event, data; const char* bytes; } cases[] = {
      {49, 0, 0, 0, 0, "81 31"},
      {49, 1, 0, 0, 0, "83 31 01"},
      {49, 1, 0x50, 0, 0, "87 31 01 50"},
      {49, 1, 0, 0x0C, 0x20, "31 01 00 0c 20"},
      {49, 1, 0x50, 0x0C, 0x20, "31 01 50 0c 20"},
      {97, 0, 0, 0, 0, "81 61"},
      {0, 0, 0, 0x0F, 0x06, "98 0f 06"},
      {0, 0, 0, 0, 0x37, "90 37"},
      {0, 0, 0, 0, 0, "80"},
  };
  for (const auto& c : cases) {
    TXMSong song;
    song.AddEvent(0, 0, 0, c.note, c.inst, c.vcol, c.event, c.data);
    if (c.note == 0 && c.data == 0) song.AddEvent(0, 0, 0, 0, 0, 0, 0, 0);
    song.AddPatternRows(0, 1);
    EXPECT_EQ(Hex(PatternBytes(song, 0).substr(9)), std::string(c.bytes) + " 80") << c.bytes;
  }
}

TEST(XmWriter, PatternsChannelsAndCounts) {
  TXMSong song;
  song.AddEvent(0, 2, 0, 49, 0, 0, 0, 0);
  song.AddPatternRows(0, 1);
  song.AddPatternRows(1, 2);
  EXPECT_EQ(Hex(PatternBytes(song, 1)), "09 00 00 00 00 02 00 08 00 80 80 80 80 80 80 80 80");
  EXPECT_EQ(song.ChannelCount, 4);

  TXMSong none;
  none.AddPatternRows(0, 5);
  EXPECT_EQ(Hex(PatternBytes(none, 0)), "09 00 00 00 00 05 00 00 00");
  EXPECT_EQ(none.ChannelCount, 0);

  TXMSong zero;
  zero.AddEvent(0, 0, 3, 49, 0, 0, 0, 0);
  EXPECT_EQ(Hex(PatternBytes(zero, 0)), "09 00 00 00 00 00 00 00 00");

  TXMSong beyond;
  beyond.AddEvent(0, 0, 40, 49, 0, 0, 0, 0);
  beyond.AddEvent(0, 1, 1, 49, 0, 0, 0, 0);
  beyond.AddPatternRows(0, 2);
  EXPECT_EQ(Hex(PatternBytes(beyond, 0)), "09 00 00 00 00 02 00 05 00 80 80 80 81 31");
}

TEST(XmWriter, OneNoteRoad) {
  Compiled r = CompileScore("#setorder 0 c4");
  ASSERT_TRUE(r.result.Success);
  std::string expected = "Extended Module: " + std::string(20, ' ') + "\x1a" + "ORVATE" + std::string(14, '\0');
  expected += std::string("\x04\x01\x14\x01\x00\x00", 6);        // version, header size 276
  expected += std::string("\x01\x00\x00\x00\x02\x00\x01\x00", 8);  // length 1, restart 0, 2 channels, 1 pattern
  expected += std::string("\x00\x00\x01\x00\x03\x00\x78\x00", 8);  // no instruments, flags, tempo 3, BPM 120
  expected += std::string(256, '\0');
  expected += std::string("\x09\x00\x00\x00\x00\x08\x00\x13\x00", 9);
  expected += "\x87\x25\x01\x50\x80";
  for (int row = 1; row < 8; ++row) expected += "\x80\x80";
  EXPECT_EQ(Hex(r.xm), Hex(expected));
}

TEST(XmWriter, OversizedPatternRefusedBeforeWriting) {
  // Pattern 1 has more rows than the 16-bit row field holds; it is named, not pattern 2.
  Compiled rows = CompileScore("#setorder 0 #pt 2 #ch 2 c*1 #pt 1 r*70000");
  EXPECT_FALSE(rows.result.Success);
  EXPECT_EQ(rows.result.Msg, std::string(msg::kPatternTooLargeHead) + "1" + msg::kPatternTooLargeTail);
  EXPECT_FALSE(rows.wrote);
  Compiled cells = CompileScore("#setorder 0 #ch 32 c*1 r*2047");
  EXPECT_EQ(cells.result.Msg, std::string(msg::kPatternTooLargeHead) + "0" + msg::kPatternTooLargeTail);
  // Packed data past 65535 bytes: 16 channels of 1024 rows of 5-byte cells.
  std::string dense = "#setorder 0 #extendrow";
  for (int ch = 1; ch <= 16; ++ch)
    dense += " #ch " + std::to_string(ch) + " v40 (@vib1,1 c*1)1024";
  Compiled packed = CompileScore(dense);
  EXPECT_EQ(packed.result.Msg, std::string(msg::kPatternTooLargeHead) + "0" + msg::kPatternTooLargeTail);
  EXPECT_FALSE(packed.wrote);
}

TEST(EventLog, LinesForPatternsChannelsAndEvents) {
  TXMSong empty;
  EXPECT_EQ(empty.EventLogText(), "#PATTERN NotFound\r\n");
  TXMSong song;
  song.AddEvent(0, 0, 0, 49, 1, 0x50, 0, 0);
  song.AddEvent(0, 0, 4, 97, 0, 0, 14, 0xC2);
  song.AddPatternRows(1, 0);
  EXPECT_EQ(song.EventLogText(),
            "#PATTERN(0)\r\n"
            " #CHANNEL(0)\r\n"
            "   Event:Time(     0),Note( 49),Inst(  1),VCol( 80),Event(  0),Data(  0)\r\n"
            "   Event:Time(     4),Note( 97),Inst(  0),VCol(  0),Event( 14),Data(194)\r\n"
            "#PATTERN(1)\r\n"
            " #CHANNEL NotFound\r\n");
  TXMSong wide;
  wide.MaxRows = 2000000000;
  wide.AddEvent(0, 0, 1234567, 1, 0, 0, 0, 0);
  wide.AddPatternRows(0, 0);
  wide.PrepareHeader();
  wide.AddEvent(0, 1, 0, 0, 0, 0, 0, 0);
  EXPECT_NE(wide.EventLogText().find("Time(1234567),Note(  1)"), std::string::npos);
}

TEST(EventLog, ShowsPaddedChannelsAfterASave) {
  Compiled r = CompileScore("#setorder 0 #ch 3 c4 #ch 1");
  ASSERT_TRUE(r.result.Success);
  EXPECT_EQ(r.song().EventLogText(),
            "#PATTERN(0)\r\n #CHANNEL(0)\r\n   NoEvent\r\n #CHANNEL(1)\r\n   NoEvent\r\n"
            " #CHANNEL(2)\r\n"
            "   Event:Time(     0),Note( 37),Inst(  1),VCol( 80),Event(  0),Data(  0)\r\n"
            "   Event:Time(     8),Note( 97),Inst(  0),VCol(  0),Event(  0),Data(  0)\r\n"
            " #CHANNEL(3)\r\n   NoEvent\r\n");
}
