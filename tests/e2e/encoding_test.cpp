// The console speaks UTF-8 only to a UTF-8 terminal or on request; scores may be cp932 or UTF-8.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/CompileHelper.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

using namespace orvate::testsupport;

namespace {

// Runs the program with its standard output on a pseudo-terminal.
std::string RunOnTerminal(const std::string& dir, const std::vector<std::string>& args,
                          const std::string& localeVar) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "no pty";
  const std::string slaveName = ::ptsname(master);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    const int slave = ::open(slaveName.c_str(), O_RDWR);
    ::dup2(slave, 1);
    ::close(master);
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    std::vector<std::string> copies = args;
    std::string program = ORVATEK_PATH;
    std::vector<char*> argv{program.data()};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string env = localeVar;
    char* envp[] = {env.data(), nullptr};
    ::execve(program.c_str(), argv.data(), envp);
    ::_exit(127);
  }
  std::string out;
  char buf[4096];
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the program has closed the terminal
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  // The terminal turns LF into CR LF on its way out; undo that to see what the program wrote.
  std::string raw;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') continue;
    raw += out[i];
  }
  return raw;
}

const std::string kUtf8Verdict = "ORVATE ver. 0.1β [コンソール版]\nコンパイル失敗.\n停止:[Y1,X13]: ｢x｣ : 未定義のコマンド又は文法エラーです.\n";
const std::string kCp932Verdict =
    "ORVATE ver. 0.1\x83\xc0 [\x83\x52\x83\x93\x83\x5c\x81\x5b\x83\x8b\x94\xc5]\r\n"
    "\x83\x52\x83\x93\x83\x70\x83\x43\x83\x8b\x8e\xb8\x94\x73.\r\n"
    "\x92\xe2\x8e\x7e:[Y1,X13]: \xa2x\xa3 : "
    "\x96\xa2\x92\xe8\x8b\x60\x82\xcc\x83\x52\x83\x7d\x83\x93\x83\x68\x96\x94\x82\xcd\x95\xb6\x96\x40\x83\x47\x83\x89\x81\x5b\x82\xc5\x82\xb7.\r\n";

}  // namespace

TEST(ConsoleEncoding, TerminalLocaleAndOption) {
  TempDir dir;
  WriteFile(dir / "s.mml", "#setorder 0 x");
  EXPECT_EQ(RunOnTerminal(dir.path(), {"s.mml"}, "LANG=ja_JP.UTF-8"), kUtf8Verdict);
  EXPECT_EQ(RunOnTerminal(dir.path(), {"s.mml"}, "LC_ALL=C.utf8"), kUtf8Verdict);
  // A terminal whose locale is not UTF-8 gets cp932 with its CR LF.
  EXPECT_EQ(RunOnTerminal(dir.path(), {"s.mml"}, "LANG=C"), kCp932Verdict);
  // Captured output stays cp932 whatever the locale; -utf8 forces UTF-8 everywhere.
  EXPECT_EQ(RunOrvatek(dir.path(), {"s.mml"}, {"LANG=ja_JP.UTF-8"}).out, kCp932Verdict);
  EXPECT_EQ(RunOrvatek(dir.path(), {"-utf8", "s.mml"}).out, kUtf8Verdict);
  EXPECT_EQ(RunOrvatek(dir.path(), {"s.mml", "/utf8"}).out, kUtf8Verdict);
  EXPECT_EQ(RunOrvatek(dir.path(), {"s.mml", "-UTF8"}).out.substr(0, 40), kCp932Verdict.substr(0, 34) + "-UTF8 ");
}

TEST(ConsoleEncoding, EchoedScoreBytesBecomeReplacementCharacters) {
  TempDir dir;
  // cp932: 0xB1 is halfwidth katakana, 0xFD is no character at all.
  WriteFile(dir / "a.mml", "#setorder 0 \xb1");
  WriteFile(dir / "b.mml", "#setorder 0 \xfd");
  // UTF-8 with a mark: a stray continuation byte is not valid UTF-8.
  WriteFile(dir / "c.mml", "\xef\xbb\xbf#setorder 0 \xe3\x81\x82 \x81");
  const auto last = [](const std::string& out) {
    const std::size_t start = out.rfind('\n', out.size() - 2);
    return out.substr(start + 1);
  };
  EXPECT_EQ(last(RunOrvatek(dir.path(), {"-utf8", "a.mml"}).out), "停止:[Y1,X13]: ｢ｱ｣ : 未定義のコマンド又は文法エラーです.\n");
  EXPECT_EQ(last(RunOrvatek(dir.path(), {"-utf8", "b.mml"}).out), "停止:[Y1,X13]: ｢\uFFFD｣ : 未定義のコマンド又は文法エラーです.\n");
  EXPECT_EQ(last(RunOrvatek(dir.path(), {"-utf8", "c.mml"}).out), "停止:[Y1,X15]: ｢\uFFFD｣ : 未定義のコマンド又は文法エラーです.\n");
  // Without -utf8 the byte goes out as it stands.
  EXPECT_EQ(last(RunOrvatek(dir.path(), {"b.mml"}).out).substr(0, 18), "\x92\xe2\x8e\x7e:[Y1,X13]: \xa2\xfd\xa3");
}

TEST(ScoreEncoding, SameScoreInCp932AndUtf8GivesTheSameModule) {
  // Japanese text between commands, in comments and in a quoted name, written in both encodings.
  const std::string cp932 =
      "// \x83\x81\x83\x8d\x83\x66\x83\x42\x81\x5b */ }\n#songname \"\x8b\xc8" "abc\"\n"
      "#setorder 0 $m{ c4 /* \x95\x5c } */ d4 } \x82\xa0 $m \x95\x5c e4 | f4 | g4 ||\n\x82\xa2 a4 x";
  const std::string utf8 =
      "// メロディー */ }\n#songname \"曲abc\"\n"
      "#setorder 0 $m{ c4 /* 表 } */ d4 } あ $m 表 e4 | f4 | g4 ||\nい a4 x";
  const std::string variants[] = {cp932, utf8, "\xef\xbb\xbf" + utf8};
  std::string firstMsg, firstLog;
  for (const std::string& score : variants) {
    Compiled r = CompileScore(score);
    EXPECT_FALSE(r.result.Success);
    if (firstMsg.empty()) {
      firstMsg = r.result.Msg;
      firstLog = r.song().EventLogText();
      EXPECT_EQ(r.result.Y, 4);
      EXPECT_EQ(r.result.X, 6);
    }
    EXPECT_EQ(r.result.Msg, firstMsg);
    EXPECT_EQ(r.song().EventLogText(), firstLog);
    EXPECT_EQ(std::string(r.song().ModuleName.data(), 4), std::string("abc\0", 4));
  }
  // Without the stray command, all three write the same module, byte for byte.
  std::string firstXm;
  for (std::string score : variants) {
    score.resize(score.size() - 2);
    Compiled r = CompileScore(score);
    ASSERT_TRUE(r.result.Success);
    if (firstXm.empty()) firstXm = r.xm;
    EXPECT_TRUE(r.xm == firstXm);
  }
}
