#include "compiler/ScoreMap.h"

#include <array>
#include <charconv>

namespace orvate {

namespace {

void Num(std::string& out, int64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

void SpanFields(std::string& out, const TSpan& s) {
  out += "\"line\":";
  Num(out, s.Line);
  out += ",\"column\":";
  Num(out, s.Column);
  out += ",\"offset\":";
  Num(out, s.Offset);
  out += ",\"length\":";
  Num(out, s.Length);
}

// The parts as a JSON array, for each of the 16 combinations.
const std::string& PartsJson(uint8_t parts) {
  static const auto table = [] {
    std::array<std::string, 16> t;
    const char* names[] = {"note", "instrument", "volume", "effect"};
    for (unsigned m = 0; m < 16; ++m) {
      std::string s = "[";
      for (unsigned b = 0; b < 4; ++b) {
        if ((m & (1u << b)) == 0) continue;
        if (s.size() > 1) s += ',';
        s += '"';
        s += names[b];
        s += '"';
      }
      t[m] = s + "]";
    }
    return t;
  }();
  return table[parts & 15u];
}

}  // namespace

std::vector<TScoreMap::TChainNode> TScoreMap::Steps(uint32_t chain) const {
  std::vector<TChainNode> steps;
  for (uint32_t c = chain; c != 0 && c < Chains.size(); c = Chains[c].Parent) steps.push_back(Chains[c]);
  return {steps.rbegin(), steps.rend()};
}

std::string TScoreMap::ToJson() const {
  std::string all;
  WriteJson([&all](std::string_view piece) {
    all.append(piece);
    return true;
  });
  return all;
}

bool TScoreMap::WriteJson(const std::function<bool(std::string_view)>& sink) const {
  constexpr std::size_t kPiece = 1 << 20;
  std::string out;
  out.reserve(kPiece + 4096);
  out += "{\"format\":\"orvate-score-map\",\"version\":1,\n\"channels\":";
  Num(out, ChannelCount);
  out += ",\"speed\":";
  Num(out, Speed);
  out += ",\"tempo\":";
  Num(out, Tempo);
  out += ",\"restart\":";
  Num(out, RestartPos);
  out += ",\n\"orders\":[";
  for (std::size_t i = 0; i < Orders.size(); ++i) {
    if (i) out += ',';
    Num(out, Orders[i]);
  }
  out += "],\n\"pattern_rows\":[";
  for (std::size_t i = 0; i < PatternRows.size(); ++i) {
    if (i) out += ',';
    Num(out, PatternRows[i]);
  }
  out += "],\n\"cells\":[";
  // Chains are shared by many sources: write each once, when first met.
  std::vector<std::string> chainJson(Chains.size());
  std::vector<uint8_t> chainDone(Chains.size(), 0);
  chainJson[0] = "[]";
  if (!chainDone.empty()) chainDone[0] = 1;
  auto chainText = [&](uint32_t chain) -> const std::string& {
    if (!chainDone[chain]) {
      std::string s = "[";
      for (const TChainNode& step : Steps(chain)) {
        if (s.size() > 1) s += ',';
        s += '{';
        SpanFields(s, Commands[step.Command]);
        s += step.Kind == TStepKind::Copy ? ",\"kind\":\"copy\"}" : ",\"kind\":\"macro\"}";
      }
      chainJson[chain] = s + "]";
      chainDone[chain] = 1;
    }
    return chainJson[chain];
  };
  for (std::size_t i = 0; i < Cells.size(); ++i) {
    const TCell& cell = Cells[i];
    out += i ? ",\n{\"pattern\":" : "\n{\"pattern\":";
    Num(out, cell.Pattern);
    out += ",\"channel\":";
    Num(out, cell.Channel);
    out += ",\"row\":";
    Num(out, cell.Row);
    out += ",\"sources\":[";
    for (uint32_t s = 0; s < cell.SourceCount; ++s) {
      const TSource& src = Sources[cell.FirstSource + s];
      out += s ? ",{" : "{";
      SpanFields(out, Commands[src.Command]);
      out += ",\"parts\":";
      out += PartsJson(src.Parts);
      out += ",\"macro_calls\":";
      out += chainText(src.Chain);
      out += '}';
    }
    out += "]}";
    if (out.size() >= kPiece) {
      if (!sink(out)) return false;
      out.clear();
    }
  }
  out += "\n]}\n";
  return sink(out);
}

}  // namespace orvate
