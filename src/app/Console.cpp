#include "app/Console.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace orvate {

void TConsole::Emit(std::string_view bytes) {
  if (FCapture != nullptr) {
    FCapture->append(bytes);
    return;
  }
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(1, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nobody is listening; the exit code still tells
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TConsole::Line(std::string_view bytes) {
  std::string line(bytes);
  line += "\r\n";
  Emit(line);
}

}  // namespace orvate
