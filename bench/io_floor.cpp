// The input/output floor of one compilation: a process that reads a score whole and writes an
// image of a given size beside the output name, then renames it into place, with the same system
// calls the compiler uses for that part of its work (and nothing else).
//   orvate_iofloor IN OUT SIZE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool ReadAll(const char* path, std::string& data) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data.append(buf.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, const char* p, std::size_t left) {
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

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: orvate_iofloor IN OUT SIZE\n");
    return 2;
  }
  std::string in;
  if (!ReadAll(argv[1], in)) return 1;
  const std::size_t size = std::strtoull(argv[3], nullptr, 10);
  // The image is built from the input so that reading it cannot be optimised away.
  std::string image;
  image.reserve(size);
  while (image.size() < size) {
    const std::size_t take = in.empty() ? size - image.size() : std::min(in.size(), size - image.size());
    if (in.empty()) image.append(take, '\0');
    else image.append(in, 0, take);
  }
  const std::string out = argv[2];
  const std::size_t slash = out.rfind('/');
  std::string tmpl = (slash == std::string::npos ? std::string() : out.substr(0, slash + 1)) + ".floor-XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return 1;
  bool ok = WriteAll(fd, image.data(), image.size());
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(tmpl.c_str(), out.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmpl.c_str());
  return ok ? 0 : 1;
}
