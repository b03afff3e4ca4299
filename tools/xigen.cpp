// xigen DIR: writes the bundled instruments lead.xi, pad.xi, bass.xi and drums.xi into DIR.
//
// Tuning: an XM sample plays at 8363 Hz on note C-4 (XM note 49) with relative note 0. A cycle of
// P frames at relative note r therefore sounds 8363 / P Hz, 2^((r - 12) / 12) higher on XM note 37,
// which is "o4 c" in a score. Each looped waveform below sets r so that "o4 c" is middle C.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/XiWriter.h"

namespace {

using namespace orvate::testsupport;

constexpr double kRate = 8363.0;  // frames per second at relative note 12 on "o4 c"
constexpr double kTwoPi = 6.283185307179586;

void MapAll(XiInstrument& inst, uint8_t sample) { inst.keymap.fill(sample); }

// Square wave: a cycle of 32 frames, bright and clear; 8-bit is enough for it.
XiInstrument Lead() {
  XiInstrument inst;
  inst.name = "Square Lead";
  MapAll(inst, 0);
  // Quick decay to a held level; the release is the fadeout after the key-off.
  inst.volumeEnvelope = XiEnvelope::Of({{0, 64}, {4, 52}, {16, 44}}, kEnvSustain, 2);
  inst.fadeout = 0x0600;
  // A gentle vibrato that fades in, so long notes sing.
  inst.vibratoType = 0;
  inst.vibratoSweep = 48;
  inst.vibratoDepth = 3;
  inst.vibratoRate = 12;
  XiSample s = XiSample::Of("square", wave::Square(32 * 4, 32, 56), false, kForwardLoop, 0, 32 * 4);
  s.relativeNote = 12;
  s.volume = 48;
  inst.samples.push_back(s);
  return inst;
}

// Sine with a little of its octave, 16-bit; slow swell, long release, slowly moving panning.
XiInstrument Pad() {
  XiInstrument inst;
  inst.name = "Soft Pad";
  MapAll(inst, 0);
  inst.volumeEnvelope = XiEnvelope::Of({{0, 0}, {24, 48}, {48, 40}}, kEnvSustain, 2);
  inst.panningEnvelope = XiEnvelope::Of({{0, 32}, {64, 20}, {128, 44}, {192, 32}}, kEnvLoop);
  inst.panningEnvelope.loopStart = 0;
  inst.panningEnvelope.loopEnd = 3;
  inst.fadeout = 0x0180;
  const std::vector<int16_t> base = wave::Sine(128, 128, 22000);
  const std::vector<int16_t> octave = wave::Sine(128, 64, 6000);
  std::vector<int16_t> mix(base.size());
  for (std::size_t i = 0; i < mix.size(); ++i) mix[i] = static_cast<int16_t>(base[i] + octave[i]);
  XiSample s = XiSample::Of("sine", mix, true, kForwardLoop, 0, 128);
  s.relativeNote = 36;
  s.volume = 56;
  inst.samples.push_back(s);
  return inst;
}

// Sawtooth, 16-bit: a plucked attack that settles; meant for "o2" and "o3".
XiInstrument Bass() {
  XiInstrument inst;
  inst.name = "Saw Bass";
  MapAll(inst, 0);
  inst.volumeEnvelope = XiEnvelope::Of({{0, 64}, {10, 40}, {30, 32}}, kEnvSustain, 2);
  inst.fadeout = 0x0800;
  XiSample s = XiSample::Of("saw", wave::Saw(64, 64, 24000), true, kForwardLoop, 0, 64);
  s.relativeNote = 24;
  s.volume = 60;
  inst.samples.push_back(s);
  return inst;
}

// Frames of a one-shot sound at kRate, value(t) for t in seconds.
std::vector<int16_t> Render(double seconds, const std::function<double(double)>& value) {
  std::vector<int16_t> v(static_cast<std::size_t>(seconds * kRate));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(std::lround(value(i / kRate)));
  return v;
}

// Two one-shot samples: a kick below "o5 c", a noise burst (snare at o5, hi-hat at o6 and up).
XiInstrument Drums() {
  XiInstrument inst;
  inst.name = "Drum Kit";
  for (std::size_t n = 0; n < 96; ++n) inst.keymap[n] = n < 48 ? 0 : 1;
  // A flat envelope: a key-off then fades the hit out instead of cutting it dead.
  inst.volumeEnvelope = XiEnvelope::Of({{0, 64}, {1, 64}});
  inst.fadeout = 0x0200;

  // Kick: a sine falling from 160 Hz to 50 Hz, 16-bit.
  double phase = 0;
  std::vector<int16_t> kick = Render(0.3, [&phase](double t) {
    phase += kTwoPi * (50.0 + 110.0 * std::exp(-t / 0.04)) / kRate;
    return 30000.0 * std::exp(-t / 0.12) * std::sin(phase);
  });
  XiSample k = XiSample::Of("kick", std::move(kick), true);
  k.relativeNote = 12;
  inst.samples.push_back(k);

  // Noise burst, 8-bit, decaying fast.
  std::vector<int16_t> noise = wave::Noise(2400, 110);
  for (std::size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<int16_t>(std::lround(noise[i] * std::exp(-static_cast<double>(i) / 500.0)));
  XiSample n = XiSample::Of("noise", std::move(noise), false);
  n.relativeNote = 12;
  n.volume = 44;
  inst.samples.push_back(n);
  return inst;
}

bool Save(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "xigen: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xigen DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  const struct {
    const char* file;
    XiInstrument (*make)();
  } instruments[] = {{"lead.xi", Lead}, {"pad.xi", Pad}, {"bass.xi", Bass}, {"drums.xi", Drums}};
  bool ok = true;
  for (const auto& i : instruments) ok = Save(dir + i.file, i.make().Bytes()) && ok;
  return ok ? 0 : 1;
}
