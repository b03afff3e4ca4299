#include "app/Driver.h"

#include <memory>

#include "app/AppUtils.h"
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

// "-x" is an option; "/x" too, unless another "/" makes it an absolute path.
bool IsOption(const std::string& arg) {
  if (arg[0] == '-') return true;
  return arg[0] == '/' && arg.find('/', 1) == std::string::npos;
}

}  // namespace

bool IsUtf8Option(const std::string& arg) { return arg == "-utf8" || arg == "/utf8"; }

int RunDriver(const std::vector<std::string>& args, TConsole& console) {
  // The console's encoding is settled before anything is printed, banner included.
  for (const std::string& raw : args) {
    if (IsUtf8Option(Trim(raw))) console.SetMode(TConsoleMode::Utf8);
  }
  console.Line(msg::kBanner);
  if (args.empty()) {
    console.Line(msg::kUsage);
    return 0;
  }
  bool logFlag = false;
  std::string inFile, outFile;
  for (const std::string& raw : args) {
    const std::string arg = Trim(raw);
    if (arg.empty()) continue;
    if (IsOption(arg)) {
      if (arg == "-log" || arg == "/log") {
        logFlag = true;
        continue;
      }
      if (IsUtf8Option(arg)) continue;
      console.Line({{TPiece::Arg, arg}, {TPiece::Text, msg::kBadOption}});
      return 0;
    }
    if (inFile.empty()) inFile = arg;
    else if (outFile.empty()) outFile = arg;
  }
  if (inFile.empty()) {
    console.Line(msg::kNoInput);
    return 0;
  }
  if (outFile.empty()) outFile = DeriveOutFile(inFile);
  if (!FileExists(inFile)) {
    console.Line(msg::kInputNotFound);
    return 0;
  }

  TFuncResult result;
  TextEncoding scoreEncoding = TextEncoding::Cp932;
  {
    auto compiler = std::make_unique<TCompiler>();
    if (!compiler->LoadFromFile(inFile)) {
      console.Line(msg::kInputUnreadable);
      return 0;
    }
    compiler->Compile(outFile, result);
    scoreEncoding = compiler->Scanner().Encoding();
    if (logFlag) {
      const std::string logFile = DeriveLogFile(outFile);
      if (!compiler->SaveEventLog(logFile)) {
        console.Line(msg::kLogNotWritten);
        return 1;
      }
      console.Line({{TPiece::Text, msg::kLogWrittenHead}, {TPiece::Arg, logFile}, {TPiece::Text, msg::kLogWrittenTail}});
    }
  }
  if (result.Success) {
    console.Line(msg::kSuccess);
  } else {
    console.Line(msg::kFailure);
    if (result.Positioned && console.Mode() == TConsoleMode::Utf8) {
      // Same bytes as Msg, but the echoed token is converted from the score's encoding.
      const std::string head = std::string(msg::kStopPrefix) + std::to_string(result.Y) + ",X" +
                               std::to_string(result.X) + "]: " + msg::kOpenBracket;
      const std::string tail = msg::kCloseBracket + result.Reason;
      console.Line({{TPiece::Text, head}, {TPiece::Score, result.Token, scoreEncoding}, {TPiece::Text, tail}});
    } else {
      console.Line(result.Msg);
    }
  }
  return 0;
}

}  // namespace orvate
