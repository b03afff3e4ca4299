#include "PageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orvate::studio {

namespace {

struct TypeEntry {
  std::string_view extension;
  std::string_view type;
};

// Scores and instruments are bytes the page decodes itself: a score may be cp932 or UTF-8.
constexpr TypeEntry kTypes[] = {
    {"html", "text/html; charset=utf-8"},
    {"htm", "text/html; charset=utf-8"},
    {"js", "text/javascript; charset=utf-8"},
    {"mjs", "text/javascript; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"wasm", "application/wasm"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"ico", "image/x-icon"},
    {"woff2", "font/woff2"},
    {"txt", "text/plain; charset=utf-8"},
    {"mml", "application/octet-stream"},
    {"xi", "application/octet-stream"},
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string ContentTypeFor(std::string_view fileName) {
  if (const auto slash = fileName.rfind('/'); slash != std::string_view::npos) {
    fileName.remove_prefix(slash + 1);
  }
  const auto dot = fileName.rfind('.');
  if (dot != std::string_view::npos && dot > 0) {
    std::string ext(fileName.substr(dot + 1));
    for (char& c : ext) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const TypeEntry& entry : kTypes) {
      if (entry.extension == ext) return std::string(entry.type);
    }
  }
  return "application/octet-stream";
}

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string content;
  content.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.append(buf, static_cast<std::size_t>(n));
  }
  return content;
}

}  // namespace orvate::studio
