#pragma once
// A score's bytes as the page sees them (UTF-8 text with "\n" line ends) and back again.
// Saving keeps the original bytes wherever the text did not change: a cp932 file can hold
// characters whose way back from Unicode differs (NEC and IBM duplicates), and a file may
// mix line ends; neither may change where the user did not edit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvate::studio {

enum class ScoreEncoding { Cp932, Utf8, Utf8Bom };
enum class LineEnd { Crlf, Lf, Cr, Mixed };

const char* EncodingName(ScoreEncoding encoding);
const char* LineEndName(LineEnd eol);

// The compiler's own rule: a byte-order mark; else valid UTF-8 with a multi-byte character;
// else cp932 (pure ASCII is both, and counts as cp932).
ScoreEncoding DetectEncoding(std::string_view bytes);
// Well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Equal bytes give equal versions: 16 hex digits of FNV-1a 64, a dash, the size.
std::string ScoreVersion(std::string_view bytes);

// One line of the file with its line end (the last line has none, and may be empty):
// where its text lies in DecodedScore::text and its bytes in DecodedScore::body.
struct ScoreLine {
  std::size_t textBegin = 0, textEnd = 0;
  std::size_t byteBegin = 0, byteEnd = 0;
};

struct DecodedScore {
  ScoreEncoding encoding = ScoreEncoding::Cp932;
  LineEnd eol = LineEnd::Lf;  // for a file without line ends: what a new one gets
  std::string newline;        // the bytes a new line end is written as
  bool lossy = false;         // some bytes did not decode (they read as U+FFFD)
  std::string text;           // UTF-8, "\n" line ends
  std::string bom;            // the byte-order mark, kept as it is
  std::string body;           // the bytes after the mark
  std::vector<ScoreLine> lines;
};

DecodedScore DecodeScore(std::string_view bytes);

struct EncodeResult {
  bool ok = false;
  std::string bytes;
  // When !ok: the first character the file's encoding cannot hold, 1-based line and
  // column (in characters) in the new text.
  std::size_t line = 0, column = 0;
  std::string character;
};

// newText (valid UTF-8, "\n" line ends) written the way old was: its encoding, its line
// ends, and its bytes where the text is unchanged.
EncodeResult EncodeEdit(const DecodedScore& old, std::string_view newText);

}  // namespace orvate::studio
