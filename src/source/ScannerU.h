#pragma once
// TScanner: the score text, a cursor into it, and every lexical rule.
#include <cstddef>
#include <cstdint>
#include <string>

#include "source/TextUnits.h"

namespace orvate {

using TSourcePos = std::size_t;  // index into the text; loops and macros save and restore it

inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

class TScanner {
 public:
  TScanner();

  void SetSource(std::string text, TextEncoding enc = TextEncoding::Cp932);
  // Cuts the text at its first zero byte, normalises line endings to CR LF and
  // picks the encoding. False (nothing changed) when the file cannot be read.
  bool LoadFromFile(const std::string& path);
  // The same normalisation for text already in memory.
  void LoadFromBytes(std::string_view bytes);

  void GetPos(int32_t& x, int32_t& y) const;
  // The next command token, in place in the text (valid as long as the scanner).
  std::string_view NextToken();
  int32_t ReadValue();
  // Rows of a length expression; 64-bit so that callers can refuse sums past the 32-bit range.
  int64_t ReadLength(int32_t speed, int32_t defLength, int32_t lastLength) {
    SkipBlank();
    const unsigned char c = At(Cur);
    if (c == '*' || c == '.' || IsDigit(c)) return ReadLengthTerms(0, speed, defLength, lastLength);
    // No length given, the commonest case: the default, unless a "^" adds more.
    SkipBlank();
    if (At(Cur) != '^') return defLength;
    ++Cur;
    return ReadLengthTerms(defLength, speed, defLength, lastLength);
  }
  bool SkipComma() { return MatchChar(','); }
  bool MatchChar(char ch) {
    SkipBlank();
    if (At(Cur) == static_cast<unsigned char>(ch) && ch != 0) {
      ++Cur;
      return true;
    }
    return false;
  }
  std::string ReadQuoted();
  std::string ReadName();
  int64_t ReadAccidentals() {
    int64_t total = 0;
    for (;;) {
      const unsigned char c = At(Cur);
      if (c == '+') ++total;
      else if (c == '-') --total;
      else return total;
      ++Cur;
    }
  }
  int32_t ReadSign();
  char SkipPastBrace();
  int64_t ReadUnsigned() {
    if (!IsDigit(At(Cur))) return -1;  // the commonest case: a note without a length
    return ReadNumber();
  }
  std::string ReadAlpha();
  std::string ReadAlphaNum();

  // Where the text a command read ends, the command having started at start: the cursor,
  // less the blanks and comments skipped last.
  TSourcePos ReadEnd(TSourcePos start) const;
  // The start of the text after a byte-order mark.
  TSourcePos TextStart() const { return FStart; }

  const std::string& Source() const { return FSource; }
  TextEncoding Encoding() const { return FEncoding; }
  bool AtEnd() const { return At(Cur) == 0; }

  TSourcePos Cur = 0;

 private:
  unsigned char At(std::size_t pos) const {
    return pos < FSource.size() ? static_cast<unsigned char>(FSource[pos]) : 0;
  }
  std::size_t Unit(std::size_t pos) const { return UnitLength(FSource, pos, FEncoding); }
  // Called around every command and argument: the test for a byte that cannot start a blank
  // or a comment stays inline, the stretch itself is skipped out of line.
  void SkipBlank() {
    const unsigned char c = At(Cur);
    if (c > ' ' && c < 0x80 && c != '/') return;
    SkipBlankStretch();
  }
  void SkipBlankStretch();
  int64_t ReadNumber();
  // The rest of a length expression, sum being the rows of the terms before.
  int64_t ReadLengthTerms(int64_t sum, int32_t speed, int32_t defLength, int32_t lastLength);
  void SkipLine();

  std::string FSource;
  TSourcePos FStart = 0;
  // The last stretch of blanks skipped.
  TSourcePos FBlankFrom = 0;
  TSourcePos FBlankTo = 0;
  TextEncoding FEncoding = TextEncoding::Cp932;
};

}  // namespace orvate
