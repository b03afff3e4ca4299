#include <gtest/gtest.h>

#include "RequestGuard.h"
#include "StudioTestSupport.h"

namespace orvate::studio {
namespace {

namespace fs = std::filesystem;
using studiotest::TempDir;
using studiotest::WriteFile;

TEST(StudioGuard, HostTable) {
  for (const char* host : {"127.0.0.1:8932", "localhost:8932"}) {
    EXPECT_TRUE(IsAllowedHost(host, 8932)) << host;
  }
  const char* refused[] = {
      "127.0.0.1",        "localhost",          "evil.example:8932",      "evil.example",
      "127.0.0.1:8933",   "localhost:89320",    "127.0.0.1:08932",        "LOCALHOST:8932",
      "localhost.:8932",  "127.0.0.1.evil.example:8932",                  "127.0.0.1:8932.evil",
      "127.0.0.1:8932 ",  " 127.0.0.1:8932",    "user@127.0.0.1:8932",    "[::1]:8932",
      "0.0.0.0:8932",     "127.1:8932",         "2130706433:8932",        "127.0.0.1:8932,evil:8932",
      "",                 ":8932",              "127.0.0.1:",
  };
  for (const char* host : refused) EXPECT_FALSE(IsAllowedHost(host, 8932)) << '"' << host << '"';
  EXPECT_TRUE(IsAllowedHost("localhost:1", 1));
  EXPECT_FALSE(IsAllowedHost("localhost:8932", 1));
}

TEST(StudioGuard, TargetsThatNamePageFiles) {
  const std::pair<const char*, const char*> cases[] = {
      {"/", "index.html"},
      {"/?fresh=1", "index.html"},
      {"/index.html", "index.html"},
      {"/app.js?v=3", "app.js"},
      {"/examples/inst.xi", "examples/inst.xi"},
      {"/%69ndex.html", "index.html"},
      {"/a%20b.js", "a b.js"},
      {"/a+b.js", "a+b.js"},
      {"/%E6%9B%B2.mml", "\xE6\x9B\xB2.mml"},
      {"/x..y.js", "x..y.js"},
  };
  for (const auto& [target, relative] : cases) {
    const auto got = PagePathFromTarget(target);
    ASSERT_TRUE(got.has_value()) << target;
    EXPECT_EQ(*got, relative) << target;
  }
}

TEST(StudioGuard, TargetsRefused) {
  const std::string refused[] = {
      "",             "index.html",       "*",              "http://evil.example/index.html",
      "/..",          "/../x",            "/a/../b",        "/a/..",
      "/.",           "/./a",             "/%2e%2e/x",      "/%2E%2E/x",
      "/.%2e/x",      "/%2e",             "/a%2f..%2fb",    "/a%2Fb",
      "/a%5cb",       "/a\\b",            "/..\\x",         "/%5c..%5cx",
      std::string("/a\0.js", 6),          "/a%00.js",       "/a%0a",
      "/a\tb",        "/a%7f",            "/%",             "/%2",
      "/%zz",         "/%2g",             "//etc/passwd",   "/a//b",
      "/a/",          "/.git/config",     "/.env",          "/a/.hidden",
      "/%2e%2e%2f%2e%2e%2fetc%2fpasswd",  "/..%252f",
  };
  for (const std::string& target : refused) {
    EXPECT_FALSE(PagePathFromTarget(target).has_value()) << '"' << target << '"';
  }
}

class StudioGuardFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = t_ / "page";
    WriteFile(root_ / "index.html", "i");
    WriteFile(root_ / "sub/a.js", "a");
    WriteFile(t_ / "outside/secret", "s");
    WriteFile(t_ / "page-evil/x", "x");
    fs::create_symlink("index.html", root_ / "inside-link");
    fs::create_symlink("sub", root_ / "dir-link");
    fs::create_symlink(t_ / "outside/secret", root_ / "out-link");
    fs::create_symlink("../outside/secret", root_ / "out-rel-link");
    fs::create_symlink(t_ / "outside", root_ / "out-dir-link");
    fs::create_symlink("../page-evil/x", root_ / "sibling-link");
    fs::create_symlink("nowhere", root_ / "dangling");
    ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
  }
  TempDir t_;
  fs::path root_;
};

TEST_F(StudioGuardFiles, ResolveTable) {
  const std::pair<const char*, const char*> found[] = {
      {"index.html", "index.html"},
      {"sub/a.js", "sub/a.js"},
      {"inside-link", "index.html"},
      {"dir-link/a.js", "sub/a.js"},
  };
  for (const auto& [relative, real] : found) {
    const auto got = ResolveUnderRoot(root_, relative);
    ASSERT_TRUE(got.has_value()) << relative;
    EXPECT_EQ(*got, root_ / real) << relative;
  }
  const std::string refused[] = {
      "out-link", "out-rel-link", "out-dir-link/secret", "sibling-link", "dangling", "sub", "dir-link",
      "missing", "fifo", "", (t_ / "outside/secret").string(), "../outside/secret", "sub/../../outside/secret",
  };
  for (const std::string& relative : refused) {
    EXPECT_FALSE(ResolveUnderRoot(root_, relative).has_value()) << relative;
  }
}

}  // namespace
}  // namespace orvate::studio
