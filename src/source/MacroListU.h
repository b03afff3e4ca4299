#pragma once
// TMacroList: macro bodies by name (case-insensitive) and the chain of running macros.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "source/ScannerU.h"

namespace orvate {

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
  // Sorted by name without regard to ASCII case; found by bisection.
  std::vector<std::pair<std::string, std::unique_ptr<TMacroListItem>>> FItems;
  std::size_t LowerBound(const std::string& name) const;
};

// Byte-wise comparison with A-Z folded to a-z.
int CompareNoCase(const std::string& a, const std::string& b);

}  // namespace orvate
