// The XM image: 336-byte header, packed patterns, instruments; saved in one piece.
#include <cstring>

#include "app/AppUtils.h"
#include "xm/xmfU.h"

namespace orvate {

namespace {

constexpr uint32_t kSizeFieldMax = 65535;

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Poke16(std::string& out, std::size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

// One cell: the raw 5 bytes for 4 or more parts, otherwise a flag byte and the parts present.
void WriteCell(std::string& out, const TXMEvent& e) {
  const uint8_t parts[5] = {e.Note, e.Inst, e.VCol, e.Event, e.Data};
  int present = 0;
  for (uint8_t p : parts) present += p != 0;
  if (present >= 4) {
    out.append(reinterpret_cast<const char*>(parts), 5);
    return;
  }
  char cell[5];
  uint8_t flag = 0x80;
  int n = 1;
  for (int i = 0; i < 5; ++i) {
    if (parts[i] != 0) {
      flag |= static_cast<uint8_t>(1u << i);
      cell[n++] = static_cast<char>(parts[i]);
    }
  }
  cell[0] = static_cast<char>(flag);
  out.append(cell, static_cast<std::size_t>(n));
}

}  // namespace

void TXMSong::PrepareHeader() {
  InstrumentCount = static_cast<uint16_t>(InstFiles.size());
  std::size_t m = 0;
  for (const TXMPattern& p : Patterns) m = p.Channels.size() > m ? p.Channels.size() : m;
  if (m % 2 == 1) ++m;
  if (m > 0) {
    for (TXMPattern& p : Patterns) p.GetChannel(static_cast<int32_t>(m - 1));
  }
  PatternCount = static_cast<uint16_t>(Patterns.size());
  ChannelCount = static_cast<uint16_t>(m);
}

bool TXMSong::WriteSong(std::string& image) {
  LastError = TSaveError::None;
  TooLargePattern = -1;
  PrepareHeader();
  image.clear();
  image.append(IDText.data(), IDText.size());
  image.append(ModuleName.data(), ModuleName.size());
  image += static_cast<char>(EofMarker);
  image.append(TrackerName.data(), TrackerName.size());
  Put16(image, Version);
  Put32(image, HeaderSize);
  Put16(image, SongLength);
  Put16(image, RestartPos);
  Put16(image, ChannelCount);
  Put16(image, PatternCount);
  Put16(image, InstrumentCount);
  Put16(image, Flags);
  Put16(image, DefaultTempo);
  Put16(image, DefaultBPM);
  image.append(reinterpret_cast<const char*>(OrderTable.data()), OrderTable.size());

  for (std::size_t pi = 0; pi < Patterns.size(); ++pi) {
    TXMPattern& p = Patterns[pi];
    const uint64_t channels = p.Channels.size();
    // Every cell takes at least one byte: refuse before building anything that cannot fit.
    if (p.RowCount < 0 || static_cast<uint64_t>(p.RowCount) > kSizeFieldMax ||
        static_cast<uint64_t>(p.RowCount) * channels > kSizeFieldMax) {
      LastError = TSaveError::TooLarge;
      TooLargePattern = static_cast<int32_t>(pi);
      return false;
    }
    const std::size_t head = image.size();
    Put32(image, p.HeaderLength);
    image += static_cast<char>(p.PackingType);
    Put16(image, p.NumRows);
    Put16(image, p.PackedSize);
    const std::size_t dataStart = image.size();
    std::size_t cursor[32] = {};
    for (int32_t r = 0; r < p.RowCount; ++r) {
      for (std::size_t c = 0; c < channels; ++c) {
        const std::vector<TXMEvent>& ev = p.Channels[c].Events;
        if (cursor[c] < ev.size() && ev[cursor[c]].Time == r) {
          WriteCell(image, ev[cursor[c]]);
          ++cursor[c];
        } else {
          image += static_cast<char>(0x80);
        }
      }
    }
    const std::size_t packed = image.size() - dataStart;
    if (packed > kSizeFieldMax) {
      LastError = TSaveError::TooLarge;
      TooLargePattern = static_cast<int32_t>(pi);
      return false;
    }
    p.NumRows = static_cast<uint16_t>(p.RowCount);
    p.PackedSize = static_cast<uint16_t>(packed);
    Poke16(image, head + 5, p.NumRows);
    Poke16(image, head + 7, p.PackedSize);
  }
  if (!WriteInstruments(image)) {
    LastError = TSaveError::Write;
    return false;
  }
  return true;
}

int32_t TXMSong::SaveToFile(const std::string& path) {
  std::string image;
  if (!WriteSong(image)) return -1;
  if (image.size() > INT32_MAX || !WriteFileAtomically(path, image)) {
    LastError = TSaveError::Write;
    return -1;
  }
  return static_cast<int32_t>(image.size());
}

}  // namespace orvate
