#include "app/AppUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "source/TextUnits.h"

namespace orvate {

namespace {

// Index just behind the last separator, stepping over multi-byte characters as units.
std::size_t NameStart(const std::string& path) {
  const TextEncoding enc = GuessEncoding(path);
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += UnitLength(path, i, enc)) {
    const char c = path[i];
    if (c == '/' || c == '\\' || c == ':') start = i + 1;
  }
  return start;
}

// First (or last) "." of the file-name part, as an index into path; npos when none.
std::size_t FindDot(const std::string& path, bool last) {
  const TextEncoding enc = GuessEncoding(path);
  std::size_t found = std::string::npos;
  for (std::size_t i = NameStart(path); i < path.size(); i += UnitLength(path, i, enc)) {
    if (path[i] == '.') {
      found = i;
      if (!last) break;
    }
  }
  return found;
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string ExtractFileDir(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string DeriveOutFile(const std::string& inFile) {
  const std::size_t dot = FindDot(inFile, false);
  if (dot == std::string::npos) return inFile + ".xm";
  return inFile.substr(0, dot + 1) + "xm";
}

std::string DeriveLogFile(const std::string& outFile) {
  const std::size_t dot = FindDot(outFile, true);
  if (dot == std::string::npos) return outFile + ".log";
  return outFile.substr(0, dot) + ".log";
}

std::string DeriveMapFile(const std::string& outFile) {
  const std::size_t dot = FindDot(outFile, true);
  if (dot == std::string::npos) return outFile + ".map.json";
  return outFile.substr(0, dot) + ".map.json";
}

std::string ToSystemPath(const std::string& path) {
  const TextEncoding enc = GuessEncoding(path);
  std::string out = path;
  for (std::size_t i = 0; i < out.size(); i += UnitLength(out, i, enc)) {
    if (out[i] == '\\') out[i] = '/';
  }
  return out;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  return ::stat(ToSystemPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  if (path.empty()) return false;
  const int fd = ::open(ToSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // Read straight into the string: one byte more than the file's size lets the end show at once.
  struct stat st;
  std::size_t room = 1 << 16;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) room = static_cast<std::size_t>(st.st_size) + 1;
  std::string data(room, '\0');
  std::size_t got = 0;
  bool ok = true;
  for (;;) {
    if (got == data.size()) data.resize(2 * data.size());  // the file grew
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  ::close(fd);
  if (!ok) return false;
  bytes = std::move(data);
  return true;
}

TAtomicFile::TAtomicFile(const std::string& path) {
  if (path.empty()) return;
  FTarget = ToSystemPath(path);
  struct stat st;
  const bool exists = ::stat(FTarget.c_str(), &st) == 0;
  // Only a regular file (or a new name) is replaced.
  if (exists && !S_ISREG(st.st_mode)) return;
  // Through a link, the file it names is replaced and the link stays.
  if (exists) {
    if (char* real = ::realpath(FTarget.c_str(), nullptr)) {
      FTarget = real;
      std::free(real);
    }
  }
  const std::size_t slash = FTarget.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : FTarget.substr(0, slash + 1);
  std::string tmpl = dir + ".orvatek-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  FFd = ::mkstemp(name.data());
  if (FFd < 0) return;
  FTemp = name.data();
  // mkstemp makes the file private: keep the mode of the file replaced, or give a new one
  // the mode a plain create would.
  mode_t mode = st.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(FFd, mode);
  FOk = true;
}

TAtomicFile::~TAtomicFile() {
  if (FFd >= 0) ::close(FFd);
  if (!FTemp.empty()) ::unlink(FTemp.c_str());
}

bool TAtomicFile::Write(std::string_view bytes) {
  if (FOk && !WriteAll(FFd, bytes)) FOk = false;
  return FOk;
}

bool TAtomicFile::Commit() {
  if (FFd < 0) return false;
  const bool closed = ::close(FFd) == 0;
  FFd = -1;
  if (!FOk || !closed || ::rename(FTemp.c_str(), FTarget.c_str()) != 0) return false;
  FTemp.clear();
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  TAtomicFile file(path);
  file.Write(bytes);
  return file.Commit();
}

std::string GetAppDir() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string("./");
  const std::string exe(buf.data(), static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

}  // namespace orvate
