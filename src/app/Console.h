#pragma once
// Console lines. By default cp932 with CR LF, byte for byte as the program has always
// spoken; UTF-8 with LF for a UTF-8 terminal or on request.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "source/TextUnits.h"
#include "source/Utf8Text.h"

namespace orvate {

enum class TConsoleMode { Cp932, Utf8 };

// One stretch of a line and where its bytes come from.
struct TPiece {
  enum Kind { Text, Arg, Score };
  Kind kind;
  std::string_view bytes;               // Text: cp932 system text; Arg: command-line bytes
  TextEncoding enc = TextEncoding::Cp932;  // Score: the score's encoding
};

class TConsole {
 public:
  // Lines go to standard output (and standard error), or into the captures when given.
  explicit TConsole(std::string* capture = nullptr, TConsoleMode mode = TConsoleMode::Cp932,
                    std::string* errCapture = nullptr)
      : FCapture(capture), FErrCapture(errCapture), FMode(mode) {}
  void SetMode(TConsoleMode mode) { FMode = mode; }
  TConsoleMode Mode() const { return FMode; }
  void Line(std::string_view text) { Line({TPiece{TPiece::Text, text}}); }
  void Line(std::initializer_list<TPiece> pieces);
  // A line on standard error, given in both encodings.
  void ErrorLine(std::string_view cp932, std::string_view utf8);

  // UTF-8 when standard output is a terminal whose locale names UTF-8.
  static TConsoleMode ModeForTerminal();

 private:
  void Emit(std::string_view bytes);
  static void WriteAll(int fd, std::string_view bytes);
  std::string* FCapture;
  std::string* FErrCapture;
  TConsoleMode FMode;
};


}  // namespace orvate
