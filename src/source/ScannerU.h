#pragma once
// TScanner: the score text, a cursor into it, and every lexical rule.
#include <cstddef>
#include <cstdint>
#include <string>

#include "source/TextUnits.h"

namespace orvate {

using TSourcePos = std::size_t;  // index into the text; loops and macros save and restore it

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
  int64_t ReadLength(int32_t speed, int32_t defLength, int32_t lastLength);
  bool SkipComma();
  bool MatchChar(char ch);
  std::string ReadQuoted();
  std::string ReadName();
  int64_t ReadAccidentals();
  int32_t ReadSign();
  char SkipPastBrace();
  int64_t ReadUnsigned();
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
  void SkipBlank();
  void SkipLine();

  std::string FSource;
  TSourcePos FStart = 0;
  // The last stretch of blanks skipped.
  TSourcePos FBlankFrom = 0;
  TSourcePos FBlankTo = 0;
  TextEncoding FEncoding = TextEncoding::Cp932;
};

inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace orvate
