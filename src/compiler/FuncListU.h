#pragma once
// TFuncList: the command dictionary, sorted and case-sensitive.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvate {

struct TFuncResult {
  bool Success = false;
  std::string Msg;
  int32_t X = 0;
  int32_t Y = 0;
  // The parts of a positioned message, kept so the console can show them in another encoding.
  std::string Token;
  std::string Reason;
  bool Positioned = false;
};

using THandler = std::function<void(TFuncResult&)>;

struct TFuncItem {
  THandler Handler;
};

class TFuncList {
 public:
  TFuncList();
  void AddFunc(const std::string& name, THandler handler);
  void AddFuncPair(const std::string& name1, const std::string& name2, const THandler& handler);
  void CallFunc(std::string_view name, TFuncResult& result) {
    // One-byte names (notes, rests, octaves) are most of a score: their handler is found inline.
    if (name.size() == 1 && !FIndexStale) {
      const uint16_t slot = FSingle[static_cast<unsigned char>(name[0])];
      const TFuncItem* item = slot != 0 ? FEntries[slot - 1u].second.get() : nullptr;
      if (item != nullptr && item->Handler) {
        item->Handler(result);
        return;
      }
    }
    CallByName(name, result);
  }
  void FreeItems();
  void Clear();
  std::size_t Count() const { return FEntries.size(); }
  const std::string& Name(std::size_t i) const { return FEntries[i].first; }

 private:
  std::size_t LowerBound(std::string_view name) const;
  std::size_t Find(std::string_view name);
  void CallByName(std::string_view name, TFuncResult& result);
  void RebuildIndex();

  std::vector<std::pair<std::string, std::unique_ptr<TFuncItem>>> FEntries;
  // Entry index + 1 for every one-byte name, so the commonest tokens skip the search.
  std::array<uint16_t, 256> FSingle{};
  // Entry index + 1 for the longer names, by hash (open addressing, at most a quarter full).
  std::vector<uint16_t> FHashed;
  // Registration only marks the indexes stale; the first lookup rebuilds them once.
  bool FIndexStale = false;
};

}  // namespace orvate
