#pragma once
// The module being built: XM header fields, patterns, channels, row-sorted events.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "xm/FileProvider.h"

namespace orvate {

struct TXMEvent {
  int32_t Time = 0;
  uint8_t Note = 0;
  uint8_t Inst = 0;
  uint8_t VCol = 0;
  uint8_t Event = 0;
  uint8_t Data = 0;
};

class TXMChannel {
 public:
  // Index of the first event at or after time (lower bound), or Events.size().
  std::size_t LowerBound(int32_t time) const;
  // The cell at that row, created in its sorted place when missing.
  TXMEvent& FindOrInsert(int32_t time) {
    // Writing runs forward: most cells land on the last cell or just after it.
    if (!Events.empty()) {
      TXMEvent& last = Events.back();
      if (last.Time == time) return last;
      if (last.Time < time && Events.size() < Events.capacity()) {
        TXMEvent& e = Events.emplace_back();
        e.Time = time;
        return e;
      }
    }
    return InsertCell(time);
  }

  std::vector<TXMEvent> Events;  // strictly ascending Time

 private:
  TXMEvent& InsertCell(int32_t time);
};

class TXMPattern {
 public:
  TXMChannel& GetChannel(int32_t n);

  std::vector<TXMChannel> Channels;
  uint32_t HeaderLength = 9;
  uint8_t PackingType = 0;
  uint16_t NumRows = 0;
  uint16_t PackedSize = 0;
  int32_t RowCount = 0;
};

// Why a save failed, when it did.
enum class TSaveError { None, TooLarge, Write };

class TXMSong {
 public:
  TXMSong();

  TXMPattern* GetPattern(int32_t n);
  // False when the cell lies outside the song (past the row limit) and nothing was stored.
  bool AddEvent(int32_t pattern, int32_t channel, int32_t time, uint8_t note, uint8_t inst,
                uint8_t vcol, uint8_t event, uint8_t data) {
    TXMChannel* ch = CellChannel(pattern, channel, time);
    if (ch == nullptr) return false;
    TXMEvent& e = ch->FindOrInsert(time);
    if (note != 0) e.Note = note;
    if (inst != 0) e.Inst = inst;
    if (vcol != 0) e.VCol = vcol;
    if (data != 0) {
      e.Event = event;
      e.Data = data;
    }
    return true;
  }
  bool ClearVCol(int32_t pattern, int32_t channel, int32_t time);
  void AddPatternRows(int32_t pattern, int32_t rows);
  void CopyChannel(int32_t srcPattern, int32_t srcChannel, int32_t timeOffset, int32_t dstPattern,
                   int32_t dstChannel);

  // Counts, pads every pattern to the even channel count. Writes nothing.
  void PrepareHeader();
  // The whole XM image. False (with the reason) when it cannot be built.
  bool WriteSong(std::string& image);
  // Bytes written, or -1; an existing file is left as it was on failure.
  int32_t SaveToFile(const std::string& path);
  // Appends the instrument blocks to image; false when a file exists but cannot be read.
  bool WriteInstruments(std::string& image);
  std::string EventLogText() const;
  bool SaveEventLog(const std::string& path) const;

  // Where instrument files are looked for and read.
  const TFileProvider* Files = &TDiskFiles::Instance();
  // After a save: 1 for each instrument written as the placeholder block.
  std::vector<uint8_t> PlaceholderInsts;

  TSaveError LastError = TSaveError::None;
  int32_t TooLargePattern = -1;  // the first pattern that does not fit the size fields

  std::vector<TXMPattern> Patterns;
  std::array<char, 17> IDText;
  std::array<char, 20> ModuleName;
  uint8_t EofMarker = 0x1A;
  std::array<char, 20> TrackerName;
  uint16_t Version = 0x0104;
  int32_t MaxRows = 64;
  uint32_t HeaderSize = 276;
  uint16_t SongLength = 0;
  uint16_t RestartPos = 0;
  uint16_t ChannelCount = 0;
  uint16_t PatternCount = 0;
  uint16_t InstrumentCount = 0;
  uint16_t Flags = 1;
  uint16_t DefaultTempo = 3;
  uint16_t DefaultBPM = 120;
  std::array<uint8_t, 256> OrderTable{};
  std::string InstLibDir;
  std::vector<std::string> InstFiles;

 private:
  static constexpr int32_t kMaxPatterns = 256;
  static constexpr int32_t kMaxChannels = 32;

  // The channel a cell goes to, or null when the cell lies outside the song.
  TXMChannel* CellChannel(int32_t pattern, int32_t channel, int32_t time) {
    if (time >= MaxRows || time < 0 || channel < 0 || channel >= kMaxChannels) return nullptr;
    // Both already exist for nearly every cell; only the first cell of a channel grows the lists.
    if (pattern >= 0 && static_cast<std::size_t>(pattern) < Patterns.size()) {
      std::vector<TXMChannel>& chans = Patterns[static_cast<std::size_t>(pattern)].Channels;
      if (static_cast<std::size_t>(channel) < chans.size()) return &chans[static_cast<std::size_t>(channel)];
    }
    return GrowTo(pattern, channel);
  }
  TXMChannel* GrowTo(int32_t pattern, int32_t channel);
};

}  // namespace orvate
