#pragma once
// What the score map and the warnings need, recorded while a score compiles: which command
// wrote which cell, through which macro calls and copies, and the commands that set the song's
// layout. Made only when a map or warnings are asked for.
#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compiler/ScoreMap.h"
#include "source/ScannerU.h"

namespace orvate {

class TXMSong;

class TMapRecorder {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;
  static constexpr int kPatterns = 256;
  static constexpr int kChannels = 32;

  // A command's text: the same start always reads the same text, so a command run again
  // (in a loop, or through a macro called again) is the same record.
  struct TCommand {
    TSourcePos Start = 0;
    TSourcePos End = 0;
    bool Ended = false;
  };
  struct TWrite {
    int32_t Row;
    uint32_t Command;
    uint32_t Chain;
    uint8_t Parts;
  };

  explicit TMapRecorder(std::size_t sourceSize);

  void BeginCommand(TSourcePos start) {
    FStart = start;
    FCurrent = kNone;
  }
  bool HasCurrent() const { return FCurrent != kNone; }
  // Closes the running command's text, unless it was closed already.
  void EndCommand(TSourcePos end);
  // The running command's record, made on first use.
  uint32_t Current();

  void Write(int32_t pattern, int32_t channel, int32_t row, uint8_t parts);
  // A macro call that jumped; its text ends at callEnd, before the jump.
  void EnterMacro(TSourcePos callEnd);
  void LeaveMacro();
  // The cells of one channel copied onto another, carrying their sources.
  void Copy(int32_t srcPattern, int32_t srcChannel, int32_t offset, int32_t maxRows, int32_t dstPattern,
            int32_t dstChannel);

  // The commands warnings point at.
  uint32_t SpeedCommand = kNone;
  std::array<uint32_t, 256> OrderCommands;     // per order entry
  std::array<uint32_t, kPatterns> LongPattern;  // the command that first took a pattern past 256 rows
  std::vector<uint32_t> InstrumentCommands;     // per "#instrument" entry

  // The map of a compilation that succeeded; the spans are placed in original, the score as given.
  void Finish(const TScanner& scanner, std::string_view original, const TXMSong& song, TScoreMap& map) const;
  // A command's span in the score as given (for diagnostics too).
  static TSpan SpanOf(const TScanner& scanner, std::string_view original, TSourcePos start, TSourcePos end);

 private:
  uint32_t Intern(uint32_t parent, uint32_t command, TStepKind kind);
  uint32_t Compose(uint32_t base, uint32_t chain, std::unordered_map<uint32_t, uint32_t>& memo);
  std::vector<TWrite>& Channel(int32_t pattern, int32_t channel) {
    return FWrites[static_cast<std::size_t>(pattern) * kChannels + static_cast<std::size_t>(channel)];
  }

  TSourcePos FStart = 0;
  uint32_t FCurrent = kNone;
  uint32_t FChain = 0;
  std::vector<TCommand> FCommands;
  std::vector<uint32_t> FByStart;  // command record by its start, kNone when none
  std::vector<TScoreMap::TChainNode> FChains;
  std::unordered_map<uint64_t, uint32_t> FChainIndex;
  std::vector<std::vector<TWrite>> FWrites;  // pattern * 32 + channel, in the order written
};

}  // namespace orvate
