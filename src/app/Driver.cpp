#include "app/Driver.h"

#include <climits>

#include "app/AppUtils.h"
#include "compiler/CompileCall.h"
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
  bool logFlag = false, mapFlag = false, warnFlag = false;
  std::string inFile, outFile;
  for (const std::string& raw : args) {
    const std::string arg = Trim(raw);
    if (arg.empty()) continue;
    if (IsOption(arg)) {
      if (arg == "-log" || arg == "/log") {
        logFlag = true;
        continue;
      }
      if (arg == "-map" || arg == "/map") {
        mapFlag = true;
        continue;
      }
      if (arg == "-warn" || arg == "/warn") {
        warnFlag = true;
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

  std::string score;
  if (!ReadWholeFile(inFile, score)) {
    console.Line(msg::kInputUnreadable);
    return 0;
  }
  TCompileRequest request;
  request.Score = score;
  request.BaseDir = ExtractFileDir(inFile);
  request.WantLog = logFlag;
  request.WantMap = mapFlag;
  request.WantWarnings = warnFlag;
  TCompileOutcome outcome = CompileScore(request);
  TFuncResult& result = outcome.Result;
  if (result.Success && (outcome.Module.size() > INT32_MAX || !WriteFileAtomically(outFile, outcome.Module))) {
    result.Success = false;
    result.Positioned = false;
    result.Msg = msg::kXmNotWritten;
  }
  if (logFlag) {
    const std::string logFile = DeriveLogFile(outFile);
    if (!WriteFileAtomically(logFile, outcome.EventLog)) {
      console.Line(msg::kLogNotWritten);
      return 1;
    }
    console.Line({{TPiece::Text, msg::kLogWrittenHead}, {TPiece::Arg, logFile}, {TPiece::Text, msg::kLogWrittenTail}});
  }
  // A refused score has no map; an unwritable map ends the run as an unwritable log does.
  if (mapFlag && result.Success) {
    TAtomicFile map(DeriveMapFile(outFile));
    if (!outcome.Map.WriteJson([&map](std::string_view piece) { return map.Write(piece); }) || !map.Commit()) {
      console.Line(msg::kMapNotWritten);
      return 1;
    }
  }
  if (result.Success) {
    console.Line(msg::kSuccess);
  } else {
    console.Line(msg::kFailure);
    if (result.Positioned && console.Mode() == TConsoleMode::Utf8) {
      // Already UTF-8, the echoed token converted from the score's encoding.
      console.Line({{TPiece::Arg, outcome.Diagnostic.MessageUtf8}});
    } else {
      console.Line(result.Msg);
    }
  }
  if (warnFlag && result.Success) {
    for (const TWarning& w : outcome.Warnings) console.ErrorLine(w.TextCp932, w.TextUtf8);
  }
  return 0;
}

}  // namespace orvate
