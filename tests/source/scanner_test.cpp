#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "source/ScannerU.h"

using orvate::TextEncoding;
using orvate::TScanner;

namespace {

TScanner Over(const std::string& text) {
  TScanner s;
  s.SetSource(text);
  return s;
}

std::vector<std::string> Tokens(const std::string& text) {
  TScanner s = Over(text);
  std::vector<std::string> out;
  for (std::string_view t = s.NextToken(); !t.empty(); t = s.NextToken()) out.emplace_back(t);
  return out;
}

}  // namespace

TEST(ScannerLoad, LineEndingsBecomeCrLfAndZeroEndsText) {
  const struct { std::string file, text; } cases[] = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\rb\r", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\nb", "a\r\nb\r\n"},          // a last line without an ending gets one
      {"a\n\rb", "a\r\n\r\nb\r\n"},    // LF then CR ends two lines
      {"", ""},
      {std::string("c4\0 d4\n", 7), "c4\r\n"},  // a zero byte ends the text
      {std::string("c4\r\n\0d4", 7), "c4\r\n"},
      {"a\r\n\nb\r\n", "a\r\n\r\nb\r\n"},  // a lone LF after CR LF
      {"a\rb\r\n", "a\r\nb\r\n"},
      {"a\r\nb", "a\r\nb\r\n"},
      {"\r\n", "\r\n"},
      {"\n", "\r\n"},
  };
  for (const auto& c : cases) {
    TScanner s;
    s.LoadFromBytes(c.file);
    EXPECT_EQ(s.Source(), c.text) << c.file;
    // Read in place, the same text; one that needs no change is not copied.
    TScanner inPlace;
    inPlace.LoadInPlace(c.file);
    EXPECT_EQ(inPlace.Source(), c.text) << c.file;
    const bool unchanged = c.file.compare(0, c.text.size(), c.text) == 0;
    if (!c.text.empty()) {
      EXPECT_EQ(inPlace.Source().data() == c.file.data(), unchanged) << c.file;
    }
  }
}

TEST(ScannerLoad, ACopyReadsItsOwnText) {
  auto original = std::make_unique<TScanner>();
  original->SetSource(std::string(100, 'c'));  // longer than a string keeps in place
  const TScanner copy = *original;
  original.reset();
  EXPECT_EQ(copy.Source(), std::string(100, 'c'));
}

TEST(ScannerTokens, ShapesOfCommandTokens) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Tokens("#setorder 0"), (V{"#setorder", "0"}));
  EXPECT_EQ(Tokens("#ch1"), (V{"#ch", "1"}));
  EXPECT_EQ(Tokens("# x"), (V{"#", "x"}));
  EXPECT_EQ(Tokens("%v5 %5"), (V{"%v", "5", "%", "5"}));
  EXPECT_EQ(Tokens("%vx"), (V{"%v", "x"}));  // exactly one letter after %
  EXPECT_EQ(Tokens("@vib3"), (V{"@vib", "3"}));
  EXPECT_EQ(Tokens("@vibc"), (V{"@vibc"}));
  EXPECT_EQ(Tokens("@@e15"), (V{"@@e15"}));
  EXPECT_EQ(Tokens("@1"), (V{"@", "1"}));
  EXPECT_EQ(Tokens("|| | |"), (V{"||", "|", "|"}));
  EXPECT_EQ(Tokens("/ c"), (V{"/", "c"}));  // a lone slash is a token
  EXPECT_EQ(Tokens("c// d\ne/* f\n */g"), (V{"c", "e", "g"}));
  EXPECT_EQ(Tokens("c /* never closed d e"), (V{"c"}));
  EXPECT_EQ(Tokens("\x82\xa0" "c"), (V{"c"}));  // double-byte characters are skipped like blanks
}

TEST(ScannerTokens, AliasSkipsBlanksCommentsAndOneComma) {
  TScanner s = Over("@@4 , 3");
  EXPECT_EQ(s.NextToken(), "@@4");
  EXPECT_EQ(s.Cur, 5u);  // just behind the comma
  TScanner t = Over("@@4,,3");
  EXPECT_EQ(t.NextToken(), "@@4");
  EXPECT_EQ(t.Cur, 4u);  // on the second comma
  TScanner u = Over("@@4 /* x */ , 3");
  EXPECT_EQ(u.NextToken(), "@@4");
  EXPECT_EQ(u.ReadValue(), 3);
}

TEST(ScannerNumbers, UnsignedDecimalAndHex) {
  const struct { const char* text; int64_t value; std::size_t cur; } cases[] = {
      {"0x1F", 31, 4},       {"0X1f", 31, 4},          {"007", 7, 3},
      {"0xg", -1, 0},        {"0x", -1, 0},            {"2147483647", 2147483647, 10},
      {"2147483648", -1, 0}, {"0xFFFFFFFF", -1, 0},    {"0x7FFFFFFF", 2147483647, 10},
      {"99999999999999999999", -1, 0},                 {"x", -1, 0},
  };
  for (const auto& c : cases) {
    TScanner s = Over(c.text);
    EXPECT_EQ(s.ReadUnsigned(), c.value) << c.text;
    EXPECT_EQ(s.Cur, c.cur) << c.text;
  }
}

TEST(ScannerNumbers, ReadValueSignsAndPutBack) {
  const struct { const char* text; int32_t value; std::size_t cur; } cases[] = {
      {"-12", -12, 3}, {" +0", 0, 3}, {"- 12", 0, 0}, {"  x", 0, 0},
      {" /*c*/ 5", 5, 8}, {"-2147483647", -2147483647, 11}, {"-", 0, 0},
  };
  for (const auto& c : cases) {
    TScanner s = Over(c.text);
    EXPECT_EQ(s.ReadValue(), c.value) << c.text;
    EXPECT_EQ(s.Cur, c.cur) << c.text;
  }
}

TEST(ScannerLength, RowsFromLengthExpressions) {
  const struct { const char* text; int speed, def, last; int64_t rows; } cases[] = {
      {"4", 3, 24, 24, 8},     {"4.", 3, 24, 24, 12},  {"", 3, 24, 24, 24},
      {".", 3, 24, 24, 24},    {"*5", 3, 24, 24, 5},   {"*5", 1, 24, 24, 5},
      {"*", 3, 24, 10, 10},    {"4^8", 1, 24, 24, 36}, {"128", 3, 24, 24, 0},
      {"4.", 1, 24, 24, 36},   {"4..", 1, 24, 24, 42}, {"*0", 3, 24, 24, 0},
      {"0.", 3, 24, 24, 24},   {"4 ^ 8", 1, 24, 24, 36}, {"4^", 1, 24, 24, 48},
      {"*5.", 3, 24, 24, 5},
  };
  for (const auto& c : cases) {
    TScanner s = Over(c.text);
    EXPECT_EQ(s.ReadLength(c.speed, c.def, c.last), c.rows) << c.text;
  }
  TScanner dots = Over("*5.");
  dots.ReadLength(3, 24, 24);
  EXPECT_EQ(dots.Cur, 2u);  // no dots after the row form
}

TEST(ScannerLength, SumsPastTheIntegerRangeStayExact) {
  TScanner s = Over("*2147483647^*2147483647");
  EXPECT_EQ(s.ReadLength(3, 24, 24), int64_t{2} * 2147483647);
}

TEST(ScannerStrings, QuotedNamesAndRuns) {
  TScanner s = Over(" \"ab\x82\x5c" "c\" x");
  EXPECT_EQ(s.ReadQuoted(), "abc");  // the double-byte character goes, trail byte 0x5C included
  TScanner open = Over("\"ab\r\ncd");
  EXPECT_EQ(open.ReadQuoted(), "ab\r\ncd");
  TScanner none = Over("  x");
  EXPECT_EQ(none.ReadQuoted(), "");
  EXPECT_EQ(none.Cur, 2u);
  TScanner name = Over("ab_9 c");
  EXPECT_EQ(name.ReadName(), "ab_9");
  TScanner acc = Over("++-+x");
  EXPECT_EQ(acc.ReadAccidentals(), 2);
  EXPECT_EQ(acc.ReadSign(), 0);
}

TEST(ScannerBrace, SkipsCommentsAndDoubleByteTrailBytes) {
  TScanner s = Over("a // }\n \x81}" "b /* } */ } c");
  EXPECT_EQ(s.SkipPastBrace(), '}');
  EXPECT_EQ(s.NextToken(), "c");
  TScanner quoted = Over("\"}\" x");
  EXPECT_EQ(quoted.SkipPastBrace(), '}');
  EXPECT_EQ(quoted.NextToken(), "\"");
  TScanner none = Over("abc");
  EXPECT_EQ(none.SkipPastBrace(), 0);
  EXPECT_TRUE(none.AtEnd());
}

TEST(ScannerPosition, ColumnsCountCharacters) {
  TScanner s = Over("x");
  s.NextToken();
  int32_t x = -1, y = -1;
  s.GetPos(x, y);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 1);
  TScanner t;
  t.LoadFromBytes("a\nb\n\x82\xa0x");
  t.NextToken();
  t.NextToken();
  t.NextToken();
  t.GetPos(x, y);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 3);
}

TEST(ScannerEncoding, Utf8ScoresStepWholeSequences) {
  // "あ" is E3 81 82 in UTF-8; its last byte must not be taken for a command.
  TScanner s;
  s.LoadFromBytes("\xe3\x81\x82" "c /* \xe3\x81\x82 */ d");
  EXPECT_EQ(s.Encoding(), TextEncoding::Utf8);
  EXPECT_EQ(s.NextToken(), "c");
  EXPECT_EQ(s.NextToken(), "d");
  int32_t x = 0, y = 0;
  s.GetPos(x, y);
  EXPECT_EQ(x, 12);

  TScanner bom;
  bom.LoadFromBytes("\xef\xbb\xbfx");
  EXPECT_EQ(bom.Encoding(), TextEncoding::Utf8);
  EXPECT_EQ(bom.NextToken(), "x");
  bom.GetPos(x, y);
  EXPECT_EQ(x, 1);  // the mark takes no column

  TScanner cp;
  cp.LoadFromBytes("\x82\xa0" "c");  // not valid UTF-8: cp932
  EXPECT_EQ(cp.Encoding(), TextEncoding::Cp932);
  EXPECT_EQ(cp.NextToken(), "c");
}

TEST(ScannerEncoding, TruncatedSequenceNeverRunsPastTheEnd) {
  TScanner bom;
  bom.LoadFromBytes("\xef\xbb\xbf" "c \xf0");
  EXPECT_EQ(bom.NextToken(), "c");
  EXPECT_EQ(bom.NextToken(), "");
  TScanner lead;
  lead.SetSource("c\x82");  // a cp932 lead byte as the very last byte
  EXPECT_EQ(lead.NextToken(), "c");
  EXPECT_EQ(lead.NextToken(), "");
}
