#include "compiler/MapRecorder.h"

#include <algorithm>
#include <numeric>

#include "xm/xmfU.h"

namespace orvate {

namespace {

// The scanner reads the score with its line endings made CR LF and cut at a zero byte; this
// finds, for a place in that text, the line and the byte offset in the score as given.
class TPositionMap {
 public:
  TPositionMap(const TScanner& scanner, std::string_view original) : FScanner(scanner) {
    const std::size_t zero = original.find('\0');
    if (zero != std::string_view::npos) original = original.substr(0, zero);
    std::size_t i = 0, norm = 0;
    const std::size_t n = original.size();
    while (i < n) {
      std::size_t e = i;
      while (e < n && original[e] != '\r' && original[e] != '\n') ++e;
      FLines.push_back({norm, i, e - i});
      norm += e - i + 2;
      if (e < n && original[e] == '\r' && e + 1 < n && original[e + 1] == '\n') i = e + 2;
      else i = e + 1;
    }
    if (FLines.empty()) FLines.push_back({0, 0, 0});
  }

  std::size_t LineOf(TSourcePos pos) const {
    const auto it = std::upper_bound(FLines.begin(), FLines.end(), pos,
                                     [](TSourcePos p, const TLine& l) { return p < l.Norm; });
    return it == FLines.begin() ? 0 : static_cast<std::size_t>(it - FLines.begin()) - 1;
  }

  uint32_t Offset(TSourcePos pos, std::size_t line) const {
    const TLine& l = FLines[line];
    const std::size_t into = pos - l.Norm;
    return static_cast<uint32_t>(l.Orig + (into < l.Length ? into : l.Length));
  }

  // Spans of every [start, end) given, with columns counted in one pass over the text.
  void Spans(const std::vector<std::pair<TSourcePos, TSourcePos>>& ranges, std::vector<TSpan>& out) const {
    out.assign(ranges.size(), TSpan());
    std::vector<uint32_t> order(ranges.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return ranges[a].first < ranges[b].first; });
    const std::string_view text = FScanner.Source();
    std::size_t line = 0;
    TSourcePos at = std::max<TSourcePos>(FLines[0].Norm, FScanner.TextStart());
    int64_t column = 0;
    for (const uint32_t k : order) {
      const TSourcePos start = ranges[k].first;
      while (line + 1 < FLines.size() && FLines[line + 1].Norm <= start) {
        ++line;
        at = FLines[line].Norm;
        column = 0;
      }
      while (at < start && at < text.size()) {
        at += UnitLength(text, at, FScanner.Encoding());
        ++column;
      }
      TSpan& span = out[k];
      span.Line = static_cast<int32_t>(std::min<std::size_t>(line + 1, INT32_MAX));
      span.Column = static_cast<int32_t>(std::min<int64_t>(column, INT32_MAX));
      span.Offset = Offset(start, line);
      const TSourcePos end = std::max(start, ranges[k].second);
      span.Length = Offset(end, LineOf(end)) - span.Offset;
    }
  }

 private:
  struct TLine {
    std::size_t Norm;    // where the line starts in the scanner's text
    std::size_t Orig;    // and in the score as given
    std::size_t Length;  // its bytes before the line ending
  };
  const TScanner& FScanner;
  std::vector<TLine> FLines;
};

}  // namespace

TMapRecorder::TMapRecorder(std::size_t sourceSize)
    : FByStart(sourceSize + 1, kNone), FWrites(static_cast<std::size_t>(kPatterns) * kChannels) {
  OrderCommands.fill(kNone);
  LongPattern.fill(kNone);
  FChains.push_back(TScoreMap::TChainNode());  // the empty chain
}

uint32_t TMapRecorder::Current() {
  if (FCurrent != kNone) return FCurrent;
  uint32_t& slot = FByStart[FStart < FByStart.size() ? FStart : FByStart.size() - 1];
  if (slot == kNone) {
    slot = static_cast<uint32_t>(FCommands.size());
    FCommands.push_back({FStart, FStart, false});
  }
  FCurrent = slot;
  return FCurrent;
}

void TMapRecorder::EndCommand(TSourcePos end) {
  if (FCurrent == kNone) return;
  TCommand& c = FCommands[FCurrent];
  if (c.Ended) return;
  c.End = end < c.Start ? c.Start : end;
  c.Ended = true;
}

void TMapRecorder::Write(int32_t pattern, int32_t channel, int32_t row, uint8_t parts) {
  std::vector<TWrite>& list = Channel(pattern, channel);
  const uint32_t command = Current();
  // A loop that writes one cell again and again leaves one write per command, not one per pass:
  // look back over the last few writes of the same row.
  for (std::size_t back = 0; back < 8 && back < list.size(); ++back) {
    TWrite& w = list[list.size() - 1 - back];
    if (w.Row != row) break;
    if (w.Command == command && w.Chain == FChain) {
      w.Parts = static_cast<uint8_t>(w.Parts | parts);
      return;
    }
  }
  list.push_back({row, command, FChain, parts});
}

uint32_t TMapRecorder::Intern(uint32_t parent, uint32_t command, TStepKind kind) {
  const uint64_t key = (uint64_t{parent} << 33) | (uint64_t{command} << 1) | (kind == TStepKind::Copy ? 1u : 0u);
  const auto [it, added] = FChainIndex.try_emplace(key, static_cast<uint32_t>(FChains.size()));
  if (added) FChains.push_back({parent, command, kind});
  return it->second;
}

void TMapRecorder::EnterMacro(TSourcePos callEnd) {
  const uint32_t call = Current();
  EndCommand(callEnd);
  FChain = Intern(FChain, call, TStepKind::Macro);
}

void TMapRecorder::LeaveMacro() { FChain = FChains[FChain].Parent; }

uint32_t TMapRecorder::Compose(uint32_t base, uint32_t chain, std::unordered_map<uint32_t, uint32_t>& memo) {
  if (chain == 0) return base;
  const auto found = memo.find(chain);
  if (found != memo.end()) return found->second;
  const TScoreMap::TChainNode node = FChains[chain];
  const uint32_t composed = Intern(Compose(base, node.Parent, memo), node.Command, node.Kind);
  memo.emplace(chain, composed);
  return composed;
}

void TMapRecorder::Copy(int32_t srcPattern, int32_t srcChannel, int32_t offset, int32_t maxRows, int32_t dstPattern,
                        int32_t dstChannel) {
  const uint32_t step = Intern(FChain, Current(), TStepKind::Copy);
  std::unordered_map<uint32_t, uint32_t> memo;
  std::vector<TWrite>& dst = Channel(dstPattern, dstChannel);
  // A copy of the source as it stands: the destination is another list, but stay safe if not.
  const std::vector<TWrite> src = Channel(srcPattern, srcChannel);
  for (const TWrite& w : src) {
    const int64_t row = int64_t{w.Row} + offset;
    if (row >= maxRows) continue;
    dst.push_back({static_cast<int32_t>(row), w.Command, Compose(step, w.Chain, memo), w.Parts});
  }
}

TSpan TMapRecorder::SpanOf(const TScanner& scanner, std::string_view original, TSourcePos start, TSourcePos end) {
  std::vector<TSpan> spans;
  TPositionMap(scanner, original).Spans({{start, end}}, spans);
  return spans[0];
}

void TMapRecorder::Finish(const TScanner& scanner, std::string_view original, const TXMSong& song,
                          TScoreMap& map) const {
  map.Present = true;
  std::vector<std::pair<TSourcePos, TSourcePos>> ranges;
  ranges.reserve(FCommands.size());
  for (const TCommand& c : FCommands) ranges.emplace_back(c.Start, c.End);
  TPositionMap(scanner, original).Spans(ranges, map.Commands);
  map.Chains = FChains;

  map.Cells.clear();
  map.Sources.clear();
  std::vector<TWrite> writes;
  std::unordered_map<uint64_t, std::size_t> seen;
  for (int p = 0; p < kPatterns; ++p) {
    for (int c = 0; c < kChannels; ++c) {
      const std::vector<TWrite>& list = FWrites[static_cast<std::size_t>(p) * kChannels + static_cast<std::size_t>(c)];
      if (list.empty()) continue;
      writes = list;
      std::stable_sort(writes.begin(), writes.end(), [](const TWrite& a, const TWrite& b) { return a.Row < b.Row; });
      for (std::size_t i = 0; i < writes.size();) {
        TScoreMap::TCell cell;
        cell.Pattern = static_cast<uint16_t>(p);
        cell.Channel = static_cast<uint16_t>(c);
        cell.Row = writes[i].Row;
        cell.FirstSource = static_cast<uint32_t>(map.Sources.size());
        std::size_t end = i;
        while (end < writes.size() && writes[end].Row == cell.Row) ++end;
        // A cell has a handful of sources, searched in place; only a cell written by very many
        // commands (thousands of "%v" on one row) needs the table.
        const bool many = end - i > 32;
        if (many) seen.clear();
        for (; i < end; ++i) {
          const TWrite& w = writes[i];
          std::size_t found = map.Sources.size();
          if (many) {
            const auto [it, added] = seen.try_emplace((uint64_t{w.Command} << 32) | w.Chain, map.Sources.size());
            if (!added) found = it->second;
          } else {
            for (std::size_t s = cell.FirstSource; s < map.Sources.size(); ++s)
              if (map.Sources[s].Command == w.Command && map.Sources[s].Chain == w.Chain) found = s;
          }
          if (found < map.Sources.size()) map.Sources[found].Parts = static_cast<uint8_t>(map.Sources[found].Parts | w.Parts);
          else map.Sources.push_back({w.Command, w.Chain, w.Parts});
        }
        cell.SourceCount = static_cast<uint32_t>(map.Sources.size()) - cell.FirstSource;
        map.Cells.push_back(cell);
      }
    }
  }

  map.Orders.assign(song.OrderTable.begin(), song.OrderTable.begin() + song.SongLength);
  map.PatternRows.clear();
  for (const TXMPattern& pattern : song.Patterns) map.PatternRows.push_back(pattern.RowCount);
  map.ChannelCount = song.ChannelCount;
  map.Speed = song.DefaultTempo;
  map.Tempo = song.DefaultBPM;
  map.RestartPos = song.RestartPos;
}

}  // namespace orvate
