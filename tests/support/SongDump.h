#pragma once
// A compact, readable form of a channel's cells: "row:n37i1v50e4d34", zero parts left out,
// volume column and effect parameter in hex.
#include <cstdio>
#include <string>

#include "xm/xmfU.h"

namespace orvate::testsupport {

inline std::string DumpChannel(const TXMSong& song, int pattern, int channel) {
  if (pattern >= static_cast<int>(song.Patterns.size())) return "-";
  const TXMPattern& p = song.Patterns[static_cast<std::size_t>(pattern)];
  if (channel >= static_cast<int>(p.Channels.size())) return "-";
  std::string out;
  char buf[64];
  for (const TXMEvent& e : p.Channels[static_cast<std::size_t>(channel)].Events) {
    if (!out.empty()) out += ' ';
    out += std::to_string(e.Time) + ":";
    if (e.Note) out += "n" + std::to_string(e.Note);
    if (e.Inst) out += "i" + std::to_string(e.Inst);
    if (e.VCol) { std::snprintf(buf, sizeof buf, "v%02X", e.VCol); out += buf; }
    if (e.Event || e.Data) { std::snprintf(buf, sizeof buf, "e%ud%02X", unsigned{e.Event}, e.Data); out += buf; }
  }
  return out;
}

}  // namespace orvate::testsupport
