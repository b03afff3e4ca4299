// The 44 effect commands, each under a mnemonic and an "@@" alias: one table, one handler.
#include "compiler/CompilerU.h"
#include "source/Messages.h"

namespace orvate {

namespace {

enum class TArgForm { Byte, Nibbles, Slide, Sub };

struct TEffect {
  const char* Name;
  const char* Alias;
  uint8_t Type;
  TArgForm Form;
  int32_t Min;  // byte form only
  int32_t Max;  // byte form only
  uint8_t Sub;  // sub-command form only
};

constexpr TArgForm B = TArgForm::Byte, N = TArgForm::Nibbles, S = TArgForm::Slide, X = TArgForm::Sub;

constexpr TEffect kEffects[] = {
    {"@arp", "@@0", 0, N, 0, 0, 0},          {"@porup", "@@1", 1, B, 0, 255, 0},
    {"@pordw", "@@2", 2, B, 0, 255, 0},      {"@por", "@@3", 3, B, 0, 255, 0},
    {"@vib", "@@4", 4, N, 0, 0, 0},          {"@porvs", "@@5", 5, S, 0, 0, 0},
    {"@vibvs", "@@6", 6, S, 0, 0, 0},        {"@tre", "@@7", 7, N, 0, 0, 0},
    {"@p", "@@8", 8, B, 0, 255, 0},          {"@smpofs", "@@9", 9, B, 0, 255, 0},
    {"@vs", "@@a", 10, S, 0, 0, 0},          {"@jump", "@@b", 11, B, 0, 255, 0},
    {"@v", "@@c", 12, B, 0, 64, 0},          {"@break", "@@d", 13, B, 0, 255, 0},
    {"@fporup", "@@e1", 14, X, 0, 0, 0x1},   {"@fpordw", "@@e2", 14, X, 0, 0, 0x2},
    {"@griss", "@@e3", 14, X, 0, 0, 0x3},    {"@vibwf", "@@e4", 14, X, 0, 0, 0x4},
    {"@loop", "@@e6", 14, X, 0, 0, 0x6},     {"@trewf", "@@e7", 14, X, 0, 0, 0x7},
    {"@pan", "@@e8", 14, X, 0, 0, 0x8},      {"@retrig", "@@e9", 14, X, 0, 0, 0x9},
    {"@fvsup", "@@ea", 14, X, 0, 0, 0xA},    {"@fvsdw", "@@eb", 14, X, 0, 0, 0xB},
    {"@ncut", "@@ec", 14, X, 0, 0, 0xC},     {"@notedly", "@@ed", 14, X, 0, 0, 0xD},
    {"@ptndly", "@@ee", 14, X, 0, 0, 0xE},   {"@macro", "@@ef", 14, X, 0, 0, 0xF},
    {"@t", "@@f", 15, B, 32, 255, 0},        {"@gv", "@@g", 16, B, 0, 64, 0},
    {"@gvs", "@@h", 17, S, 0, 0, 0},         {"@keyoff", "@@k", 20, B, 0, 255, 0},
    {"@envpos", "@@l", 21, B, 0, 255, 0},    {"@ps", "@@p", 25, B, 0, 255, 0},
    {"@xretrig", "@@r", 27, N, 0, 0, 0},     {"@turn", "@@t", 29, B, 0, 255, 0},
    {"@pbr", "@@y", 34, N, 0, 0, 0},         {"@midi", "@@z", 35, B, 0, 255, 0},
    {"@xfporup", "@@x1", 33, X, 0, 0, 0x1},  {"@xfpordw", "@@x2", 33, X, 0, 0, 0x2},
    {"@pbrwf", "@@x5", 33, X, 0, 0, 0x5},    {"@fptndly", "@@x6", 33, X, 0, 0, 0x6},
    {"@surround", "@@x9", 33, X, 0, 0, 0x9}, {"@highofs", "@@xa", 33, X, 0, 0, 0xA},
};

}  // namespace

void TCompiler::RegisterEffectCommands() {
  for (const TEffect& fx : kEffects) {
    AddFuncPair(fx.Name, fx.Alias, [this, fx](TFuncResult& r) {
      CheckRowLimit(r);
      if (!r.Success) return;
      const int32_t x = FScanner->ReadValue();
      int32_t param = 0;
      switch (fx.Form) {
        case TArgForm::Byte:
          if (x < fx.Min || x > fx.Max) return Fail(r, msg::kBadValue);
          param = x;
          break;
        case TArgForm::Nibbles: {
          if (x < 0 || x > 15) return Fail(r, msg::kBadValue);
          const int32_t y = FScanner->SkipComma() ? FScanner->ReadValue() : 0;
          if (y < 0 || y > 15) return Fail(r, msg::kBadValue);
          param = x * 16 + y;
          break;
        }
        case TArgForm::Slide:
          if (x < -15 || x > 15) return Fail(r, msg::kBadValue);
          param = x > 0 ? x * 16 : -x;
          break;
        case TArgForm::Sub:
          if (x < 0 || x > 15) return Fail(r, msg::kBadValue);
          param = fx.Sub * 16 + x;
          break;
      }
      AddCell(CurRow(), 0, 0, 0, fx.Type, static_cast<uint8_t>(param));
    });
  }
}

}  // namespace orvate
