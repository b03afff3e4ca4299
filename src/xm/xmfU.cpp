#include "xm/xmfU.h"

#include <cstring>

namespace orvate {

std::size_t TXMChannel::LowerBound(int32_t time) const {
  // Writing runs forward, so the common case is at or after the last cell.
  if (Events.empty() || Events.back().Time < time) return Events.size();
  std::size_t lo = 0, hi = Events.size() - 1;
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (Events[mid].Time < time) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

// FindOrInsert when the cell is not at the end of a list with room for it.
TXMEvent& TXMChannel::InsertCell(int32_t time) {
  if (Events.empty() || Events.back().Time < time) {
    // A channel that holds one cell usually fills a pattern's worth; grow it once, not six times.
    if (Events.capacity() == 0) Events.reserve(64);
    TXMEvent& e = Events.emplace_back();
    e.Time = time;
    return e;
  }
  if (Events.back().Time == time) return Events.back();
  const std::size_t i = LowerBound(time);
  if (i < Events.size() && Events[i].Time == time) return Events[i];
  TXMEvent e;
  e.Time = time;
  return *Events.insert(Events.begin() + static_cast<std::ptrdiff_t>(i), e);
}

TXMChannel& TXMPattern::GetChannel(int32_t n) {
  if (Channels.size() <= static_cast<std::size_t>(n)) Channels.resize(static_cast<std::size_t>(n) + 1);
  return Channels[static_cast<std::size_t>(n)];
}

TXMSong::TXMSong() {
  std::memcpy(IDText.data(), "Extended Module: ", 17);
  ModuleName.fill(' ');
  TrackerName.fill(0);
  std::memcpy(TrackerName.data(), "ORVATE", 6);
}

TXMPattern* TXMSong::GetPattern(int32_t n) {
  if (n < 0 || n >= kMaxPatterns) return nullptr;
  if (Patterns.size() <= static_cast<std::size_t>(n)) Patterns.resize(static_cast<std::size_t>(n) + 1);
  return &Patterns[static_cast<std::size_t>(n)];
}

TXMChannel* TXMSong::GrowTo(int32_t pattern, int32_t channel) {
  TXMPattern* p = GetPattern(pattern);
  if (p == nullptr) return nullptr;
  return &p->GetChannel(channel);
}

bool TXMSong::ClearVCol(int32_t pattern, int32_t channel, int32_t time) {
  TXMChannel* ch = CellChannel(pattern, channel, time);
  if (ch == nullptr) return false;
  ch->FindOrInsert(time).VCol = 0;
  return true;
}

void TXMSong::AddPatternRows(int32_t pattern, int32_t rows) {
  TXMPattern* p = GetPattern(pattern);
  if (p == nullptr) return;
  // Only the end-of-text hand-over calls this, once per pattern, so it cannot wrap.
  p->RowCount += rows;
}

void TXMSong::CopyChannel(int32_t srcPattern, int32_t srcChannel, int32_t timeOffset,
                          int32_t dstPattern, int32_t dstChannel) {
  TXMPattern* sp = GetPattern(srcPattern);
  if (sp == nullptr || srcChannel < 0 || srcChannel >= kMaxChannels) return;
  const std::size_t n = sp->GetChannel(srcChannel).Events.size();
  if (n == 0) return;
  // The destination may grow the pattern and channel lists, so look the source up again each time.
  for (std::size_t i = 0; i < n; ++i) {
    const TXMEvent e = Patterns[static_cast<std::size_t>(srcPattern)]
                           .Channels[static_cast<std::size_t>(srcChannel)]
                           .Events[i];
    const int64_t t = int64_t{timeOffset} + e.Time;
    if (t >= MaxRows) break;  // rows only grow from here
    AddEvent(dstPattern, dstChannel, static_cast<int32_t>(t), e.Note, e.Inst, e.VCol, e.Event, e.Data);
  }
}

}  // namespace orvate
