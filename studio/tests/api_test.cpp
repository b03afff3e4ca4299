// The /api routes of the built orvatek-studio, over real sockets: the token and origin rules,
// the score's round trips through the page's text, instrument files, change events.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include <nlohmann/json.hpp>

#include "StudioTestSupport.h"

namespace orvate::studio {
namespace {

namespace fs = std::filesystem;
using namespace orvate::studiotest;
using Json = nlohmann::json;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::int64_t MtimeNs(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string JsonString(const std::string& text) { return Json(text).dump(); }

// A listener on /api/events, reading the stream as it comes.
class EventStream {
 public:
  ~EventStream() {
    if (sock_ >= 0) ::close(sock_);
  }
  bool Open(int port, const std::string& target, const std::string& extraHeaders = "") {
    sock_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (sock_ < 0 || ::connect(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nAccept: text/event-stream\r\n" + extraHeaders + "\r\n";
    return ::send(sock_, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
  }
  // Waits until needle has arrived after what earlier calls consumed; true when it did in time.
  bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (const auto at = text_.find(needle, consumed_); at != std::string::npos) {
        consumed_ = at + needle.size();
        return true;
      }
      if (closed_ || Clock::now() >= deadline) return false;
      const std::string more = ReadUntil(sock_, std::min(deadline, Clock::now() + std::chrono::milliseconds(20)), false);
      if (more.empty()) {
        pollfd p{sock_, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) closed_ = true;  // readable yet nothing read: the end
      }
      text_ += more;
    }
  }
  // True when the server ends the stream within timeout.
  bool Ends(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_ && Clock::now() < deadline) WaitFor("\x01never", std::chrono::milliseconds(50));
    return closed_;
  }
  const std::string& Text() const { return text_; }

 private:
  int sock_ = -1;
  std::string text_;
  std::size_t consumed_ = 0;
  bool closed_ = false;
};

class StudioApi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ::signal(SIGPIPE, SIG_IGN); }

  void SetUp() override {
    WriteFile(t_ / "page/index.html", "<title>page</title>");
    score_ = t_ / "tree/song.mml";
    WriteFile(score_, "#title \"t\"\r\nc d e\r\n");
  }

  void Start(const std::vector<std::string>& args) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = FreePort();
      std::vector<std::string> full = {"--port", std::to_string(port_), "--root", (t_ / "page").string()};
      full.insert(full.end(), args.begin(), args.end());
      server_ = std::make_unique<StudioProcess>();
      ASSERT_TRUE(server_->Start(ORVATE_STUDIO_PATH, full));
      const std::string first = server_->FirstLine();
      if (!first.empty()) {
        ASSERT_TRUE(IsStudioAddress(first, port_)) << first;
        token_ = first.substr(first.size() - 32);
        return;
      }
      server_.reset();
    }
    FAIL() << "orvatek-studio did not start";
  }
  void StartOnScore() { Start({score_.string()}); }

  // A request with our Host; headers are whole lines ending in CR LF.
  RawResponse Send(const std::string& method, const std::string& target, const std::string& headers,
                   const std::string& body = "") {
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n" +
                          headers + "Connection: close\r\n";
    if (method == "PUT" || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return RawExchange(port_, request + "\r\n" + body);
  }
  std::string TokenHeader() const { return "X-Orvate-Token: " + token_ + "\r\n"; }
  RawResponse Api(const std::string& target) { return Send("GET", target, TokenHeader()); }
  RawResponse Put(const std::string& version, const std::string& text, const std::string& headers = "") {
    return Send("PUT", "/api/score", TokenHeader() + "If-Match: " + version + "\r\n" + headers,
                "{\"text\":" + JsonString(text) + "}");
  }
  Json ScoreJson() {
    const RawResponse r = Api("/api/score");
    EXPECT_EQ(r.status, 200) << r.head << r.body;
    EXPECT_TRUE(r.HasHeader("Content-Type: application/json; charset=utf-8")) << r.head;
    return Json::parse(r.body, nullptr, false);
  }

  TempDir t_;
  fs::path score_;
  int port_ = -1;
  std::string token_;
  std::unique_ptr<StudioProcess> server_;
};

TEST_F(StudioApi, TokenIsRequired) {
  WriteFile(t_ / "tree/a.xi", "XI");
  StartOnScore();
  const std::string bytes = ReadBytes(score_);
  const std::int64_t mtime = MtimeNs(score_);
  const std::string version = ScoreJson()["version"];
  std::string wrong = token_;
  wrong[0] = wrong[0] == '0' ? '1' : '0';
  const std::string put = "{\"text\":\"changed\"}";
  const struct {
    std::string method, target, headers;
  } refused[] = {
      {"GET", "/api/score", ""},
      {"GET", "/api/score", "X-Orvate-Token: " + wrong + "\r\n"},
      {"GET", "/api/score", "X-Orvate-Token: " + token_.substr(0, 31) + "\r\n"},
      {"GET", "/api/score", "X-Orvate-Token: \r\n"},
      {"GET", "/api/score?token=" + wrong, ""},
      {"GET", "/api/score?token=" + token_ + "&token=" + wrong, ""},
      {"GET", "/api/file?name=a.xi", ""},
      {"GET", "/api/events", ""},
      {"GET", "/api/elsewhere", ""},
      {"PUT", "/api/score", "If-Match: " + version + "\r\n"},
      {"PUT", "/api/score", "If-Match: " + version + "\r\nX-Orvate-Token: " + wrong + "\r\n"},
      {"PUT", "/api/score?token=" + wrong, "If-Match: " + version + "\r\n"},
  };
  for (const auto& c : refused) {
    const RawResponse r = Send(c.method, c.target, c.headers, c.method == "PUT" ? put : "");
    EXPECT_EQ(r.status, 403) << c.method << " " << c.target << "\n" << c.headers;
    EXPECT_EQ(r.body.find("c d e"), std::string::npos);
  }
  EXPECT_EQ(ReadBytes(score_), bytes);
  EXPECT_EQ(MtimeNs(score_), mtime);

  EXPECT_EQ(Api("/api/score").status, 200);
  EXPECT_EQ(Send("GET", "/api/score?token=" + token_, "").status, 200);
  EXPECT_EQ(Api("/api/file?name=a.xi").body, "XI");
  EXPECT_EQ(Api("/api/elsewhere").status, 404);
  // Each start makes a new token.
  const std::string first = token_;
  server_.reset();
  StartOnScore();
  EXPECT_NE(token_, first);
}

TEST_F(StudioApi, ForeignOriginIsRefused) {
  StartOnScore();
  const std::string bytes = ReadBytes(score_);
  const std::int64_t mtime = MtimeNs(score_);
  const std::string version = ScoreJson()["version"];
  const std::string p = std::to_string(port_);
  const std::string refused[] = {
      "http://evil.example",       "http://evil.example:" + p,   "null",
      "http://127.0.0.1:" + p + "/", "https://127.0.0.1:" + p,   "http://127.0.0.1",
      "http://localhost:" + p + ".evil.example", "http://127.0.0.1:" + std::to_string(port_ == 65535 ? 1 : port_ + 1),
  };
  for (const std::string& origin : refused) {
    const std::string header = "Origin: " + origin + "\r\n";
    EXPECT_EQ(Put(version, "#title \"x\"\n", header).status, 403) << origin;
    EXPECT_EQ(Send("GET", "/api/score", TokenHeader() + header).status, 403) << origin;
    EXPECT_EQ(Send("GET", "/", header).status, 403) << origin;
  }
  // Two Origin headers, even if one is ours.
  EXPECT_EQ(Send("GET", "/api/score", TokenHeader() + "Origin: http://127.0.0.1:" + p + "\r\nOrigin: null\r\n").status,
            403);
  EXPECT_EQ(ReadBytes(score_), bytes);
  EXPECT_EQ(MtimeNs(score_), mtime);
  for (const std::string& origin : {"http://127.0.0.1:" + p, "http://localhost:" + p}) {
    const RawResponse r = Send("GET", "/api/score", TokenHeader() + "Origin: " + origin + "\r\n");
    EXPECT_EQ(r.status, 200) << origin;
    EXPECT_EQ(r.head.find("Access-Control-Allow-Origin"), std::string::npos);
  }
}

// The page's text goes back to the very bytes it came from; an edit changes only its place.
TEST_F(StudioApi, ScoreRoundTrips) {
  // 0xED40 reads as U+7E8A, which cp932 writes as 0xFA5C: it must survive by being kept.
  const std::string tricky = "\xED\x40\x87\x90";
  const std::string trickyText = "\xE7\xBA\x8A\xE2\x89\x92";
  const struct {
    std::string before, middle, after;  // the file; the edit replaces middle
    const char *encoding, *eol;
    std::string oldText, newText, newBytes;  // middle as text; its replacement as text and as bytes
  } cases[] = {
      {"#t \"" + tricky + "\"\r\nc ", "d", " e\r\n" + tricky + "\r\n", "cp932", "crlf", "d", "\xE6\x9B\xB2\nd",
       "\x8B\xC8\r\nd"},
      {"#t " + tricky + "\nc ", "d", " e\n", "cp932", "lf", "d", "\xE6\x9B\xB2", "\x8B\xC8"},
      {"#t " + tricky + "\rc ", "d", " e\r" + tricky, "cp932", "cr", "d", "x\ny", "x\ry"},
      {"#t \xE6\x9B\xB2\r\nc ", "d", " e\r\n", "utf-8", "crlf", "d", "\xF0\x9F\x8E\xB5\n", "\xF0\x9F\x8E\xB5\r\n"},
      {"#t \xE6\x9B\xB2\nc ", "d", " e", "utf-8", "lf", "d", "", ""},
      {"#t \xE6\x9B\xB2\rc ", "d", " e\r", "utf-8", "cr", "d", "f\n", "f\r"},
      {"\xEF\xBB\xBF#t\r\nc ", "d", " e\r\n", "utf-8-bom", "crlf", "d", "\xE6\x9B\xB2", "\xE6\x9B\xB2"},
      {"\xEF\xBB\xBF#t\nc ", "d\ne", "\n", "utf-8-bom", "lf", "d\ne", "g", "g"},
      {"\xEF\xBB\xBF#t\rc ", "d", " e\r", "utf-8-bom", "cr", "d", "d\n", "d\r"},
      {"#t\r\nc ", "d", " e\n" + tricky + "\r\r\n", "cp932", "mixed", "d", "1\n2", "1\r\n2"},
  };
  StartOnScore();
  for (const auto& c : cases) {
    const std::string bytes = c.before + c.middle + c.after;
    WriteFile(score_, bytes);
    const Json got = ScoreJson();
    ASSERT_TRUE(got.is_object()) << bytes;
    EXPECT_EQ(got["encoding"], c.encoding) << bytes;
    EXPECT_EQ(got["eol"], c.eol) << bytes;
    EXPECT_EQ(got["lossy"], false) << bytes;
    EXPECT_EQ(got["name"], "song.mml");
    const std::string text = got["text"];
    EXPECT_EQ(text.find('\r'), std::string::npos) << bytes;
    if (std::string(c.encoding) == "cp932" && c.before.find(tricky) != std::string::npos) {
      EXPECT_NE(text.find(trickyText), std::string::npos) << bytes;
    }

    // The same text: the same bytes, not even rewritten.
    const std::int64_t mtime = MtimeNs(score_);
    RawResponse r = Put(got["version"], text);
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(Json::parse(r.body)["version"], got["version"]);
    EXPECT_EQ(ReadBytes(score_), bytes);
    EXPECT_EQ(MtimeNs(score_), mtime);

    // An edit: every byte outside it stays.
    const std::size_t at = text.find(c.oldText, text.find("c ")) ;
    ASSERT_NE(at, std::string::npos) << bytes;
    std::string edited = text;
    edited.replace(at, c.oldText.size(), c.newText);
    r = Put(got["version"], edited);
    ASSERT_EQ(r.status, 200) << r.body;
    const std::string written = ReadBytes(score_);
    EXPECT_EQ(written, c.before + c.newBytes + c.after) << bytes;
    const Json again = ScoreJson();
    EXPECT_EQ(again["text"], edited);
    EXPECT_EQ(again["version"], Json::parse(r.body)["version"]);
  }
}

TEST_F(StudioApi, RefusedSavesWriteNothing) {
  WriteFile(score_, "#t \xED\x40\r\nc d e\r\n");
  StartOnScore();
  const Json got = ScoreJson();
  const std::string version = got["version"];
  const std::string text = got["text"];
  const std::string bytes = ReadBytes(score_);
  const std::int64_t mtime = MtimeNs(score_);

  RawResponse r = Put(version, "c d\ne \xF0\x9F\x8E\xB5 f\n");
  EXPECT_EQ(r.status, 422);
  const Json unencodable = Json::parse(r.body, nullptr, false);
  EXPECT_EQ(unencodable["error"], "unencodable");
  EXPECT_EQ(unencodable["line"], 2);
  EXPECT_EQ(unencodable["column"], 3);
  EXPECT_EQ(unencodable["character"], "\xF0\x9F\x8E\xB5");

  r = Put("0000000000000000-1", text + "x");
  EXPECT_EQ(r.status, 409);
  const Json changed = Json::parse(r.body, nullptr, false);
  EXPECT_EQ(changed["error"], "changed");
  EXPECT_EQ(changed["version"], version);

  EXPECT_EQ(Send("PUT", "/api/score", TokenHeader(), "{\"text\":\"x\"}").status, 428);
  for (const std::string body : {"", "{", "[\"x\"]", "{\"text\":1}", "{\"txt\":\"x\"}", "{\"text\":\"\xFF\"}",
                                 "{\"text\":\"\\ud800\"}", "{\"text\":\"x\"} trailing"}) {
    EXPECT_EQ(Send("PUT", "/api/score", TokenHeader() + "If-Match: " + version + "\r\n", body).status, 400) << body;
  }
  EXPECT_EQ(ReadBytes(score_), bytes);
  EXPECT_EQ(MtimeNs(score_), mtime);

  // Bytes that did not decode could not be written back: such a file is never saved.
  WriteFile(score_, "c \x80 d\r\n");
  const Json lossy = ScoreJson();
  EXPECT_EQ(lossy["lossy"], true);
  r = Put(lossy["version"], lossy["text"]);
  EXPECT_EQ(r.status, 422);
  EXPECT_EQ(ReadBytes(score_), "c \x80 d\r\n");
}

TEST_F(StudioApi, OversizeBodiesAreRefused) {
  StartOnScore();
  const std::string bytes = ReadBytes(score_);
  const std::string version = ScoreJson()["version"];
  // Over 16 MiB for the score, refused before the body is sent when the client asks first.
  const std::string over = std::to_string((16 << 20) + 1);
  RawResponse r = RawExchange(port_, "PUT /api/score HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n" +
                                         TokenHeader() + "If-Match: " + version + "\r\nContent-Length: " + over +
                                         "\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(r.status, 413);
  // Without asking: refused as soon as the head is read, the body never waited for.
  const auto before = Clock::now();
  r = RawExchange(port_, "PUT /api/score HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n" +
                             TokenHeader() + "If-Match: " + version + "\r\nContent-Length: " + over +
                             "\r\nConnection: close\r\n\r\n{\"text\":\"");
  EXPECT_EQ(r.status, 413);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(ReadBytes(score_), bytes);
  // Over 64 KiB anywhere else; just under passes the size check.
  EXPECT_EQ(Send("POST", "/api/score", TokenHeader(), std::string((64 << 10) + 1, 'x')).status, 413);
  EXPECT_EQ(Send("POST", "/api/score", TokenHeader(), std::string(64 << 10, 'x')).status, 405);
  // A score larger than other bodies may be is fine.
  const std::string text = std::string(256 << 10, 'c');
  r = Put(version, text);
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(ReadBytes(score_) == text);
}

TEST_F(StudioApi, SaveKeepsModeAndLink) {
  const fs::path real = t_ / "elsewhere/real.mml";
  WriteFile(real, "c d e\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = t_ / "tree/link.mml";
  fs::create_directories(link.parent_path());
  fs::create_symlink(real, link);
  Start({link.string()});
  const Json got = ScoreJson();
  EXPECT_EQ(got["name"], "link.mml");
  const RawResponse r = Put(got["version"], "c d e f\n");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), real);
  EXPECT_EQ(ReadBytes(real), "c d e f\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Nothing else appeared in either directory.
  std::vector<std::string> names;
  for (const auto& dir : {t_ / "tree", t_ / "elsewhere"}) {
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.mml", "real.mml", "song.mml"}));
}

TEST_F(StudioApi, NameInCp932AndNoScore) {
  const fs::path named = t_ / "tree/\x8B\xC8.mml";
  WriteFile(named, "c");
  Start({named.string()});
  EXPECT_EQ(ScoreJson()["name"], "\xE6\x9B\xB2.mml");
  server_.reset();
  Start({});
  EXPECT_EQ(Api("/api/score").status, 404);
  EXPECT_EQ(Json::parse(Api("/api/score").body, nullptr, false)["error"].is_string(), true);
  EXPECT_EQ(Put("x", "c").status, 404);
  EXPECT_EQ(Api("/api/file?name=song.mml").status, 404);
}

TEST_F(StudioApi, InstrumentFilesStayInTheirTrees) {
  WriteFile(t_ / "tree/inst/a.xi", "A");
  WriteFile(t_ / "tree/b.xi", "B");
  WriteFile(t_ / "lib/c.xi", "C");
  WriteFile(t_ / "outside/secret.xi", "SECRET");
  fs::create_symlink(t_ / "outside/secret.xi", t_ / "tree/leak.xi");
  fs::create_symlink(t_ / "outside", t_ / "tree/outdir");
  ASSERT_EQ(::mkfifo((t_ / "tree/fifo.xi").c_str(), 0600), 0);
  StartOnScore();
  const std::string lib = (t_ / "lib").string();
  const struct {
    std::string query, body, resolved;
  } found[] = {
      {"name=inst/a.xi", "A", "inst/a.xi"},
      {"name=inst%5Ca.xi", "A", "inst/a.xi"},
      {"name=other/b.xi", "B", "b.xi"},  // the bare name beside the score
      {"name=c.xi&instlib=" + lib, "C", "c.xi"},
      {"name=x%5Cc.xi&instlib=..%2Flib", "C", "c.xi"},  // a library relative to the score
      {"name=b.xi&instlib=" + lib, "B", "b.xi"},        // the score's directory comes first
  };
  for (const auto& c : found) {
    const RawResponse r = Api("/api/file?" + c.query);
    EXPECT_EQ(r.status, 200) << c.query;
    EXPECT_EQ(r.body, c.body) << c.query;
    EXPECT_TRUE(r.HasHeader("X-Resolved: " + c.resolved)) << c.query << "\n" << r.head;
    EXPECT_TRUE(r.HasHeader("Content-Type: application/octet-stream")) << r.head;
  }
  const std::string secret = (t_ / "outside/secret.xi").string();
  const std::string refused[] = {
      "name=../outside/secret.xi",
      "name=%2E%2E%2Foutside%2Fsecret.xi",
      "name=..%5Coutside%5Csecret.xi",
      "name=" + secret,
      "name=leak.xi",
      "name=outdir/secret.xi",
      "name=inst",
      "name=fifo.xi",
      "name=",
      "name=missing.xi&instlib=" + lib,
      "name=secret.xi&instlib=..%2Flib",
      "name=../../../../../../etc/passwd",
      "name=%2Fetc%2Fpasswd",
      "name=inst/a.xi%00.txt",
      "",
  };
  for (const std::string& q : refused) {
    const RawResponse r = Api("/api/file?" + q);
    EXPECT_EQ(r.status, 404) << q;
    EXPECT_EQ(r.body.find("SECRET"), std::string::npos) << q;
  }
}

TEST_F(StudioApi, EventsAnnounceChangesOnDisk) {
  WriteFile(t_ / "tree/a.xi", "A1");
  StartOnScore();
  const std::string version = ScoreJson()["version"];
  EventStream one, two;
  ASSERT_TRUE(one.Open(port_, "/api/events?token=" + token_));
  ASSERT_TRUE(two.Open(port_, "/api/events?token=" + token_));
  for (EventStream* s : {&one, &two}) {
    ASSERT_TRUE(s->WaitFor("\r\n\r\n", std::chrono::seconds(3))) << s->Text();
    EXPECT_NE(s->Text().find("Content-Type: text/event-stream"), std::string::npos) << s->Text();
    EXPECT_NE(s->Text().find("Cache-Control: no-store"), std::string::npos) << s->Text();
    // The stream starts with the version now.
    ASSERT_TRUE(s->WaitFor("event: score\ndata: {\"version\":\"" + version + "\"}\n\n", std::chrono::seconds(3)))
        << s->Text();
  }
  ASSERT_EQ(Api("/api/file?name=a.xi").body, "A1");

  const auto measure = [&](const std::function<void()>& change, const std::string& event) {
    const auto before = Clock::now();
    change();
    for (EventStream* s : {&one, &two}) {
      EXPECT_TRUE(s->WaitFor(event, std::chrono::seconds(2))) << event << "\n" << s->Text();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
    std::printf("%s reached both listeners after %lld ms\n", event.substr(0, event.find('\n')).c_str(),
                static_cast<long long>(ms));
    EXPECT_LT(ms, 300) << event;
  };
  for (int round = 0; round < 3; ++round) {
    const std::string text = "#title \"t\"\r\nc d e " + std::to_string(round) + "\r\n";
    measure([&] { WriteFile(score_, text); }, "event: score\ndata: {\"version\":\"");
    EXPECT_EQ(ScoreJson()["text"], "#title \"t\"\nc d e " + std::to_string(round) + "\n");
  }
  measure([&] { WriteFile(t_ / "tree/a.xi", "A2"); }, "event: file\ndata: {\"name\":\"a.xi\"}\n\n");
  // A file written again with the same bytes is no change.
  WriteFile(t_ / "tree/a.xi", "A2");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_FALSE(one.WaitFor("event: file", std::chrono::milliseconds(10))) << one.Text();
}

TEST_F(StudioApi, StreamsEndOnSignal) {
  StartOnScore();
  EventStream stream;
  ASSERT_TRUE(stream.Open(port_, "/api/events", TokenHeader()));
  ASSERT_TRUE(stream.WaitFor("event: score", std::chrono::seconds(3))) << stream.Text();
  const auto before = Clock::now();
  server_->Signal(SIGINT);
  EXPECT_TRUE(stream.Ends(std::chrono::seconds(5)));
  EXPECT_EQ(server_->WaitExit(5000), 0);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(3));
}

}  // namespace
}  // namespace orvate::studio
