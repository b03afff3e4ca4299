#include "ScoreText.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "TextCodec.h"

namespace orvate::studio {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// Beyond this many cells the middle of an edit is treated as one block instead of diffed line by line.
constexpr std::size_t kMaxDiffCells = std::size_t(4) << 20;

bool IsValidUtf8Char(std::string_view bytes, std::size_t& length) {
  const auto b = static_cast<unsigned char>(bytes[0]);
  std::size_t extra = 0;
  std::uint32_t cp = 0, min = 0;
  if (b < 0x80) {
    length = 1;
    return true;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1, min = 0x80, cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, min = 0x800, cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, min = 0x10000, cp = b & 0x07;
  } else {
    return false;
  }
  if (extra >= bytes.size()) return false;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(bytes[k]);
    if ((c & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  length = extra + 1;
  return true;
}

// Calls unit(text, byteCount) for each character of bytes; a line end of any kind is "\n".
template <typename F>
void ForEachUnit(ScoreEncoding encoding, std::string_view bytes, F&& unit) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::string_view rest = bytes.substr(i);
    if (rest[0] == '\r') {
      const std::size_t n = rest.size() > 1 && rest[1] == '\n' ? 2 : 1;
      unit(std::string_view("\n"), n);
      i += n;
      continue;
    }
    if (encoding == ScoreEncoding::Cp932) {
      const std::size_t n = Cp932CharLength(rest);
      const auto text = DecodeCp932Char(rest.substr(0, n));
      if (text) {
        unit(std::string_view(*text), n);
      } else {
        unit(kReplacement, n);
      }
      i += n;
    } else {
      std::size_t n = 1;
      if (IsValidUtf8Char(rest, n)) {
        unit(rest.substr(0, n), n);
      } else {
        unit(kReplacement, 1);
      }
      i += n;
    }
  }
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = 1;
    if (!IsValidUtf8Char(bytes.substr(i), n)) return false;
    i += n;
  }
  return true;
}

namespace {

bool HasMultiByteUtf8(std::string_view bytes) {
  bool multi = false;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t n = 1;
    if (!IsValidUtf8Char(bytes.substr(i), n)) return false;
    if (n > 1) multi = true;
    i += n;
  }
  return multi;
}

// The lines of text, each with its "\n" (the last without).
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, nl + 1 - start));
    start = nl + 1;
  }
}

std::string NormaliseLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// Pairs of equal lines (old index, new index), in order, by a longest common subsequence.
std::vector<std::pair<std::size_t, std::size_t>> MatchLines(const std::vector<std::string_view>& a,
                                                            const std::vector<std::string_view>& b) {
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  const std::size_t n = a.size(), m = b.size();
  if (n == 0 || m == 0 || n * m > kMaxDiffCells) return pairs;
  std::unordered_map<std::string_view, int> ids;
  std::vector<int> ia(n), ib(m);
  for (std::size_t i = 0; i < n; ++i) ia[i] = ids.emplace(a[i], static_cast<int>(ids.size())).first->second;
  for (std::size_t j = 0; j < m; ++j) ib[j] = ids.emplace(b[j], static_cast<int>(ids.size())).first->second;
  // len[i][j]: the longest common subsequence of a[i..] and b[j..].
  std::vector<std::uint32_t> len((n + 1) * (m + 1), 0);
  const auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return len[i * (m + 1) + j]; };
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      at(i, j) = ia[i] == ib[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
  }
  for (std::size_t i = 0, j = 0; i < n && j < m;) {
    if (ia[i] == ib[j]) {
      pairs.emplace_back(i, j);
      ++i, ++j;
    } else if (at(i + 1, j) >= at(i, j + 1)) {
      ++i;
    } else {
      ++j;
    }
  }
  return pairs;
}

struct Unit {
  std::string text;
  std::string_view bytes;
};

class Encoder {
 public:
  Encoder(const DecodedScore& old, std::string_view newText, EncodeResult& result)
      : old_(old), newText_(newText), result_(result) {}

  // The old lines [a, b) replaced by the new text [from, to): bytes kept for the characters
  // the two share at either end, the rest encoded.
  bool Block(std::size_t a, std::size_t b, std::size_t from, std::size_t to) {
    std::vector<Unit> units;
    if (a < b) {
      const std::string_view bytes = std::string_view(old_.body).substr(
          old_.lines[a].byteBegin, old_.lines[b - 1].byteEnd - old_.lines[a].byteBegin);
      std::size_t offset = 0;
      ForEachUnit(old_.encoding, bytes, [&](std::string_view text, std::size_t n) {
        units.push_back({std::string(text), bytes.substr(offset, n)});
        offset += n;
      });
    }
    const std::string_view fresh = newText_.substr(from, to - from);
    std::size_t pre = 0, preBytes = 0;
    while (pre < units.size() && preBytes + units[pre].text.size() <= fresh.size() &&
           fresh.compare(preBytes, units[pre].text.size(), units[pre].text) == 0) {
      preBytes += units[pre].text.size();
      ++pre;
    }
    std::size_t post = 0, postBytes = 0;
    while (post < units.size() - pre) {
      const std::string& t = units[units.size() - 1 - post].text;
      if (postBytes + t.size() > fresh.size() - preBytes) break;
      if (fresh.compare(fresh.size() - postBytes - t.size(), t.size(), t) != 0) break;
      postBytes += t.size();
      ++post;
    }
    for (std::size_t k = 0; k < pre; ++k) result_.bytes += units[k].bytes;
    if (!EncodeFresh(from + preBytes, to - postBytes)) return false;
    for (std::size_t k = units.size() - post; k < units.size(); ++k) result_.bytes += units[k].bytes;
    return true;
  }

  void KeepLine(std::size_t i) {
    result_.bytes.append(old_.body, old_.lines[i].byteBegin, old_.lines[i].byteEnd - old_.lines[i].byteBegin);
  }

 private:
  bool EncodeFresh(std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to;) {
      const std::size_t n = Utf8CharLength(newText_.substr(i));
      const std::string_view c = newText_.substr(i, n);
      if (c == "\n") {
        result_.bytes += old_.newline;
      } else if (old_.encoding != ScoreEncoding::Cp932) {
        result_.bytes += c;
      } else if (const auto bytes = EncodeCp932Char(c)) {
        result_.bytes += *bytes;
      } else {
        Fail(i);
        return false;
      }
      i += n;
    }
    return true;
  }

 public:
  // Records the character at offset of the new text as the one that cannot be written.
  void Fail(std::size_t offset) {
    result_.ok = false;
    result_.bytes.clear();
    result_.line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
      if (newText_[i] == '\n') ++result_.line, lineStart = i + 1;
    }
    result_.column = 1;
    for (std::size_t i = lineStart; i < offset; i += Utf8CharLength(newText_.substr(i))) ++result_.column;
    result_.character = std::string(newText_.substr(offset, Utf8CharLength(newText_.substr(offset))));
  }

 private:
  const DecodedScore& old_;
  std::string_view newText_;
  EncodeResult& result_;
};

}  // namespace

const char* EncodingName(ScoreEncoding encoding) {
  switch (encoding) {
    case ScoreEncoding::Cp932: return "cp932";
    case ScoreEncoding::Utf8: return "utf-8";
    case ScoreEncoding::Utf8Bom: return "utf-8-bom";
  }
  return "cp932";
}

const char* LineEndName(LineEnd eol) {
  switch (eol) {
    case LineEnd::Crlf: return "crlf";
    case LineEnd::Lf: return "lf";
    case LineEnd::Cr: return "cr";
    case LineEnd::Mixed: return "mixed";
  }
  return "lf";
}

ScoreEncoding DetectEncoding(std::string_view bytes) {
  if (bytes.substr(0, kBom.size()) == kBom) return ScoreEncoding::Utf8Bom;
  return HasMultiByteUtf8(bytes) ? ScoreEncoding::Utf8 : ScoreEncoding::Cp932;
}

std::string ScoreVersion(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llx-%zu", static_cast<unsigned long long>(hash), bytes.size());
  return buf;
}

DecodedScore DecodeScore(std::string_view bytes) {
  DecodedScore score;
  score.encoding = DetectEncoding(bytes);
  if (score.encoding == ScoreEncoding::Utf8Bom) {
    score.bom = std::string(kBom);
    bytes.remove_prefix(kBom.size());
  }
  score.body = std::string(bytes);
  score.text.reserve(bytes.size());
  std::size_t crlf = 0, lf = 0, cr = 0, offset = 0;
  ScoreLine line;
  ForEachUnit(score.encoding, score.body, [&](std::string_view text, std::size_t n) {
    score.text += text;
    if (text == kReplacement && score.body.compare(offset, n, kReplacement) != 0) score.lossy = true;
    offset += n;
    if (text == "\n") {
      if (n == 2) {
        ++crlf;
      } else if (score.body[offset - 1] == '\r') {
        ++cr;
      } else {
        ++lf;
      }
      line.textEnd = score.text.size();
      line.byteEnd = offset;
      score.lines.push_back(line);
      line.textBegin = line.textEnd;
      line.byteBegin = line.byteEnd;
    }
  });
  line.textEnd = score.text.size();
  line.byteEnd = offset;
  score.lines.push_back(line);

  const int kinds = (crlf > 0) + (lf > 0) + (cr > 0);
  if (kinds == 0) {
    score.eol = score.encoding == ScoreEncoding::Cp932 ? LineEnd::Crlf : LineEnd::Lf;
  } else if (kinds > 1) {
    score.eol = LineEnd::Mixed;
  } else {
    score.eol = crlf ? LineEnd::Crlf : lf ? LineEnd::Lf : LineEnd::Cr;
  }
  // A new line end in a mixed file takes the most common kind.
  const LineEnd written = score.eol != LineEnd::Mixed ? score.eol
                          : crlf >= lf && crlf >= cr  ? LineEnd::Crlf
                          : lf >= cr                  ? LineEnd::Lf
                                                      : LineEnd::Cr;
  score.newline = written == LineEnd::Crlf ? "\r\n" : written == LineEnd::Cr ? "\r" : "\n";
  return score;
}

EncodeResult EncodeEdit(const DecodedScore& old, std::string_view newTextIn) {
  EncodeResult result;
  result.ok = true;
  const std::string newText = NormaliseLineEnds(newTextIn);
  Encoder encoder(old, newText, result);

  std::vector<std::string_view> oldLines;
  oldLines.reserve(old.lines.size());
  for (const ScoreLine& l : old.lines) oldLines.push_back(std::string_view(old.text).substr(l.textBegin, l.textEnd - l.textBegin));
  const std::vector<std::string_view> newLines = SplitLines(newText);
  std::vector<std::size_t> newStart(newLines.size() + 1, 0);
  for (std::size_t j = 0; j < newLines.size(); ++j) newStart[j + 1] = newStart[j] + newLines[j].size();

  // Equal lines at both ends first; the middle is diffed line by line.
  const std::size_t n = oldLines.size(), m = newLines.size();
  std::size_t head = 0;
  while (head < n && head < m && oldLines[head] == newLines[head]) ++head;
  std::size_t tail = 0;
  while (tail < n - head && tail < m - head && oldLines[n - 1 - tail] == newLines[m - 1 - tail]) ++tail;

  result.bytes.reserve(old.bom.size() + old.body.size() + newText.size() / 4);
  result.bytes += old.bom;
  for (std::size_t i = 0; i < head; ++i) encoder.KeepLine(i);
  const std::vector<std::string_view> midOld(oldLines.begin() + static_cast<std::ptrdiff_t>(head),
                                             oldLines.end() - static_cast<std::ptrdiff_t>(tail));
  const std::vector<std::string_view> midNew(newLines.begin() + static_cast<std::ptrdiff_t>(head),
                                             newLines.end() - static_cast<std::ptrdiff_t>(tail));
  auto pairs = MatchLines(midOld, midNew);
  pairs.emplace_back(midOld.size(), midNew.size());  // the end, as a last match
  std::size_t i = 0, j = 0;
  for (const auto& [pi, pj] : pairs) {
    if (i < pi || j < pj) {
      if (!encoder.Block(head + i, head + pi, newStart[head + j], newStart[head + pj])) return result;
    }
    if (pi < midOld.size()) encoder.KeepLine(head + pi);
    i = pi + 1, j = pj + 1;
  }
  for (std::size_t k = n - tail; k < n; ++k) encoder.KeepLine(k);

  // What was written must read back as the text: cp932 bytes can happen to form UTF-8
  // (the compiler would then read the file as UTF-8).
  const DecodedScore check = DecodeScore(result.bytes);
  if (check.text != newText && !newText.empty()) {
    const auto diff = std::mismatch(check.text.begin(), check.text.end(), newText.begin(), newText.end());
    std::size_t offset = static_cast<std::size_t>(diff.second - newText.begin());
    while (offset > 0 && (static_cast<unsigned char>(newText[offset]) & 0xC0) == 0x80) --offset;
    if (offset >= newText.size()) offset = newText.empty() ? 0 : newText.size() - 1;
    while (offset > 0 && (static_cast<unsigned char>(newText[offset]) & 0xC0) == 0x80) --offset;
    encoder.Fail(offset);
  }
  return result;
}

}  // namespace orvate::studio
