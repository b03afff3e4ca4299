#pragma once
// Compiles a score held in memory, the way the driver would, into a temporary directory.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compiler/CompilerU.h"
#include "support/TempDir.h"

namespace orvate::testsupport {

struct Compiled {
  std::unique_ptr<TCompiler> compiler;
  TFuncResult result;
  std::string xm;       // bytes written, empty when none
  bool wrote = false;   // an XM file exists afterwards

  TXMSong& song() { return compiler->Song(); }
  // The cell at a row of a pattern and channel, or nullptr.
  const TXMEvent* Cell(int pattern, int channel, int row) {
    TXMSong& s = song();
    if (pattern >= static_cast<int>(s.Patterns.size())) return nullptr;
    TXMPattern& p = s.Patterns[static_cast<std::size_t>(pattern)];
    if (channel >= static_cast<int>(p.Channels.size())) return nullptr;
    for (const TXMEvent& e : p.Channels[static_cast<std::size_t>(channel)].Events)
      if (e.Time == row) return &e;
    return nullptr;
  }
};

inline Compiled CompileScore(const std::string& score, const std::string& baseDir = "") {
  TempDir dir;
  Compiled c;
  c.compiler = std::make_unique<TCompiler>();
  c.compiler->LoadFromBytes(score, baseDir.empty() ? dir.path() + "/" : baseDir);
  const std::string out = dir / "out.xm";
  c.compiler->Compile(out, c.result);
  c.wrote = Exists(out);
  if (c.wrote) c.xm = ReadFile(out);
  return c;
}

// cp932 text of "停止:[Y<y>,X<x>]: ｢<token>｣ : <reason>".
inline std::string Stopped(int y, int x, const std::string& token, const std::string& reason) {
  return "\x92\xe2\x8e\x7e:[Y" + std::to_string(y) + ",X" + std::to_string(x) + "]: \xa2" + token +
         "\xa3 : " + reason;
}

// A score that must stop at a command, with the position, the token and the message it must show.
struct Refusal {
  const char* score;
  int y, x;
  const char* token;
  const char* reason;
};

inline void ExpectRefused(const Refusal& c) {
  Compiled r = CompileScore(c.score);
  EXPECT_FALSE(r.result.Success) << c.score;
  EXPECT_FALSE(r.wrote) << c.score << ": a refused score writes no file";
  EXPECT_EQ(r.result.Msg, Stopped(c.y, c.x, c.token, c.reason)) << c.score;
  EXPECT_EQ(r.result.Y, c.y) << c.score;
  EXPECT_EQ(r.result.X, c.x) << c.score;
}

}  // namespace orvate::testsupport
