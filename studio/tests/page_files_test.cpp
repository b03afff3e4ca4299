#include <gtest/gtest.h>
#include <sys/stat.h>

#include "PageFiles.h"
#include "ScoreText.h"
#include "StudioRoutes.h"
#include "StudioTestSupport.h"

namespace orvate::studio {
namespace {

using studiotest::TempDir;
using studiotest::WriteFile;

TEST(StudioFiles, ContentTypes) {
  const std::pair<const char*, const char*> cases[] = {
      {"index.html", "text/html; charset=utf-8"},
      {"app.js", "text/javascript; charset=utf-8"},
      {"orvate.mjs", "text/javascript; charset=utf-8"},
      {"style.css", "text/css; charset=utf-8"},
      {"orvate.wasm", "application/wasm"},
      {"ORVATE.WASM", "application/wasm"},
      {"list.json", "application/json"},
      {"logo.png", "image/png"},
      {"icon.svg", "image/svg+xml"},
      {"demo.mml", "application/octet-stream"},
      {"examples/lead.xi", "application/octet-stream"},
      {"a.b/README", "application/octet-stream"},
      {".js", "application/octet-stream"},
      {"archive.tar.gz", "application/octet-stream"},
  };
  for (const auto& [name, type] : cases) EXPECT_EQ(ContentTypeFor(name), type) << name;
}

TEST(StudioFiles, ReadsOnlyRegularFiles) {
  TempDir t;
  const std::string bytes("\0asm\x01\0\0\0\xff", 9);
  WriteFile(t / "m.wasm", bytes);
  EXPECT_EQ(ReadRegularFile(t / "m.wasm"), bytes);
  WriteFile(t / "empty", "");
  EXPECT_EQ(ReadRegularFile(t / "empty"), std::string());
  EXPECT_FALSE(ReadRegularFile(t.path()).has_value());
  EXPECT_FALSE(ReadRegularFile(t / "missing").has_value());
  // A FIFO without a writer: must come back at once, not wait.
  ASSERT_EQ(::mkfifo((t / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(ReadRegularFile(t / "fifo").has_value());
}

TEST(StudioFiles, Utf8Table) {
  const std::pair<std::string, bool> cases[] = {
      {"song.mml", true},
      {"\xE6\x9B\xB2.mml", true},            // UTF-8
      {"\x8B\xC8.mml", false},               // the same name in cp932
      {"\xF0\x9F\x8E\xB5", true},            // 4 bytes
      {"\xC0\xAF", false},                   // overlong
      {"\xED\xA0\x80", false},               // surrogate
      {"\xF4\x90\x80\x80", false},           // beyond U+10FFFF
      {"\xE6\x9B", false},                   // cut short
      {"\xFF", false},
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(IsValidUtf8(bytes), valid) << bytes;
}

}  // namespace
}  // namespace orvate::studio
