#pragma once
// One score through the whole pipeline (compile, XM file, event log) in the sandbox, and what
// was written checked against the song it came from. Shared by the fuzzer and the replay test.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSandbox.h"
#include "app/AppUtils.h"
#include "compiler/CompileCall.h"
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate::fuzz {

// Nested loops with large counts are finite but can run for minutes; this bounds them, yet lets
// a loop run a directive past 65536 times (16-bit fields of the module).
inline constexpr int64_t kStepBudget = 200000;

// Returns from the enclosing check with the broken condition.
#define ORVATE_ORACLE(cond) \
  do {                      \
    if (!(cond)) return std::string("broken: ") + #cond + " (line " + std::to_string(__LINE__) + ")"; \
  } while (0)

namespace oracle {

inline unsigned U16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8;
}
inline uint32_t U32(const std::string& b, std::size_t at) { return U16(b, at) | uint32_t{U16(b, at + 2)} << 16; }

// The song model keeps the shape the writer and the log rely on.
inline std::string CheckModel(const TXMSong& song) {
  ORVATE_ORACLE(song.Patterns.size() <= 256);
  for (const auto& pattern : song.Patterns) {
    ORVATE_ORACLE(pattern.Channels.size() <= 32);
    for (const auto& channel : pattern.Channels) {
      int64_t last = -1;
      for (const auto& e : channel.Events) {
        ORVATE_ORACLE(e.Time > last && e.Time < 1024);  // MaxRows may have dropped back to 64 since
        ORVATE_ORACLE(e.Note <= 97);
        last = e.Time;
      }
    }
  }
  return {};
}

// Decodes the written module and compares every cell and instrument with the song.
inline std::string CheckModule(const std::string& xm, const TXMSong& song) {
  ORVATE_ORACLE(xm.size() >= 336);
  ORVATE_ORACLE(xm.compare(0, 17, "Extended Module: ") == 0);
  ORVATE_ORACLE(xm[37] == '\x1a' && U16(xm, 58) == 0x0104 && U32(xm, 60) == 276);
  const unsigned songLength = U16(xm, 64), channels = U16(xm, 68), patterns = U16(xm, 70);
  ORVATE_ORACLE(songLength >= 1 && songLength <= 256 && U16(xm, 66) <= 255);
  ORVATE_ORACLE(channels % 2 == 0 && channels <= 32 && channels == song.ChannelCount);
  ORVATE_ORACLE(patterns >= 1 && patterns == song.Patterns.size());
  ORVATE_ORACLE(U16(xm, 72) == song.InstFiles.size() && U16(xm, 74) == 1);
  ORVATE_ORACLE(U16(xm, 76) >= 1 && U16(xm, 76) <= 96 && U16(xm, 78) >= 32 && U16(xm, 78) <= 255);

  std::size_t pos = 336;
  for (const auto& pattern : song.Patterns) {
    ORVATE_ORACLE(pattern.Channels.size() == channels);
    ORVATE_ORACLE(xm.size() - pos >= 9 && U32(xm, pos) == 9 && xm[pos + 4] == 0);
    const unsigned rows = U16(xm, pos + 5), size = U16(xm, pos + 7);
    ORVATE_ORACLE(static_cast<int64_t>(rows) == pattern.RowCount);
    pos += 9;
    ORVATE_ORACLE(xm.size() - pos >= size);
    const std::size_t end = pos + size;
    std::size_t cursor[32] = {};
    for (unsigned r = 0; r < rows; ++r) {
      for (unsigned c = 0; c < channels; ++c) {
        uint8_t got[5] = {};
        ORVATE_ORACLE(pos < end);
        const uint8_t first = static_cast<uint8_t>(xm[pos]);
        if (first & 0x80) {
          ++pos;
          for (int part = 0; part < 5; ++part) {
            if (first & (1u << part)) {
              ORVATE_ORACLE(pos < end);
              got[part] = static_cast<uint8_t>(xm[pos++]);
            }
          }
        } else {
          ORVATE_ORACLE(end - pos >= 5);
          std::memcpy(got, xm.data() + pos, 5);
          pos += 5;
        }
        uint8_t want[5] = {};
        const auto& events = pattern.Channels[c].Events;
        if (cursor[c] < events.size() && events[cursor[c]].Time == static_cast<int32_t>(r)) {
          const auto& e = events[cursor[c]++];
          const uint8_t parts[5] = {e.Note, e.Inst, e.VCol, e.Event, e.Data};
          std::memcpy(want, parts, 5);
        }
        ORVATE_ORACLE(std::memcmp(got, want, 5) == 0);
      }
    }
    ORVATE_ORACLE(pos == end);
  }

  // A loop may name the same file tens of thousands of times: read each once.
  std::map<std::string, std::optional<std::string>> files;
  for (const std::string& stored : song.InstFiles) {
    const std::string entry = ToSystemPath(stored);
    auto known = files.find(entry);
    if (known == files.end()) {
      std::string bytes;
      known = files.emplace(entry, IsFile(entry) && ReadAll(entry, bytes) ? std::optional(bytes) : std::nullopt).first;
    }
    ORVATE_ORACLE(xm.size() - pos >= 29);
    const uint32_t header = U32(xm, pos);
    if (header == 29) {
      ORVATE_ORACLE(xm.compare(pos + 4, 22, "Instrument ImportError") == 0);
      ORVATE_ORACLE(!known->second || known->second->size() <= 298);
      pos += 29;
    } else {
      ORVATE_ORACLE(header == 263 && known->second && known->second->size() > 298);
      const std::string& xi = *known->second;
      const bool extension = xi.size() >= 1397 && xi.compare(xi.size() - 1099, 4, "XTPM") == 0;
      const std::size_t block = 263 + xi.size() - 298 - (extension ? 1099 : 0);
      ORVATE_ORACLE(xm.size() - pos >= block);
      ORVATE_ORACLE(xm.compare(pos + 4, 22, xi, 21, 22) == 0);
      ORVATE_ORACLE(xm.compare(pos + 263, block - 263, xi, 298, block - 263) == 0);
      pos += block;
    }
  }
  ORVATE_ORACLE(pos == xm.size());
  return {};
}

// One line per pattern and channel, and per event or "NoEvent"; CR LF after each; ASCII only.
inline std::string CheckLog(const std::string& log, const TXMSong& song) {
  std::size_t want = 0;
  if (song.Patterns.empty()) want = 1;
  for (const auto& pattern : song.Patterns) {
    want += 1;
    if (pattern.Channels.empty()) want += 1;
    for (const auto& channel : pattern.Channels) want += 1 + (channel.Events.empty() ? 1 : channel.Events.size());
  }
  std::size_t lines = 0;
  for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) ++lines;
  ORVATE_ORACLE(lines == want && log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0);
  for (const char c : log) ORVATE_ORACLE(static_cast<unsigned char>(c) < 0x80);
  return {};
}

inline bool InScore(const TSpan& s, std::string_view score) {
  return s.Line >= 1 && s.Column >= 0 && uint64_t{s.Offset} + s.Length <= score.size();
}

// The compile call with a map and warnings: the same verdict and module, a map with exactly the
// song's cells, and every span inside the score.
inline std::string CheckMap(std::string_view score, int64_t budget, const std::string& dir, const TFuncResult& result,
                            const std::string& xm, const TXMSong& song) {
  TCompileRequest request;
  request.Score = score;
  request.BaseDir = dir;
  request.WantMap = request.WantWarnings = request.WantLog = true;
  request.StepBudget = budget;
  const TCompileOutcome out = CompileScore(request);
  ORVATE_ORACLE(out.Result.Success == result.Success && out.Result.Msg == result.Msg);
  if (!out.Result.Success) {
    ORVATE_ORACLE(out.Diagnostic.Present && !out.Map.Present);
    ORVATE_ORACLE(!out.Diagnostic.HasSpan || InScore(out.Diagnostic.Span, score));
    ORVATE_ORACLE(!out.Diagnostic.Positioned ||
                  (out.Diagnostic.Line == result.Y && out.Diagnostic.Column == result.X && out.Diagnostic.HasSpan));
    return {};
  }
  ORVATE_ORACLE(out.Module == xm);
  const TScoreMap& map = out.Map;
  std::size_t next = 0;
  for (std::size_t p = 0; p < song.Patterns.size(); ++p)
    for (std::size_t c = 0; c < song.Patterns[p].Channels.size(); ++c)
      for (const TXMEvent& e : song.Patterns[p].Channels[c].Events) {
        ORVATE_ORACLE(next < map.Cells.size());
        const TScoreMap::TCell& cell = map.Cells[next++];
        ORVATE_ORACLE(cell.Pattern == p && cell.Channel == c && cell.Row == e.Time && cell.SourceCount > 0);
        ORVATE_ORACLE(uint64_t{cell.FirstSource} + cell.SourceCount <= map.Sources.size());
      }
  ORVATE_ORACLE(next == map.Cells.size());
  for (const TScoreMap::TSource& s : map.Sources) ORVATE_ORACLE(s.Command < map.Commands.size() && s.Chain < map.Chains.size());
  for (const TSpan& s : map.Commands) ORVATE_ORACLE(InScore(s, score));
  for (const TWarning& w : out.Warnings) ORVATE_ORACLE(!w.HasSpan || InScore(w.Span, score));
  return {};
}

inline std::string Run(std::string_view score, int64_t budget) {
  const std::string& dir = SandboxDir();
  const std::string xmPath = dir + "song.xm", logPath = dir + "song.log";
  TCompiler compiler;
  compiler.FStepBudget = budget;
  compiler.LoadFromBytes(score, dir);
  TFuncResult result;
  compiler.Compile(xmPath, result);
  if (std::string problem = CheckModel(compiler.Song()); !problem.empty()) return problem;

  std::string xm;
  const bool wrote = IsFile(xmPath) && ReadAll(xmPath, xm);
  if (result.Success) {
    ORVATE_ORACLE(wrote);
    if (std::string problem = CheckModule(xm, compiler.Song()); !problem.empty()) return problem;
  } else {
    ORVATE_ORACLE(!wrote && !result.Msg.empty());
    ORVATE_ORACLE(!result.Positioned || result.Msg.rfind(msg::kStopPrefix, 0) == 0);
  }

  // Before the log is written: a score may name "song.log" as an instrument, and must find the
  // sandbox as the first compilation did.
  if (std::string problem = CheckMap(score, budget, dir, result, xm, compiler.Song()); !problem.empty())
    return problem;
  ORVATE_ORACLE(compiler.SaveEventLog(logPath));
  std::string log;
  ORVATE_ORACLE(ReadAll(logPath, log));
  return CheckLog(log, compiler.Song());
}

}  // namespace oracle

// Empty when the score went through and everything written matches the song; otherwise what broke.
inline std::string CompileAndCheck(std::string_view score, int64_t budget = kStepBudget) {
  std::string problem = oracle::Run(score, budget);
  ResetSandbox();
  return problem;
}

#undef ORVATE_ORACLE

}  // namespace orvate::fuzz
