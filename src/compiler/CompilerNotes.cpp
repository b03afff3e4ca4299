// Notes, rests and the per-channel settings that shape them.
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

namespace {
constexpr uint8_t kKeyOff = 97;
constexpr int32_t kCentrePan = 8;
constexpr int32_t kFullVolume = 64;
}  // namespace

void TCompiler::RegisterNoteCommands() {
  static constexpr struct { const char* name; int semitone; } kLetters[] = {
      {"c", 0}, {"d", 2}, {"e", 4}, {"f", 5}, {"g", 7}, {"a", 9}, {"b", 11}};
  for (const auto& letter : kLetters) {
    const int semitone = letter.semitone;
    AddFunc(letter.name, [this, semitone](TFuncResult& r) { NoteLetter(r, semitone); });
  }
  AddFunc("r", [this](TFuncResult& r) { Rest(r); });
  AddFunc("w", [this](TFuncResult& r) { Wait(r); });
  AddFunc("_", [this](TFuncResult& r) { StepOne(r); });
  AddFunc("l", [this](TFuncResult& r) { SetLength(r); });
  AddFunc("o", [this](TFuncResult& r) { Cur().Octave = FScanner->ReadValue(); r.Success = true; });
  AddFunc("q", [this](TFuncResult& r) { Cur().Gate = FScanner->ReadValue(); r.Success = true; });
  AddFunc("k", [this](TFuncResult& r) { Cur().KeyShift = FScanner->ReadValue(); r.Success = true; });
  // Octaves have no bounds of their own; only a step off the 32-bit range is refused.
  auto stepOctave = [this](TFuncResult& r, bool up) {
    int32_t& octave = Cur().Octave;
    if (FOctRev) up = !up;
    const int64_t next = int64_t{octave} + (up ? 1 : -1);
    if (!FitsInt32(next)) {
      Fail(r, msg::kBadValue);
      return;
    }
    octave = static_cast<int32_t>(next);
    r.Success = true;
  };
  AddFunc("<", [stepOctave](TFuncResult& r) { stepOctave(r, false); });
  AddFunc(">", [stepOctave](TFuncResult& r) { stepOctave(r, true); });
  AddFunc("v", [this](TFuncResult& r) { SetLevel(r, Cur().Volume, 64, 0x10); });
  AddFunc("p", [this](TFuncResult& r) { SetLevel(r, Cur().Pan, 15, 0xC0); });
  AddFunc("@", [this](TFuncResult& r) { SetInstrument(r); });
}

void TCompiler::NoteLetter(TFuncResult& result, int semitone) {
  CheckRowLimit(result);
  if (!result.Success) return;
  PlayPitch(semitone, result);
}

void TCompiler::PlayPitch(int semitone, TFuncResult& result) {
  TChannelState& ch = Cur();
  const int64_t accidentals = FScanner->ReadAccidentals();
  const int64_t pitch = semitone + accidentals + 12 * int64_t{ch.Octave} - 11 + FTranspose + ch.KeyShift;
  if (!FitsInt32(pitch)) {
    Fail(result, msg::kBadValue);
    return;
  }
  const int32_t note = pitch < 1 ? 1 : (pitch > 96 ? 96 : static_cast<int32_t>(pitch));
  EmitNote(note, result);
  ch.LastPitch = static_cast<int32_t>(pitch);
}

void TCompiler::EmitNote(int32_t note, TFuncResult& result) {
  TChannelState& ch = Cur();
  result.Success = true;
  const int64_t rows = FScanner->ReadLength(FSpeed, ch.Length, ch.LastLength);
  if (rows < 1 || rows > INT32_MAX || !FitsInt32(int64_t{CurRow()} + rows)) {
    Fail(result, msg::kBadValue);
    return;
  }
  int64_t sounding;
  if (ch.Gate > 0) {
    const int64_t product = rows * FGateBase;
    if (!FitsInt32(product)) {
      Fail(result, msg::kBadValue);
      return;
    }
    sounding = product / ch.Gate;
  } else {
    sounding = rows + ch.Gate;
  }
  if (FScanner->SkipComma()) {
    const int32_t g = FScanner->ReadValue();
    sounding = g >= 1 ? g : rows + g;
  }
  if (sounding < 1) sounding = 1;
  if (sounding > rows) sounding = rows;

  const int32_t row = CurRow();
  ch.CurNote = note;
  const bool struck = !(ch.Tie && ch.PrevNote == ch.CurNote);
  if (struck) {
    const uint8_t inst = static_cast<uint8_t>(ch.Inst);
    if (ch.Volume == kFullVolume && ch.Pan != kCentrePan) {
      AddCell(row, static_cast<uint8_t>(note), inst, static_cast<uint8_t>(0xC0 + ch.Pan), 0, 0);
    } else {
      AddCell(row, static_cast<uint8_t>(note), inst, static_cast<uint8_t>(0x10 + ch.Volume), 0, 0);
      if (ch.Pan != kCentrePan) AddCell(row + 1, 0, 0, static_cast<uint8_t>(0xC0 + ch.Pan), 0, 0);
    }
  }
  ch.PrevNote = ch.CurNote;
  ch.Tie = FScanner->MatchChar('&');
  if (!ch.Tie) AddCell(row + static_cast<int32_t>(sounding), kKeyOff, 0, 0, 0, 0);
  CurRow() = row + static_cast<int32_t>(rows);
  ch.LastLength = static_cast<int32_t>(rows);
}

void TCompiler::Rest(TFuncResult& result) {
  CheckRowLimit(result);
  if (!result.Success) return;
  const TChannelState& ch = Cur();
  AdvanceRow(result, FScanner->ReadLength(FSpeed, ch.Length, ch.LastLength));
}

void TCompiler::Wait(TFuncResult& result) {
  CheckRowLimit(result);
  if (!result.Success) return;
  AddCell(CurRow(), kKeyOff, 0, 0, 0, 0);
  const TChannelState& ch = Cur();
  AdvanceRow(result, FScanner->ReadLength(FSpeed, ch.Length, ch.LastLength));
}

void TCompiler::StepOne(TFuncResult& result) {
  CheckRowLimit(result);
  if (!result.Success) return;
  ++CurRow();  // below the row limit, so it cannot wrap
}

void TCompiler::SetLength(TFuncResult& result) {
  TChannelState& ch = Cur();
  const int64_t rows = FScanner->ReadLength(FSpeed, ch.Length, ch.LastLength);
  if (rows < 1 || rows > INT32_MAX) {
    Fail(result, msg::kBadValue);
    return;
  }
  ch.Length = static_cast<int32_t>(rows);
  result.Success = true;
}

// "v" and "p": absolute, or relative (a sign right after the command) and then also written at once.
void TCompiler::SetLevel(TFuncResult& result, int32_t& level, int32_t max, uint8_t base) {
  const int32_t sign = FScanner->ReadSign();
  const int64_t n = FScanner->ReadValue();
  const int64_t value = sign != 0 ? level + sign * n : n;
  if (value < 0 || value > max) {
    Fail(result, msg::kBadValue);
    return;
  }
  level = static_cast<int32_t>(value);
  if (sign != 0) AddCell(CurRow(), 0, 0, static_cast<uint8_t>(base + value), 0, 0);
  result.Success = true;
}

void TCompiler::SetInstrument(TFuncResult& result) {
  CheckRowLimit(result);
  if (!result.Success) return;
  const int32_t n = FScanner->ReadValue();
  if (n < 1 || n > 200) {
    Fail(result, msg::kBadValue);
    return;
  }
  Cur().Inst = n;
}

}  // namespace orvate
