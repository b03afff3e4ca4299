#include "compiler/FuncListU.h"

#include "source/Messages.h"

namespace orvate {

TFuncList::TFuncList() = default;

std::size_t TFuncList::LowerBound(std::string_view name) const {
  std::size_t lo = 0, hi = FEntries.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (std::string_view(FEntries[mid].first) < name) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

void TFuncList::RebuildSingleByteIndex() {
  FSingle.fill(0);
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    if (FEntries[i].first.size() == 1)
      FSingle[static_cast<unsigned char>(FEntries[i].first[0])] = static_cast<uint16_t>(i + 1);
  }
}

void TFuncList::AddFunc(const std::string& name, THandler handler) {
  auto item = std::make_unique<TFuncItem>();
  item->Handler = std::move(handler);
  const std::size_t i = LowerBound(name);
  if (i < FEntries.size() && FEntries[i].first == name) {
    FEntries[i].second = std::move(item);  // the old item is freed here
  } else {
    FEntries.insert(FEntries.begin() + static_cast<std::ptrdiff_t>(i), {name, std::move(item)});
  }
  RebuildSingleByteIndex();
}

void TFuncList::AddFuncPair(const std::string& name1, const std::string& name2,
                            const THandler& handler) {
  AddFunc(name1, handler);
  AddFunc(name2, handler);
}

void TFuncList::CallFunc(std::string_view name, TFuncResult& result) {
  std::size_t index;
  if (name.size() == 1) {
    const uint16_t slot = FSingle[static_cast<unsigned char>(name[0])];
    if (slot == 0) index = FEntries.size();
    else index = slot - 1u;
  } else {
    index = LowerBound(name);
    if (index < FEntries.size() && FEntries[index].first != name) index = FEntries.size();
  }
  if (index >= FEntries.size()) {
    result.Success = false;
    result.Msg = msg::kUndefinedCommand;
    return;
  }
  TFuncItem* item = FEntries[index].second.get();
  if (item == nullptr || !item->Handler) {
    result.Success = false;
    result.Msg = msg::kInternalError;
    return;
  }
  item->Handler(result);
}

void TFuncList::FreeItems() {
  for (auto& entry : FEntries) entry.second.reset();
}

void TFuncList::Clear() {
  FreeItems();
  FEntries.clear();
  FSingle.fill(0);
}

}  // namespace orvate
