// The compile call: spans of the commands that wrote each cell (worked out by hand), the
// diagnostics of a refused score, and the in-memory files.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "compiler/CompileCall.h"
#include "support/CompileHelper.h"
#include "support/TempDir.h"
#include "support/XiWriter.h"

namespace orvate {
namespace {

using testsupport::ReadFile;

struct Where {
  int line, column;
  uint32_t offset, length;
  bool operator==(const Where&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Where& w) {
  return os << "{" << w.line << "," << w.column << "," << w.offset << "," << w.length << "}";
}
Where Of(const TSpan& s) { return {s.Line, s.Column, s.Offset, s.Length}; }

// Each source of a cell as its command's span followed by the chain that led to it.
using Source = std::vector<Where>;

std::vector<Source> SourcesAt(const TScoreMap& map, int pattern, int channel, int row) {
  for (const TScoreMap::TCell& cell : map.Cells) {
    if (cell.Pattern != pattern || cell.Channel != channel || cell.Row != row) continue;
    std::vector<Source> out;
    for (uint32_t i = 0; i < cell.SourceCount; ++i) {
      const TScoreMap::TSource& s = map.Sources[cell.FirstSource + i];
      Source src{Of(map.Commands[s.Command])};
      for (const TScoreMap::TChainNode& step : map.Steps(s.Chain)) src.push_back(Of(map.Commands[step.Command]));
      out.push_back(src);
    }
    return out;
  }
  return {};
}

TCompileOutcome Compile(std::string_view score, bool map = true, bool warnings = false) {
  TCompileRequest request;
  request.Score = score;
  request.WantMap = map;
  request.WantWarnings = warnings;
  request.WantLog = true;
  static const TMemoryFiles none;
  request.Files = &none;
  return CompileScore(request);
}

struct SpanCase {
  const char* what;
  std::string score;
  int pattern, channel, row;
  std::vector<Source> sources;
};

TEST(ScoreMap, SpansOfTheCommandsThatWroteACell) {
  const SpanCase kCases[] = {
      {"a loop body points at the same text on every pass", "#setorder 0\n[c8]3\n", 0, 0, 4, {{{2, 1, 13, 2}}}},
      {"the key-off after the last pass", "#setorder 0\n[c8]3\n", 0, 0, 12, {{{2, 1, 13, 2}}}},
      {"nested macros, outermost call first", "$a{c8}\n$b{$a}\n#setorder 0 $b\n", 0, 0, 0,
       {{{1, 3, 3, 2}, {3, 12, 26, 2}, {2, 3, 10, 2}}}},
      {"parallel lanes write one cell twice", "#setorder 0\n|c8|e8||\n", 0, 0, 0,
       {{{2, 1, 13, 2}}, {{2, 4, 16, 2}}}},
      {"a copied cell carries the copy as a step", "#setorder 0\nc8\n#ch 2 #copy 0,1\n", 0, 1, 0,
       {{{2, 0, 12, 2}, {3, 6, 21, 9}}}},
      {"an effect and a note merged into one cell", "#setorder 0\n@vib 3,4 c8 &\n", 0, 0, 0,
       {{{2, 0, 12, 8}}, {{2, 9, 21, 4}}}},
      {"double-byte text counts one column per character", "/*\x82\xa0\x82\xa2*/c8 #setorder 0\n", 0, 0, 0,
       {{{1, 6, 8, 2}}}},
      {"CR LF line endings keep their bytes", "// \x82\xa0\r\n#setorder 0 c8\r\n", 0, 0, 0, {{{2, 12, 19, 2}}}},
      {"CR line endings", "#setorder 0\rr8 c8\r", 0, 0, 4, {{{2, 3, 15, 2}}}},
      {"a UTF-8 byte-order mark takes bytes but no column", "\xef\xbb\xbf/*\xe3\x81\x82*/c8 #setorder 0\n", 0, 0, 0,
       {{{1, 5, 10, 2}}}},
      {"a comment after a command is not part of it", "#setorder 0\nc8 // x\n%v 9 /* y */\n", 0, 0, 4,
       {{{2, 0, 12, 2}}, {{3, 0, 20, 4}}}},
  };
  for (const SpanCase& k : kCases) {
    SCOPED_TRACE(k.what);
    const TCompileOutcome out = Compile(k.score);
    ASSERT_TRUE(out.Result.Success) << out.Diagnostic.MessageUtf8;
    ASSERT_TRUE(out.Map.Present);
    EXPECT_EQ(SourcesAt(out.Map, k.pattern, k.channel, k.row), k.sources);
  }
}

// The cells of the event log, as (pattern, channel, row).
std::vector<std::tuple<int, int, int>> LogCells(const std::string& log) {
  std::vector<std::tuple<int, int, int>> cells;
  std::istringstream in(log);
  int pattern = -1, channel = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("#PATTERN(", 0) == 0) pattern = std::stoi(line.substr(9));
    else if (line.rfind(" #CHANNEL(", 0) == 0) channel = std::stoi(line.substr(10));
    else if (line.rfind("   Event:Time(", 0) == 0) cells.emplace_back(pattern, channel, std::stoi(line.substr(14)));
  }
  return cells;
}

// Every score we ship or record: asking for a map or warnings changes nothing else, and the
// map has exactly the cells the event log lists, each with at least one source.
TEST(ScoreMap, CoversEveryCellAndChangesNothingElse) {
  std::vector<std::filesystem::path> scores;
  const std::filesystem::path root(ORVATE_SOURCE_DIR);
  for (const char* dir : {"examples", "fuzz/corpus"})
    for (const auto& e : std::filesystem::directory_iterator(root / dir))
      if (e.path().extension() == ".mml") scores.push_back(e.path());
  for (const auto& e : std::filesystem::directory_iterator(root / "tests/e2e/cases"))
    if (std::filesystem::exists(e.path() / "score.mml")) scores.push_back(e.path() / "score.mml");
  ASSERT_GT(scores.size(), 20u);
  for (const auto& path : scores) {
    SCOPED_TRACE(path.string());
    const std::string score = ReadFile(path.string());
    TCompileRequest plain;
    plain.Score = score;
    plain.BaseDir = path.parent_path().string() + "/";
    plain.WantLog = true;
    TCompileRequest full = plain;
    full.WantMap = full.WantWarnings = true;
    const TCompileOutcome a = CompileScore(plain);
    const TCompileOutcome b = CompileScore(full);
    EXPECT_EQ(a.Result.Success, b.Result.Success);
    EXPECT_EQ(a.Result.Msg, b.Result.Msg);
    EXPECT_TRUE(a.Module == b.Module);
    EXPECT_EQ(a.EventLog, b.EventLog);
    if (!b.Result.Success) {
      EXPECT_FALSE(b.Map.Present);
      continue;
    }
    std::vector<std::tuple<int, int, int>> mapped;
    for (const TScoreMap::TCell& cell : b.Map.Cells) {
      mapped.emplace_back(cell.Pattern, cell.Channel, cell.Row);
      EXPECT_GT(cell.SourceCount, 0u);
    }
    EXPECT_EQ(mapped, LogCells(b.EventLog));
    for (const TSpan& s : b.Map.Commands) {
      ASSERT_LE(uint64_t{s.Offset} + s.Length, score.size());
      EXPECT_GT(s.Length, 0u);
    }
  }
}

TEST(ScoreMap, JsonNamesTheFieldsToolsRelyOn) {
  const TCompileOutcome out = Compile("#setorder 0,0 #speed 4 #tempo 140\n$m{c8}\n$m\n");
  ASSERT_TRUE(out.Result.Success);
  const std::string json = out.Map.ToJson();
  EXPECT_NE(json.find("\"channels\":2,\"speed\":4,\"tempo\":140,\"restart\":0"), std::string::npos) << json;
  EXPECT_NE(json.find("\"orders\":[0,0]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"pattern_rows\":[3]"), std::string::npos) << json;
  EXPECT_NE(json.find("{\"pattern\":0,\"channel\":0,\"row\":0,\"sources\":[{\"line\":2,\"column\":3,\"offset\":37,"
                      "\"length\":2,\"parts\":[\"note\",\"instrument\",\"volume\"],\"macro_calls\":[{\"line\":3,"
                      "\"column\":0,\"offset\":41,\"length\":2,\"kind\":\"macro\"}]}]}"),
            std::string::npos)
      << json;
}

struct DiagnosticCase {
  const char* score;
  int line, column;
  Where span;
  const char* token;
  const char* messageUtf8;
};

TEST(Diagnostics, PlaceTheRefusedCommand) {
  const DiagnosticCase kCases[] = {
      {"#setorder 0\n$a{ c8 @vib 99 }\n$a\n", 2, 14, {2, 7, 19, 7}, "@vib",
       "停止:[Y2,X14]: ｢@vib｣ : 指定された値に問題があります."},
      {"#setorder 0\r\n  #pt 300\r\n", 2, 9, {2, 2, 15, 7}, "#pt", "停止:[Y2,X9]: ｢#pt｣ : 指定された値に問題があります."},
      // A UTF-8 score: the echoed token stays UTF-8 and a character is one column.
      {"// \xe3\x81\x82\n#setorder 0 \xe3\x81\x84 @vib 99", 2, 21, {2, 14, 23, 7}, "@vib",
       "停止:[Y2,X21]: ｢@vib｣ : 指定された値に問題があります."},
      {"#setorder 0 \xe3\x81\x84x", 1, 14, {1, 13, 15, 1}, "x", "停止:[Y1,X14]: ｢x｣ : 未定義のコマンド又は文法エラーです."},
      {"#setorder 0\nc8 )2\n", 2, 5, {2, 3, 15, 2}, ")", "停止:[Y2,X5]: ｢)｣ : 対応するループがありません."},
  };
  for (const DiagnosticCase& k : kCases) {
    SCOPED_TRACE(k.score);
    const TCompileOutcome out = Compile(k.score);
    ASSERT_FALSE(out.Result.Success);
    const TDiagnostic& d = out.Diagnostic;
    ASSERT_TRUE(d.Present && d.Positioned && d.HasSpan);
    EXPECT_EQ(d.Line, k.line);
    EXPECT_EQ(d.Column, k.column);
    EXPECT_EQ(d.Line, out.Result.Y);
    EXPECT_EQ(d.Column, out.Result.X);
    EXPECT_EQ(Of(d.Span), k.span);
    EXPECT_EQ(d.Token, k.token);
    EXPECT_EQ(d.MessageUtf8, k.messageUtf8);
    EXPECT_FALSE(out.Map.Present);
    EXPECT_TRUE(out.Module.empty());
  }
  const TCompileOutcome none = Compile("c4\n");
  EXPECT_TRUE(none.Diagnostic.Present);
  EXPECT_FALSE(none.Diagnostic.Positioned);
  EXPECT_FALSE(none.Diagnostic.HasSpan);
  EXPECT_EQ(none.Diagnostic.MessageUtf8, "オーダーテーブルに登録されていません.");
  EXPECT_EQ(none.Diagnostic.ReasonCp932, none.Result.Msg);
}

TEST(CompileCall, InMemoryFilesGiveTheSameModuleAsTheDisk) {
  testsupport::XiInstrument xi;
  xi.name = "Lead";
  xi.samples.push_back(testsupport::XiSample::Of("Lead", testsupport::wave::Square(32, 16, 90), false,
                                                 testsupport::kForwardLoop, 0, 32));
  const std::string bytes = xi.Bytes();
  const testsupport::TempDir dir;
  testsupport::WriteFile(dir / "lead.xi", bytes);
  testsupport::WriteFile(dir / "bass.xi", bytes);
  // On disk "sub\bass.xi" is found beside the score; in memory under the name as written.
  const std::string score = "#instrument \"lead.xi\"\n#instrument \"sub\\bass.xi\"\n#setorder 0\n@1 c4 @2 d4\n";

  TCompileRequest request;
  request.Score = score;
  request.BaseDir = dir.path() + "/";
  const TCompileOutcome disk = CompileScore(request);
  ASSERT_TRUE(disk.Result.Success) << disk.Diagnostic.MessageUtf8;

  TMemoryFiles files;
  files.Add("lead.xi", bytes);
  files.Add("sub/bass.xi", bytes);
  request.BaseDir = "";
  request.Files = &files;
  const TCompileOutcome memory = CompileScore(request);
  ASSERT_TRUE(memory.Result.Success) << memory.Diagnostic.MessageUtf8;
  EXPECT_TRUE(memory.Module == disk.Module);
  EXPECT_NE(memory.Module.find("Lead"), std::string::npos);

  const TCompileOutcome missing = Compile("#instrument \"lead.xi\"\n#setorder 0\n");
  EXPECT_EQ(missing.Diagnostic.MessageUtf8, "停止:[Y1,X21]: ｢#instrument｣ : xiファイルが見つかりません.");
}

}  // namespace
}  // namespace orvate
