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

int RunDriver(const std::vector<std::string>& args, TConsole& console) {
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
      console.Line(arg + msg::kBadOption);
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
  {
    auto compiler = std::make_unique<TCompiler>();
    if (!compiler->LoadFromFile(inFile)) {
      console.Line(msg::kInputUnreadable);
      return 0;
    }
    compiler->Compile(outFile, result);
    if (logFlag) {
      const std::string logFile = DeriveLogFile(outFile);
      if (!compiler->SaveEventLog(logFile)) {
        console.Line(msg::kLogNotWritten);
        return 1;
      }
      console.Line(std::string(msg::kLogWrittenHead) + logFile + msg::kLogWrittenTail);
    }
  }
  if (result.Success) {
    console.Line(msg::kSuccess);
  } else {
    console.Line(msg::kFailure);
    console.Line(result.Msg);
  }
  return 0;
}

}  // namespace orvate
