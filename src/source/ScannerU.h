#pragma once
// TScanner: the score text, a cursor into it, and every lexical rule.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "source/TextUnits.h"

namespace orvate {

using TSourcePos = std::size_t;  // index into the text; loops and macros save and restore it

inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// The text a scanner reads: its own string, or a caller's bytes read where they lie.
class TScoreText {
 public:
  TScoreText() = default;
  // A copy of an owned text reads its own string, not the original's.
  TScoreText(const TScoreText& o) : FOwned(o.FOwned), FView(o.ViewIn(FOwned)), FBorrowed(o.FBorrowed) {}
  TScoreText& operator=(const TScoreText& o) {
    FOwned = o.FOwned;
    FView = o.ViewIn(FOwned);
    FBorrowed = o.FBorrowed;
    return *this;
  }
  void Own(std::string text) {
    FOwned = std::move(text);
    FView = FOwned;
    FBorrowed = false;
  }
  void Borrow(std::string_view text) {
    FOwned.clear();
    FView = text;
    FBorrowed = true;
  }
  void Truncate(std::size_t size) { FView = FView.substr(0, size); }
  std::string_view View() const { return FView; }

 private:
  std::string_view ViewIn(const std::string& owned) const {
    return FBorrowed ? FView : std::string_view(owned.data(), FView.size());
  }
  std::string FOwned;
  std::string_view FView;  // all or the start of FOwned, or the caller's bytes
  bool FBorrowed = false;
};

class TScanner {
 public:
  TScanner();

  void SetSource(std::string text, TextEncoding enc = TextEncoding::Cp932);
  // Cuts the text at its first zero byte, normalises line endings to CR LF and
  // picks the encoding. False (nothing changed) when the file cannot be read.
  bool LoadFromFile(const std::string& path);
  // The same normalisation for text already in memory.
  void LoadFromBytes(std::string_view bytes);
  // As LoadFromBytes, but a text that needs no change (every line ending in CR LF already) is
  // read where it lies instead of copied: the bytes must then outlive the scanner.
  void LoadInPlace(std::string_view bytes);

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

  std::string_view Source() const { return FText.View(); }
  TextEncoding Encoding() const { return FEncoding; }
  bool AtEnd() const { return At(Cur) == 0; }

  TSourcePos Cur = 0;

 private:
  unsigned char At(std::size_t pos) const {
    const std::string_view text = FText.View();
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
  }
  std::size_t Unit(std::size_t pos) const { return UnitLength(FText.View(), pos, FEncoding); }
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
  // Takes a text already cut and normalised, and picks its encoding.
  void Adopt(std::string text);
  void Start(TextEncoding enc);

  TScoreText FText;
  TSourcePos FStart = 0;
  // The last stretch of blanks skipped.
  TSourcePos FBlankFrom = 0;
  TSourcePos FBlankTo = 0;
  TextEncoding FEncoding = TextEncoding::Cp932;
};

}  // namespace orvate
