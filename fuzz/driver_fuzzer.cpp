// The command-line driver on fuzzed arguments and a fuzzed score file.
// Input: the score's bytes, then the arguments, each after a zero byte. Every plain argument is
// kept inside the sandbox: separators in it become "_" and the sandbox directory is put in
// front of it, so no run can read or replace a file elsewhere.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzSandbox.h"
#include "app/Console.h"
#include "app/Driver.h"
#include "source/Messages.h"

namespace {

constexpr std::size_t kMaxArgs = 8;

#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

std::string Confine(std::string arg) {
  std::size_t b = 0;
  while (b < arg.size() && static_cast<unsigned char>(arg[b]) <= 32) ++b;
  for (std::size_t i = b; i < arg.size(); ++i) {
    // A leading "/" stays: with no other "/" behind it the argument is an option.
    if (arg[i] == '\\' || (arg[i] == '/' && i > b)) arg[i] = '_';
  }
  if (b == arg.size() || arg[b] == '-' || arg[b] == '/') return arg;
  return arg.substr(0, b) + orvate::fuzz::SandboxDir() + arg.substr(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t zero = input.find('\0', from);
    parts.push_back(input.substr(from, zero == std::string::npos ? std::string::npos : zero - from));
    if (zero == std::string::npos || parts.size() > kMaxArgs) break;
    from = zero + 1;
  }
  // The driver's compiler has no step budget; without loop closes and macro calls every score
  // is compiled in time linear in its length. The compile fuzzer covers those commands.
  for (char& c : parts[0]) {
    if (c == ')' || c == ']' || c == '$') c = ' ';
  }
  {
    std::ofstream score(orvate::fuzz::SandboxDir() + "s.mml", std::ios::binary);
    score.write(parts[0].data(), static_cast<std::streamsize>(parts[0].size()));
  }
  std::vector<std::string> args;
  for (std::size_t i = 1; i < parts.size(); ++i) args.push_back(Confine(parts[i]));

  std::string out, err;
  orvate::TConsole console(&out, orvate::TConsoleMode::Cp932, &err);
  const int code = orvate::RunDriver(args, console);

  // The banner first, whole lines, and exit code 1 only after the log message. Lines are cp932
  // with CR LF, or, once "-utf8" asked for it, valid UTF-8 with LF.
  const bool utf8 = console.Mode() == orvate::TConsoleMode::Utf8;
  const auto text = [utf8](const char* cp932) {
    return (utf8 ? orvate::SystemTextToUtf8(cp932) : std::string(cp932)) + (utf8 ? "\n" : "\r\n");
  };
  const std::string banner = text(orvate::msg::kBanner);
  FUZZ_CHECK(out.compare(0, banner.size(), banner) == 0);
  FUZZ_CHECK(out.back() == '\n' && (!utf8 || orvate::LooksLikeUtf8(out)));
  if (!utf8) FUZZ_CHECK(out.compare(out.size() - 2, 2, "\r\n") == 0);
  const auto endsWith = [&out](const std::string& line) {
    return out.size() >= line.size() && out.compare(out.size() - line.size(), line.size(), line) == 0;
  };
  FUZZ_CHECK(code == 0 || (code == 1 && (endsWith(text(orvate::msg::kLogNotWritten)) ||
                                         endsWith(text(orvate::msg::kMapNotWritten)))));
  // Warnings follow a verdict of success only, and stay off standard output.
  FUZZ_CHECK(err.empty() || endsWith(text(orvate::msg::kSuccess)));

  orvate::fuzz::ResetSandbox();
  return 0;
}
