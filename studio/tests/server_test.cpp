// The built orvatek-studio, started on a free port and spoken to over real sockets.
#include <gtest/gtest.h>
#include <httplib.h>

#include "StudioTestSupport.h"

namespace orvate::studio {
namespace {

namespace fs = std::filesystem;
using namespace orvate::studiotest;

const std::string kIndex = "<!doctype html><title>studio under test</title>\n";
const std::string kWasm("\0asm\x01\0\0\0", 8);
const std::string kSecret = "outside-the-root-secret";

class StudioServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::signal(SIGPIPE, SIG_IGN); }

  void SetUp() override {
    root_ = t_ / "page";
    WriteFile(root_ / "index.html", kIndex);
    WriteFile(root_ / "app.js", "export const x = 1;\n");
    WriteFile(root_ / "orvate.wasm", kWasm);
    WriteFile(root_ / "examples/lead.xi", std::string("Extended Instrument: \x1a", 22));
    WriteFile(root_ / ".hidden", kSecret);
    WriteFile(t_ / "outside/secret.txt", kSecret);
    fs::create_symlink(t_ / "outside/secret.txt", root_ / "leak.txt");
    fs::create_symlink(t_ / "outside", root_ / "outdir");
    fs::create_symlink("app.js", root_ / "alias.js");
  }

  // Starts the server with args (plus --port); retries when the free port was taken meanwhile.
  void Start(std::vector<std::string> args) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = FreePort();
      ASSERT_GT(port_, 0);
      std::vector<std::string> full = {"--port", std::to_string(port_)};
      full.insert(full.end(), args.begin(), args.end());
      server_ = std::make_unique<StudioProcess>();
      ASSERT_TRUE(server_->Start(ORVATE_STUDIO_PATH, full));
      firstLine_ = server_->FirstLine();
      if (!firstLine_.empty()) return;
      server_.reset();
    }
    FAIL() << "orvatek-studio did not start";
  }
  void StartOnPage() { Start({"--root", root_.string()}); }

  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(port_); }
  RawResponse Fetch(const std::string& target) { return RawExchange(port_, Get(target, HostLine())); }

  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    client.set_write_timeout(5);
    return client;
  }

  TempDir t_;
  fs::path root_;
  int port_ = -1;
  std::unique_ptr<StudioProcess> server_;
  std::string firstLine_;
};

TEST_F(StudioServer, FirstLineIsTheUrlAndIndexIsServed) {
  StartOnPage();
  EXPECT_TRUE(IsStudioAddress(firstLine_, port_)) << firstLine_;
  auto client = Client();
  const auto res = client.Get("/");
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, kIndex);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
  EXPECT_EQ(res->get_header_value("Cross-Origin-Resource-Policy"), "same-origin");
  const auto head = client.Head("/");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_TRUE(head->body.empty());
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(kIndex.size()));
}

TEST_F(StudioServer, PageFilesWithTheirTypes) {
  StartOnPage();
  const struct {
    const char* path;
    const char* type;
    std::string body;
  } cases[] = {
      {"/index.html", "text/html; charset=utf-8", kIndex},
      {"/app.js", "text/javascript; charset=utf-8", "export const x = 1;\n"},
      {"/alias.js", "text/javascript; charset=utf-8", "export const x = 1;\n"},
      {"/orvate.wasm", "application/wasm", kWasm},
      {"/examples/lead.xi", "application/octet-stream", std::string("Extended Instrument: \x1a", 22)},
  };
  auto client = Client();
  for (const auto& c : cases) {
    const auto res = client.Get(c.path);
    ASSERT_TRUE(res) << c.path;
    EXPECT_EQ(res->status, 200) << c.path;
    EXPECT_EQ(res->get_header_value("Content-Type"), c.type) << c.path;
    EXPECT_EQ(res->body, c.body) << c.path;
  }
  const auto missing = client.Get("/nothing-here.js");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(StudioServer, ForeignHostIsRefused) {
  StartOnPage();
  const std::string p = std::to_string(port_);
  const std::string refused[] = {
      Get("/", "Host: evil.example:" + p),
      Get("/", "Host: 127.0.0.1"),
      Get("/", "Host: localhost"),
      Get("/", "Host: 127.0.0.1:" + std::to_string(port_ == 65535 ? 1 : port_ + 1)),
      Get("/", "Host: LOCALHOST:" + p),
      Get("/", "Host: 127.0.0.1:" + p + ".evil.example"),
      Get("/", ""),
      Get("/", "", "HTTP/1.0"),
      Get("/", "Host: 127.0.0.1:" + p + "\r\nHost: evil.example:" + p),
      Get("/api/score", "Host: evil.example:" + p),
      Get("/app.js", "Host: evil.example:" + p),
      "POST / HTTP/1.1\r\nHost: evil.example:" + p + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
  };
  for (const std::string& request : refused) {
    const RawResponse r = RawExchange(port_, request);
    EXPECT_EQ(r.status, 403) << request;
    EXPECT_LT(r.body.size(), 64u) << request;
    EXPECT_EQ(r.body.find("studio under test"), std::string::npos) << request;
  }
  for (const std::string& host : {"Host: 127.0.0.1:" + p, "Host: localhost:" + p}) {
    const RawResponse r = RawExchange(port_, Get("/", host));
    EXPECT_EQ(r.status, 200) << host;
    EXPECT_EQ(r.body, kIndex) << host;
  }
}

TEST_F(StudioServer, TraversalIsRefused) {
  StartOnPage();
  const std::string outside = (t_ / "outside/secret.txt").string();
  const std::string targets[] = {
      "/../outside/secret.txt",
      "/%2e%2e/outside/secret.txt",
      "/%2E%2E%2Foutside%2Fsecret.txt",
      "/examples/..%2f..%2foutside/secret.txt",
      "/..%5coutside%5csecret.txt",
      "/..\\outside\\secret.txt",
      "/index.html%00.js",
      "/" + outside,
      "/" + outside.substr(1),
      "//" + outside.substr(1),
      "http://127.0.0.1/../outside/secret.txt",
      "/leak.txt",
      "/outdir/secret.txt",
      "/.hidden",
      "/examples",
      "/examples/",
  };
  for (const std::string& target : targets) {
    const RawResponse r = Fetch(target);
    EXPECT_EQ(r.status, 404) << target;
    EXPECT_EQ(r.body.find(kSecret), std::string::npos) << target;
  }
}

TEST_F(StudioServer, OnlyGetAndHead) {
  StartOnPage();
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "TRACE", "CONNECT"}) {
    const RawResponse r = RawExchange(
        port_, std::string(method) + " / HTTP/1.1\r\n" + HostLine() + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(r.status, 405) << method;
    EXPECT_TRUE(r.HasHeader("Allow: GET, HEAD")) << method << "\n" << r.head;
  }
  auto client = Client();
  const auto post = client.Post("/api/score", "new score", "application/octet-stream");
  ASSERT_TRUE(post);
  EXPECT_EQ(post->status, 405);
}

TEST_F(StudioServer, OversizeBodyIsRefused) {
  StartOnPage();
  const std::string big(2 << 20, 'x');
  auto client = Client();
  const auto post = client.Post("/", big, "application/octet-stream");
  ASSERT_TRUE(post) << httplib::to_string(post.error());
  EXPECT_EQ(post->status, 413);
  // Refused before the body is sent when the client asks first.
  const RawResponse early = RawExchange(port_, "POST / HTTP/1.1\r\n" + HostLine() +
                                                   "\r\nContent-Length: 2097152\r\nExpect: 100-continue\r\n"
                                                   "Connection: close\r\n\r\n");
  EXPECT_EQ(early.status, 413);
  const RawResponse get = RawExchange(
      port_, "GET / HTTP/1.1\r\n" + HostLine() + "\r\nContent-Length: " + std::to_string(big.size()) +
                 "\r\nConnection: close\r\n\r\n" + big);
  EXPECT_EQ(get.status, 413);
  const auto after = client.Get("/");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
}

TEST_F(StudioServer, PortInUseIsReported) {
  const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(sock, 1), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const std::string port = std::to_string(ntohs(addr.sin_port));

  StudioProcess p;
  ASSERT_TRUE(p.Start(ORVATE_STUDIO_PATH, {"--port", port, "--root", root_.string()}));
  EXPECT_EQ(p.WaitExit(), 1);
  const std::string err = p.RestOfStderr();
  ::close(sock);
  EXPECT_NE(err.find("port " + port), std::string::npos) << err;
  EXPECT_NE(err.find("--port"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(p.FirstLine(500), "");
}

// The library's default socket option (SO_REUSEPORT) would let a second server share the port.
TEST_F(StudioServer, SecondServerOnTheSamePortIsRefused) {
  StartOnPage();
  StudioProcess second;
  ASSERT_TRUE(second.Start(ORVATE_STUDIO_PATH, {"--port", std::to_string(port_), "--root", root_.string()}));
  EXPECT_EQ(second.WaitExit(), 1);
  EXPECT_NE(second.RestOfStderr().find("port " + std::to_string(port_)), std::string::npos);
}

TEST_F(StudioServer, StopsCleanlyOnSignal) {
  for (const int sig : {SIGINT, SIGTERM}) {
    StartOnPage();
    // An idle keep-alive connection must not hold the server up for long.
    auto client = Client();
    client.set_keep_alive(true);
    const auto res = client.Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const auto before = Clock::now();
    server_->Signal(sig);
    EXPECT_EQ(server_->WaitExit(10000), 0) << "signal " << sig;
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(5)) << "signal " << sig;
    server_.reset();
  }
}

TEST_F(StudioServer, SignalRightAfterStartStillStops) {
  StartOnPage();
  server_->Signal(SIGINT);
  EXPECT_EQ(server_->WaitExit(10000), 0);
}

TEST_F(StudioServer, BadArgumentsGiveUsage) {
  const std::vector<std::string> cases[] = {
      {"--port", "0"}, {"--port", "65536"}, {"--port", "x"}, {"--port"}, {"--what"}, {"a.mml", "b.mml"},
  };
  for (const auto& args : cases) {
    StudioProcess p;
    ASSERT_TRUE(p.Start(ORVATE_STUDIO_PATH, args));
    EXPECT_EQ(p.WaitExit(), 2) << ::testing::PrintToString(args);
    EXPECT_NE(p.RestOfStderr().find("usage: orvatek-studio"), std::string::npos) << ::testing::PrintToString(args);
  }
}

TEST_F(StudioServer, MissingPageOrScoreIsReported) {
  fs::create_directories(t_ / "empty");
  const std::vector<std::string> cases[] = {
      {"--root", (t_ / "empty").string()},
      {"--root", (t_ / "nowhere").string()},
      {"--root", root_.string(), (t_ / "no-such-score.mml").string()},
  };
  for (const auto& args : cases) {
    StudioProcess p;
    ASSERT_TRUE(p.Start(ORVATE_STUDIO_PATH, args));
    EXPECT_EQ(p.WaitExit(), 1) << ::testing::PrintToString(args);
    EXPECT_NE(p.RestOfStderr().find("orvatek-studio: "), std::string::npos);
  }
}

// The program finds its page from its own location, whatever the working directory.
TEST_F(StudioServer, FindsThePageBesideItself) {
  const fs::path bin = t_ / "inst/bin";
  fs::create_directories(bin);
  fs::copy_file(ORVATE_STUDIO_PATH, bin / "orvatek-studio");
  fs::permissions(bin / "orvatek-studio", fs::perms::owner_all);
  WriteFile(bin / "studio-page/index.html", "beside");
  fs::create_directories(t_ / "elsewhere");

  const auto serve = [&](const std::string& expected) {
    port_ = FreePort();
    StudioProcess p;
    ASSERT_TRUE(p.Start((bin / "orvatek-studio").string(), {"--port", std::to_string(port_)}, t_ / "elsewhere"));
    const std::string first = p.FirstLine();
    ASSERT_TRUE(IsStudioAddress(first, port_)) << first;
    const RawResponse r = Fetch("/");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, expected);
    p.Signal(SIGTERM);
    EXPECT_EQ(p.WaitExit(), 0);
  };
  serve("beside");
  // The installed layout comes first.
  WriteFile(t_ / "inst/share/orvate/studio/index.html", "installed");
  serve("installed");
}

}  // namespace
}  // namespace orvate::studio
