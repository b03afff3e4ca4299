#pragma once
// TCompiler: the command dictionary, the compile state and the compile loop.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "compiler/FuncListU.h"
#include "compiler/MapRecorder.h"
#include "source/LoopListU.h"
#include "source/MacroListU.h"
#include "source/ScannerU.h"
#include "xm/xmfU.h"

namespace orvate {

struct TChannelState {
  int32_t Inst = 1;
  int32_t Octave = 4;
  int32_t Length = 24;
  int32_t LastLength = 24;
  int32_t Volume = 64;
  int32_t Gate = 0;
  int32_t Pan = 8;
  int32_t KeyShift = 0;
  int32_t LastPitch = 0;
  int32_t PrevNote = -1;
  int32_t CurNote = -1;
  bool Tie = false;
};

class TCompiler : public TFuncList {
 public:
  static constexpr int kPatterns = 256;
  static constexpr int kChannels = 32;

  TCompiler();
  ~TCompiler();

  bool LoadFromFile(const std::string& path);
  // For callers that hold the score in memory (tests, fuzzing): same normalisation as a file.
  void LoadFromBytes(std::string_view bytes, const std::string& baseDir);
  // The same, reading a text that needs no normalising where it lies: bytes must outlive the compiler.
  void LoadInPlace(std::string_view bytes, const std::string& baseDir);
  // Compiles the loaded score into the module's bytes; image is empty unless it succeeds.
  void Build(TFuncResult& result, std::string& image);
  // Build, then save the image to outPath (a failed save fails the compilation).
  void Compile(const std::string& outPath, TFuncResult& result);
  // Where "#instrument" looks for files and the writer reads them; the disk unless set.
  void SetFiles(const TFileProvider* files);
  // Records the sources of every cell (for a map or warnings); before Build, after loading.
  void EnableRecording();
  const TMapRecorder* Recorder() const { return FRec.get(); }
  // The text of the command a compilation stopped at, in the scanner's text.
  TSourcePos FailStart() const { return FFailStart; }
  TSourcePos FailEnd() const { return FFailEnd; }
  bool SaveEventLog(const std::string& path);
  void RegisterCommands();
  // Success when the write row lies before the last row a pattern can have.
  void CheckRowLimit(TFuncResult& result) {
    if (CurRow() < (FExtendRow ? 1024 : 64)) {
      result.Success = true;
      return;
    }
    RowLimitReached(result);
  }
  void FinalizeRows();

  // Stops the compilation after this many commands; 0 means no limit. Only fuzzing sets it.
  int64_t FStepBudget = 0;

  // Read access for tests and the driver.
  TXMSong& Song() { return *FSong; }
  TScanner& Scanner() { return *FScanner; }
  const TChannelState& Channel(int c) const { return FChannels[static_cast<std::size_t>(c)]; }
  int32_t RowPos(int p, int c) const { return FRows[static_cast<std::size_t>(p)].RowPos[static_cast<std::size_t>(c)]; }
  int32_t PatternRows(int p) const { return FRows[static_cast<std::size_t>(p)].PatternRows; }

 private:
  struct TPatternRows {
    int32_t PatternRows = 0;
    std::array<int32_t, kChannels> RowPos{};
  };

  int32_t& CurRow() { return FRows[static_cast<std::size_t>(FPattern)].RowPos[static_cast<std::size_t>(FChannel)]; }
  TChannelState& Cur() { return FChannels[static_cast<std::size_t>(FChannel)]; }
  [[gnu::cold]] void Fail(TFuncResult& result, const char* message);
  [[gnu::cold]] void RowLimitReached(TFuncResult& result);
  void AddCell(int32_t row, uint8_t note, uint8_t inst, uint8_t vcol, uint8_t event, uint8_t data) {
    // Without a recorder this stays a plain hand-over to the song.
    if (FRec) [[unlikely]] {
      AddRecordedCell(row, note, inst, vcol, event, data);
      return;
    }
    FSong->AddEvent(FPattern, FChannel, row, note, inst, vcol, event, data);
  }
  [[gnu::noinline]] void AddRecordedCell(int32_t row, uint8_t note, uint8_t inst, uint8_t vcol, uint8_t event,
                                         uint8_t data);
  bool AdvanceRow(TFuncResult& result, int64_t rows);
  void FinishCompile(TFuncResult& result, std::string& image);

  // Notes and rests.
  void RegisterNoteCommands();
  void NoteLetter(TFuncResult& result, int semitone);
  void PlayPitch(int semitone, TFuncResult& result);
  void EmitNote(int32_t note, TFuncResult& result);
  void Rest(TFuncResult& result);
  void Wait(TFuncResult& result);
  void StepOne(TFuncResult& result);
  void SetLength(TFuncResult& result);
  void SetLevel(TFuncResult& result, int32_t& level, int32_t max, uint8_t base);
  void SetInstrument(TFuncResult& result);

  // Parallel notation, loops and macros.
  void RegisterStructureCommands();
  void ParallelLane(TFuncResult& result);
  void ParallelEnd(TFuncResult& result);
  void Macro(TFuncResult& result);
  void MacroReturn(TFuncResult& result);
  void LoopOpen(TFuncResult& result, int32_t kind);
  void LoopClose(TFuncResult& result, int32_t kind);
  void LoopBreak(TFuncResult& result);

  // Song directives.
  void RegisterDirectives();
  void DirInstrument(TFuncResult& result);
  void DirSetOrder(TFuncResult& result);
  void DirSelect(TFuncResult& result, bool channel);
  void DirCopy(TFuncResult& result);

  // Volume column and effects.
  void RegisterVolumeCommands();
  void RegisterEffectCommands();
  void VolumeTarget(TFuncResult& result);

  std::string FBaseDir;
  int32_t FChannel = 0;
  int32_t FPattern = 0;
  int32_t FMaxChannel = 0;
  int32_t FMaxPattern = 0;
  bool FExtendRow = false;
  int32_t FOrderCount = 0;
  int32_t FTranspose = 0;
  int32_t FSpeed = 3;
  std::array<TPatternRows, kPatterns> FRows{};
  std::array<TChannelState, kChannels> FChannels{};
  bool FParallel = false;
  int32_t FParallelStart = 0;
  int32_t FParallelEnd = 0;
  std::unique_ptr<TLoopList> FLoopList;
  std::unique_ptr<TMacroList> FMacroList;
  int32_t FGateBase = 0;
  bool FOctRev = false;
  std::unique_ptr<TScanner> FScanner;
  std::unique_ptr<TXMSong> FSong;
  const TFileProvider* FFiles = &TDiskFiles::Instance();
  std::unique_ptr<TMapRecorder> FRec;  // only when asked for
  TSourcePos FFailStart = 0;
  TSourcePos FFailEnd = 0;
};

// Within the 32-bit signed range.
inline bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace orvate
