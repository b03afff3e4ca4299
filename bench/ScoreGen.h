#pragma once
// Generated scores for the benchmark: each kind stresses one part of the compiler, and its size
// grows with one number so that the same kind can be measured at two sizes.
#include <string>
#include <vector>

namespace orvate::bench {

struct TScoreKind {
  const char* Name;
  const char* What;
  int FullSize;    // the size measured by the benchmark run
  int SmallSize;   // the linearity check compares this size ...
  int LargeSize;   // ... with this one, four times the work
  bool ExtendedRows;
  std::string (*Make)(int size);
};

// size = patterns: 32 channels x 64 one-row notes each.
std::string DenseNotes(int patterns);
// size = patterns: every row of 32 channels carries an effect and a note or a volume-column command.
std::string EffectRows(int patterns);
// size = inner repeat count: 16 patterns x 32 channels of nested loops re-running effect commands.
std::string LoopHeavy(int repeats);
// size = patterns: 32 channels x 4 phrase macros, each calling 4 of 64 note macros.
std::string MacroHeavy(int patterns);
// size = patterns of 1024 rows (#extendrow): 32 channels x 256 four-row notes.
std::string ExtendedRows(int patterns);
// One line: one order entry and one note.
std::string OneLine();

const std::vector<TScoreKind>& ScoreKinds();

}  // namespace orvate::bench
