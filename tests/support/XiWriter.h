#pragma once
// Builds the bytes of an XI ("Extended Instrument") file: the 298-byte header, the 40-byte
// sample headers and the delta-encoded sample data. Every field is a plain member, so a test
// can write malformed files as easily as good ones.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvate::testsupport {

namespace xi {

inline void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Cut or zero-padded to exactly width bytes.
inline void PutFixed(std::string& out, const std::string& text, std::size_t width) {
  std::string field = text.substr(0, std::min(text.size(), width));
  field.resize(width, '\0');
  out += field;
}

}  // namespace xi

enum XiLoop : uint8_t { kNoLoop = 0, kForwardLoop = 1, kPingPongLoop = 2 };
enum XiEnvelopeType : uint8_t { kEnvOn = 1, kEnvSustain = 2, kEnvLoop = 4 };
constexpr uint8_t kSample16Bit = 0x10;

struct XiEnvelopePoint {
  uint16_t tick = 0;
  uint16_t value = 0;  // 0 to 64
};

struct XiEnvelope {
  std::array<XiEnvelopePoint, 12> points{};
  uint8_t count = 0;
  uint8_t sustain = 0;
  uint8_t loopStart = 0;
  uint8_t loopEnd = 0;
  uint8_t type = 0;  // XiEnvelopeType bits

  // Points from the front; count follows them and the envelope is switched on.
  static XiEnvelope Of(std::initializer_list<XiEnvelopePoint> pts, uint8_t extraType = 0,
                       uint8_t sustainPoint = 0) {
    XiEnvelope e;
    for (const XiEnvelopePoint& p : pts) {
      if (e.count == e.points.size()) break;
      e.points[e.count++] = p;
    }
    e.type = static_cast<uint8_t>(kEnvOn | extraType);
    e.sustain = sustainPoint;
    return e;
  }
};

// Header lengths are in bytes, as the file stores them; SetFrames fills them from frames.
struct XiSample {
  uint32_t length = 0;
  uint32_t loopStart = 0;
  uint32_t loopLength = 0;
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t type = 0;  // bits 0-1 XiLoop, kSample16Bit
  uint8_t panning = 128;
  int8_t relativeNote = 0;
  uint8_t reserved = 0;
  std::string name;
  std::vector<int16_t> frames;  // 8-bit samples use -128..127

  bool SixteenBit() const { return (type & kSample16Bit) != 0; }

  // Sample values with their length and loop (in frames) turned into the header's byte counts.
  static XiSample Of(std::string name, std::vector<int16_t> frames, bool sixteenBit,
                     XiLoop loop = kNoLoop, uint32_t loopStartFrames = 0,
                     uint32_t loopLengthFrames = 0) {
    XiSample s;
    s.name = std::move(name);
    s.type = static_cast<uint8_t>(loop | (sixteenBit ? kSample16Bit : 0));
    const uint32_t width = sixteenBit ? 2 : 1;
    s.length = static_cast<uint32_t>(frames.size()) * width;
    s.loopStart = loopStartFrames * width;
    s.loopLength = loopLengthFrames * width;
    s.frames = std::move(frames);
    return s;
  }

  void AppendHeader(std::string& out) const {
    xi::PutLE(out, length, 4);
    xi::PutLE(out, loopStart, 4);
    xi::PutLE(out, loopLength, 4);
    out += static_cast<char>(volume);
    out += static_cast<char>(finetune);
    out += static_cast<char>(type);
    out += static_cast<char>(panning);
    out += static_cast<char>(relativeNote);
    out += static_cast<char>(reserved);
    xi::PutFixed(out, name, 22);
  }

  // Each value stored as the difference to the one before, wrapping in the sample's width.
  void AppendData(std::string& out) const {
    int32_t previous = 0;
    for (int16_t v : frames) {
      const uint32_t delta = static_cast<uint32_t>(v - previous);
      xi::PutLE(out, delta, SixteenBit() ? 2 : 1);
      previous = v;
    }
  }
};

struct XiInstrument {
  std::string idText = "Extended Instrument: ";  // 21 bytes
  std::string name;                               // 22 bytes
  uint8_t marker = 0x1A;
  std::string trackerName = "ORVATE xigen";  // 20 bytes
  uint16_t version = 0x0102;
  std::array<uint8_t, 96> keymap{};  // sample index for every note
  XiEnvelope volumeEnvelope;
  XiEnvelope panningEnvelope;
  uint8_t vibratoType = 0;
  uint8_t vibratoSweep = 0;
  uint8_t vibratoDepth = 0;
  uint8_t vibratoRate = 0;
  uint16_t fadeout = 0;
  std::array<uint8_t, 22> reserved{};
  int32_t sampleCount = -1;  // written as is when 0 or more; -1 writes samples.size()
  std::vector<XiSample> samples;
  std::string trailer;  // appended after the sample data, e.g. an extension block

  std::string Bytes() const {
    std::string out;
    xi::PutFixed(out, idText, 21);
    xi::PutFixed(out, name, 22);
    out += static_cast<char>(marker);
    xi::PutFixed(out, trackerName, 20);
    xi::PutLE(out, version, 2);
    for (uint8_t s : keymap) out += static_cast<char>(s);
    for (const XiEnvelope* e : {&volumeEnvelope, &panningEnvelope})
      for (const XiEnvelopePoint& p : e->points) {
        xi::PutLE(out, p.tick, 2);
        xi::PutLE(out, p.value, 2);
      }
    out += static_cast<char>(volumeEnvelope.count);
    out += static_cast<char>(panningEnvelope.count);
    for (const XiEnvelope* e : {&volumeEnvelope, &panningEnvelope}) {
      out += static_cast<char>(e->sustain);
      out += static_cast<char>(e->loopStart);
      out += static_cast<char>(e->loopEnd);
    }
    out += static_cast<char>(volumeEnvelope.type);
    out += static_cast<char>(panningEnvelope.type);
    out += static_cast<char>(vibratoType);
    out += static_cast<char>(vibratoSweep);
    out += static_cast<char>(vibratoDepth);
    out += static_cast<char>(vibratoRate);
    xi::PutLE(out, fadeout, 2);
    for (uint8_t r : reserved) out += static_cast<char>(r);
    xi::PutLE(out, sampleCount >= 0 ? static_cast<uint32_t>(sampleCount)
                                    : static_cast<uint32_t>(samples.size()), 2);
    for (const XiSample& s : samples) s.AppendHeader(out);
    for (const XiSample& s : samples) s.AppendData(out);
    out += trailer;
    return out;
  }
};

// Waveforms: frames samples of period frames each, peak amplitude amp.
namespace wave {

inline std::vector<int16_t> Square(std::size_t frames, std::size_t period, int16_t amp) {
  std::vector<int16_t> v(frames);
  for (std::size_t i = 0; i < frames; ++i) v[i] = (i % period) < period / 2 ? amp : static_cast<int16_t>(-amp);
  return v;
}

inline std::vector<int16_t> Saw(std::size_t frames, std::size_t period, int16_t amp) {
  std::vector<int16_t> v(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double phase = static_cast<double>(i % period) / static_cast<double>(period);
    v[i] = static_cast<int16_t>(std::lround(amp * (2.0 * phase - 1.0)));
  }
  return v;
}

inline std::vector<int16_t> Sine(std::size_t frames, std::size_t period, int16_t amp) {
  const double kTwoPi = 6.283185307179586;
  std::vector<int16_t> v(frames);
  for (std::size_t i = 0; i < frames; ++i)
    v[i] = static_cast<int16_t>(std::lround(amp * std::sin(kTwoPi * static_cast<double>(i % period) /
                                                           static_cast<double>(period))));
  return v;
}

// Deterministic white noise (a 32-bit xorshift), the same for the same seed.
inline std::vector<int16_t> Noise(std::size_t frames, int16_t amp, uint32_t seed = 0x2545F491u) {
  std::vector<int16_t> v(frames);
  uint32_t x = seed == 0 ? 1u : seed;
  for (std::size_t i = 0; i < frames; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const double unit = static_cast<double>(x) / 4294967295.0 * 2.0 - 1.0;
    v[i] = static_cast<int16_t>(std::lround(amp * unit));
  }
  return v;
}

}  // namespace wave

}  // namespace orvate::testsupport
