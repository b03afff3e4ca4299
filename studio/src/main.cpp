// orvatek-studio: serves the studio page on 127.0.0.1 until Ctrl-C or SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "EventHub.h"
#include "PageRoot.h"
#include "StudioArgs.h"
#include "StudioRoutes.h"
#include "StudioToken.h"

#ifndef ORVATE_STUDIO_PAGE_DIR
#define ORVATE_STUDIO_PAGE_DIR ""
#endif

namespace {

using namespace orvate::studio;
namespace fs = std::filesystem;

constexpr const char* kHost = "127.0.0.1";

void Complain(const std::string& line) { std::fprintf(stderr, "orvatek-studio: %s\n", line.c_str()); }

// httplib only says that binding failed; a bind of our own tells why.
std::string BindFailure(int port) {
  const std::string where = std::string(kHost) + ":" + std::to_string(port);
  const std::string hint = "; choose another port with --port N";
  const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return "cannot listen on " + where + ": " + std::strerror(errno);
  int yes = 1;
  ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, kHost, &addr.sin_addr);
  const int rc = ::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  const int err = errno;
  ::close(sock);
  if (rc == 0) return "cannot listen on " + where + hint;
  if (err == EADDRINUSE) return "port " + std::to_string(port) + " is already in use on " + kHost + hint;
  if (err == EACCES) return "not allowed to listen on port " + std::to_string(port) + hint;
  return "cannot listen on " + where + ": " + std::strerror(err) + hint;
}

int Run(const std::vector<std::string>& args) {
  const ArgsResult parsed = ParseStudioArgs(args);
  if (!parsed.ok) {
    Complain(parsed.error);
    std::fputs(StudioUsage().c_str(), stderr);
    return 2;
  }
  const StudioOptions& options = parsed.options;
  if (options.help) {
    std::fputs(StudioUsage().c_str(), stdout);
    return 0;
  }

  const PageRootResult page =
      FindPageRoot(options.root, PageRootCandidates(ExecutableDir(), ORVATE_STUDIO_PAGE_DIR));
  if (page.root.empty()) {
    Complain(page.error);
    return 1;
  }

  StudioSite site;
  site.root = page.root;
  site.port = options.port;
  if (!options.score.empty()) {
    struct stat st {};
    if (::stat(options.score.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      Complain("no score file " + options.score);
      return 1;
    }
    std::error_code ec;
    site.score = fs::absolute(options.score, ec);
    if (ec) site.score = options.score;
    site.scoreName = fs::path(options.score).filename().string();
    // The tree the score lives in (beside a link, not where the link points) is what it may read.
    site.scoreDir = fs::canonical(site.score.parent_path(), ec);
    if (ec) {
      Complain("cannot resolve the directory of " + options.score);
      return 1;
    }
  }
  site.token = MakeToken();
  EventHub events(site.score);
  site.events = &events;

  // A client that goes away mid-answer must not end the server.
  ::signal(SIGPIPE, SIG_IGN);
  // Blocked here, before any thread exists, so that only the waiter below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server server;
  ConfigureStudioServer(server);
  InstallStudioRoutes(server, site);
  if (!server.bind_to_port(kHost, options.port)) {
    Complain(BindFailure(options.port));
    return 1;
  }

  std::printf("http://%s:%d/?token=%s\n", kHost, options.port, site.token.c_str());
  std::fflush(stdout);
  std::printf("page: %s\n", site.root.c_str());
  if (!site.score.empty()) std::printf("score: %s\n", site.score.c_str());
  std::printf("Ctrl-C stops the server.\n");
  std::fflush(stdout);

  std::atomic<bool> listenDone{false}, signalled{false};
  std::thread waiter([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    if (listenDone) return;
    signalled = true;
    // A signal can come before the accept loop has started, when stop() would do nothing.
    while (!server.is_running() && !listenDone) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The event streams end first: the server waits for every answer under way.
    events.Stop();
    server.stop();
  });
  events.Start();
  const bool ok = server.listen_after_bind();
  events.Stop();
  listenDone = true;
  if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!ok && !signalled) {
    Complain("the server stopped on an error");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    Complain(e.what());
    return 1;
  }
}
