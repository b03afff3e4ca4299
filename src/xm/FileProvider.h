#pragma once
// Where "#instrument" names are looked up and XI files are read. The command line reads the
// disk; an editor or a browser serves the files it holds in memory.
#include <map>
#include <string>

namespace orvate {

class TFileProvider {
 public:
  virtual ~TFileProvider() = default;
  // A regular file (or a link to one); a directory does not count.
  virtual bool Exists(const std::string& path) const = 0;
  // The whole file; false when it cannot be read.
  virtual bool Read(const std::string& path, std::string& bytes) const = 0;
};

// The disk, with the platform's path rules ("\" read as "/").
class TDiskFiles : public TFileProvider {
 public:
  bool Exists(const std::string& path) const override;
  bool Read(const std::string& path, std::string& bytes) const override;
  static const TDiskFiles& Instance();
};

// Named files held in memory. A name is looked up as the disk would see it: "\" is "/",
// and a leading "./" is dropped, so "lead.xi", "./lead.xi" and ".\lead.xi" are one file.
class TMemoryFiles : public TFileProvider {
 public:
  void Add(const std::string& name, std::string bytes);
  void Clear() { FFiles.clear(); }
  bool Exists(const std::string& path) const override;
  bool Read(const std::string& path, std::string& bytes) const override;

 private:
  static std::string Key(const std::string& path);
  std::map<std::string, std::string> FFiles;
};

}  // namespace orvate
