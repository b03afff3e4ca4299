#pragma once
// Console lines: cp932 with CR LF as the program has always spoken.
#include <string>
#include <string_view>

namespace orvate {

class TConsole {
 public:
  // Lines go to standard output, or into capture when one is given.
  explicit TConsole(std::string* capture = nullptr) : FCapture(capture) {}
  void Line(std::string_view bytes);

 private:
  void Emit(std::string_view bytes);
  std::string* FCapture;
};

}  // namespace orvate
