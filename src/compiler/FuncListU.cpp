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

namespace {
uint32_t HashName(std::string_view name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}
}  // namespace

void TFuncList::RebuildIndex() {
  FSingle.fill(0);
  std::size_t slots = 16;
  while (slots < 4 * FEntries.size()) slots *= 2;
  FHashed.assign(slots, 0);
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const std::string& name = FEntries[i].first;
    if (name.size() == 1) {
      FSingle[static_cast<unsigned char>(name[0])] = static_cast<uint16_t>(i + 1);
      continue;
    }
    std::size_t slot = HashName(name) & (slots - 1);
    while (FHashed[slot] != 0) slot = (slot + 1) & (slots - 1);
    FHashed[slot] = static_cast<uint16_t>(i + 1);
  }
  FIndexStale = false;
}

// The entry index of exactly that name (longer than one byte), or FEntries.size().
// Same answer as the binary search.
std::size_t TFuncList::Find(std::string_view name) {
  if (FHashed.empty()) return FEntries.size();
  const std::size_t mask = FHashed.size() - 1;
  for (std::size_t slot = HashName(name) & mask; FHashed[slot] != 0; slot = (slot + 1) & mask) {
    const std::size_t i = FHashed[slot] - 1u;
    if (FEntries[i].first == name) return i;
  }
  return FEntries.size();
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
  FIndexStale = true;
}

void TFuncList::AddFuncPair(const std::string& name1, const std::string& name2,
                            const THandler& handler) {
  AddFunc(name1, handler);
  AddFunc(name2, handler);
}

// CallFunc for every name the inline test does not settle, unknown and broken entries included.
void TFuncList::CallByName(std::string_view name, TFuncResult& result) {
  if (FIndexStale) RebuildIndex();
  std::size_t index;
  if (name.size() == 1) {
    const uint16_t slot = FSingle[static_cast<unsigned char>(name[0])];
    index = slot == 0 ? FEntries.size() : slot - 1u;
  } else {
    index = Find(name);
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
  FHashed.clear();
  FIndexStale = false;
}

}  // namespace orvate
