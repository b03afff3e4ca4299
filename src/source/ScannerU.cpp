#include "source/ScannerU.h"

#include <cstring>

#include "app/AppUtils.h"

namespace orvate {

namespace {

bool IsHexDigit(unsigned char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int HexValue(unsigned char c) {
  if (IsDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

constexpr int64_t kMaxValue = 2147483647;

}  // namespace

TScanner::TScanner() = default;

void TScanner::SetSource(std::string text, TextEncoding enc) {
  FText.Own(std::move(text));
  Start(enc);
}

// Cuts the text taken at its first zero byte and puts the cursor at its start.
void TScanner::Start(TextEncoding enc) {
  const std::size_t zero = FText.View().find('\0');
  if (zero != std::string_view::npos) FText.Truncate(zero);
  FEncoding = enc;
  FStart = 0;
  // A byte-order mark is neither a command nor a column.
  if (enc == TextEncoding::Utf8 && FText.View().compare(0, 3, "\xEF\xBB\xBF") == 0) FStart = 3;
  Cur = FBlankFrom = FBlankTo = FStart;
}

void TScanner::LoadFromBytes(std::string_view bytes) {
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16 + 2);
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    // Copy up to the next LF, or the whole rest, as long as it holds no lone CR or LF; then its
    // ending as CR LF. A text already in CR LF is copied a line at a time.
    const void* lf = std::memchr(bytes.data() + i, '\n', n - i);
    std::size_t e = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) : n;
    const void* cr = std::memchr(bytes.data() + i, '\r', e - i);
    if (cr != nullptr) e = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
    text.append(bytes.data() + i, e - i);
    text += "\r\n";
    if (e < n && bytes[e] == '\r' && e + 1 < n && bytes[e + 1] == '\n') i = e + 2;
    else i = e + 1;
  }
  Adopt(std::move(text));
}

void TScanner::Adopt(std::string text) {
  const bool utf8 = text.compare(0, 3, "\xEF\xBB\xBF") == 0 || LooksLikeUtf8(text);
  SetSource(std::move(text), utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932);
}

namespace {
// True when every line, the last one included, already ends in CR LF and no other CR stands
// in the text: what the normalisation would produce, so it can be taken as it is.
bool EndsLinesInCrLf(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0) return true;
  if (n < 2 || text[n - 2] != '\r' || text[n - 1] != '\n') return false;
  for (std::size_t i = 0; i < n;) {
    const auto* lf = static_cast<const char*>(std::memchr(text.data() + i, '\n', n - i));
    const std::size_t e = static_cast<std::size_t>(lf - text.data());
    if (e == i || std::memchr(text.data() + i, '\r', e - i) != lf - 1) return false;
    i = e + 1;
  }
  return true;
}
}  // namespace

void TScanner::LoadInPlace(std::string_view bytes) {
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  if (!EndsLinesInCrLf(bytes)) {
    LoadFromBytes(bytes);
    return;
  }
  const bool utf8 = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || LooksLikeUtf8(bytes);
  FText.Borrow(bytes);
  Start(utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932);
}

bool TScanner::LoadFromFile(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  // A score saved with CR LF needs no normalised copy: the text read is kept.
  const std::size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  if (EndsLinesInCrLf(bytes)) Adopt(std::move(bytes));
  else LoadFromBytes(bytes);
  return true;
}

void TScanner::SkipLine() {
  for (;;) {
    const unsigned char c = At(Cur);
    if (c == 0 || c == '\r' || c == '\n') return;
    Cur += Unit(Cur);
  }
}

void TScanner::SkipBlankStretch() {
  const TSourcePos from = Cur;
  for (;;) {
    const unsigned char c = At(Cur);
    if (c > ' ' && c < 0x80 && c != '/') break;
    if (c == 0) break;
    if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
      ++Cur;
    } else if (c == '/' && At(Cur + 1) == '/') {
      SkipLine();
    } else if (c == '/' && At(Cur + 1) == '*') {
      Cur += 2;
      for (;;) {
        const unsigned char d = At(Cur);
        if (d == 0) break;
        if (d == '*' && At(Cur + 1) == '/') { Cur += 2; break; }
        Cur += Unit(Cur);
      }
    } else if (IsLeadByte(c, FEncoding)) {
      Cur += Unit(Cur);
    } else {
      break;
    }
  }
  FBlankFrom = from;
  FBlankTo = Cur;
}

TSourcePos TScanner::ReadEnd(TSourcePos start) const {
  TSourcePos end = Cur == FBlankTo ? FBlankFrom : Cur;
  while (end > start) {
    const unsigned char c = At(end - 1);
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
    --end;
  }
  return end < start ? start : end;
}

void TScanner::GetPos(int32_t& x, int32_t& y) const {
  int64_t cx = 0, cy = 1;
  std::size_t p = FStart;
  while (p < Cur && At(p) != 0) {
    ++cx;
    if (At(p) == '\n') { cx = 0; ++cy; }
    p += Unit(p);
  }
  x = static_cast<int32_t>(cx > INT32_MAX ? INT32_MAX : cx);
  y = static_cast<int32_t>(cy > INT32_MAX ? INT32_MAX : cy);
}

std::string_view TScanner::NextToken() {
  SkipBlank();
  const unsigned char c = At(Cur);
  if (c == 0) return std::string_view();
  // A token is always one stretch of the text, so it is handed out in place.
  const TSourcePos start = Cur++;
  TSourcePos end = Cur;
  switch (c) {
    case '#':
      while (IsLetter(At(Cur))) ++Cur;
      end = Cur;
      break;
    case '%':
      if (IsLetter(At(Cur))) ++Cur;
      end = Cur;
      break;
    case '@':
      if (At(Cur) == '@') {
        ++Cur;
        for (unsigned char d = At(Cur); IsLetter(d) || IsDigit(d); d = At(Cur)) ++Cur;
        end = Cur;
        SkipBlank();
        SkipComma();
      } else {
        while (IsLetter(At(Cur))) ++Cur;
        end = Cur;
      }
      break;
    case '|':
      if (At(Cur) == '|') ++Cur;
      end = Cur;
      break;
    default:
      break;
  }
  return std::string_view(FText.View().data() + start, end - start);
}

// ReadUnsigned with a digit at the cursor.
int64_t TScanner::ReadNumber() {
  const TSourcePos start = Cur;
  int64_t value = 0;
  bool any = false;
  if (At(Cur) == '0' && (At(Cur + 1) == 'x' || At(Cur + 1) == 'X')) {
    Cur += 2;
    while (IsHexDigit(At(Cur))) {
      // Keep reading the run; once past the limit the value only has to stay past it.
      if (value <= kMaxValue) value = value * 16 + HexValue(At(Cur));
      any = true;
      ++Cur;
    }
  } else {
    while (IsDigit(At(Cur))) {
      if (value <= kMaxValue) value = value * 10 + (At(Cur) - '0');
      any = true;
      ++Cur;
    }
  }
  if (!any || value > kMaxValue) {
    Cur = start;
    return -1;
  }
  return value;
}

int32_t TScanner::ReadValue() {
  const TSourcePos start = Cur;
  SkipBlank();
  int32_t sign = 1;
  if (At(Cur) == '+') ++Cur;
  else if (At(Cur) == '-') { sign = -1; ++Cur; }
  const int64_t v = ReadUnsigned();
  if (v >= 0) return sign * static_cast<int32_t>(v);
  Cur = start;
  return 0;
}

int64_t TScanner::ReadLengthTerms(int64_t sum, int32_t speed, int32_t defLength, int32_t lastLength) {
  // Saturates far beyond the 32-bit range, which every caller refuses.
  constexpr int64_t kCap = int64_t{1} << 62;
  for (;;) {
    SkipBlank();
    int64_t term;
    if (At(Cur) == '*') {
      ++Cur;
      const int64_t n = ReadUnsigned();
      term = n >= 0 ? n : lastLength;
    } else {
      const int64_t n = ReadUnsigned();
      int64_t dot;
      if (n >= 1) {
        term = 96 / n / speed;
        dot = term;
      } else {
        term = defLength;
        dot = 0;
      }
      while (At(Cur) == '.') {
        ++Cur;
        dot /= 2;
        term += dot;
      }
    }
    SkipBlank();
    sum += term;
    if (sum > kCap) sum = kCap;
    if (At(Cur) != '^') return sum;
    ++Cur;
  }
}

std::string TScanner::ReadQuoted() {
  std::string result;
  SkipBlank();
  if (At(Cur) != '"') return result;
  ++Cur;
  for (;;) {
    const unsigned char c = At(Cur);
    if (c == 0) break;
    if (c == '"') { ++Cur; break; }
    if (IsLeadByte(c, FEncoding)) {
      Cur += Unit(Cur);
    } else {
      result += static_cast<char>(c);
      ++Cur;
    }
  }
  return result;
}

std::string TScanner::ReadName() {
  const TSourcePos start = Cur;
  for (unsigned char c = At(Cur); IsLetter(c) || IsDigit(c) || c == '_'; c = At(Cur)) ++Cur;
  return std::string(FText.View().substr(start, Cur - start));
}

std::string TScanner::ReadAlpha() {
  const TSourcePos start = Cur;
  while (IsLetter(At(Cur))) ++Cur;
  return std::string(FText.View().substr(start, Cur - start));
}

std::string TScanner::ReadAlphaNum() {
  const TSourcePos start = Cur;
  for (unsigned char c = At(Cur); IsLetter(c) || IsDigit(c); c = At(Cur)) ++Cur;
  return std::string(FText.View().substr(start, Cur - start));
}

int32_t TScanner::ReadSign() {
  const unsigned char c = At(Cur);
  if (c == '+') { ++Cur; return 1; }
  if (c == '-') { ++Cur; return -1; }
  return 0;
}

char TScanner::SkipPastBrace() {
  for (;;) {
    SkipBlank();
    const unsigned char c = At(Cur);
    if (c == 0) return 0;
    if (c == '}') { ++Cur; return '}'; }
    Cur += Unit(Cur);
  }
}

}  // namespace orvate
