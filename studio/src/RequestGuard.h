#pragma once
// What a request must satisfy before anything is served. Plain functions over strings
// and paths, so they can be checked without a socket.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvate::studio {

// A page on another site can make its own name resolve to 127.0.0.1; the browser then
// sends that name in Host. Only our own address, spelled exactly, is answered.
bool IsAllowedHost(std::string_view host, int port);

// A browser names the page that made a request in Origin; only our own page may talk to us.
bool IsAllowedOrigin(std::string_view origin, int port);

// The request target ("/a/b.js?x") as a path relative to the page root ("a/b.js"), or
// nothing when it is not a plain path: dot segments, empty segments, encoded slashes or
// backslashes, control bytes, bad escapes, names starting with a dot. "/" is index.html.
std::optional<std::string> PagePathFromTarget(std::string_view target);

// The file a relative page path names, once every link is followed, provided it is a
// regular file inside realRoot (which must itself be canonical).
std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& realRoot,
                                                      const std::string& relative);

}  // namespace orvate::studio
