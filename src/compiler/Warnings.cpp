// What players will do with a module that the language allows: the layouts that
// libopenmpt and libxmp read otherwise than the score means (see docs/players.md).
#include "compiler/Warnings.h"

#include <set>

#include "xm/xmfU.h"

namespace orvate {

namespace {

enum TWarningKind { NoChannels, LongPattern, FastSpeed, EmptyPattern, MissingPattern, Placeholder, NoteOnPlaceholder, NoteOnMissing, MidiEffect, PortaBeside };

struct TWarningText {
  const char* Code;
  const char* Utf8;
  const char* Cp932;
};

// The same text in both encodings; "%d" stands for a number.
constexpr TWarningText kTexts[] = {
    {"no-channels", "チャンネルが一つもありません: libopenmptはこのモジュールを読み込めず, libxmpは再生を終えません.",
     "\x83`\x83\x83\x83\x93\x83l\x83\x8b\x82\xaa\x88\xea\x82\xc2\x82\xe0\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1: libopenmpt\x82\xcd\x82\xb1\x82\xcc\x83\x82\x83W\x83\x85\x81[\x83\x8b\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xb8, libxmp\x82\xcd\x8d\xc4\x90\xb6\x82\xf0\x8fI\x82\xa6\x82\xdc\x82\xb9\x82\xf1."},
    {"pattern-over-256-rows", "パターン(%d)は%d行です: 256行を超えるパターンがあるとlibxmpはモジュールを読み込みません.",
     "\x83p\x83^\x81[\x83\x93(%d)\x82\xcd%d\x8ds\x82\xc5\x82\xb7: 256\x8ds\x82\xf0\x92\xb4\x82\xa6\x82\xe9\x83p\x83^\x81[\x83\x93\x82\xaa\x82\xa0\x82\xe9\x82\xc6libxmp\x82\xcd\x83\x82\x83W\x83\x85\x81[\x83\x8b\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xdc\x82\xb9\x82\xf1."},
    {"speed-above-31", "スピード%dは31を超えています: libxmpはこのモジュールを読み込みません.",
     "\x83X\x83s\x81[\x83h%d\x82\xcd" "31\x82\xf0\x92\xb4\x82\xa6\x82\xc4\x82\xa2\x82\xdc\x82\xb7: libxmp\x82\xcd\x82\xb1\x82\xcc\x83\x82\x83W\x83\x85\x81[\x83\x8b\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xdc\x82\xb9\x82\xf1."},
    {"empty-pattern", "パターン(%d)は0行です: libopenmptは64行, libxmpは256行の空白として再生します.",
     "\x83p\x83^\x81[\x83\x93(%d)\x82\xcd" "0\x8ds\x82\xc5\x82\xb7: libopenmpt\x82\xcd" "64\x8ds, libxmp\x82\xcd" "256\x8ds\x82\xcc\x8b\xf3\x94\x92\x82\xc6\x82\xb5\x82\xc4\x8d\xc4\x90\xb6\x82\xb5\x82\xdc\x82\xb7."},
    {"order-names-missing-pattern", "オーダー(%d)のパターン(%d)はありません: libopenmptは飛ばし, libxmpはオーダーから外します.",
     "\x83I\x81[\x83_\x81[(%d)\x82\xcc\x83p\x83^\x81[\x83\x93(%d)\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1: libopenmpt\x82\xcd\x94\xf2\x82\xce\x82\xb5, libxmp\x82\xcd\x83I\x81[\x83_\x81[\x82\xa9\x82\xe7\x8aO\x82\xb5\x82\xdc\x82\xb7."},
    {"placeholder-instrument", "音色(%d)のxiファイルが無いか短すぎるため, 空の音色(Instrument ImportError)になります.",
     "\x89\xb9\x90" "F(%d)\x82\xccxi\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x96\xb3\x82\xa2\x82\xa9\x92Z\x82\xb7\x82\xac\x82\xe9\x82\xbd\x82\xdf, \x8b\xf3\x82\xcc\x89\xb9\x90" "F(Instrument ImportError)\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb7."},
    {"note-on-placeholder-instrument", "音色(%d)は空の音色です: この音は鳴りません.",
     "\x89\xb9\x90" "F(%d)\x82\xcd\x8b\xf3\x82\xcc\x89\xb9\x90" "F\x82\xc5\x82\xb7: \x82\xb1\x82\xcc\x89\xb9\x82\xcd\x96\xc2\x82\xe8\x82\xdc\x82\xb9\x82\xf1."},
    {"note-on-missing-instrument", "音色(%d)はモジュールにありません: この音は鳴りません.",
     "\x89\xb9\x90" "F(%d)\x82\xcd\x83\x82\x83W\x83\x85\x81[\x83\x8b\x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1: \x82\xb1\x82\xcc\x89\xb9\x82\xcd\x96\xc2\x82\xe8\x82\xdc\x82\xb9\x82\xf1."},
    {"midi-effect", "エフェクトZ(@midi)をlibxmpは捨て, パラメータをアルペジオとして読みます.",
     "\x83G\x83t\x83" "F\x83N\x83gZ(@midi)\x82\xf0libxmp\x82\xcd\x8e\xcc\x82\xc4, \x83p\x83\x89\x83\x81\x81[\x83^\x82\xf0\x83" "A\x83\x8b\x83y\x83W\x83I\x82\xc6\x82\xb5\x82\xc4\x93\xc7\x82\xdd\x82\xdc\x82\xb7."},
    {"effect-beside-volume-portamento", "音量欄のトーンポルタメントと同じセルのエフェクト(%d)をlibxmpは無視します.",
     "\x89\xb9\x97\xca\x97\x93\x82\xcc\x83g\x81[\x83\x93\x83|\x83\x8b\x83^\x83\x81\x83\x93\x83g\x82\xc6\x93\xaf\x82\xb6\x83Z\x83\x8b\x82\xcc\x83G\x83t\x83" "F\x83N\x83g(%d)\x82\xf0libxmp\x82\xcd\x96\xb3\x8e\x8b\x82\xb5\x82\xdc\x82\xb7."},
};

constexpr char kPrefixUtf8[] = "警告";
constexpr char kPrefixCp932[] = "\x8cx\x8d\x90";

std::string Fill(const char* pattern, std::initializer_list<int64_t> numbers) {
  std::string out;
  auto next = numbers.begin();
  for (const char* p = pattern; *p != 0; ++p) {
    if (p[0] == '%' && p[1] == 'd' && next != numbers.end()) {
      out += std::to_string(*next++);
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

class TCollector {
 public:
  TCollector(const TScoreMap& map, std::vector<TWarning>& out) : FMap(map), FOut(out) {}

  // A warning about the command with that record (kNone: no command to point at).
  void Add(TWarningKind kind, std::initializer_list<int64_t> numbers, uint32_t command, uint32_t chain = 0,
           int32_t pattern = -1) {
    TWarning w;
    const TWarningText& t = kTexts[kind];
    w.Code = t.Code;
    w.Pattern = pattern;
    std::string head = "";
    if (command != TMapRecorder::kNone && command < FMap.Commands.size()) {
      w.HasSpan = true;
      w.Span = FMap.Commands[command];
      for (const TScoreMap::TChainNode& step : FMap.Steps(chain)) w.Chain.push_back(FMap.Commands[step.Command]);
      head = ":[Y" + std::to_string(w.Span.Line) + ",X" + std::to_string(w.Span.Column) + "]: ";
    } else {
      head = ": ";
    }
    w.TextUtf8 = kPrefixUtf8 + head + Fill(t.Utf8, numbers);
    w.TextCp932 = kPrefixCp932 + head + Fill(t.Cp932, numbers);
    FOut.push_back(std::move(w));
  }

  // Once per kind and command: a loop over one command warns once.
  bool First(TWarningKind kind, uint32_t command, int64_t detail = 0) {
    return FSeen.insert({kind, command, detail}).second;
  }

 private:
  const TScoreMap& FMap;
  std::vector<TWarning>& FOut;
  std::set<std::tuple<int, uint32_t, int64_t>> FSeen;
};

// The source among a cell's that wrote the given part, or the first one.
const TScoreMap::TSource* SourceOf(const TScoreMap& map, const TScoreMap::TCell& cell, uint8_t part) {
  for (uint32_t s = 0; s < cell.SourceCount; ++s) {
    const TScoreMap::TSource& src = map.Sources[cell.FirstSource + s];
    if (src.Parts & part) return &src;
  }
  return cell.SourceCount ? &map.Sources[cell.FirstSource] : nullptr;
}

}  // namespace

std::vector<TWarning> FindPlayerWarnings(const TXMSong& song, const TScoreMap& map, const TMapRecorder& rec) {
  std::vector<TWarning> out;
  TCollector w(map, out);
  if (song.ChannelCount == 0) w.Add(NoChannels, {}, TMapRecorder::kNone);
  if (song.DefaultTempo > 31) w.Add(FastSpeed, {song.DefaultTempo}, rec.SpeedCommand);

  const int32_t patterns = static_cast<int32_t>(song.Patterns.size());
  for (int32_t p = 0; p < patterns; ++p) {
    const int32_t rows = song.Patterns[static_cast<std::size_t>(p)].RowCount;
    if (rows > 256) w.Add(LongPattern, {p, rows}, rec.LongPattern[static_cast<std::size_t>(p)], 0, p);
    if (rows == 0 && song.ChannelCount > 0) {
      uint32_t naming = TMapRecorder::kNone;
      for (int i = 0; i < song.SongLength && naming == TMapRecorder::kNone; ++i)
        if (song.OrderTable[static_cast<std::size_t>(i)] == p) naming = rec.OrderCommands[static_cast<std::size_t>(i)];
      w.Add(EmptyPattern, {p}, naming, 0, p);
    }
  }
  for (int i = 0; i < song.SongLength; ++i) {
    const int32_t p = song.OrderTable[static_cast<std::size_t>(i)];
    if (p >= patterns) w.Add(MissingPattern, {i, p}, rec.OrderCommands[static_cast<std::size_t>(i)], 0, p);
  }
  for (std::size_t i = 0; i < song.PlaceholderInsts.size(); ++i) {
    if (!song.PlaceholderInsts[i]) continue;
    const uint32_t command = i < rec.InstrumentCommands.size() ? rec.InstrumentCommands[i] : TMapRecorder::kNone;
    w.Add(Placeholder, {static_cast<int64_t>(i) + 1}, command);
  }

  // Cell by cell: the map lists the cells in the song's own order.
  std::size_t next = 0;
  for (std::size_t p = 0; p < song.Patterns.size(); ++p) {
    const TXMPattern& pattern = song.Patterns[p];
    for (std::size_t c = 0; c < pattern.Channels.size(); ++c) {
      for (const TXMEvent& e : pattern.Channels[c].Events) {
        while (next < map.Cells.size() &&
               std::tuple(map.Cells[next].Pattern, map.Cells[next].Channel, map.Cells[next].Row) <
                   std::tuple(static_cast<uint16_t>(p), static_cast<uint16_t>(c), e.Time))
          ++next;
        if (e.Time >= pattern.RowCount) continue;  // not in the module
        const bool here = next < map.Cells.size() && map.Cells[next].Pattern == p && map.Cells[next].Channel == c &&
                          map.Cells[next].Row == e.Time;
        auto source = [&](uint8_t part) { return here ? SourceOf(map, map.Cells[next], part) : nullptr; };
        // once: warn once for all cells alike (an instrument), else once per command.
        auto add = [&](TWarningKind kind, std::initializer_list<int64_t> numbers, uint8_t part, bool once,
                       int64_t detail) {
          const TScoreMap::TSource* s = source(part);
          const uint32_t command = s ? s->Command : TMapRecorder::kNone;
          if (w.First(kind, once ? TMapRecorder::kNone : command, detail))
            w.Add(kind, numbers, command, s ? s->Chain : 0, static_cast<int32_t>(p));
        };
        if (e.Note >= 1 && e.Note <= 96 && e.Inst != 0) {
          if (e.Inst > song.InstrumentCount) add(NoteOnMissing, {e.Inst}, kPartInst, true, e.Inst);
          else if (e.Inst <= song.PlaceholderInsts.size() && song.PlaceholderInsts[e.Inst - 1u])
            add(NoteOnPlaceholder, {e.Inst}, kPartInst, true, e.Inst);
        }
        if (e.Event == 35 && e.Data != 0) add(MidiEffect, {}, kPartEffect, false, 0);
        if (e.VCol >= 0xF0 && e.Data != 0 && (e.Event == 3 || e.Event == 5 || e.Event == 9))
          add(PortaBeside, {e.Event}, kPartEffect, false, e.Event);
      }
    }
  }
  return out;
}

}  // namespace orvate
