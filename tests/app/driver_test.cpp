#include <gtest/gtest.h>

#include "app/AppUtils.h"
#include "app/Driver.h"
#include "source/Messages.h"
#include "support/TempDir.h"

using namespace orvate;
using namespace orvate::testsupport;

namespace {

std::string Drive(const std::vector<std::string>& args, int* code = nullptr) {
  std::string out;
  TConsole console(&out);
  const int rc = RunDriver(args, console);
  if (code != nullptr) *code = rc;
  return out;
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

}  // namespace

TEST(Paths, SplittingAndNaming) {
  const struct { const char* in; const char* out; const char* log; const char* dir; } cases[] = {
      {"song.mml", "song.xm", "song.log", ""},
      {"song", "song.xm", "song.log", ""},
      {"song.", "song.xm", "song.log", ""},
      {"song.old.mml", "song.xm", "song.log", ""},
      {"dir\\song.old.mml", "dir\\song.xm", "dir\\song.log", "dir\\"},
      {"a.b/song", "a.b/song.xm", "a.b/song.log", "a.b/"},
      {"c:tune.mml", "c:tune.xm", "c:tune.log", "c:"},
      // 0x95 0x5C is one cp932 character: its trail byte is no separator.
      {"\x95\x5c.mml", "\x95\x5c.xm", "\x95\x5c.log", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DeriveOutFile(c.in), c.out) << c.in;
    EXPECT_EQ(DeriveLogFile(DeriveOutFile(c.in)), c.log) << c.in;
    EXPECT_EQ(ExtractFileDir(c.in), c.dir) << c.in;
  }
  EXPECT_EQ(DeriveLogFile("out.old.xm"), "out.old.log");
  EXPECT_EQ(DeriveLogFile("out"), "out.log");
  EXPECT_EQ(ToSystemPath("dir\\sub\\x.xi"), "dir/sub/x.xi");
  EXPECT_EQ(ToSystemPath("\x95\x5c\\x"), "\x95\x5c/x");
  EXPECT_EQ(GetAppDir().back(), '/');
}

TEST(Driver, ArgumentsAndOptions) {
  const std::string banner = msg::kBanner;
  EXPECT_EQ(Drive({}), Lines({banner, msg::kUsage}));
  EXPECT_EQ(Drive({"-log"}), Lines({banner, msg::kNoInput}));
  EXPECT_EQ(Drive({"  ", "\t"}), Lines({banner, msg::kNoInput}));  // given, but empty after trimming
  EXPECT_EQ(Drive({"x.mml", "-log2", "y"}), Lines({banner, std::string("-log2") + msg::kBadOption}));
  EXPECT_EQ(Drive({" /LOG "}), Lines({banner, std::string("/LOG") + msg::kBadOption}));
  EXPECT_EQ(Drive({"/x", "a.mml"}), Lines({banner, std::string("/x") + msg::kBadOption}));
  // A path with a further "/" is a file, not an option.
  EXPECT_EQ(Drive({"/nonexistent-dir/song.mml", "-log"}), Lines({banner, msg::kInputNotFound}));
  TempDir dir;
  EXPECT_EQ(Drive({dir.path()}), Lines({banner, msg::kInputNotFound}));
}

TEST(Driver, CompilesTrimmedArgumentsAndWritesTheLog) {
  TempDir dir;
  WriteFile(dir / "a.b.mml", "#setorder 0 c4");
  int code = -1;
  const std::string out = Drive({"\t" + (dir / "a.b.mml") + " ", "/log"}, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, Lines({msg::kBanner,
                        std::string(msg::kLogWrittenHead) + (dir / "a.log") + msg::kLogWrittenTail,
                        msg::kSuccess}));
  EXPECT_TRUE(Exists(dir / "a.xm"));
  EXPECT_EQ(ReadFile(dir / "a.log").substr(0, 13), "#PATTERN(0)\r\n");
}

TEST(Driver, UnwritableOutputs) {
  TempDir dir;
  WriteFile(dir / "s.mml", "#setorder 0 c4");
  WriteFile(dir / "file", "not a directory");
  // The XM cannot be written: the verdict is a failure with no position.
  EXPECT_EQ(Drive({dir / "s.mml", dir / "file/out.xm"}),
            Lines({msg::kBanner, msg::kFailure, msg::kXmNotWritten}));
  // Nor the log: its own message, no verdict, exit code 1.
  int code = 0;
  EXPECT_EQ(Drive({dir / "s.mml", dir / "file/out.xm", "-log"}, &code),
            Lines({msg::kBanner, msg::kLogNotWritten}));
  EXPECT_EQ(code, 1);
  // A directory in the output's place is left alone.
  std::filesystem::create_directories(dir / "d.xm");
  EXPECT_EQ(Drive({dir / "s.mml", dir / "d.xm"}), Lines({msg::kBanner, msg::kFailure, msg::kXmNotWritten}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "d.xm"));
}

TEST(Driver, ReplacesAFileThroughItsLinkAndKeepsItsMode) {
  TempDir dir;
  WriteFile(dir / "s.mml", "#setorder 0 c4");
  WriteFile(dir / "t.xm", "old");
  std::filesystem::permissions(dir / "t.xm", std::filesystem::perms(0640));
  std::filesystem::create_symlink(dir / "t.xm", dir / "link.xm");
  EXPECT_EQ(Drive({dir / "s.mml", dir / "link.xm"}), Lines({msg::kBanner, msg::kSuccess}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.xm"));
  EXPECT_EQ(ReadFile(dir / "t.xm").substr(0, 17), "Extended Module: ");
  EXPECT_EQ(std::filesystem::status(dir / "t.xm").permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));
  // Nothing else is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(Driver, WarningsGoToStandardErrorAfterTheVerdictOnlyWhenAsked) {
  TempDir dir;
  WriteFile(dir / "s.mml", "#setorder 0 #speed 40\n#instrument \"s.mml\"\nc1\n");
  for (const bool utf8 : {false, true}) {
    SCOPED_TRACE(utf8);
    std::string out, err;
    TConsole console(&out, utf8 ? TConsoleMode::Utf8 : TConsoleMode::Cp932, &err);
    EXPECT_EQ(RunDriver({dir / "s.mml", "-warn"}, console), 0);
    std::string quiet, quietErr;
    TConsole plain(&quiet, utf8 ? TConsoleMode::Utf8 : TConsoleMode::Cp932, &quietErr);
    EXPECT_EQ(RunDriver({dir / "s.mml"}, plain), 0);
    EXPECT_EQ(out, quiet);
    EXPECT_EQ(quietErr, "");
    // The score names itself as an instrument: too short for an XI file, so a placeholder.
    const std::string expected = utf8 ? "警告:[Y1,X12]: スピード40は31を超えています: libxmpはこのモジュールを読み込みません.\n"
                                        "警告:[Y2,X0]: 音色(1)のxiファイルが無いか短すぎるため, 空の音色(Instrument ImportError)になります.\n"
                                        "警告:[Y3,X0]: 音色(1)は空の音色です: この音は鳴りません.\n"
                                      : std::string("\x8c\x78\x8d\x90:[Y1,X12]: \x83X\x83s\x81[\x83h" "40\x82\xcd" "31") +
                                            "\x82\xf0\x92\xb4\x82\xa6\x82\xc4\x82\xa2\x82\xdc\x82\xb7: libxmp\x82\xcd\x82\xb1\x82\xcc"
                                            "\x83\x82\x83W\x83\x85\x81[\x83\x8b\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xdc\x82\xb9"
                                            "\x82\xf1.\r\n";
    if (utf8) EXPECT_EQ(err, expected);
    else EXPECT_EQ(err.substr(0, err.find('\n') + 1), expected);
  }
}

TEST(Driver, MapIsWrittenBesideTheModuleOnlyForACompiledScore) {
  TempDir dir;
  WriteFile(dir / "a.mml", "#setorder 0\nc4\n");
  WriteFile(dir / "b.mml", "c4\n");
  std::string out;
  TConsole console(&out);
  EXPECT_EQ(RunDriver({dir / "a.mml", dir / "song.v1.xm", "/map"}, console), 0);
  EXPECT_NE(ReadFile(dir / "song.v1.map.json").find("\"cells\":["), std::string::npos);
  EXPECT_EQ(RunDriver({dir / "b.mml", "-map"}, console), 0);
  EXPECT_FALSE(Exists(dir / "b.map.json"));
  EXPECT_FALSE(Exists(dir / "b.xm"));
  EXPECT_EQ(Drive({dir / "a.mml", "-MAP"}), Lines({msg::kBanner, std::string("-MAP") + msg::kBadOption}));
}
