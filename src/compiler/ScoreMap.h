#pragma once
// The score map: for every cell the module holds, the commands that wrote it, as spans of the
// score's own bytes; and the song's layout, for following playback.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvate {

// A stretch of the score as given (its bytes, whatever the line endings or a byte-order mark).
struct TSpan {
  int32_t Line = 0;     // from 1
  int32_t Column = 0;   // characters before it on its line, a multi-byte character counting one
  uint32_t Offset = 0;  // bytes from the start of the score
  uint32_t Length = 0;  // bytes
};

// The parts of a cell one command wrote.
enum TCellPart : uint8_t { kPartNote = 1, kPartInst = 2, kPartVCol = 4, kPartEffect = 8 };

// How one step of a chain led on: a macro call, or a "#copy" that copied the cell.
enum class TStepKind : uint8_t { Macro = 0, Copy = 1 };

class TScoreMap {
 public:
  // A chain of steps, as a tree: each node is one step on top of its parent. Node 0 is the
  // empty chain (a command written where it runs).
  struct TChainNode {
    uint32_t Parent = 0;
    uint32_t Command = 0;  // the step's own text, an index into Commands
    TStepKind Kind = TStepKind::Macro;
  };
  struct TSource {
    uint32_t Command = 0;  // index into Commands
    uint32_t Chain = 0;    // index into Chains
    uint8_t Parts = 0;     // TCellPart bits this command wrote
  };
  struct TCell {
    uint16_t Pattern = 0;
    uint16_t Channel = 0;
    int32_t Row = 0;
    uint32_t FirstSource = 0;  // Sources[FirstSource, FirstSource + SourceCount)
    uint32_t SourceCount = 0;
  };

  bool Present = false;           // built for this compilation
  std::vector<TSpan> Commands;
  std::vector<TChainNode> Chains;
  std::vector<TCell> Cells;       // sorted by pattern, channel and row, as the event log lists them
  std::vector<TSource> Sources;   // per cell, in the order the commands ran

  // The layout a player follows.
  std::vector<uint8_t> Orders;
  std::vector<int32_t> PatternRows;  // rows of each pattern written to the module
  int32_t ChannelCount = 0;
  int32_t Speed = 0;
  int32_t Tempo = 0;
  int32_t RestartPos = 0;

  // The steps of a chain, outermost first.
  std::vector<TChainNode> Steps(uint32_t chain) const;
  // The map as UTF-8 JSON (see docs/reference.md for the schema), handed to sink in pieces
  // of about a megabyte; sink returns false to stop.
  bool WriteJson(const std::function<bool(std::string_view)>& sink) const;
  std::string ToJson() const;
};

}  // namespace orvate
