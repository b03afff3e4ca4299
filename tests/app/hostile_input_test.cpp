// The built program against bad scores and bad command lines: the exact console bytes, the exit
// code, and exactly the files that must be on disk afterwards (no partial output, no temporary
// leftovers, an existing output file untouched when the compilation fails).
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using orvate::testsupport::TempDir;
using orvate::testsupport::WriteFile;

// Console texts, cp932.
const std::string kBanner = "ORVATE ver. 0.1\x83\xc0 [\x83\x52\x83\x93\x83\x5c\x81\x5b\x83\x8b\x94\xc5]";
const std::string kUsage = "usage: ORVATEK.EXE MML-File [XM-File]";
const std::string kSuccess = "\x83\x52\x83\x93\x83\x70\x83\x43\x83\x8b\x90\xac\x8c\xf7.";
const std::string kFailure = "\x83\x52\x83\x93\x83\x70\x83\x43\x83\x8b\x8e\xb8\x94\x73.";
const std::string kBadValue =
    "\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xbd\x92\x6c\x82\xc9\x96\xe2\x91\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7.";
const std::string kBadOption =
    " : \x83\x54\x83\x7c\x81\x5b\x83\x67\x8a\x4f\x82\xcc\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82\xc5\x82\xb7.";
const std::string kNoInput =
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc"
    "\x82\xb9\x82\xf1.";
const std::string kNotFound =
    "\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xbd\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2"
    "\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1.";
const std::string kNoOrder =
    "\x83\x49\x81\x5b\x83\x5f\x81\x5b\x83\x65\x81\x5b\x83\x75\x83\x8b\x82\xc9\x93\x6f\x98\x5e\x82\xb3\x82\xea\x82\xc4"
    "\x82\xa2\x82\xdc\x82\xb9\x82\xf1.";
const std::string kUndefined =
    "\x96\xa2\x92\xe8\x8b\x60\x82\xcc\x83\x52\x83\x7d\x83\x93\x83\x68\x96\x94\x82\xcd\x95\xb6\x96\x40\x83\x47\x83\x89"
    "\x81\x5b\x82\xc5\x82\xb7.";
const std::string kRowsHead = "\x83\x70\x83\x5e\x81\x5b\x83\x93\x82\xc9\x82\xcd";
const std::string kRowsTail =
    "\x8d\x73\x82\xf0\x92\xb4\x82\xa6\x82\xc4\x83\x43\x83\x78\x83\x93\x83\x67\x82\xf0\x93\x6f\x98\x5e\x82\xb7\x82\xe9"
    "\x82\xb1\x82\xc6\x82\xcd\x8f\x6f\x97\x88\x82\xdc\x82\xb9\x82\xf1.";
const std::string kRow64 = kRowsHead + "64" + kRowsTail;
const std::string kRow1024 = kRowsHead + "1024" + kRowsTail;
const std::string kXiNotFound =
    "xi\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1.";
const std::string kUnreadable =
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1.";
const std::string kXmNotWritten = "XM\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\x6f\x97\xcd\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1.";
const std::string kLogNotWritten =
    "\x83\x43\x83\x78\x83\x93\x83\x67\x83\x8d\x83\x4f\x82\xf0\x8f\x6f\x97\xcd\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1.";

std::string TooLarge(int pattern) {
  return "\x83\x70\x83\x5e\x81\x5b\x83\x93(" + std::to_string(pattern) +
         ")\x82\xaa\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xc4XM\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc9\x8f\x6f\x97\xcd\x82"
         "\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1.";
}
std::string LogWritten(const std::string& path) {
  return "\x83\x43\x83\x78\x83\x93\x83\x67\x83\x8d\x83\x4f " + path + " \x82\xf0\x8f\x6f\x97\xcd\x82\xb5\x82\xdc\x82\xb5\x82\xbd.";
}
// "停止:[Y%d,X%d]: ｢" token "｣ : " message.
std::string Stop(int y, int x, const std::string& token, const std::string& message) {
  return "\x92\xe2\x8e\x7e:[Y" + std::to_string(y) + ",X" + std::to_string(x) + "]: \xa2" + token + "\xa3 : " + message;
}

// The module of a score that sets one order entry (pattern 0) and writes nothing: the header,
// then pattern 0 with no rows, no channels and no data.
std::string EmptyModule(const std::string& name = std::string(20, ' ')) {
  std::string xm = "Extended Module: " + name + '\x1a' + "ORVATE" + std::string(14, '\0');
  xm += std::string("\x04\x01" "\x14\x01\x00\x00" "\x01\x00" "\x00\x00" "\x00\x00" "\x01\x00" "\x00\x00" "\x01\x00"
                    "\x03\x00" "\x78\x00", 22);
  xm += std::string(256, '\0');
  xm += std::string("\x09\x00\x00\x00" "\x00" "\x00\x00" "\x00\x00", 9);
  return xm;
}
// Its event log once saved: one pattern, no channel.
const std::string kEmptyModuleLog = "#PATTERN(0)\r\n #CHANNEL NotFound\r\n";

// Bytes of a file, possibly megabytes long, made when a case runs: head, fill repeated, tail;
// or what a function makes.
struct Bytes {
  Bytes(const char* text = "") : head(text) {}
  Bytes(std::string text) : head(std::move(text)) {}
  Bytes(std::string h, std::size_t n, char f, std::string t) : head(std::move(h)), repeat(n), fill(f), tail(std::move(t)) {}
  explicit Bytes(std::string (*maker)()) : make(maker) {}
  std::string Expand() const { return make != nullptr ? make() : head + std::string(repeat, fill) + tail; }
  std::string head;
  std::size_t repeat = 0;
  char fill = 0;
  std::string tail;
  std::string (*make)() = nullptr;
};

// 300000 macro definitions, in an order that puts each new name among the earlier ones.
std::string ManyMacros() {
  constexpr unsigned kCount = 300007;  // a prime, so the stride below visits every number once
  std::string score = "#setorder 0\n";
  for (unsigned i = 0; i < kCount; ++i) score += "$m" + std::to_string(i * 7919u % kCount) + "{} ";
  return score;
}

enum class Kind { File, Dir, Unreadable };

struct Entry {
  std::string path;  // relative to the case directory
  Bytes content;
  Kind kind = Kind::File;
};

Entry Score(Bytes content) { return {"song.mml", std::move(content)}; }
Entry Dir(std::string path) { return {std::move(path), {}, Kind::Dir}; }

struct Case {
  std::string name;
  std::vector<Entry> before;  // all of them must still be there afterwards, unchanged
  std::vector<std::string> args;
  std::vector<std::string> lines;  // standard output after the banner
  int exitCode = 0;
  std::vector<Entry> created = {};  // and nothing else
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kSong = {"song.mml"};
const std::vector<std::string> kSongLog = {"song.mml", "-log"};

std::vector<Case> Cases() {
  const std::size_t k10MB = 10 * 1024 * 1024;
  std::vector<Case> c = {
      // Comments, strings and bytes that are no command.
      {"UnclosedBlockCommentSwallowsTheRest", {Score("#setorder 0 /* c d e")}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule()}}},
      {"UnclosedBlockCommentHidesTheOrder", {Score("/* #setorder 0")}, kSong, {kFailure, kNoOrder}},
      {"UnclosedStringHidesTheOrder", {Score("#songname \"abc\n#setorder 0\n")}, kSong, {kFailure, kNoOrder}},
      {"UnclosedStringTakesTheLineEnding", {Score("#setorder 0 #songname \"abc")}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule(std::string("abc\r\n", 5) + std::string(15, '\0'))}}},
      {"StrayByte80AfterANote", {Score("#setorder 0 c\x80")}, kSong, {kFailure, Stop(1, 14, "\x80", kUndefined)}},
      {"StrayHalfwidthKatakana", {Score("#setorder 0\n\xb1")}, kSong, {kFailure, Stop(2, 1, "\xb1", kUndefined)}},
      {"StrayByteFF", {Score("\xff#setorder 0")}, kSong, {kFailure, Stop(1, 1, "\xff", kUndefined)}},
      {"DoubleByteCharacterIsOneColumn", {Score("\x83\x5c\x83\x93x")}, kSong,
       {kFailure, Stop(1, 3, "x", kUndefined)}},
      {"LoneLeadByteAtTheEnd", {Score("#setorder 0\n\x81")}, kSong, {kSuccess}, 0, {{"song.xm", EmptyModule()}}},
      {"LoneLeadByteTakesTheCarriageReturnNotTheLine", {Score("#setorder 0\n\x81\nx")}, kSong,
       {kFailure, Stop(3, 1, "x", kUndefined)}},
      {"LoneLeadByteEndsAnUnclosedString", {Score("#setorder 0 #songname \"ab\x81")}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule(std::string("ab\n", 3) + std::string(17, '\0'))}}},
      {"NulByteEndsTheText", {Score(std::string("#setorder 0\0x", 13))}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule()}}},
      {"NulByteFirstLeavesNoText", {Score(std::string("\0#setorder 0", 12))}, kSong, {kFailure, kNoOrder}},
      {"EmptyFile", {Score("")}, kSong, {kFailure, kNoOrder}},

      // Numbers and arithmetic past the 32-bit range.
      {"NumberPastTheRangeIsNoNumber", {Score("#setorder 0 o2147483648")}, kSong,
       {kFailure, Stop(1, 14, "2", kUndefined)}},
      {"HexNumberPastTheRangeIsNoNumber", {Score("#setorder 0 @0x80000000")}, kSong,
       {kFailure, Stop(1, 13, "@", kBadValue)}},
      {"OrderEntryAtTheRangeEnd", {Score("#setorder 2147483647")}, kSong, {kFailure, Stop(1, 20, "#setorder", kBadValue)}},
      {"PitchPastTheRange", {Score("#transpose 2147483647 #setorder 0 c")}, kSong,
       {kFailure, Stop(1, 35, "c", kBadValue)}},
      {"HugeOctave", {Score("#setorder 0 o2147483647 c")}, kSong, {kFailure, Stop(1, 25, "c", kBadValue)}},
      {"OctaveStepPastTheTop", {Score("#setorder 0 o2147483647 >")}, kSong, {kFailure, Stop(1, 25, ">", kBadValue)}},
      {"OctaveStepPastTheBottom", {Score("#setorder 0 o-2147483647 < <")}, kSong,
       {kFailure, Stop(1, 28, "<", kBadValue)}},
      // The length expression consumes the line ending behind it, so the cursor is on line 2.
      {"NoteLengthPastTheRange", {Score("#setorder 0 c*2147483647^1")}, kSong, {kFailure, Stop(2, 0, "c", kBadValue)}},
      {"DefaultLengthPastTheRange", {Score("#setorder 0 l*2147483647^*1")}, kSong,
       {kFailure, Stop(2, 0, "l", kBadValue)}},
      {"RestPastTheRange", {Score("#setorder 0 _ r*2147483647")}, kSong, {kFailure, Stop(2, 0, "r", kBadValue)}},
      {"WaitPastTheRange", {Score("#setorder 0 _ w*2147483647")}, kSong, {kFailure, Stop(2, 0, "w", kBadValue)}},
      {"GateProductPastTheRange", {Score("#setorder 0 #gatebase 2147483647 q1 c")}, kSong,
       {kFailure, Stop(2, 0, "c", kBadValue)}},
      {"PortamentoTargetPastTheRange", {Score("#setorder 0 k2147483647 o0 c %g0,100")}, kSong,
       {kFailure, Stop(1, 36, "%g", kBadValue)}},
      {"CopyPastTheRange", {Score("#setorder 0 #ch2 r*2147483000 #ch1 r*1000 #copy 0,2")}, kSong,
       {kFailure, Stop(1, 51, "#copy", kBadValue)}},
      {"HugeLoopCountStopsAtTheRowLimit", {Score("#setorder 0 (c)2147483647")}, kSong,
       {kFailure, Stop(1, 14, "c", kRow64)}},
      {"LoopCountPastTheRange", {Score("#setorder 0 (c)2147483648")}, kSong, {kFailure, Stop(1, 15, ")", kBadValue)}},

      // Row limits and patterns too large for the module's size fields.
      {"Row64", {Score("#setorder 0 r*64 c")}, kSong, {kFailure, Stop(1, 18, "c", kRow64)}},
      {"NoteFromTheLastRowRunsPastTheLimit", {Score("#setorder 0 r*63 c _")}, kSong,
       {kFailure, Stop(1, 20, "_", kRow64)}},
      {"Row1024", {Score("#extendrow #setorder 0 r*1024 %n")}, kSong, {kFailure, Stop(1, 32, "%n", kRow1024)}},
      {"PatternRowsPastTheSizeField", {Score("#setorder 0 c*2147483647")}, kSong, {kFailure, TooLarge(0)}},
      {"FirstTooLargePatternIsNamed", {Score("#setorder 0 #pt 1 r*70000 #pt 2 r*80000")}, kSong,
       {kFailure, TooLarge(1)}},
      {"RowsTimesChannelsPastTheSizeField", {Score("#extendrow #setorder 0 #ch32 %n r*1023 r*3000")}, kSong,
       {kFailure, TooLarge(0)}},
      // 17 channels of 1024 four-byte cells: 70656 packed bytes in 1024 x 18 cells.
      {"PackedDataPastTheSizeField",
       {Score("#extendrow #setorder 0 $f{[c*1]1024} #ch1 $f #ch2 $f #ch3 $f #ch4 $f #ch5 $f #ch6 $f #ch7 $f #ch8 $f "
              "#ch9 $f #ch10 $f #ch11 $f #ch12 $f #ch13 $f #ch14 $f #ch15 $f #ch16 $f #ch17 $f")},
       kSong, {kFailure, TooLarge(0)}},

      // Ten-megabyte lines.
      {"LongLineOfBlanks", {Score(Bytes("", k10MB, ' ', "x"))}, kSong,
       {kFailure, Stop(1, static_cast<int>(k10MB) + 1, "x", kUndefined)}},
      {"LongLineComment", {Score(Bytes("//", k10MB, 'a', "\n#setorder 0"))}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule()}}},
      {"LongSongName", {Score(Bytes("#setorder 0 #songname \"", k10MB, 'A', "\""))}, kSong, {kSuccess}, 0,
       {{"song.xm", EmptyModule(std::string(20, 'A'))}}},
      {"LongLineOfSteps", {Score(Bytes("", k10MB, '_', ""))}, kSong, {kFailure, Stop(1, 65, "_", kRow64)}},
      {"ManyMacroDefinitions", {Score(Bytes(ManyMacros))}, kSong, {kSuccess}, 0, {{"song.xm", EmptyModule()}}},

      // Files that cannot be read or written.
      {"DirectoryAsInput", {Dir("in.mml")}, {"in.mml"}, {kNotFound}},
      {"DirectoryAsOutput", {Score("#setorder 0"), Dir("out.xm")}, {"song.mml", "out.xm"}, {kFailure, kXmNotWritten}},
      {"OutputInAMissingDirectory", {Score("#setorder 0")}, {"song.mml", "none/out.xm"}, {kFailure, kXmNotWritten}},
      {"OutputUnderARegularFile", {Score("#setorder 0"), {"plain", "keep"}}, {"song.mml", "plain/out.xm"},
       {kFailure, kXmNotWritten}},
      {"LogIsADirectory", {Score("#setorder 0"), Dir("song.log")}, kSongLog, {kLogNotWritten}, 1,
       {{"song.xm", EmptyModule()}}},
      {"LogAndOutputInAMissingDirectory", {Score("#setorder 0")}, {"-log", "song.mml", "none/out.xm"},
       {kLogNotWritten}, 1},
      {"LogOfAFailedCompilation", {Score("x")}, kSongLog,
       {LogWritten("song.log"), kFailure, Stop(1, 1, "x", kUndefined)}, 0, {{"song.log", "#PATTERN NotFound\r\n"}}},
      {"LogOfAnEmptySong", {Score("#setorder 0")}, kSongLog, {LogWritten("song.log"), kSuccess}, 0,
       {{"song.xm", EmptyModule()}, {"song.log", kEmptyModuleLog}}},
      {"MissingInstrument", {Score("#instrument \"missing.xi\" #setorder 0")}, kSong,
       {kFailure, Stop(1, 24, "#instrument", kXiNotFound)}},
      {"InstrumentNameInAnUnclosedString", {Score("#setorder 0 #instrument \"inst.xi"), {"inst.xi", "xi"}}, kSong,
       {kFailure, Stop(2, 0, "#instrument", kXiNotFound)}},
      {"UnreadableInstrument",
       {Score("#instrument \"inst.xi\" #setorder 0"), {"inst.xi", std::string(300, 'i'), Kind::Unreadable}}, kSong,
       {kFailure, kXmNotWritten}},
      {"UnreadableInput", {{"song.mml", "#setorder 0", Kind::Unreadable}}, kSongLog, {kUnreadable}},
      // The header counts instruments in 16 bits.
      {"InstrumentCountPastTheSizeField", {Score("#setorder 0 [#instrument \"inst.xi\"]65536"), {"inst.xi", "xi"}},
       kSong, {kFailure, kXmNotWritten}},

      // An existing output file keeps its content when the compilation fails.
      {"FailedScoreKeepsTheOldOutput", {Score("#setorder 0 x"), {"song.xm", "old"}}, kSong,
       {kFailure, Stop(1, 13, "x", kUndefined)}},
      {"TooLargePatternKeepsTheOldOutput", {Score("#setorder 0 r*65536"), {"song.xm", "old"}}, kSong,
       {kFailure, TooLarge(0)}},
      {"UnreadableInstrumentKeepsTheOldOutput",
       {Score("#instrument \"inst.xi\" #setorder 0"), {"inst.xi", std::string(300, 'i'), Kind::Unreadable},
        {"song.xm", "old"}},
       kSong, {kFailure, kXmNotWritten}},

      // Command lines.
      {"NoArguments", {Score("#setorder 0")}, {}, {kUsage}},
      {"OnlyTheLogOption", {Score("#setorder 0")}, {"-log"}, {kNoInput}},
      {"EmptyArgumentsAreSkipped", {Score("#setorder 0")}, {"", " \t", "\tsong.mml\x01"}, {kSuccess}, 0,
       {{"song.xm", EmptyModule()}}},
      {"OptionInCapitals", {Score("#setorder 0")}, {"song.mml", "-LOG"}, {"-LOG" + kBadOption}},
      {"SlashOption", {Score("#setorder 0")}, {"/x", "song.mml"}, {"/x" + kBadOption}},
      {"MissingInputWithLog", {}, {"-log", "none.mml"}, {kNotFound}},
      // 0x83 0x5C is one character: its trail byte separates nothing.
      {"DoubleByteInputName", {{"\x83\x5c.mml", "#setorder 0"}}, {"\x83\x5c.mml"}, {kSuccess}, 0,
       {{"\x83\x5c.xm", EmptyModule()}}},
  };
  return c;
}

// In one read: some files are ten megabytes.
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// The file system as a case sees it: relative path to content, directories marked.
using Listing = std::map<std::string, std::string>;
const char kDirMark[] = "<directory>";

Listing List(const std::string& root) {
  Listing out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    out[rel] = e.is_directory() ? std::string(kDirMark) : ReadFile(e.path().string());
  }
  return out;
}

std::string Shown(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < 400; ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", b);
    out += (b >= 0x20 && b < 0x7f && b != '\\') ? std::string(1, static_cast<char>(b)) : std::string(hex);
  }
  if (bytes.size() > 400) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

// Without the two capabilities even root is held to the permission bits, so a file of mode 000
// cannot be read: gone from this process, and from the bounding set for what it executes.
void DropFileOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) == 0) {
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header, data);
  }
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

struct Outcome {
  std::string out;
  int exitCode = -1;
  bool timedOut = false;
};

Outcome RunProgram(const std::string& dir, const std::vector<std::string>& args, const std::string& errPath) {
  Outcome run;
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return run;
  std::vector<std::string> argStore = {ORVATEK_PATH};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFd[1], 1);
    ::close(pipeFd[0]);
    ::close(pipeFd[1]);
    FILE* err = std::freopen(errPath.c_str(), "w", stderr);
    (void)err;
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    DropFileOverride();
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
  }
  ::close(pipeFd[1]);
  // Every case is finite work; one that runs on this long has hung.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buf[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{pipeFd[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
      ::kill(pid, SIGKILL);
      run.timedOut = true;
      break;
    }
    const ssize_t n = ::read(pipeFd[0], buf, sizeof buf);
    if (n <= 0) break;
    run.out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipeFd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// Whether a child set up like the program's can open the file.
bool ReadableToProgram(const std::string& path) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    DropFileOverride();
    FILE* f = std::fopen(path.c_str(), "rb");
    ::_exit(f != nullptr ? 1 : 0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}

class HostileInput : public ::testing::TestWithParam<Case> {};

TEST_P(HostileInput, ExactConsoleExitCodeAndFiles) {
  const Case& c = GetParam();
  TempDir tmp;
  const std::string dir = tmp / "case";
  fs::create_directory(dir);

  Listing want;
  for (const Entry& e : c.before) {
    const std::string path = dir + "/" + e.path;
    if (e.kind == Kind::Dir) {
      fs::create_directories(path);
      want[e.path] = kDirMark;
      continue;
    }
    want[e.path] = e.content.Expand();
    WriteFile(path, want[e.path]);
    if (e.kind == Kind::Unreadable) {
      ::chmod(path.c_str(), 0);
      if (ReadableToProgram(path)) GTEST_SKIP() << "cannot make a file unreadable here";
    }
  }
  for (const Entry& e : c.created) want[e.path] = e.kind == Kind::Dir ? kDirMark : e.content.Expand();

  const Outcome run = RunProgram(dir, c.args, tmp / "stderr.txt");
  EXPECT_FALSE(run.timedOut) << "still running after 60 s";
  // Readable again, so the files can be compared.
  for (const Entry& e : c.before) {
    if (e.kind == Kind::Unreadable) ::chmod((dir + "/" + e.path).c_str(), 0644);
  }

  std::string expected = kBanner + "\r\n";
  for (const std::string& line : c.lines) expected += line + "\r\n";
  if (run.out != expected) ADD_FAILURE() << "printed " << Shown(run.out) << "\n  instead of " << Shown(expected);
  EXPECT_EQ(run.exitCode, c.exitCode) << ReadFile(tmp / "stderr.txt");

  const Listing got = List(dir);
  for (const auto& [path, bytes] : want) {
    const auto it = got.find(path);
    if (it == got.end()) {
      ADD_FAILURE() << "missing: " << Shown(path);
    } else if (it->second != bytes) {
      ADD_FAILURE() << Shown(path) << " holds " << Shown(it->second) << "\n  instead of " << Shown(bytes);
    }
  }
  for (const auto& [path, bytes] : got) {
    if (want.count(path) == 0) ADD_FAILURE() << "unexpected file: " << Shown(path) << " = " << Shown(bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileInput, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
