#include <gtest/gtest.h>

#include "ScoreText.h"

namespace orvate::studio {
namespace {

// 0xED40 and 0xFA5C are one character (U+7E8A); Unicode leads back to 0xFA5C only. 0x8790 (NEC)
// comes back as 0x81E0, 0x5C and 0x7E stay themselves.
const std::string kSjisTricky = "\xED\x40\xFA\x5C\x87\x90\\~";
const std::string kSjisTrickyText = "\xE7\xBA\x8A\xE7\xBA\x8A\xE2\x89\x92\\~";

TEST(StudioScoreText, EncodingByTheCompilersRule) {
  const std::pair<std::string, ScoreEncoding> cases[] = {
      {"", ScoreEncoding::Cp932},
      {"c d e\n", ScoreEncoding::Cp932},
      {"\xE6\x9B\xB2 c\n", ScoreEncoding::Utf8},
      {"\xEF\xBB\xBF" "c\n", ScoreEncoding::Utf8Bom},
      {"\xEF\xBB\xBF", ScoreEncoding::Utf8Bom},
      {"\x8B\xC8 c\n", ScoreEncoding::Cp932},
      {"\xE6\x9B\xB2 \x8B\xC8", ScoreEncoding::Cp932},  // not valid UTF-8 as a whole
      {"\xC0\xAF", ScoreEncoding::Cp932},               // an overlong form is not UTF-8
  };
  for (const auto& [bytes, encoding] : cases) EXPECT_EQ(DetectEncoding(bytes), encoding) << bytes;
}

TEST(StudioScoreText, DecodeTable) {
  const struct {
    std::string bytes;
    std::string text;
    ScoreEncoding encoding;
    LineEnd eol;
    bool lossy;
  } cases[] = {
      {"a\r\nb\r\n", "a\nb\n", ScoreEncoding::Cp932, LineEnd::Crlf, false},
      {"a\nb", "a\nb", ScoreEncoding::Cp932, LineEnd::Lf, false},
      {"a\rb\r", "a\nb\n", ScoreEncoding::Cp932, LineEnd::Cr, false},
      {"a\r\nb\nc\r", "a\nb\nc\n", ScoreEncoding::Cp932, LineEnd::Mixed, false},
      {"abc", "abc", ScoreEncoding::Cp932, LineEnd::Crlf, false},
      {"\xE6\x9B\xB2", "\xE6\x9B\xB2", ScoreEncoding::Utf8, LineEnd::Lf, false},
      {"\xEF\xBB\xBF\xE6\x9B\xB2\r\n", "\xE6\x9B\xB2\n", ScoreEncoding::Utf8Bom, LineEnd::Crlf, false},
      {kSjisTricky, kSjisTrickyText, ScoreEncoding::Cp932, LineEnd::Crlf, false},
      {"\x82\xA0\xB1", "\xE3\x81\x82\xEF\xBD\xB1", ScoreEncoding::Cp932, LineEnd::Crlf, false},
      {"a\x80z", "a\xEF\xBF\xBDz", ScoreEncoding::Cp932, LineEnd::Crlf, true},
      {"a\x82\r\n", "a\xEF\xBF\xBD\n", ScoreEncoding::Cp932, LineEnd::Crlf, true},
      {"\xEF\xBB\xBF\xFF", "\xEF\xBF\xBD", ScoreEncoding::Utf8Bom, LineEnd::Lf, true},
  };
  for (const auto& c : cases) {
    const DecodedScore d = DecodeScore(c.bytes);
    EXPECT_EQ(d.text, c.text) << c.bytes;
    EXPECT_EQ(d.encoding, c.encoding) << c.bytes;
    EXPECT_EQ(d.eol, c.eol) << c.bytes;
    EXPECT_EQ(d.lossy, c.lossy) << c.bytes;
  }
}

TEST(StudioScoreText, VersionFollowsTheBytes) {
  EXPECT_EQ(ScoreVersion("abc"), ScoreVersion(std::string("abc")));
  EXPECT_NE(ScoreVersion("abc"), ScoreVersion("abd"));
  EXPECT_NE(ScoreVersion("a\r\n"), ScoreVersion("a\n"));
  EXPECT_EQ(ScoreVersion(""), "cbf29ce484222325-0");
}

// Files of every encoding and line end: the same text writes the same bytes, and an edit
// touches nothing but the edited place.
TEST(StudioScoreText, UnchangedTextKeepsEveryByte) {
  const std::string bodies[] = {
      "#title \"a\"\r\nc d " + kSjisTricky + " e\r\nf g\r\n",
      "#title \"a\"\nc d " + kSjisTricky + " e\nf g\n",
      "#title \"a\"\rc d " + kSjisTricky + " e\rf g",
      "#title \"a\"\r\nc d " + kSjisTricky + " e\nf g\r",
      "#title \"\xE6\x9B\xB2\"\r\nc d e\r\nf g\r\n",
      "#title \"\xE6\x9B\xB2\"\nc d e\nf g",
      "\xEF\xBB\xBF#title \"\xE6\x9B\xB2\"\r\nc d e\rf g\n",
      "",
      "\n",
      "\xEF\xBB\xBF",
  };
  for (const std::string& bytes : bodies) {
    const DecodedScore old = DecodeScore(bytes);
    const EncodeResult same = EncodeEdit(old, old.text);
    ASSERT_TRUE(same.ok) << bytes;
    EXPECT_EQ(same.bytes, bytes);
  }
}

TEST(StudioScoreText, AnEditKeepsTheBytesAroundIt) {
  const struct {
    std::string before, edited, after;  // the file is before + edited + after
    std::string oldPiece, newPiece;     // text
    std::string written;                // the bytes the new piece becomes
  } cases[] = {
      // A cp932 character within the edited line, beside the edit, keeps its bytes.
      {"#t\r\n" + kSjisTricky, "c", " e\r\n" + kSjisTricky + "\r\n", "c", "\xE6\x9B\xB2 d", "\x8B\xC8 d"},
      {"x\r\ny", "", "\nz\r", "", "1\n2", "1\r\n2"},  // mixed: a new line end takes the most common
      {"\xEF\xBB\xBF" "a\rb", "c", "\r", "c", "\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},
      {"a\nb\n", "c\n", "d\n", "c\n", "", ""},
      {kSjisTricky + "\r\n", "old\r\nlines\r\n", kSjisTricky, "old\nlines\n", "new\n", "new\r\n"},
  };
  for (const auto& c : cases) {
    const std::string bytes = c.before + c.edited + c.after;
    const DecodedScore old = DecodeScore(bytes);
    const std::string oldBefore = DecodeScore(c.before).text;
    ASSERT_EQ(old.text.compare(oldBefore.size(), c.oldPiece.size(), c.oldPiece), 0) << bytes;
    std::string text = old.text;
    text.replace(oldBefore.size(), c.oldPiece.size(), c.newPiece);
    const EncodeResult r = EncodeEdit(old, text);
    ASSERT_TRUE(r.ok) << bytes;
    EXPECT_EQ(r.bytes, c.before + c.written + c.after) << bytes;
  }
}

TEST(StudioScoreText, LinesMovedAndRemovedKeepTheirBytes) {
  // Each line has its own line end and a character that does not survive a trip through Unicode.
  const std::string bytes = "a\xED\x40\r\nb\xED\x40\nc\xED\x40\rd\xED\x40\r\n";
  const DecodedScore old = DecodeScore(bytes);
  const std::string k = "\xE7\xBA\x8A";
  const EncodeResult r = EncodeEdit(old, "d" + k + "\nb" + k + "\nnew\nc" + k + "\n");
  ASSERT_TRUE(r.ok);
  // "a" became "d": the rest of that line, and its line end, stay.
  EXPECT_EQ(r.bytes, "d\xED\x40\r\nb\xED\x40\nnew\r\nc\xED\x40\r");
}

TEST(StudioScoreText, UnencodableCharacterIsNamed) {
  const struct {
    std::string bytes, text;
    std::size_t line, column;
    std::string character;
  } cases[] = {
      {"c d\r\ne f\r\n", "c d\r\ne \xF0\x9F\x8E\xB5 f\n", 2, 3, "\xF0\x9F\x8E\xB5"},
      {"\x82\xA0\r\n", "\xE3\x81\x82\xC3\xA9", 1, 2, "\xC3\xA9"},
      // Half-width katakana that read back as UTF-8 would change the file's meaning.
      {"c\r\n", "c\n\xEF\xBE\x83\xEF\xBD\xA9", 2, 1, "\xEF\xBE\x83"},
  };
  for (const auto& c : cases) {
    const EncodeResult r = EncodeEdit(DecodeScore(c.bytes), c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.line, c.line) << c.text;
    EXPECT_EQ(r.column, c.column) << c.text;
    EXPECT_EQ(r.character, c.character) << c.text;
  }
}

TEST(StudioScoreText, NewLineEndsFollowTheFile) {
  const std::pair<std::string, std::string> cases[] = {
      {"c", "c\r\nd"},                 // cp932 without line ends: CR LF
      {"\xE6\x9B\xB2", "\xE6\x9B\xB2\nd"},  // UTF-8 without line ends: LF
      {"\xE6\x9B\xB2\r", "\xE6\x9B\xB2\rd"},
  };
  for (const auto& [bytes, expected] : cases) {
    const DecodedScore old = DecodeScore(bytes);
    std::string text = old.text;
    if (text.back() != '\n') text += "\n";
    text += "d";
    const EncodeResult r = EncodeEdit(old, text);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, expected);
  }
}

}  // namespace
}  // namespace orvate::studio
