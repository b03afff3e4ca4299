#pragma once
// TMacroList: macro bodies by name (case-insensitive) and the chain of running macros.
#include <map>
#include <memory>
#include <string>

#include "source/ScannerU.h"

namespace orvate {

// Byte-wise comparison with A-Z folded to a-z.
int CompareNoCase(const std::string& a, const std::string& b);

struct TMacroListItem {
  TSourcePos BodyPos = 0;
  TSourcePos ReturnPos = 0;
  bool Active = false;
  std::string CallerName;
};

class TMacroList {
 public:
  TMacroListItem* FindItem(const std::string& name) const;
  TMacroListItem* AddItem(TSourcePos pos, const std::string& name);
  bool Define(TSourcePos pos, const std::string& name);
  bool Jump(TSourcePos& pos, const std::string& name);
  bool Return(TSourcePos& pos);
  int Count() const { return static_cast<int>(FItems.size()); }

  std::string FCurrentMacro;
  std::string FErrorMsg;

 private:
  struct TNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareNoCase(a, b) < 0; }
  };
  // Sorted by name without regard to ASCII case. A tree, not a sorted array: a score of many
  // thousands of definitions would otherwise spend minutes shifting entries.
  std::map<std::string, std::unique_ptr<TMacroListItem>, TNoCaseLess> FItems;
};

}  // namespace orvate
