#include "source/LoopListU.h"

#include "source/Messages.h"

namespace orvate {

TLoopListItem& TLoopList::OpenLoop(TSourcePos pos, int32_t kind) {
  TLoopListItem item;
  item.Kind = kind;
  item.StartPos = pos;
  FLoops.push_back(item);
  return FLoops.back();
}

bool TLoopList::LevelMismatch(int32_t kind) const {
  return FLoops.empty() || FLoops.back().Kind != kind;
}

bool TLoopList::CheckInnermost(int32_t kind) {
  if (FLoops.empty()) {
    FErrorMsg = msg::kNoLoop;
    return false;
  }
  if (LevelMismatch(kind)) {
    FErrorMsg = msg::kLoopLevel;
    return false;
  }
  return true;
}

bool TLoopList::CloseLoop(TSourcePos& pos, int32_t kind, int32_t n) {
  if (!CheckInnermost(kind)) return false;
  TLoopListItem& loop = FLoops.back();
  if (loop.EndPos == 0) {
    loop.Remain = n - 1;
    loop.EndPos = pos;
  }
  if (loop.Remain < 1) {
    FLoops.pop_back();
  } else {
    pos = loop.StartPos;
    --loop.Remain;
  }
  return true;
}

bool TLoopList::BreakLoop(TSourcePos& pos, int32_t kind) {
  if (!CheckInnermost(kind)) return false;
  const TLoopListItem& loop = FLoops.back();
  if (loop.EndPos != 0 && loop.Remain < 1) {
    pos = loop.EndPos;
    FLoops.pop_back();
  }
  return true;
}

}  // namespace orvate
