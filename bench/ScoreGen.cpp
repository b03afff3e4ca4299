#include "ScoreGen.h"

#include <string>

namespace orvate::bench {

namespace {

// Note names with and without accidentals, as a composer mixes them.
const char* const kNotes[] = {"c", "d", "e", "f", "g", "a", "b", "c+", "d+", "f+", "g+", "a-"};
constexpr int kNoteCount = sizeof(kNotes) / sizeof(kNotes[0]);

const char* const kEffects[] = {"@vib 3,4", "@@4 2,8",  "@vs 3",     "@@a -2",    "@porup 16",
                                "@@1 8",    "@pordw 4", "@arp 3,7",  "@@0 4,7",   "@tre 2,2",
                                "@p 128",   "@@8 64",   "@v 48",     "@@c 32",    "@ncut 2",
                                "@@ec 3",   "@fvsup 1", "@@ea 2",    "@t 125",    "@gv 40",
                                "@pbr 2,3", "@@y 1,1",  "@retrig 3", "@envpos 12", "@smpofs 32"};
constexpr int kEffectCount = sizeof(kEffects) / sizeof(kEffects[0]);

const char* const kVolumes[] = {"%v 40", "%p 5", "%c 3", "%d 2", "%a 4", "%b 1", "%u 6", "%h 2", "%l 3", "%r 1"};
constexpr int kVolumeCount = sizeof(kVolumes) / sizeof(kVolumes[0]);

void OrderTable(std::string& s, int patterns) {
  s += "#setorder ";
  for (int p = 0; p < patterns; ++p) {
    if (p > 0) s += ',';
    s += std::to_string(p);
  }
  s += "\r\n";
}

}  // namespace

std::string DenseNotes(int patterns) {
  std::string s = "// dense notes\r\n";
  OrderTable(s, patterns);
  for (int p = 0; p < patterns; ++p) {
    s += "#pt " + std::to_string(p) + "\r\n";
    for (int c = 1; c <= 32; ++c) {
      s += "#ch " + std::to_string(c) + " l*1 o" + std::to_string(3 + c % 3) + "\r\n";
      for (int r = 0; r < 64; ++r) {
        s += kNotes[(p * 7 + c * 3 + r) % kNoteCount];
        s += (r % 16 == 15) ? "\r\n" : " ";
      }
    }
  }
  return s;
}

std::string EffectRows(int patterns) {
  std::string s = "// effect and volume-column rows\r\n";
  OrderTable(s, patterns);
  for (int p = 0; p < patterns; ++p) {
    s += "#pt " + std::to_string(p) + "\r\n";
    for (int c = 1; c <= 32; ++c) {
      s += "#ch " + std::to_string(c) + " l*1 o5 v50\r\n";
      for (int r = 0; r < 64; ++r) {
        const int k = p + c + r;
        s += kEffects[k % kEffectCount];
        s += ' ';
        // A note every fourth row; the rows between carry a volume-column command and step on.
        if (r % 4 == 0) {
          s += kNotes[k % kNoteCount];
        } else {
          s += kVolumes[k % kVolumeCount];
          s += " _";
        }
        s += (r % 4 == 3) ? "\r\n" : "  ";
      }
    }
  }
  return s;
}

std::string LoopHeavy(int repeats) {
  constexpr int kPatterns = 16;
  std::string s = "// loops: every row re-runs an effect body " + std::to_string(repeats) + " times\r\n";
  OrderTable(s, kPatterns);
  for (int p = 0; p < kPatterns; ++p) {
    s += "#pt " + std::to_string(p) + "\r\n";
    for (int c = 1; c <= 32; ++c) {
      s += "#ch " + std::to_string(c) + " l*1\r\n";
      s += "[ ( @vs 3 %u 2 v48 @@4 3,4 ) " + std::to_string(repeats) + " " + kNotes[(p + c) % kNoteCount] +
           " : @arp 3,7 ] 64\r\n";
    }
  }
  return s;
}

std::string MacroHeavy(int patterns) {
  constexpr int kMacros = 64;
  constexpr int kPhrases = 16;
  std::string s = "// macros\r\n";
  OrderTable(s, patterns);
  for (int m = 0; m < kMacros; ++m) {
    s += "$m" + std::to_string(m) + "{ ";
    s += kEffects[m % kEffectCount];
    for (int n = 0; n < 4; ++n) {
      s += ' ';
      s += kNotes[(m + n * 5) % kNoteCount];
    }
    s += " }\r\n";
  }
  for (int f = 0; f < kPhrases; ++f) {
    s += "$phrase" + std::to_string(f) + "{";
    for (int n = 0; n < 4; ++n) s += " $m" + std::to_string((f * 13 + n * 7) % kMacros);
    s += " }\r\n";
  }
  for (int p = 0; p < patterns; ++p) {
    s += "#pt " + std::to_string(p) + "\r\n";
    for (int c = 1; c <= 32; ++c) {
      s += "#ch " + std::to_string(c) + " l*1 o4";
      for (int n = 0; n < 4; ++n) s += " $phrase" + std::to_string((p + c * 3 + n) % kPhrases);
      s += "\r\n";
    }
  }
  return s;
}

std::string ExtendedRows(int patterns) {
  std::string s = "// 1024-row patterns\r\n#extendrow\r\n";
  OrderTable(s, patterns);
  for (int p = 0; p < patterns; ++p) {
    s += "#pt " + std::to_string(p) + "\r\n";
    for (int c = 1; c <= 32; ++c) {
      s += "#ch " + std::to_string(c) + " l*4 o4\r\n";
      for (int r = 0; r < 256; ++r) {
        s += kNotes[(p * 5 + c + r) % kNoteCount];
        s += (r % 16 == 15) ? "\r\n" : " ";
      }
    }
  }
  return s;
}

std::string OneLine() { return "#setorder 0 c4\r\n"; }

const std::vector<TScoreKind>& ScoreKinds() {
  static const std::vector<TScoreKind> kinds = {
      {"dense", "256 patterns x 32 channels x 64 one-row notes", 256, 16, 64, false, DenseNotes},
      {"effects", "256 patterns x 32 channels, an effect and a note or volume command on every row", 256, 16,
       64, false, EffectRows},
      {"loops", "16 patterns x 32 channels, loop bodies re-run 40 times on every row", 40, 10, 40, false,
       LoopHeavy},
      {"macros", "256 patterns x 32 channels, 4 phrase macros of 4 note macros each", 256, 16, 64, false,
       MacroHeavy},
      {"extended", "128 patterns of 1024 rows x 32 channels, 256 notes each", 128, 8, 32, true, ExtendedRows},
  };
  return kinds;
}

}  // namespace orvate::bench
