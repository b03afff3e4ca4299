#pragma once
// Reading the files that are served, and the type each is served as.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvate::studio {

// By extension, case-insensitively; anything unknown is application/octet-stream.
std::string ContentTypeFor(std::string_view fileName);

// The whole content of a regular file (a FIFO or a directory gives nothing, without blocking).
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path);

}  // namespace orvate::studio
