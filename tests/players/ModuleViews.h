#pragma once
// What libopenmpt and libxmp read from an XM image, compared with the song model that was saved.
// Each library converts the file into its own pattern representation; the Expected* functions
// below apply those conversions to the model's cells, so the comparisons themselves are exact.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "app/AppUtils.h"
#include "xm/xmfU.h"

namespace orvate::players {

class OpenMptModule {
 public:
  explicit OpenMptModule(const std::string& xm)
      : mod_(openmpt_module_create_from_memory2(xm.data(), xm.size(), openmpt_log_func_silent,
                                                nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                                nullptr, nullptr)) {}
  ~OpenMptModule() {
    if (mod_ != nullptr) openmpt_module_destroy(mod_);
  }
  OpenMptModule(const OpenMptModule&) = delete;
  OpenMptModule& operator=(const OpenMptModule&) = delete;

  // Null when libopenmpt refused the image.
  openmpt_module* get() const { return mod_; }

 private:
  openmpt_module* mod_;
};

// libopenmpt hands out strings that the caller must free.
inline std::string TakeString(const char* s) {
  std::string out = s != nullptr ? s : "";
  openmpt_free_string(s);
  return out;
}

class XmpModule {
 public:
  explicit XmpModule(const std::string& xm) : ctx_(xmp_create_context()) {
    rc_ = xmp_load_module_from_memory(ctx_, xm.data(), static_cast<long>(xm.size()));
    if (rc_ == 0) xmp_get_module_info(ctx_, &info_);
  }
  ~XmpModule() {
    if (rc_ == 0) xmp_release_module(ctx_);
    xmp_free_context(ctx_);
  }
  XmpModule(const XmpModule&) = delete;
  XmpModule& operator=(const XmpModule&) = delete;

  // 0, or the negated XMP_ERROR_* code of a refused image.
  int rc() const { return rc_; }
  const xmp_module& mod() const { return *info_.mod; }
  const xmp_module_info& info() const { return info_; }
  const xmp_event& Event(int pattern, int channel, int row) const {
    const xmp_module& m = mod();
    return m.xxt[m.xxp[pattern]->index[channel]]->event[row];
  }

 private:
  xmp_context ctx_;
  int rc_ = -1;
  xmp_module_info info_{};
};

// ---- Names ----

// A fixed-width name field up to its first zero byte, trailing spaces removed.
inline std::string FieldText(const char* bytes, std::size_t width) {
  std::string s(bytes, std::find(bytes, bytes + width, '\0'));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// libxmp: every byte outside 0x20..0x7E becomes the replacement, then trailing spaces go. The
// module name gets spaces; instrument names get dots.
inline std::string XmpName(const char* bytes, std::size_t width, char replacement) {
  std::string s(bytes, std::find(bytes, bytes + width, '\0'));
  for (char& ch : s)
    if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) > 0x7E) ch = replacement;
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// libopenmpt decodes names as code page 437 into UTF-8: bytes below 0x7F stay as they are,
// 0x7F and above each become one non-ASCII code point (the code page's graphic).
inline bool OpenMptNameMatches(const std::string& fieldText, const std::string& utf8) {
  std::vector<uint32_t> cps;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    uint32_t cp = len == 1 ? b : b & (0x3F >> (len - 1));
    for (int k = 1; k < len && i + static_cast<std::size_t>(k) < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
    cps.push_back(cp);
    i += static_cast<std::size_t>(len);
  }
  if (cps.size() != fieldText.size()) return false;
  for (std::size_t i = 0; i < cps.size(); ++i) {
    const auto b = static_cast<unsigned char>(fieldText[i]);
    if (b < 0x7F ? cps[i] != b : cps[i] < 0x80) return false;
  }
  return true;
}

inline constexpr char kPlaceholderName[] = "Instrument ImportError";

// The 22 name bytes instrument i gets: those of its XI file, or the placeholder's.
inline std::string InstrumentNameField(const TXMSong& song, std::size_t i) {
  std::string xi;
  if (ReadWholeFile(song.InstFiles[i], xi) && xi.size() > 298) return xi.substr(21, 22);
  return kPlaceholderName;
}

inline bool IsPlaceholder(const TXMSong& song, std::size_t i) {
  return InstrumentNameField(song, i) == kPlaceholderName;
}

// ---- Layouts each library reads its own way (docs/players.md) ----

// A 0-row pattern is read as 64 rows; more than 1024 rows are cut to 1024.
inline int OpenMptRows(int32_t rowCount) { return rowCount == 0 ? 64 : std::min(rowCount, 1024); }
// A 0-row pattern is read as 256 rows.
inline int XmpRows(int32_t rowCount) { return rowCount == 0 ? 256 : rowCount; }

inline bool OpenMptRefuses(const TXMSong& song) { return song.ChannelCount == 0; }
inline bool XmpRefuses(const TXMSong& song) {
  if (song.DefaultTempo >= 32) return true;
  for (const TXMPattern& p : song.Patterns)
    if (p.RowCount > 256) return true;
  return false;
}

// ---- Cells ----

// libopenmpt's view of one cell: raw note, instrument and values; the volume-column form and the
// effect as the letters of its XM notation (format_pattern_row_channel_command).
struct OpenMptCell {
  int note = 0;
  int inst = 0;
  char volEffect = ' ';
  int vol = 0;
  char effect = '.';
  int param = 0;
  bool operator==(const OpenMptCell&) const = default;
};

inline std::string Describe(const OpenMptCell& c) {
  return "note " + std::to_string(c.note) + " inst " + std::to_string(c.inst) + " vol '" +
         c.volEffect + "' " + std::to_string(c.vol) + " effect '" + c.effect + "' " +
         std::to_string(c.param);
}

inline constexpr char kEffectCodes[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

inline OpenMptCell ExpectedOpenMpt(const TXMEvent& e) {
  OpenMptCell c;
  // Notes are numbered an octave up (XM 1 is 13); the key-off 97 becomes its key-off note 255.
  c.note = e.Note == 97 ? 255 : e.Note == 0 ? 0 : e.Note + 12;
  c.inst = e.Inst;
  // Volume column: one letter per XM form; set-volume keeps 0..64, panning 0..15 is scaled by 4
  // to 0..60, every other form keeps its low nibble.
  const int y = e.VCol & 0x0F;
  if (e.VCol >= 0x10 && e.VCol <= 0x50) {
    c.volEffect = 'v';
    c.vol = e.VCol - 0x10;
  } else if (e.VCol >= 0x60) {
    c.volEffect = "dcbauhplrg"[(e.VCol >> 4) - 6];
    c.vol = (e.VCol >> 4) == 0xC ? y * 4 : y;
  }
  // Effect: the XM code letter with the parameter, except the pattern break Dxy, whose
  // decimal-coded parameter is stored as its value x * 10 + y.
  if (e.Event != 0 || e.Data != 0) {
    c.effect = e.Event < 36 ? kEffectCodes[e.Event] : '?';
    c.param = e.Event == 0x0D ? (e.Data >> 4) * 10 + (e.Data & 0x0F) : e.Data;
  }
  return c;
}

inline OpenMptCell ReadOpenMpt(openmpt_module* m, int pattern, int row, int channel) {
  auto raw = [&](int command) {
    return static_cast<int>(
        openmpt_module_get_pattern_row_channel_command(m, pattern, row, channel, command));
  };
  auto letter = [&](int command) {
    const std::string s = TakeString(
        openmpt_module_format_pattern_row_channel_command(m, pattern, row, channel, command));
    return s.empty() ? '\0' : s[0];
  };
  OpenMptCell c;
  c.note = raw(OPENMPT_MODULE_COMMAND_NOTE);
  c.inst = raw(OPENMPT_MODULE_COMMAND_INSTRUMENT);
  c.volEffect = letter(OPENMPT_MODULE_COMMAND_VOLUMEEFFECT);
  c.vol = raw(OPENMPT_MODULE_COMMAND_VOLUME);
  c.effect = letter(OPENMPT_MODULE_COMMAND_EFFECT);
  c.param = raw(OPENMPT_MODULE_COMMAND_PARAMETER);
  return c;
}

inline std::string Describe(const xmp_event& e) {
  return "note " + std::to_string(e.note) + " ins " + std::to_string(e.ins) + " vol " +
         std::to_string(e.vol) + " fx " + std::to_string(e.fxt) + "/" + std::to_string(e.fxp) +
         " fx2 " + std::to_string(e.f2t) + "/" + std::to_string(e.f2p);
}

inline bool SameXmpEvent(const xmp_event& a, const xmp_event& b) {
  return a.note == b.note && a.ins == b.ins && a.vol == b.vol && a.fxt == b.fxt && a.fxp == b.fxp &&
         a.f2t == b.f2t && a.f2p == b.f2p;
}

// libxmp's XM loader conversions, in its order. Effect numbers are libxmp's own (FX_* of its
// effects.h); for the XM effects 0 to Y they equal the XM codes.
inline xmp_event ExpectedXmp(const TXMEvent& e) {
  constexpr uint8_t kToneporta = 0x03, kVibrato = 0x04, kToneVslide = 0x05, kSetpan = 0x08,
                    kOffset = 0x09, kVolslide = 0x0A, kExtended = 0x0E, kVolslide2 = 0xA4,
                    kPanslideNoMem = 0xB5;
  constexpr uint8_t kNotPlayedInXm[] = {18, 19, 22, 23, 24, 26, 28, 30, 31, 32};
  xmp_event x{};
  x.ins = e.Inst;
  x.fxt = e.Event;
  x.fxp = e.Data;
  // Effect types it does not play in XM are dropped; the parameter stays (so Zxx reads as 0xx).
  if (x.fxt > 34 || std::find(std::begin(kNotPlayedInXm), std::end(kNotPlayedInXm), x.fxt) !=
                        std::end(kNotPlayedInXm))
    x.fxt = 0;
  // Notes are numbered an octave up; the key-off becomes XMP_KEY_OFF, or XMP_KEY_FADE when the
  // cell names an instrument and holds no note delay EDx.
  if (e.Note == 97)
    x.note = e.Inst != 0 && !(x.fxt == kExtended && (x.fxp >> 4) == 0xD) ? XMP_KEY_FADE : XMP_KEY_OFF;
  else if (e.Note != 0)
    x.note = static_cast<unsigned char>(e.Note + 12);
  // Waveform 3 of E4x and E7x is read as waveform 2.
  if (x.fxt == kExtended && (x.fxp == 0x43 || x.fxp == 0x73)) --x.fxp;
  // Volume column: set-volume v becomes vol v + 1; the other forms become a second effect.
  const uint8_t v = e.VCol, y = v & 0x0F;
  if (v >= 0x10 && v <= 0x50) {
    x.vol = static_cast<unsigned char>(v - 0x0F);
    return x;
  }
  if (v < 0x60) return x;
  const auto hi = static_cast<uint8_t>(y << 4);
  struct Second {
    uint8_t type, param;
  };
  const Second second[] = {
      // 6y volume slide down, 7y up, 8y fine down (EBy), 9y fine up (EAy)
      {kVolslide2, y}, {kVolslide2, hi}, {kExtended, static_cast<uint8_t>(0xB0 | y)},
      {kExtended, static_cast<uint8_t>(0xA0 | y)},
      // Ay vibrato speed, By vibrato depth, Cy panning, Dy pan slide left, Ey right, Fy tone portamento
      {kVibrato, hi}, {kVibrato, y}, {kSetpan, hi}, {kPanslideNoMem, hi}, {kPanslideNoMem, y},
      {kToneporta, hi},
  };
  x.f2t = second[(v >> 4) - 6].type;
  x.f2p = second[(v >> 4) - 6].param;
  if (x.f2t == kToneporta) {
    // Tone portamento in both columns: the effect goes (a 5xy leaves a bare volume slide) and
    // the volume column's speed doubles, as FT2 plays it.
    if (x.fxt == kToneporta || x.fxt == kToneVslide) {
      x.fxt = x.fxt == kToneporta ? 0 : kVolslide;
      x.fxp = 0;
      x.f2p = x.f2p < 0x80 ? static_cast<uint8_t>(x.f2p << 1) : 0xFF;
    }
    // A sample offset beside a tone portamento is ignored.
    if (x.fxt == kOffset) x.fxt = x.fxp = 0;
  }
  return x;
}

// ---- Comparison ----

// Mismatches found, the first few kept as text.
class Mismatches {
 public:
  void Add(const std::string& what) {
    if (count_++ < 20) text_ += "  " + what + "\n";
  }
  int count() const { return count_; }
  const std::string& text() const { return text_; }

 private:
  int count_ = 0;
  std::string text_;
};

// Calls f(pattern, row, channel, cell) for every cell a library reads from the saved song: rows
// up to libRows(RowCount), channels up to ChannelCount; rows the writer left out are empty.
template <typename Rows, typename F>
void ForEachCell(const TXMSong& song, Rows libRows, F f) {
  const TXMEvent empty{};
  for (std::size_t p = 0; p < song.Patterns.size(); ++p) {
    const TXMPattern& pat = song.Patterns[p];
    const int rows = libRows(pat.RowCount);
    for (int c = 0; c < song.ChannelCount; ++c) {
      const std::vector<TXMEvent>& events = pat.Channels[static_cast<std::size_t>(c)].Events;
      std::size_t next = 0;
      for (int r = 0; r < rows; ++r) {
        while (next < events.size() && events[next].Time < r) ++next;
        const bool here = r < pat.RowCount && next < events.size() && events[next].Time == r;
        f(static_cast<int>(p), r, c, here ? events[next] : empty);
      }
    }
  }
}

inline std::string Where(int p, int r, int c) {
  return "pattern " + std::to_string(p) + " row " + std::to_string(r) + " channel " + std::to_string(c);
}

inline void ExpectOpenMptMatchesModel(const TXMSong& song, openmpt_module* m) {
  Mismatches bad;
  const std::string title = TakeString(openmpt_module_get_metadata(m, "title"));
  EXPECT_TRUE(OpenMptNameMatches(FieldText(song.ModuleName.data(), 20), title)) << title;
  EXPECT_EQ(openmpt_module_get_num_channels(m), song.ChannelCount);
  EXPECT_EQ(openmpt_module_get_current_speed(m), song.DefaultTempo);
  EXPECT_EQ(openmpt_module_get_current_tempo(m), song.DefaultBPM);
  EXPECT_EQ(openmpt_module_get_num_orders(m), song.SongLength);
  for (int i = 0; i < std::min<int>(song.SongLength, openmpt_module_get_num_orders(m)); ++i) {
    const int got = openmpt_module_get_order_pattern(m, i);
    if (got != song.OrderTable[static_cast<std::size_t>(i)])
      bad.Add("order " + std::to_string(i) + ": " + std::to_string(got));
  }
  EXPECT_EQ(openmpt_module_get_num_patterns(m), song.PatternCount);
  for (std::size_t p = 0; p < song.Patterns.size(); ++p) {
    const int got = openmpt_module_get_pattern_num_rows(m, static_cast<int32_t>(p));
    if (got != OpenMptRows(song.Patterns[p].RowCount))
      bad.Add("pattern " + std::to_string(p) + " rows " + std::to_string(got));
  }
  EXPECT_EQ(openmpt_module_get_num_instruments(m), song.InstrumentCount);
  for (std::size_t i = 0; i < song.InstFiles.size(); ++i) {
    const std::string field = InstrumentNameField(song, i);
    const std::string got = TakeString(openmpt_module_get_instrument_name(m, static_cast<int32_t>(i)));
    if (!OpenMptNameMatches(FieldText(field.data(), field.size()), got))
      bad.Add("instrument " + std::to_string(i + 1) + " name '" + got + "'");
  }
  ForEachCell(song, OpenMptRows, [&](int p, int r, int c, const TXMEvent& e) {
    const OpenMptCell want = ExpectedOpenMpt(e);
    const OpenMptCell got = ReadOpenMpt(m, p, r, c);
    if (!(want == got))
      bad.Add(Where(p, r, c) + ": want " + Describe(want) + ", got " + Describe(got));
  });
  EXPECT_EQ(bad.count(), 0) << "libopenmpt disagrees with the model:\n" << bad.text();
}

inline void ExpectXmpMatchesModel(const TXMSong& song, const XmpModule& x) {
  const xmp_module& mod = x.mod();
  Mismatches bad;
  EXPECT_EQ(std::string(mod.name), XmpName(song.ModuleName.data(), 20, ' '));
  EXPECT_EQ(mod.chn, song.ChannelCount);
  EXPECT_EQ(mod.spd, song.DefaultTempo);
  EXPECT_EQ(mod.bpm, song.DefaultBPM);
  EXPECT_EQ(mod.len, song.SongLength);
  for (int i = 0; i < std::min<int>(song.SongLength, mod.len); ++i)
    if (mod.xxo[i] != song.OrderTable[static_cast<std::size_t>(i)])
      bad.Add("order " + std::to_string(i) + ": " + std::to_string(mod.xxo[i]));
  // The loader appends one empty 64-row pattern after those of the file.
  EXPECT_EQ(mod.pat, song.PatternCount + 1);
  if (mod.pat == song.PatternCount + 1 && mod.xxp[song.PatternCount]->rows != 64)
    bad.Add("appended pattern rows " + std::to_string(mod.xxp[song.PatternCount]->rows));
  bool shapeAgrees = mod.chn == song.ChannelCount && mod.pat == song.PatternCount + 1;
  for (std::size_t p = 0; p < song.Patterns.size() && static_cast<int>(p) < mod.pat; ++p)
    if (mod.xxp[p]->rows != XmpRows(song.Patterns[p].RowCount)) {
      bad.Add("pattern " + std::to_string(p) + " rows " + std::to_string(mod.xxp[p]->rows));
      shapeAgrees = false;
    }
  EXPECT_EQ(mod.ins, song.InstrumentCount);
  for (std::size_t i = 0; i < song.InstFiles.size() && static_cast<int>(i) < mod.ins; ++i) {
    // A placeholder that ends the file is too short for the loader's 33-byte read: its name is lost.
    const bool lost = i + 1 == song.InstFiles.size() && IsPlaceholder(song, i);
    const std::string field = InstrumentNameField(song, i);
    const std::string want = lost ? "" : XmpName(field.data(), field.size(), '.');
    if (want != mod.xxi[i].name)
      bad.Add("instrument " + std::to_string(i + 1) + " name '" + mod.xxi[i].name + "'");
  }
  // The cells are only where the model expects them when the shape agrees.
  if (shapeAgrees) {
    ForEachCell(song, XmpRows, [&](int p, int r, int c, const TXMEvent& e) {
      const xmp_event want = ExpectedXmp(e);
      const xmp_event& got = x.Event(p, c, r);
      if (!SameXmpEvent(want, got))
        bad.Add(Where(p, r, c) + ": want " + Describe(want) + ", got " + Describe(got));
    });
  }
  EXPECT_EQ(bad.count(), 0) << "libxmp disagrees with the model:\n" << bad.text();
}

// Both libraries against the saved model; where one refuses a layout, that refusal is asserted.
inline void ExpectPlayersMatchModel(const TXMSong& song, const std::string& xm) {
  const OpenMptModule m(xm);
  if (OpenMptRefuses(song)) {
    EXPECT_EQ(m.get(), nullptr) << "libopenmpt loaded a module without channels";
  } else {
    EXPECT_NE(m.get(), nullptr) << "libopenmpt refused the module";
    if (m.get() != nullptr) ExpectOpenMptMatchesModel(song, m.get());
  }
  const XmpModule x(xm);
  if (XmpRefuses(song)) {
    EXPECT_EQ(x.rc(), -XMP_ERROR_LOAD);
  } else {
    EXPECT_EQ(x.rc(), 0) << "libxmp refused the module";
    if (x.rc() == 0) ExpectXmpMatchesModel(song, x);
  }
}

}  // namespace orvate::players
