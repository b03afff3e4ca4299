#pragma once
// The score on disk: its bytes, a cheap signature to notice changes, and the one way it
// is ever written.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace orvate::studio {

// What stat tells without reading the file; a different signature means "read it again".
struct FileSignature {
  bool exists = false;
  std::uint64_t size = 0, inode = 0;
  std::int64_t mtimeNs = 0, ctimeNs = 0;
  bool operator==(const FileSignature&) const = default;
};

FileSignature SignatureOf(const std::filesystem::path& path);

// Replaces the file path names (the file a link points to, when it is a link) with bytes:
// a temporary file beside it, flushed to disk, given the old file's mode and renamed over
// it, so that a reader sees the old or the new content, never a mix. error says why on failure.
bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes, std::string& error);

}  // namespace orvate::studio
