// The "%" commands: one volume-column byte on the current write row.
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

namespace {

struct TVolumeForm {
  const char* Name;
  uint8_t Base;
  int32_t Max;
};

constexpr TVolumeForm kVolumeForms[] = {
    {"%v", 0x10, 64}, {"%p", 0xC0, 15}, {"%c", 0x70, 15}, {"%d", 0x60, 15}, {"%a", 0x90, 15},
    {"%b", 0x80, 15}, {"%u", 0xA0, 15}, {"%h", 0xB0, 15}, {"%l", 0xD0, 15}, {"%r", 0xE0, 15},
};

}  // namespace

void TCompiler::RegisterVolumeCommands() {
  for (const TVolumeForm& form : kVolumeForms) {
    AddFunc(form.Name, [this, form](TFuncResult& r) {
      CheckRowLimit(r);
      if (!r.Success) return;
      const int32_t value = FScanner->ReadValue();
      if (value < 0 || value > form.Max) {
        Fail(r, msg::kBadValue);
        return;
      }
      AddCell(CurRow(), 0, 0, static_cast<uint8_t>(form.Base + value), 0, 0);
    });
  }
  AddFunc("%g", [this](TFuncResult& r) { VolumeTarget(r); });
  AddFunc("%n", [this](TFuncResult& r) {
    CheckRowLimit(r);
    if (!r.Success) return;
    if (FSong->ClearVCol(FPattern, FChannel, CurRow()) && FRec) FRec->Write(FPattern, FChannel, CurRow(), kPartVCol);
  });
}

// Tone portamento, optionally with a target note a number of semitones from the last pitch.
void TCompiler::VolumeTarget(TFuncResult& result) {
  CheckRowLimit(result);
  if (!result.Success) return;
  const int32_t speed = FScanner->ReadValue();
  if (speed < 0 || speed > 15) {
    Fail(result, msg::kBadValue);
    return;
  }
  uint8_t target = 0;
  if (FScanner->SkipComma()) {
    const int64_t pitch = int64_t{Cur().LastPitch} + FScanner->ReadValue();
    if (!FitsInt32(pitch)) {
      Fail(result, msg::kBadValue);
      return;
    }
    const int32_t clamped = pitch < 1 ? 1 : (pitch > 96 ? 96 : static_cast<int32_t>(pitch));
    Cur().LastPitch = clamped;
    target = static_cast<uint8_t>(clamped);
  }
  AddCell(CurRow(), target, 0, static_cast<uint8_t>(0xF0 + speed), 0, 0);
}

}  // namespace orvate
