// The event log: every event the song holds, pattern by pattern, channel by channel.
#include <cstdio>

#include "app/AppUtils.h"
#include "xm/xmfU.h"

namespace orvate {

std::string TXMSong::EventLogText() const {
  std::string out;
  char line[128];
  if (Patterns.empty()) return "#PATTERN NotFound\r\n";
  for (std::size_t p = 0; p < Patterns.size(); ++p) {
    std::snprintf(line, sizeof line, "#PATTERN(%zu)\r\n", p);
    out += line;
    const TXMPattern& pat = Patterns[p];
    if (pat.Channels.empty()) {
      out += " #CHANNEL NotFound\r\n";
      continue;
    }
    for (std::size_t c = 0; c < pat.Channels.size(); ++c) {
      std::snprintf(line, sizeof line, " #CHANNEL(%zu)\r\n", c);
      out += line;
      const std::vector<TXMEvent>& events = pat.Channels[c].Events;
      if (events.empty()) {
        out += "   NoEvent\r\n";
        continue;
      }
      for (const TXMEvent& e : events) {
        std::snprintf(line, sizeof line,
                      "   Event:Time(%6d),Note(%3u),Inst(%3u),VCol(%3u),Event(%3u),Data(%3u)\r\n",
                      static_cast<int>(e.Time), unsigned{e.Note}, unsigned{e.Inst}, unsigned{e.VCol},
                      unsigned{e.Event}, unsigned{e.Data});
        out += line;
      }
    }
  }
  return out;
}

bool TXMSong::SaveEventLog(const std::string& path) const {
  return WriteFileAtomically(path, EventLogText());
}

}  // namespace orvate
