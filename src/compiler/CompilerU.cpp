#include "compiler/CompilerU.h"

#include <algorithm>

#include "app/AppUtils.h"
#include "source/Messages.h"

namespace orvate {

TCompiler::TCompiler()
    : FLoopList(std::make_unique<TLoopList>()),
      FMacroList(std::make_unique<TMacroList>()),
      FScanner(std::make_unique<TScanner>()),
      FSong(std::make_unique<TXMSong>()) {
  RegisterCommands();
}

TCompiler::~TCompiler() = default;

void TCompiler::RegisterCommands() {
  RegisterNoteCommands();
  RegisterStructureCommands();
  RegisterDirectives();
  RegisterVolumeCommands();
  RegisterEffectCommands();
}

bool TCompiler::LoadFromFile(const std::string& path) {
  const bool ok = FScanner->LoadFromFile(path);
  FBaseDir = ExtractFileDir(path);
  return ok;
}

void TCompiler::LoadFromBytes(std::string_view bytes, const std::string& baseDir) {
  FScanner->LoadFromBytes(bytes);
  FBaseDir = baseDir;
}

void TCompiler::LoadInPlace(std::string_view bytes, const std::string& baseDir) {
  FScanner->LoadInPlace(bytes);
  FBaseDir = baseDir;
}

void TCompiler::Fail(TFuncResult& result, const char* message) {
  result.Success = false;
  result.Msg = message;
}

void TCompiler::SetFiles(const TFileProvider* files) {
  FFiles = files != nullptr ? files : &TDiskFiles::Instance();
  FSong->Files = FFiles;
}

void TCompiler::EnableRecording() { FRec = std::make_unique<TMapRecorder>(FScanner->Source().size()); }

void TCompiler::AddRecordedCell(int32_t row, uint8_t note, uint8_t inst, uint8_t vcol, uint8_t event,
                                uint8_t data) {
  if (!FSong->AddEvent(FPattern, FChannel, row, note, inst, vcol, event, data)) return;
  const unsigned parts = (note ? unsigned{kPartNote} : 0u) | (inst ? unsigned{kPartInst} : 0u) |
                         (vcol ? unsigned{kPartVCol} : 0u) | (data ? unsigned{kPartEffect} : 0u);
  FRec->Write(FPattern, FChannel, row, static_cast<uint8_t>(parts));
}

// Moves the write row on, refusing a row past the 32-bit range.
bool TCompiler::AdvanceRow(TFuncResult& result, int64_t rows) {
  const int64_t next = int64_t{CurRow()} + rows;
  if (!FitsInt32(next)) {
    Fail(result, msg::kBadValue);
    return false;
  }
  CurRow() = static_cast<int32_t>(next);
  return true;
}

void TCompiler::RowLimitReached(TFuncResult& result) {
  Fail(result, FExtendRow ? msg::kRowLimit1024 : msg::kRowLimit64);
}

void TCompiler::Compile(const std::string& outPath, TFuncResult& result) {
  std::string image;
  Build(result, image);
  if (result.Success && (image.size() > INT32_MAX || !WriteFileAtomically(outPath, image))) Fail(result, msg::kXmNotWritten);
}

void TCompiler::Build(TFuncResult& result, std::string& image) {
  image.clear();
  int64_t steps = 0;
  std::string lower;
  for (;;) {
    const std::string_view token = FScanner->NextToken();
    if (token.empty()) {
      FinishCompile(result, image);
      return;
    }
    // Copy only a token that has an upper-case letter; the original is kept for the message.
    std::string_view name = token;
    for (const char c : token) {
      if (c >= 'A' && c <= 'Z') {
        lower = token;
        for (char& l : lower) {
          if (l >= 'A' && l <= 'Z') l = static_cast<char>(l + 32);
        }
        name = lower;
        break;
      }
    }
    if (FStepBudget > 0 && ++steps > FStepBudget) {
      Fail(result, msg::kBadValue);
    } else if (!FRec) {
      CallFunc(name, result);
      if (result.Success) continue;
    } else {
      const TSourcePos start = static_cast<TSourcePos>(token.data() - FScanner->Source().data());
      FRec->BeginCommand(start);
      CallFunc(name, result);
      // The first command that takes a pattern past what every player reads.
      if (CurRow() > 256 && FRec->LongPattern[static_cast<std::size_t>(FPattern)] == TMapRecorder::kNone)
        FRec->LongPattern[static_cast<std::size_t>(FPattern)] = FRec->Current();
      if (FRec->HasCurrent()) FRec->EndCommand(FScanner->ReadEnd(start + token.size()));
      if (result.Success) continue;
    }
    FScanner->GetPos(result.X, result.Y);
    FFailStart = static_cast<TSourcePos>(token.data() - FScanner->Source().data());
    FFailEnd = std::max(FFailStart + token.size(), FScanner->ReadEnd(FFailStart));
    result.Token = std::string(token);
    result.Reason = result.Msg;
    result.Positioned = true;
    result.Msg = std::string(msg::kStopPrefix) + std::to_string(result.Y) + ",X" +
                 std::to_string(result.X) + "]: " + msg::kOpenBracket + result.Token + msg::kCloseBracket +
                 result.Reason;
    return;
  }
}

void TCompiler::FinishCompile(TFuncResult& result, std::string& image) {
  if (FOrderCount == 0) {
    Fail(result, msg::kNoOrder);
    return;
  }
  FinalizeRows();
  for (int32_t p = 0; p <= FMaxPattern; ++p) FSong->AddPatternRows(p, FRows[static_cast<std::size_t>(p)].PatternRows);
  if (FSong->WriteSong(image)) {
    result.Success = true;
    return;
  }
  image.clear();
  if (FSong->LastError == TSaveError::TooLarge) {
    Fail(result, msg::kPatternTooLargeHead);
    result.Msg += std::to_string(FSong->TooLargePattern) + msg::kPatternTooLargeTail;
  } else {
    Fail(result, msg::kXmNotWritten);
  }
}

void TCompiler::FinalizeRows() {
  if (FParallel) {
    TFuncResult scratch;
    ParallelEnd(scratch);
  }
  for (int32_t p = 0; p <= FMaxPattern; ++p) {
    TPatternRows& rows = FRows[static_cast<std::size_t>(p)];
    int32_t most = 0;
    for (int32_t c = 0; c <= FMaxChannel; ++c) most = std::max(most, rows.RowPos[static_cast<std::size_t>(c)]);
    rows.PatternRows = most;
  }
}

bool TCompiler::SaveEventLog(const std::string& path) { return FSong->SaveEventLog(path); }

}  // namespace orvate
