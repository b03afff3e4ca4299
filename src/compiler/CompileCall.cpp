#include "compiler/CompileCall.h"

#include "compiler/CompilerU.h"
#include "compiler/Warnings.h"
#include "source/Messages.h"
#include "source/Utf8Text.h"

namespace orvate {

namespace {

void Describe(TCompiler& compiler, std::string_view score, TCompileOutcome& out) {
  TDiagnostic& d = out.Diagnostic;
  const TFuncResult& r = out.Result;
  d.Present = true;
  d.Positioned = r.Positioned;
  if (!r.Positioned) {
    d.ReasonCp932 = r.Msg;
    d.ReasonUtf8 = SystemTextToUtf8(r.Msg);
    d.MessageUtf8 = d.ReasonUtf8;
    return;
  }
  d.Line = r.Y;
  d.Column = r.X;
  d.Token = r.Token;
  d.ReasonCp932 = r.Reason;
  d.ReasonUtf8 = SystemTextToUtf8(r.Reason);
  // As the console prints it in UTF-8: the echoed token converted from the score's encoding.
  d.MessageUtf8 = SystemTextToUtf8(std::string(msg::kStopPrefix) + std::to_string(r.Y) + ",X" + std::to_string(r.X) +
                                   "]: " + msg::kOpenBracket) +
                  BytesToUtf8(r.Token, out.ScoreEncoding) + SystemTextToUtf8(msg::kCloseBracket) + d.ReasonUtf8;
  d.HasSpan = true;
  d.Span = TMapRecorder::SpanOf(compiler.Scanner(), score, compiler.FailStart(), compiler.FailEnd());
}

}  // namespace

TCompileOutcome CompileScore(const TCompileRequest& request) {
  TCompileOutcome out;
  TCompiler compiler;
  compiler.SetFiles(request.Files);
  compiler.FStepBudget = request.StepBudget;
  // request.Score outlives the compiler, which ends with this call.
  compiler.LoadInPlace(request.Score, request.BaseDir);
  out.ScoreEncoding = compiler.Scanner().Encoding();
  const bool record = request.WantMap || request.WantWarnings;
  if (record) compiler.EnableRecording();

  compiler.Build(out.Result, out.Module);
  if (request.WantLog) out.EventLog = compiler.Song().EventLogText();
  if (!out.Result.Success) {
    out.Module.clear();
    Describe(compiler, request.Score, out);
    return out;
  }
  if (record) {
    compiler.Recorder()->Finish(compiler.Scanner(), request.Score, compiler.Song(), out.Map);
    if (request.WantWarnings) out.Warnings = FindPlayerWarnings(compiler.Song(), out.Map, *compiler.Recorder());
    if (!request.WantMap) out.Map = TScoreMap();
  }
  return out;
}

}  // namespace orvate
