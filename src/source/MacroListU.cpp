#include "source/MacroListU.h"

#include "source/Messages.h"

namespace orvate {

namespace {
unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
    const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

TMacroListItem* TMacroList::FindItem(const std::string& name) const {
  const auto it = FItems.find(name);
  return it == FItems.end() ? nullptr : it->second.get();
}

TMacroListItem* TMacroList::AddItem(TSourcePos pos, const std::string& name) {
  auto item = std::make_unique<TMacroListItem>();
  item->BodyPos = pos;
  TMacroListItem* raw = item.get();
  FItems.erase(name);  // the earlier definition, in whatever case it was written
  FItems.emplace(name, std::move(item));
  return raw;
}

bool TMacroList::Define(TSourcePos pos, const std::string& name) {
  if (!FCurrentMacro.empty()) {
    FErrorMsg = msg::kMacroDefineInJump;
    return false;
  }
  AddItem(pos, name)->CallerName.clear();
  return true;
}

bool TMacroList::Jump(TSourcePos& pos, const std::string& name) {
  TMacroListItem* item = FindItem(name);
  if (item == nullptr) {
    FErrorMsg = msg::kMacroUndefined;
    return false;
  }
  if (item->Active) {
    FErrorMsg = msg::kMacroRecursive;
    return false;
  }
  item->ReturnPos = pos;
  item->Active = true;
  item->CallerName = FCurrentMacro;
  FCurrentMacro = name;
  pos = item->BodyPos;
  return true;
}

bool TMacroList::Return(TSourcePos& pos) {
  if (FCurrentMacro.empty()) {
    FErrorMsg = msg::kMacroNotRunning;
    return false;
  }
  TMacroListItem* item = FindItem(FCurrentMacro);
  if (item == nullptr) {  // cannot happen while the chain holds; refuse rather than crash
    FErrorMsg = msg::kMacroNotRunning;
    return false;
  }
  item->Active = false;
  FCurrentMacro = item->CallerName;
  pos = item->ReturnPos;
  return true;
}

}  // namespace orvate
