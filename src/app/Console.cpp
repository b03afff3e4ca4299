#include "app/Console.h"

#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <string>

namespace orvate {

namespace {

bool NamesUtf8(const char* value) {
  if (value == nullptr) return false;
  std::string v(value);
  for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
}

}  // namespace

TConsoleMode TConsole::ModeForTerminal() {
  if (!::isatty(1)) return TConsoleMode::Cp932;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return NamesUtf8(value) ? TConsoleMode::Utf8 : TConsoleMode::Cp932;
  }
  return TConsoleMode::Cp932;
}

void TConsole::ErrorLine(std::string_view cp932, std::string_view utf8) {
  std::string line(FMode == TConsoleMode::Cp932 ? cp932 : utf8);
  line += FMode == TConsoleMode::Cp932 ? "\r\n" : "\n";
  if (FErrCapture != nullptr) FErrCapture->append(line);
  else WriteAll(2, line);
}

void TConsole::Emit(std::string_view bytes) {
  if (FCapture != nullptr) FCapture->append(bytes);
  else WriteAll(1, bytes);
}

void TConsole::WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nobody is listening; the exit code still tells
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TConsole::Line(std::initializer_list<TPiece> pieces) {
  std::string line;
  for (const TPiece& piece : pieces) {
    if (FMode == TConsoleMode::Cp932) {
      line.append(piece.bytes);
    } else if (piece.kind == TPiece::Text) {
      line += SystemTextToUtf8(piece.bytes);
    } else if (piece.kind == TPiece::Score) {
      line += BytesToUtf8(piece.bytes, piece.enc);
    } else {
      line += BytesToUtf8(piece.bytes, TextEncoding::Utf8);
    }
  }
  line += FMode == TConsoleMode::Cp932 ? "\r\n" : "\n";
  Emit(line);
}

}  // namespace orvate
