// XI instruments copied into the module, with a placeholder for a missing or short file.
#include <cstring>

#include "app/AppUtils.h"
#include "xm/xmfU.h"

namespace orvate {

namespace {

constexpr std::size_t kXiHeaderSize = 298;
constexpr std::size_t kExtensionSize = 1099;

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void WritePlaceholder(std::string& out) {
  PutLE(out, 29, 4);
  out.append("Instrument ImportError", 22);
  out += '\0';
  PutLE(out, 0, 2);
}

void WriteXi(std::string& out, const std::string& xi) {
  PutLE(out, 263, 4);
  out.append(xi, 21, 22);
  out += '\0';
  out.append(xi, 296, 2);
  PutLE(out, 40, 4);
  out.append(xi, 66, 230);
  const std::size_t size = xi.size();
  std::size_t tail = 0;
  if (size >= kXiHeaderSize + kExtensionSize && xi.compare(size - kExtensionSize, 4, "XTPM") == 0)
    tail = kExtensionSize;
  out.append(xi, kXiHeaderSize, size - kXiHeaderSize - tail);
}

}  // namespace

bool TXMSong::WriteInstruments(std::string& image) {
  PlaceholderInsts.assign(InstFiles.size(), 0);
  if (InstFiles.empty()) return true;
  if (!InstLibDir.empty()) {
    const char last = InstLibDir.back();
    if (last != '/' && last != '\\') InstLibDir += '/';
  }
  for (std::size_t i = 0; i < InstFiles.size(); ++i) {
    std::string& entry = InstFiles[i];
    if (!Files->Exists(entry)) {
      std::string candidate = InstLibDir + ExtractFileName(entry);
      if (Files->Exists(candidate)) entry = std::move(candidate);
    }
    std::string xi;
    if (Files->Exists(entry) && !Files->Read(entry, xi)) return false;
    if (xi.size() <= kXiHeaderSize) {
      WritePlaceholder(image);
      PlaceholderInsts[i] = 1;
    } else {
      WriteXi(image, xi);
    }
  }
  return true;
}

}  // namespace orvate
