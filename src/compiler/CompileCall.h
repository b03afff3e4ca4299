#pragma once
// One compilation: score bytes in; the module, the verdict, the event log, the diagnostics,
// the score map and the player warnings out. It touches nothing of the process: files are
// read through the provider given, and nothing is written or printed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compiler/FuncListU.h"
#include "compiler/ScoreMap.h"
#include "source/TextUnits.h"
#include "xm/FileProvider.h"

namespace orvate {

struct TCompileRequest {
  std::string_view Score;       // the file's bytes, exactly as given
  std::string BaseDir;          // the score's directory with its separator ("" for none)
  const TFileProvider* Files = nullptr;  // the disk when none is given
  bool WantLog = false;
  bool WantMap = false;
  bool WantWarnings = false;
  int64_t StepBudget = 0;       // stop after this many commands (0: no limit)
};

// Why a compilation failed, placed so that an editor can mark it.
struct TDiagnostic {
  bool Present = false;
  bool Positioned = false;     // the message has the "[Y..,X..]" prefix
  int32_t Line = 0;            // exactly as the prefix gives them
  int32_t Column = 0;
  bool HasSpan = false;
  TSpan Span;                  // the offending command with its arguments
  std::string Token;           // score bytes, in the score's encoding
  std::string ReasonCp932;     // the handler's message without the prefix
  std::string ReasonUtf8;
  std::string MessageUtf8;     // the whole message, as the console prints it in UTF-8
};

struct TWarning {
  std::string Code;            // a stable name, e.g. "speed-above-31"
  std::string TextCp932;
  std::string TextUtf8;
  bool HasSpan = false;
  TSpan Span;                  // the command that caused it
  std::vector<TSpan> Chain;    // macro calls and copies that led to that command, outermost first
  int32_t Pattern = -1;        // the pattern it concerns, when one
};

struct TCompileOutcome {
  TFuncResult Result;          // Success, and Msg exactly as printed
  std::string Module;          // the XM bytes, when Success
  std::string EventLog;        // when asked for, whatever the verdict
  TDiagnostic Diagnostic;      // when not Success
  TScoreMap Map;               // when asked for and Success
  std::vector<TWarning> Warnings;  // when asked for and Success
  TextEncoding ScoreEncoding = TextEncoding::Cp932;
};

TCompileOutcome CompileScore(const TCompileRequest& request);

}  // namespace orvate
