// Both players read back what the song model holds, cell by cell: for the golden end-to-end
// cases, for the examples and for a table of scores that together write every cell form.
#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>

#include "Fixtures.h"
#include "ModuleViews.h"
#include "support/CompileHelper.h"

namespace orvate::players {
namespace {

using testsupport::CompileScore;
using testsupport::ReadFile;

// The cell forms an XM image uses: a packed cell as its flag byte (0x80 to 0x9F), a raw cell as
// 0x100 plus one bit per non-zero part (note 1, instrument 2, volume 4, type 8, parameter 16).
std::set<int> CellForms(const std::string& xm) {
  auto u8 = [&](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(xm.at(at))); };
  auto u16 = [&](std::size_t at) { return u8(at) | u8(at + 1) << 8; };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  std::set<int> forms;
  std::size_t at = 60 + u32(60);
  for (unsigned p = 0; p < u16(70); ++p) {
    const std::size_t data = at + u32(at);
    const std::size_t end = data + u16(at + 7);
    for (std::size_t i = data; i < end;) {
      const unsigned b = u8(i);
      if ((b & 0x80) != 0) {
        forms.insert(static_cast<int>(b));
        i += 1 + static_cast<std::size_t>(std::popcount(b & 0x1F));
      } else {
        int mask = 0x100;
        for (int k = 0; k < 5; ++k) mask |= u8(i + static_cast<std::size_t>(k)) != 0 ? 1 << k : 0;
        forms.insert(mask);
        i += 5;
      }
    }
    at = end;
  }
  return forms;
}

// Compiled in process; both players must read back the model. Collects the cell forms written.
void CheckScore(const std::string& score, const std::string& baseDir, std::set<int>* forms = nullptr) {
  testsupport::Compiled c = CompileScore(score, baseDir);
  ASSERT_TRUE(c.result.Success) << c.result.Msg;
  ASSERT_TRUE(c.wrote);
  ExpectPlayersMatchModel(c.song(), c.xm);
  if (forms != nullptr) {
    const std::set<int> used = CellForms(c.xm);
    forms->insert(used.begin(), used.end());
  }
}

TEST(PlayersReadModel, GoldenCases) {
  const auto cases = GoldenCases();
  ASSERT_FALSE(cases.empty()) << "no case under tests/e2e/cases records an XM module in expect/";
  for (const GoldenCase& k : cases) {
    SCOPED_TRACE(k.dir.filename().string());
    if (!std::filesystem::is_regular_file(k.dir / k.input)) {
      ADD_FAILURE() << "no input score '" << k.input << "'";
      continue;
    }
    CheckScore(ReadFile((k.dir / k.input).string()), k.dir.string() + "/");
  }
}

TEST(PlayersReadModel, Examples) {
  const auto scores = ExampleScores();
  ASSERT_FALSE(scores.empty()) << "examples/ holds no .mml score";
  for (const auto& path : scores) {
    SCOPED_TRACE(path.filename().string());
    CheckScore(ReadFile(path.string()), path.parent_path().string() + "/");
  }
}

struct OwnScore {
  const char* name;
  const char* text;
};

// Channel by channel, pattern 0 of "cell forms" writes: 1 notes merged with effects and a bare
// key-off, three instruments (the last a placeholder); 2 every volume-column form alone (and %n
// on an empty row: an empty cell); 3 effects alone, E and X sub-commands among them; 4 the
// pairings of volume column, effect and key-off, and through parallel lanes a note without its
// volume byte and key-offs over a note's instrument; 5 tone portamento in both columns; 32 a
// panning cell. Pattern 1 holds the lowest and the highest note.
const OwnScore kOwnScores[] = {
    {"cell forms",
     "#songname \"Cell forms\"\n"
     "#instrument \"square.xi\"\n#instrument \"odd.xi\"\n#instrument \"short.xi\"\n"
     "#setorder 0,1,0\n"
     "#ch 1\nl8 c @arp 3,7 d @vib 3,4 e w @2 f+ @3 g- @1\n"
     "#ch 2\n%v 20 _ %d 5 _ %c 3 _ %b 3 _ %a 2 _ %u 4 _ %h 5 _\n"
     "%p 9 _ %p 15 _ %l 6 _ %r 7 _ %g 8 _ %n _ %v 0 _\n"
     "#ch 3\n@arp 1,2 _ @vib 1,1 _ @ncut 2 _ @fporup 3 _ @vibwf 3 _ @trewf 3 _\n"
     "@xfporup 1 _ @highofs 15 _\n"
     "@t 140 _ @break 0x12 _ @jump 1 _ @midi 4 _ @v 64 _ @pbr 1,2 _ @keyoff 3 _ @envpos 5 _ @ps 0x31 _\n"
     "#ch 4\n%v 20 @vs 3 _ %v 30 @arp 1,2 _ @vs -2 w*1 @arp 2,3 w*1\n"
     "o4 c*1 %g 4,2 _ %g 4,2 @arp 1,1 _ %g 4,2 @vib 1,1 _\n"
     "| c*2 | %n || | @arp 1,2 c*2 | %n || | @vib 1,2 c*2 | %n ||\n"
     "| c*2 | w*2 || | @vib 2,2 c*2 | w*2 || r*2\n"
     "#ch 5\n%g 4 @por 3 _ %g 9 @porvs 2 _ %g 2 @smpofs 5 _\n"
     "#ch 32\nv 40 p 3 c*2 r*2\n"
     "#pt 1\n#ch 1\no1 c*4 o8 b*4 o0 c*4 o9 c*4\n"},
    {"extended rows",
     "#extendrow\n#instrument \"square.xi\"\n#setorder 0,1\n"
     "c*300 %v 10 @vs -2 d*300 e*400\n"
     "#pt 1\n#ch 2\nr*255 c*1\n"},
};

struct Form {
  int code;
  const char* parts;
};

const Form kEveryForm[] = {
    {0x80, "empty"}, {0x81, "note"}, {0x83, "note inst"}, {0x84, "vcol"}, {0x85, "note vcol"},
    {0x87, "note inst vcol"}, {0x90, "arpeggio parameter"}, {0x91, "note arpeggio"},
    {0x93, "note inst arpeggio"}, {0x94, "vcol arpeggio"}, {0x95, "note vcol arpeggio"},
    {0x98, "effect"}, {0x99, "note effect"}, {0x9C, "vcol effect"},
    {0x11B, "raw note inst effect"}, {0x11D, "raw note vcol effect"},
    {0x117, "raw note inst vcol arpeggio"}, {0x11F, "raw note inst vcol effect"},
};

TEST(PlayersReadModel, OwnScoresCoverEveryCellForm) {
  const InstrumentDir instruments;
  std::set<int> forms;
  for (const OwnScore& s : kOwnScores) {
    SCOPED_TRACE(s.name);
    CheckScore(s.text, instruments.base(), &forms);
  }
  for (const Form& f : kEveryForm)
    EXPECT_EQ(forms.count(f.code), 1u) << "no cell of the form: " << f.parts;
}

}  // namespace
}  // namespace orvate::players
