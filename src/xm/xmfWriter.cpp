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

// One cell at out: the raw 5 bytes for 4 or more parts, otherwise a flag byte and the parts present.
// Returns the end of what it wrote (at most 5 bytes).
char* WriteCell(char* out, const TXMEvent& e) {
  // A struck note (note, instrument and volume column, no effect) is most cells of a song.
  if (e.Note != 0 && e.Inst != 0 && e.VCol != 0 && e.Event == 0 && e.Data == 0) {
    out[0] = static_cast<char>(0x87);
    out[1] = static_cast<char>(e.Note);
    out[2] = static_cast<char>(e.Inst);
    out[3] = static_cast<char>(e.VCol);
    return out + 4;
  }
  const unsigned mask = unsigned{e.Note != 0} | unsigned{e.Inst != 0} << 1 | unsigned{e.VCol != 0} << 2 |
                        unsigned{e.Event != 0} << 3 | unsigned{e.Data != 0} << 4;
  // Bit m of this constant is set when m has 4 or 5 bits set.
  constexpr uint32_t kFourOrMore = (1u << 0x0F) | (1u << 0x17) | (1u << 0x1B) | (1u << 0x1D) | (1u << 0x1E) | (1u << 0x1F);
  if ((kFourOrMore >> mask) & 1u) {
    const uint8_t raw[5] = {e.Note, e.Inst, e.VCol, e.Event, e.Data};
    std::memcpy(out, raw, 5);
    return out + 5;
  }
  // At most 3 parts follow the flag: each is stored and kept only when present, without a branch
  // (the stores past the kept ones stay within the 5 bytes).
  *out++ = static_cast<char>(0x80 | mask);
  *out = static_cast<char>(e.Note);
  out += e.Note != 0;
  *out = static_cast<char>(e.Inst);
  out += e.Inst != 0;
  *out = static_cast<char>(e.VCol);
  out += e.VCol != 0;
  *out = static_cast<char>(e.Event);
  out += e.Event != 0;
  *out = static_cast<char>(e.Data);
  out += e.Data != 0;
  return out;
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
  // The header's 16-bit count could not name every instrument block that follows.
  if (InstFiles.size() > kSizeFieldMax) {
    LastError = TSaveError::Write;
    return false;
  }
  image.clear();
  // One allocation for the header and the largest pattern data that can be written.
  uint64_t bound = 336;
  for (const TXMPattern& p : Patterns) {
    const uint64_t cells = p.RowCount > 0 ? uint64_t(p.RowCount) * p.Channels.size() : 0;
    bound += 9 + 5 * (cells < kSizeFieldMax ? cells : kSizeFieldMax);
  }
  image.reserve(static_cast<std::size_t>(bound));
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
    // Each channel's next cell and the end of its list.
    const TXMEvent* next[kMaxChannels];
    const TXMEvent* end[kMaxChannels];
    for (std::size_t c = 0; c < channels; ++c) {
      next[c] = p.Channels[c].Events.data();
      end[c] = next[c] + p.Channels[c].Events.size();
    }
    char row[kMaxChannels * 5];  // one row of cells, appended at once
    for (int32_t r = 0; r < p.RowCount; ++r) {
      char* out = row;
      for (std::size_t c = 0; c < channels; ++c) {
        if (next[c] != end[c] && next[c]->Time == r) {
          out = WriteCell(out, *next[c]);
          ++next[c];
        } else {
          *out++ = static_cast<char>(0x80);
        }
      }
      image.append(row, static_cast<std::size_t>(out - row));
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
