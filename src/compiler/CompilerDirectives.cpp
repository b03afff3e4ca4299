// The "#" directives: song header fields, pattern and channel selection, modes, copies.
#include <cstring>

#include "app/AppUtils.h"
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

void TCompiler::RegisterDirectives() {
  // Directives that take one value in a range and store it.
  auto ranged = [this](const char* name, int32_t lo, int32_t hi, auto store) {
    AddFunc(name, [this, lo, hi, store](TFuncResult& r) {
      const int32_t n = FScanner->ReadValue();
      if (n < lo || n > hi) {
        Fail(r, msg::kBadValue);
        return;
      }
      store(n);
      r.Success = true;
    });
  };
  ranged("#restart", 1, 256, [this](int32_t n) { FSong->RestartPos = static_cast<uint16_t>(n - 1); });
  ranged("#gatebase", 1, INT32_MAX, [this](int32_t n) { FGateBase = n; });
  ranged("#speed", 1, 96, [this](int32_t n) {
    FSong->DefaultTempo = static_cast<uint16_t>(n);
    FSpeed = n;
    if (FRec) FRec->SpeedCommand = FRec->Current();
  });
  ranged("#tempo", 32, 255, [this](int32_t n) { FSong->DefaultBPM = static_cast<uint16_t>(n); });
  ranged("#transpose", INT32_MIN, INT32_MAX, [this](int32_t n) { FTranspose = n; });

  AddFunc("#songname", [this](TFuncResult& r) {
    const std::string text = FScanner->ReadQuoted();
    FSong->ModuleName.fill(0);
    std::memcpy(FSong->ModuleName.data(), text.data(), text.size() < 20 ? text.size() : 20);
    r.Success = true;
  });
  AddFunc("#instlib", [this](TFuncResult& r) {
    FSong->InstLibDir = FScanner->ReadQuoted();
    r.Success = true;
  });
  AddFunc("#instrument", [this](TFuncResult& r) { DirInstrument(r); });
  AddFunc("#setorder", [this](TFuncResult& r) { DirSetOrder(r); });
  AddFunc("#ch", [this](TFuncResult& r) { DirSelect(r, true); });
  AddFunc("#pt", [this](TFuncResult& r) { DirSelect(r, false); });
  AddFunc("#octrev", [this](TFuncResult& r) {
    FOctRev = !FOctRev;
    r.Success = true;
  });
  AddFunc("#extendrow", [this](TFuncResult& r) {
    FExtendRow = !FExtendRow;
    FSong->MaxRows = FExtendRow ? 1024 : 64;
    r.Success = true;
  });
  AddFunc("#copy", [this](TFuncResult& r) { DirCopy(r); });
}

void TCompiler::DirInstrument(TFuncResult& result) {
  const std::string name = FScanner->ReadQuoted();
  const std::string bare = ExtractFileName(name);
  std::string lib = FSong->InstLibDir;
  if (lib.empty() || (lib.back() != '/' && lib.back() != '\\')) lib += '/';
  for (const std::string& candidate : {name, FBaseDir + bare, lib + bare}) {
    if (FFiles->Exists(candidate)) {
      FSong->InstFiles.push_back(candidate);
      if (FRec) FRec->InstrumentCommands.push_back(FRec->Current());
      result.Success = true;
      return;
    }
  }
  Fail(result, msg::kXiNotFound);
}

void TCompiler::DirSetOrder(TFuncResult& result) {
  do {
    const int32_t n = FScanner->ReadValue();
    if (n < 0 || n > 255) {
      Fail(result, msg::kBadValue);
      return;
    }
    if (++FOrderCount > 256) {
      Fail(result, msg::kOrderFull);
      return;
    }
    FSong->OrderTable[static_cast<std::size_t>(FOrderCount - 1)] = static_cast<uint8_t>(n);
    if (FRec) FRec->OrderCommands[static_cast<std::size_t>(FOrderCount - 1)] = FRec->Current();
    FSong->SongLength = static_cast<uint16_t>(FOrderCount);
  } while (FScanner->SkipComma());
  result.Success = true;
}

void TCompiler::DirSelect(TFuncResult& result, bool channel) {
  if (FParallel) {
    Fail(result, msg::kParallelSelect);
    return;
  }
  const int32_t n = FScanner->ReadValue();
  if (channel) {
    if (n < 1 || n > kChannels) {
      Fail(result, msg::kBadValue);
      return;
    }
    FChannel = n - 1;
    if (FChannel > FMaxChannel) FMaxChannel = FChannel;
  } else {
    if (n < 0 || n > kPatterns - 1) {
      Fail(result, msg::kBadValue);
      return;
    }
    FPattern = n;
    if (FPattern > FMaxPattern) FMaxPattern = FPattern;
  }
  result.Success = true;
}

void TCompiler::DirCopy(TFuncResult& result) {
  const int32_t p = FScanner->ReadValue();
  if (p < 0 || p > FMaxPattern) {
    Fail(result, msg::kBadCopy);
    return;
  }
  int64_t c = FChannel;
  if (FScanner->SkipComma()) {
    c = int64_t{FScanner->ReadValue()} - 1;
    if (c < 0 || c > FMaxChannel) {
      Fail(result, msg::kBadCopy);
      return;
    }
  }
  if (p == FPattern && c == FChannel) {
    Fail(result, msg::kBadCopy);
    return;
  }
  const int32_t span = FRows[static_cast<std::size_t>(p)].RowPos[static_cast<std::size_t>(c)];
  if (!FitsInt32(int64_t{CurRow()} + span)) {
    Fail(result, msg::kBadValue);
    return;
  }
  FSong->CopyChannel(p, static_cast<int32_t>(c), CurRow(), FPattern, FChannel);
  if (FRec) FRec->Copy(p, static_cast<int32_t>(c), CurRow(), FSong->MaxRows, FPattern, FChannel);
  CurRow() += span;
  result.Success = true;
}

}  // namespace orvate
