#pragma once
// The platform layer: paths, files and the program's own directory.
#include <string>
#include <string_view>

namespace orvate {

// Directory part of a path, up to and including its last "/", "\" or ":"; empty when none.
std::string ExtractFileDir(const std::string& path);
// What follows the directory part.
std::string ExtractFileName(const std::string& path);
// song.old.mml -> song.xm beside it; song -> song.xm.
std::string DeriveOutFile(const std::string& inFile);
// The last extension of the file name replaced by ".log" (appended when there is none).
std::string DeriveLogFile(const std::string& outFile);
// The same rule, with ".map.json".
std::string DeriveMapFile(const std::string& outFile);
// "\" (never the trail byte of a double-byte character) becomes "/".
std::string ToSystemPath(const std::string& path);

// A regular file, or a link to one; a directory does not count.
bool FileExists(const std::string& path);
bool ReadWholeFile(const std::string& path, std::string& bytes);
// Written to a fresh file beside the target and renamed over it, so a failure
// leaves no partial file and an existing one untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

// The same for a file written piece by piece: nothing shows under the name until Commit.
class TAtomicFile {
 public:
  explicit TAtomicFile(const std::string& path);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;
  // False once anything failed; later writes are ignored.
  bool Write(std::string_view bytes);
  bool Commit();

 private:
  std::string FTarget;
  std::string FTemp;
  int FFd = -1;
  bool FOk = false;
};

// The running executable's directory with a trailing "/".
std::string GetAppDir();

}  // namespace orvate
