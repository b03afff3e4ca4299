// Parallel lanes, loops and macros: write rows and saved cursor positions.
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

void TCompiler::RegisterStructureCommands() {
  AddFunc("|", [this](TFuncResult& r) { ParallelLane(r); });
  AddFunc("||", [this](TFuncResult& r) { ParallelEnd(r); });
  AddFunc("$", [this](TFuncResult& r) { Macro(r); });
  AddFunc("}", [this](TFuncResult& r) { MacroReturn(r); });
  AddFunc("(", [this](TFuncResult& r) { LoopOpen(r, 1); });
  AddFunc(")", [this](TFuncResult& r) { LoopClose(r, 1); });
  AddFunc("[", [this](TFuncResult& r) { LoopOpen(r, 2); });
  AddFunc("]", [this](TFuncResult& r) { LoopClose(r, 2); });
  AddFunc(":", [this](TFuncResult& r) { LoopBreak(r); });
}

void TCompiler::ParallelLane(TFuncResult& result) {
  int32_t& row = CurRow();
  if (!FParallel) {
    FParallel = true;
    FParallelStart = FParallelEnd = row;
  } else {
    if (row > FParallelEnd) FParallelEnd = row;
    row = FParallelStart;
  }
  result.Success = true;
}

void TCompiler::ParallelEnd(TFuncResult& result) {
  if (!FParallel) {
    Fail(result, msg::kNoParallel);
    return;
  }
  int32_t& row = CurRow();
  if (row > FParallelEnd) FParallelEnd = row;
  row = FParallelEnd;
  FParallel = false;
  result.Success = true;
}

void TCompiler::Macro(TFuncResult& result) {
  const std::string name = FScanner->ReadName();
  if (name.empty()) {
    Fail(result, msg::kMacroNameMissing);
    return;
  }
  if (FScanner->MatchChar('{')) {
    if (!FMacroList->Define(FScanner->Cur, name)) {
      Fail(result, FMacroList->FErrorMsg.c_str());
      return;
    }
    FScanner->SkipPastBrace();
  } else {
    const TSourcePos callEnd = FScanner->ReadEnd(0);  // the name's end, before the jump
    if (!FMacroList->Jump(FScanner->Cur, name)) {
      Fail(result, FMacroList->FErrorMsg.c_str());
      return;
    }
    if (FRec) FRec->EnterMacro(callEnd);
  }
  result.Success = true;
}

void TCompiler::MacroReturn(TFuncResult& result) {
  if (!FMacroList->Return(FScanner->Cur)) {
    Fail(result, FMacroList->FErrorMsg.c_str());
    return;
  }
  if (FRec) FRec->LeaveMacro();
  result.Success = true;
}

void TCompiler::LoopOpen(TFuncResult& result, int32_t kind) {
  FLoopList->OpenLoop(FScanner->Cur, kind);
  result.Success = true;
}

void TCompiler::LoopClose(TFuncResult& result, int32_t kind) {
  const int32_t n = FScanner->ReadValue();
  if (n < 2) {
    Fail(result, msg::kBadValue);
    return;
  }
  if (!FLoopList->CloseLoop(FScanner->Cur, kind, n)) {
    Fail(result, FLoopList->FErrorMsg.c_str());
    return;
  }
  result.Success = true;
}

void TCompiler::LoopBreak(TFuncResult& result) {
  if (!FLoopList->BreakLoop(FScanner->Cur, 2)) {
    Fail(result, FLoopList->FErrorMsg.c_str());
    return;
  }
  result.Success = true;
}

}  // namespace orvate
