#include <gtest/gtest.h>

#include "PageRoot.h"
#include "StudioTestSupport.h"

namespace orvate::studio {
namespace {

namespace fs = std::filesystem;
using studiotest::TempDir;
using studiotest::WriteFile;

TEST(StudioPageRoot, CandidatesInOrder) {
  const auto c = PageRootCandidates("/opt/x/bin", "/src/web/dist");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].lexically_normal(), "/opt/x/share/orvate/studio");
  EXPECT_EQ(c[1], "/opt/x/bin/studio-page");
  EXPECT_EQ(c[2], "/src/web/dist");
  EXPECT_EQ(PageRootCandidates("", "/src/web/dist").size(), 1u);
}

TEST(StudioPageRoot, FirstCandidateWithIndexWins) {
  TempDir t;
  fs::create_directories(t / "empty");
  WriteFile(t / "second/index.html", "2");
  WriteFile(t / "third/index.html", "3");
  fs::create_directories(t / "dir-named-index/index.html");
  const auto r = FindPageRoot("", {t / "missing", t / "empty", t / "dir-named-index", t / "second", t / "third"});
  EXPECT_EQ(r.root, t / "second");
  EXPECT_TRUE(r.error.empty());
}

TEST(StudioPageRoot, ResultIsCanonical) {
  TempDir t;
  WriteFile(t / "real/index.html", "x");
  fs::create_symlink(t / "real", t / "link");
  EXPECT_EQ(FindPageRoot("", {t / "link/../link"}).root, t / "real");
  EXPECT_EQ(FindPageRoot((t / "link").string(), {}).root, t / "real");
}

TEST(StudioPageRoot, ExplicitRootIsNotSecondGuessed) {
  TempDir t;
  WriteFile(t / "found/index.html", "x");
  fs::create_directories(t / "given");
  const auto r = FindPageRoot((t / "given").string(), {t / "found"});
  EXPECT_TRUE(r.root.empty());
  EXPECT_NE(r.error.find((t / "given").string()), std::string::npos);
  EXPECT_EQ(FindPageRoot((t / "found").string(), {}).root, t / "found");
}

TEST(StudioPageRoot, NothingFoundNamesThePlacesAndTheOption) {
  TempDir t;
  const auto r = FindPageRoot("", {t / "a", t / "b"});
  EXPECT_TRUE(r.root.empty());
  EXPECT_NE(r.error.find((t / "a").string()), std::string::npos);
  EXPECT_NE(r.error.find((t / "b").string()), std::string::npos);
  EXPECT_NE(r.error.find("--root"), std::string::npos);
}

}  // namespace
}  // namespace orvate::studio
