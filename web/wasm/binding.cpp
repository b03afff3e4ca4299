// The compile call for the studio's page. The page hands a score and its instrument files in,
// and reads the outcome back as one table of 32-bit words that points at flat arrays in the
// module's memory; everything stays valid until the next compilation.
#include <emscripten/emscripten.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/Console.h"
#include "compiler/CompileCall.h"
#include "xm/FileProvider.h"

namespace {

using orvate::TCompileOutcome;
using orvate::TCompileRequest;
using orvate::TMemoryFiles;

// Words of the result table; the page reads the same numbers (web/src/wasm-layout.js).
enum Slot : int {
  kSuccess,
  kMsgPtr, kMsgLen,
  kModPtr, kModLen,
  kLogPtr, kLogLen,
  kDiagPresent, kDiagPositioned, kDiagLine, kDiagColumn,
  kDiagHasSpan, kDiagSpanLine, kDiagSpanColumn, kDiagSpanOffset, kDiagSpanLength,
  kDiagTokenPtr, kDiagTokenLen, kDiagReasonPtr, kDiagReasonLen,
  kEncoding,
  kWarnCount, kWarnPtr, kWarnTextPtr, kWarnTextLen,
  kMapPresent,
  kCommandCount, kCommandPtr,
  kChainCount, kChainPtr,
  kCellCount, kCellPtr,
  kSourceCount, kSourcePtr,
  kOrderCount, kOrderPtr,
  kPatternCount, kPatternRowsPtr,
  kChannelCount, kSpeed, kTempo, kRestartPos,
  kSlotCount
};

// Each warning: hasSpan, line, column, offset, length, pattern, code start, code length,
// text start, text length (starts into the shared warning text).
constexpr int kWarnWords = 10;

struct TState {
  TMemoryFiles Files;
  TCompileOutcome Outcome;
  std::string Message;
  std::string Token;
  std::string Reason;
  std::string WarnText;
  std::vector<int32_t> Warnings;
  std::vector<int32_t> Commands;  // offset, length, line, column
  std::vector<int32_t> Chains;    // parent, command, kind
  std::vector<int32_t> Cells;     // pattern, channel, row, first source, source count
  std::vector<int32_t> Sources;   // command, chain, parts
  int32_t Table[kSlotCount] = {};
};

TState& State() {
  static TState state;
  return state;
}

inline int32_t Addr(const void* p) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(p)); }

void PutText(int32_t* t, int ptrSlot, const std::string& s) {
  t[ptrSlot] = Addr(s.data());
  t[ptrSlot + 1] = static_cast<int32_t>(s.size());
}

template <class T>
void PutArray(int32_t* t, int countSlot, const std::vector<T>& v, std::size_t words) {
  t[countSlot] = static_cast<int32_t>(words == 0 ? v.size() : v.size() / words);
  t[countSlot + 1] = Addr(v.data());
}

void Pack(TState& s) {
  const TCompileOutcome& o = s.Outcome;
  int32_t* t = s.Table;
  for (int i = 0; i < kSlotCount; ++i) t[i] = 0;

  t[kSuccess] = o.Result.Success ? 1 : 0;
  const auto& d = o.Diagnostic;
  s.Message = !d.MessageUtf8.empty() ? d.MessageUtf8 : orvate::SystemTextToUtf8(o.Result.Msg);
  PutText(t, kMsgPtr, s.Message);
  PutText(t, kModPtr, o.Module);
  PutText(t, kLogPtr, o.EventLog);
  t[kEncoding] = o.ScoreEncoding == orvate::TextEncoding::Utf8 ? 1 : 0;

  t[kDiagPresent] = d.Present ? 1 : 0;
  t[kDiagPositioned] = d.Positioned ? 1 : 0;
  t[kDiagLine] = d.Line;
  t[kDiagColumn] = d.Column;
  t[kDiagHasSpan] = d.HasSpan ? 1 : 0;
  t[kDiagSpanLine] = d.Span.Line;
  t[kDiagSpanColumn] = d.Span.Column;
  t[kDiagSpanOffset] = static_cast<int32_t>(d.Span.Offset);
  t[kDiagSpanLength] = static_cast<int32_t>(d.Span.Length);
  s.Token = orvate::BytesToUtf8(d.Token, o.ScoreEncoding);
  s.Reason = d.ReasonUtf8;
  PutText(t, kDiagTokenPtr, s.Token);
  PutText(t, kDiagReasonPtr, s.Reason);

  s.WarnText.clear();
  s.Warnings.clear();
  for (const auto& w : o.Warnings) {
    const std::size_t code = s.WarnText.size();
    s.WarnText += w.Code;
    const std::size_t text = s.WarnText.size();
    s.WarnText += w.TextUtf8;
    const int32_t rec[kWarnWords] = {
        w.HasSpan ? 1 : 0, w.Span.Line, w.Span.Column, static_cast<int32_t>(w.Span.Offset),
        static_cast<int32_t>(w.Span.Length), w.Pattern, static_cast<int32_t>(code),
        static_cast<int32_t>(w.Code.size()), static_cast<int32_t>(text), static_cast<int32_t>(w.TextUtf8.size())};
    s.Warnings.insert(s.Warnings.end(), rec, rec + kWarnWords);
  }
  PutArray(t, kWarnCount, s.Warnings, kWarnWords);
  PutText(t, kWarnTextPtr, s.WarnText);

  const auto& m = o.Map;
  t[kMapPresent] = m.Present ? 1 : 0;
  s.Commands.clear();
  s.Chains.clear();
  s.Cells.clear();
  s.Sources.clear();
  if (m.Present) {
    s.Commands.reserve(m.Commands.size() * 4);
    for (const auto& c : m.Commands) {
      s.Commands.insert(s.Commands.end(),
                        {static_cast<int32_t>(c.Offset), static_cast<int32_t>(c.Length), c.Line, c.Column});
    }
    s.Chains.reserve(m.Chains.size() * 3);
    for (const auto& c : m.Chains) {
      s.Chains.insert(s.Chains.end(), {static_cast<int32_t>(c.Parent), static_cast<int32_t>(c.Command),
                                       static_cast<int32_t>(c.Kind)});
    }
    s.Cells.reserve(m.Cells.size() * 5);
    for (const auto& c : m.Cells) {
      s.Cells.insert(s.Cells.end(), {c.Pattern, c.Channel, c.Row, static_cast<int32_t>(c.FirstSource),
                                     static_cast<int32_t>(c.SourceCount)});
    }
    s.Sources.reserve(m.Sources.size() * 3);
    for (const auto& c : m.Sources) {
      s.Sources.insert(s.Sources.end(),
                       {static_cast<int32_t>(c.Command), static_cast<int32_t>(c.Chain), c.Parts});
    }
  }
  PutArray(t, kCommandCount, s.Commands, 4);
  PutArray(t, kChainCount, s.Chains, 3);
  PutArray(t, kCellCount, s.Cells, 5);
  PutArray(t, kSourceCount, s.Sources, 3);
  PutArray(t, kOrderCount, m.Orders, 0);
  PutArray(t, kPatternCount, m.PatternRows, 0);
  t[kChannelCount] = m.ChannelCount;
  t[kSpeed] = m.Speed;
  t[kTempo] = m.Tempo;
  t[kRestartPos] = m.RestartPos;
}

}  // namespace

extern "C" {

// Files the compiler writes through the C library would otherwise get mode 000 here.
EMSCRIPTEN_KEEPALIVE void orv_init() { umask(022); }

EMSCRIPTEN_KEEPALIVE void orv_files_clear() { State().Files.Clear(); }

EMSCRIPTEN_KEEPALIVE void orv_file_add(const char* name, const uint8_t* bytes, uint32_t length) {
  State().Files.Add(name, std::string(reinterpret_cast<const char*>(bytes), length));
}

// flags: 1 event log, 2 map, 4 warnings. budget: commands before the compile stops, 0 for none.
EMSCRIPTEN_KEEPALIVE const int32_t* orv_compile(const uint8_t* score, uint32_t length, int32_t flags,
                                                double budget) {
  TState& s = State();
  TCompileRequest request;
  request.Score = std::string_view(reinterpret_cast<const char*>(score), length);
  request.BaseDir = "";
  request.Files = &s.Files;
  request.WantLog = (flags & 1) != 0;
  request.WantMap = (flags & 2) != 0;
  request.WantWarnings = (flags & 4) != 0;
  request.StepBudget = static_cast<int64_t>(budget);
  s.Outcome = orvate::CompileScore(request);
  Pack(s);
  return s.Table;
}

EMSCRIPTEN_KEEPALIVE int32_t orv_slot_count() { return kSlotCount; }

}  // extern "C"
