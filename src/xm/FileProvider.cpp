#include "xm/FileProvider.h"

#include "app/AppUtils.h"

namespace orvate {

bool TDiskFiles::Exists(const std::string& path) const { return FileExists(path); }

bool TDiskFiles::Read(const std::string& path, std::string& bytes) const { return ReadWholeFile(path, bytes); }

const TDiskFiles& TDiskFiles::Instance() {
  static const TDiskFiles disk;
  return disk;
}

std::string TMemoryFiles::Key(const std::string& path) {
  std::string key = ToSystemPath(path);
  while (key.compare(0, 2, "./") == 0) key.erase(0, 2);
  return key;
}

void TMemoryFiles::Add(const std::string& name, std::string bytes) { FFiles[Key(name)] = std::move(bytes); }

bool TMemoryFiles::Exists(const std::string& path) const {
  return !path.empty() && FFiles.count(Key(path)) != 0;
}

bool TMemoryFiles::Read(const std::string& path, std::string& bytes) const {
  const auto it = FFiles.find(Key(path));
  if (it == FFiles.end()) return false;
  bytes = it->second;
  return true;
}

}  // namespace orvate
