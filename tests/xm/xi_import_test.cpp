// XI files copied into the module as instruments: the header rearranged, the rest copied,
// the extension block left out, placeholders for missing or short files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "support/CompileHelper.h"
#include "support/TempDir.h"
#include "support/XiWriter.h"

namespace orvate::testsupport {
namespace {

constexpr char kXmNotWritten[] =
    "\x58\x4d\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\x6f\x97\xcd\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x2e";
constexpr char kFailed[] = "\x83\x52\x83\x93\x83\x70\x83\x43\x83\x8b\x8e\xb8\x94\x73\x2e";

const std::string kPlaceholder("\x1d\0\0\0" "Instrument ImportError" "\0" "\0\0", 29);

uint32_t U16(const std::string& b, std::size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}
uint32_t U32(const std::string& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

// Everything after the last pattern: the instrument blocks.
std::string InstrumentBlocks(const std::string& xm) {
  std::size_t pos = 60 + U32(xm, 60);
  for (uint32_t p = 0; p < U16(xm, 70); ++p) pos += U32(xm, pos) + U16(xm, pos + 7);
  return xm.substr(pos);
}

// The block an XI file should give: a 263-byte header from the XI header, then the
// copied range of the file.
std::string ImportedBlock(const std::string& xi, std::size_t copyEnd) {
  std::string b("\x07\x01\0\0", 4);
  b += xi.substr(21, 22);
  b += '\0';
  b += xi.substr(296, 2);
  b += std::string("\x28\0\0\0", 4);
  b += xi.substr(66, 230);
  return b + xi.substr(298, copyEnd - 298);
}

// A header with something in every field, padded with a byte pattern to size bytes (the
// padding stands where the sample headers would be, so it is copied unchanged).
std::string XiOfSize(std::size_t size) {
  XiInstrument inst;
  inst.name = "Sized";
  for (std::size_t n = 0; n < 96; ++n) inst.keymap[n] = static_cast<uint8_t>(n % 3);
  inst.volumeEnvelope = XiEnvelope::Of({{0, 64}, {20, 0}});
  inst.fadeout = 0x0123;
  inst.sampleCount = 3;
  std::string bytes = inst.Bytes();
  for (std::size_t i = bytes.size(); i < size; ++i) bytes += static_cast<char>((i * 7 + 3) & 0xFF);
  bytes.resize(size);
  return bytes;
}

std::string Score(const std::vector<std::string>& files) {
  std::string s;
  for (const std::string& f : files) s += "#instrument \"" + f + "\"\n";
  return s + "#setorder 0\nc\n";
}

TEST(XiImport, FileSizeAndExtensionBlock) {
  struct Case {
    const char* what;
    std::size_t size;
    std::size_t marker;  // where "XTPM" is stamped; 0 for none
    const char* stamp;
    std::size_t copyEnd;  // 0: placeholder
  } cases[] = {
      {"empty file", 0, 0, "", 0},
      {"header only, 298 bytes", 298, 0, "", 0},
      {"one byte after the header", 299, 0, "", 299},
      {"1396 bytes: too short for an extension block", 1396, 297, "XTPM", 1396},
      {"1397 bytes, block right after the header", 1397, 298, "XTPM", 298},
      {"1397 bytes, other tag", 1397, 298, "XTPX", 1397},
      {"2000 bytes, block at 901", 2000, 901, "XTPM", 901},
      {"2000 bytes, tag one byte early", 2000, 900, "XTPM", 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string xi = XiOfSize(c.size);
    if (c.marker != 0) xi.replace(c.marker, 4, c.stamp);
    WriteFile(dir / "a.xi", xi);
    Compiled out = CompileScore(Score({"a.xi"}), dir.path() + "/");
    ASSERT_TRUE(out.result.Success) << out.result.Msg;
    ASSERT_TRUE(out.wrote);
    EXPECT_EQ(U16(out.xm, 72), 1u);
    EXPECT_EQ(InstrumentBlocks(out.xm), c.copyEnd == 0 ? kPlaceholder : ImportedBlock(xi, c.copyEnd));
  }
}

TEST(XiImport, HeaderFieldsLandInTheirPlaces) {
  XiInstrument inst;
  inst.name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // cut to 22 bytes, no terminator
  for (std::size_t n = 0; n < 96; ++n) inst.keymap[n] = n < 48 ? 0 : 1;
  inst.volumeEnvelope = XiEnvelope::Of({{0, 64}, {10, 48}, {300, 0}}, kEnvSustain | kEnvLoop, 1);
  inst.volumeEnvelope.loopStart = 0;
  inst.volumeEnvelope.loopEnd = 2;
  inst.panningEnvelope = XiEnvelope::Of({{0, 32}, {50, 16}});
  inst.panningEnvelope.sustain = 5;
  inst.panningEnvelope.loopStart = 6;
  inst.panningEnvelope.loopEnd = 7;
  inst.vibratoType = 1;
  inst.vibratoSweep = 2;
  inst.vibratoDepth = 3;
  inst.vibratoRate = 4;
  inst.fadeout = 0x1234;
  for (std::size_t i = 0; i < 22; ++i) inst.reserved[i] = static_cast<uint8_t>(0xA0 + i);
  const std::vector<int16_t> saw = wave::Saw(16, 8, 100);
  const std::vector<int16_t> sine = wave::Sine(8, 8, 30000);
  inst.samples.push_back(XiSample::Of("saw8", saw, false, kForwardLoop, 4, 8));
  XiSample s16 = XiSample::Of("sine16", sine, true, kPingPongLoop, 2, 6);
  s16.volume = 40;
  s16.finetune = -16;
  s16.panning = 200;
  s16.relativeNote = -12;
  inst.samples.push_back(s16);

  TempDir dir;
  WriteFile(dir / "probe.xi", inst.Bytes());
  Compiled out = CompileScore(Score({"probe.xi"}), dir.path() + "/");
  ASSERT_TRUE(out.wrote) << out.result.Msg;
  const std::string b = InstrumentBlocks(out.xm);
  ASSERT_EQ(b.size(), 263u + 2 * 40 + 16 + 8 * 2);

  EXPECT_EQ(U32(b, 0), 263u);
  EXPECT_EQ(b.substr(4, 22), "ABCDEFGHIJKLMNOPQRSTUV");
  EXPECT_EQ(b[26], 0);
  EXPECT_EQ(U16(b, 27), 2u);
  EXPECT_EQ(U32(b, 29), 40u);
  for (std::size_t n = 0; n < 96; ++n) ASSERT_EQ(b[33 + n], n < 48 ? 0 : 1) << "note " << n;
  const uint32_t volPoints[] = {0, 64, 10, 48, 300, 0};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(U16(b, 129 + 2 * i), volPoints[i]) << i;
  for (std::size_t at = 141; at < 177; ++at) EXPECT_EQ(b[at], 0) << at;
  const uint32_t panPoints[] = {0, 32, 50, 16};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(U16(b, 177 + 2 * i), panPoints[i]) << i;
  // Point counts, sustain and loop points, envelope types, vibrato.
  const uint8_t settings[] = {3, 2, 1, 0, 2, 5, 6, 7, kEnvOn | kEnvSustain | kEnvLoop, kEnvOn, 1, 2, 3, 4};
  for (std::size_t i = 0; i < sizeof settings; ++i) EXPECT_EQ(static_cast<uint8_t>(b[225 + i]), settings[i]) << i;
  EXPECT_EQ(U16(b, 239), 0x1234u);
  for (std::size_t i = 0; i < 22; ++i) EXPECT_EQ(static_cast<uint8_t>(b[241 + i]), 0xA0 + i) << i;

  // Sample headers: lengths in bytes, then volume, finetune, type, panning, relative note.
  EXPECT_EQ(U32(b, 263), 16u);
  EXPECT_EQ(U32(b, 267), 4u);
  EXPECT_EQ(U32(b, 271), 8u);
  EXPECT_EQ(b.substr(275, 6), std::string("\x40\x00\x01\x80\x00\x00", 6));
  EXPECT_EQ(b.substr(281, 22), std::string("saw8").append(18, '\0'));
  EXPECT_EQ(U32(b, 303), 16u);
  EXPECT_EQ(U32(b, 307), 4u);
  EXPECT_EQ(U32(b, 311), 12u);
  EXPECT_EQ(b.substr(315, 6), std::string("\x28\xf0\x12\xc8\xf4\x00", 6));
  // Delta data decodes back to the waveforms.
  int16_t v = 0;
  for (std::size_t i = 0; i < saw.size(); ++i) {
    v = static_cast<int8_t>(v + b[343 + i]);
    ASSERT_EQ(v, saw[i]) << "8-bit frame " << i;
  }
  v = 0;
  for (std::size_t i = 0; i < sine.size(); ++i) {
    v = static_cast<int16_t>(v + static_cast<int16_t>(U16(b, 359 + 2 * i)));
    ASSERT_EQ(v, sine[i]) << "16-bit frame " << i;
  }
}

// A file that disappears after "#instrument" found it: the next save writes the placeholder
// in its place, and the other instruments keep their numbers.
TEST(XiImport, MissingFileBetweenTwoOthers) {
  TempDir dir;
  const std::string first = XiOfSize(400), second = XiOfSize(500), third = XiOfSize(350);
  WriteFile(dir / "1.xi", first);
  WriteFile(dir / "2.xi", second);
  WriteFile(dir / "3.xi", third);
  Compiled out = CompileScore(Score({"1.xi", "2.xi", "3.xi"}), dir.path() + "/");
  ASSERT_TRUE(out.wrote) << out.result.Msg;
  EXPECT_EQ(InstrumentBlocks(out.xm), ImportedBlock(first, 400) + ImportedBlock(second, 500) +
                                          ImportedBlock(third, 350));

  std::filesystem::remove(dir / "2.xi");
  ASSERT_GT(out.song().SaveToFile(dir / "again.xm"), 0);
  const std::string xm = ReadFile(dir / "again.xm");
  EXPECT_EQ(U16(xm, 72), 3u);
  EXPECT_EQ(InstrumentBlocks(xm), ImportedBlock(first, 400) + kPlaceholder + ImportedBlock(third, 350));
  EXPECT_EQ(out.song().InstFiles[1], dir / "2.xi");
}

// The instrument library is looked at again when the XM file is written: a file gone from
// where "#instrument" found it is taken from there, and the song keeps the new path.
TEST(XiImport, LibraryFallbackAtSave) {
  struct Case {
    const char* suffix;     // written after the library directory in "#instlib"
    const char* afterSave;  // what the song's library directory ends with after a save
    const char* join;       // between the directory and the file name in the new entry
  } cases[] = {{"", "/", "/"}, {"/", "/", "/"}, {"\\", "\\", "\\"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("library suffix ") + c.suffix);
    TempDir src, lib;
    const std::string near = XiOfSize(300), inLib = XiOfSize(310);
    WriteFile(src / "bass.xi", near);
    WriteFile(lib / "bass.xi", inLib);
    const std::string libDir = lib.path() + c.suffix;
    Compiled out = CompileScore("#instlib \"" + libDir + "\"\n" + Score({src / "bass.xi"}));
    ASSERT_TRUE(out.wrote) << out.result.Msg;
    EXPECT_EQ(InstrumentBlocks(out.xm), ImportedBlock(near, 300));
    EXPECT_EQ(out.song().InstFiles[0], src / "bass.xi");
    EXPECT_EQ(out.song().InstLibDir, lib.path() + c.afterSave);

    std::filesystem::remove(src / "bass.xi");
    ASSERT_GT(out.song().SaveToFile(src / "again.xm"), 0);
    EXPECT_EQ(InstrumentBlocks(ReadFile(src / "again.xm")), ImportedBlock(inLib, 310));
    EXPECT_EQ(out.song().InstFiles[0], lib.path() + c.join + "bass.xi");
    EXPECT_EQ(out.song().InstLibDir, lib.path() + c.afterSave);
  }
}

TEST(XiImport, LibraryDirectoryUntouchedWithoutInstruments) {
  Compiled out = CompileScore("#instlib \"lib\"\n#setorder 0\nc\n");
  ASSERT_TRUE(out.wrote) << out.result.Msg;
  EXPECT_EQ(out.song().InstLibDir, "lib");
  EXPECT_EQ(U16(out.xm, 72), 0u);
  EXPECT_EQ(InstrumentBlocks(out.xm), "");
}

// An instrument file that exists but cannot be read fails the save: the message, and the
// output path keeps what it held. Run as root, permission bits stop nothing, so the reliable
// case is a link to a regular file whose reads fail.
TEST(XiImport, UnreadableFileFailsTheSave) {
  struct Case {
    const char* what;
    bool needsNonRoot;
    void (*make)(const std::string& path);
  } cases[] = {
      {"link to /proc/self/mem (reads at offset 0 fail)", false,
       [](const std::string& p) { std::filesystem::create_symlink("/proc/self/mem", p); }},
      {"mode 000", true,
       [](const std::string& p) {
         WriteFile(p, XiOfSize(400));
         ::chmod(p.c_str(), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsNonRoot && ::geteuid() == 0) {
      std::cout << "[ SKIPPED  ] " << c.what << ": root reads it anyway\n";
      continue;
    }
    TempDir dir;
    WriteFile(dir / "good.xi", XiOfSize(400));
    c.make(dir / "locked.xi");

    // In process: the verdict and no file.
    Compiled out = CompileScore(Score({"good.xi", "locked.xi"}), dir.path() + "/");
    EXPECT_FALSE(out.result.Success);
    EXPECT_EQ(out.result.Msg, kXmNotWritten);
    EXPECT_FALSE(out.wrote);

    // Through the program: the console lines, and an existing output file left as it was.
    WriteFile(dir / "song.mml", Score({"good.xi", "locked.xi"}));
    WriteFile(dir / "song.xm", "old");
    const std::string cmd = std::string("'") + ORVATEK_PATH + "' '" + (dir / "song.mml") + "' '" +
                            (dir / "song.xm") + "' > '" + (dir / "console.txt") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string console = ReadFile(dir / "console.txt");
    const std::string tail = std::string(kFailed) + "\r\n" + kXmNotWritten + "\r\n";
    ASSERT_GE(console.size(), tail.size());
    EXPECT_EQ(console.substr(console.size() - tail.size()), tail);
    EXPECT_EQ(ReadFile(dir / "song.xm"), "old");
  }
}

}  // namespace
}  // namespace orvate::testsupport
