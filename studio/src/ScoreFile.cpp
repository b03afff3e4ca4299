#include "ScoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orvate::studio {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileSignature SignatureOf(const std::filesystem::path& path) {
  FileSignature sig;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return sig;
  sig.exists = true;
  sig.size = static_cast<std::uint64_t>(st.st_size);
  sig.inode = static_cast<std::uint64_t>(st.st_ino);
  sig.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  sig.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return sig;
}

bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes, std::string& error) {
  // Through a link to the file it names: the link itself stays as it is.
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (!real) {
    error = std::string("cannot find the score: ") + std::strerror(errno);
    return false;
  }
  const std::filesystem::path target = real.get();
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "the score is not a regular file";
    return false;
  }
  std::string tmp = target.parent_path().string();
  tmp.append("/.").append(target.filename().string()).append(".orvate-XXXXXX");
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = std::string("cannot create a file beside the score: ") + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes) && ::fchmod(fd, st.st_mode & 07777) == 0;
  if (ok) {
    // Keeping the owner only works for root; a failure leaves the writer as owner.
    [[maybe_unused]] const int ignored = ::fchown(fd, st.st_uid, st.st_gid);
    ok = ::fsync(fd) == 0;
  }
  const int saved = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    error = std::string("cannot write the score: ") + std::strerror(errno ? errno : saved);
    ::unlink(tmp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the directory.
  const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace orvate::studio
