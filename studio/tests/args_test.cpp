#include <gtest/gtest.h>

#include "StudioArgs.h"

namespace orvate::studio {
namespace {

struct GoodCase {
  std::vector<std::string> args;
  int port;
  std::string root, score;
};

TEST(StudioArgs, Accepted) {
  const GoodCase cases[] = {
      {{}, 8932, "", ""},
      {{"song.mml"}, 8932, "", "song.mml"},
      {{"--port", "9000"}, 9000, "", ""},
      {{"--port=1"}, 1, "", ""},
      {{"--port", "65535", "--root", "dist", "a.mml"}, 65535, "dist", "a.mml"},
      {{"a.mml", "--root=web/dist"}, 8932, "web/dist", "a.mml"},
      {{"--", "-odd.mml"}, 8932, "", "-odd.mml"},
      {{"-"}, 8932, "", "-"},
  };
  for (const GoodCase& c : cases) {
    const ArgsResult r = ParseStudioArgs(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.port, c.port);
    EXPECT_EQ(r.options.root, c.root);
    EXPECT_EQ(r.options.score, c.score);
    EXPECT_FALSE(r.options.help);
  }
}

TEST(StudioArgs, Refused) {
  const std::vector<std::string> cases[] = {
      {"--port"},           {"--port", "0"},        {"--port", "65536"}, {"--port", "99999999999"},
      {"--port", "8a"},     {"--port", "-1"},       {"--port", ""},      {"--port", " 80"},
      {"--port=+80"},       {"--port", "1", "--port", "2"},              {"--root"},
      {"--root", ""},       {"--root=a", "--root", "b"},                 {"--verbose"},
      {"-p", "80"},         {"a.mml", "b.mml"},     {""},
  };
  for (const auto& args : cases) {
    const ArgsResult r = ParseStudioArgs(args);
    EXPECT_FALSE(r.ok) << ::testing::PrintToString(args);
    EXPECT_FALSE(r.error.empty());
  }
}

TEST(StudioArgs, HelpAndUsage) {
  EXPECT_TRUE(ParseStudioArgs({"--help"}).options.help);
  EXPECT_TRUE(ParseStudioArgs({"-h"}).options.help);
  const std::string usage = StudioUsage();
  EXPECT_NE(usage.find("--port N"), std::string::npos);
  EXPECT_NE(usage.find("8932"), std::string::npos);
  EXPECT_NE(usage.find("--root DIR"), std::string::npos);
}

}  // namespace
}  // namespace orvate::studio
