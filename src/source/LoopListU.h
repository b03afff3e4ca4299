#pragma once
// TLoopList: the stack of open loops, innermost last.
#include <cstdint>
#include <string>
#include <vector>

#include "source/ScannerU.h"

namespace orvate {

struct TLoopListItem {
  int32_t Kind = 0;    // 1 for "(", 2 for "["
  int32_t Remain = 1;  // passes still to run after the current one
  TSourcePos StartPos = 0;
  TSourcePos EndPos = 0;  // 0 until the close is first reached
};

class TLoopList {
 public:
  int Count() const { return static_cast<int>(FLoops.size()); }
  TLoopListItem* Items(int index) {
    return index >= 0 && index < Count() ? &FLoops[static_cast<std::size_t>(index)] : nullptr;
  }
  void Clear() { FLoops.clear(); }
  TLoopListItem& OpenLoop(TSourcePos pos, int32_t kind);
  bool LevelMismatch(int32_t kind) const;
  bool CloseLoop(TSourcePos& pos, int32_t kind, int32_t n);
  bool BreakLoop(TSourcePos& pos, int32_t kind);

  std::string FErrorMsg;

 private:
  bool CheckInnermost(int32_t kind);
  std::vector<TLoopListItem> FLoops;
};

}  // namespace orvate
