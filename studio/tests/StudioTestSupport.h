#pragma once
// Helpers for the studio tests: temporary trees, the real server as a child process,
// and raw HTTP exchanges on 127.0.0.1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace orvate::studiotest {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "orvate-studio-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) path_ = fs::canonical(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A port nobody listens on right now (the kernel's choice for port 0).
inline int FreePort() {
  const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int port = -1;
  if (sock >= 0 && ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    socklen_t len = sizeof addr;
    if (::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port = ntohs(addr.sin_port);
  }
  if (sock >= 0) ::close(sock);
  return port;
}

// Reads what fd offers until EOF, until stopAtNewline sees a line end, or until the deadline.
inline std::string ReadUntil(int fd, Clock::time_point deadline, bool stopAtNewline) {
  std::string out;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready <= 0) break;
    char c[4096];
    const ssize_t n = ::read(fd, c, stopAtNewline ? 1 : sizeof c);
    if (n <= 0) break;
    out.append(c, static_cast<std::size_t>(n));
    if (stopAtNewline && c[0] == '\n') break;
  }
  return out;
}

// The built orvatek-studio as a child; killed and reaped when this goes away.
class StudioProcess {
 public:
  StudioProcess() = default;
  StudioProcess(const StudioProcess&) = delete;
  StudioProcess& operator=(const StudioProcess&) = delete;
  ~StudioProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
  }

  // Starts program with args in directory cwd (empty: the current one).
  bool Start(const std::string& program, const std::vector<std::string>& args, const fs::path& cwd = {}) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(outPipe[1], 1);
      ::dup2(errPipe[1], 2);
      if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
      std::vector<std::string> copies = args;
      std::vector<char*> argv;
      std::string prog = program;
      argv.push_back(prog.data());
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(prog.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    return pid_ > 0;
  }

  // The first line of standard output, without its line end; empty if none came in time.
  std::string FirstLine(int timeoutMs = 5000) {
    std::string line = ReadUntil(out_, Clock::now() + std::chrono::milliseconds(timeoutMs), true);
    if (line.empty() || line.back() != '\n') return {};
    line.pop_back();
    return line;
  }

  std::string RestOfStderr(int timeoutMs = 5000) {
    return ReadUntil(err_, Clock::now() + std::chrono::milliseconds(timeoutMs), false);
  }

  void Signal(int sig) const {
    if (pid_ > 0) ::kill(pid_, sig);
  }

  // The exit code; 128+N for a death by signal N; -1 when still running after timeoutMs.
  int WaitExit(int timeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        return -1;
      }
      if (Clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

struct RawResponse {
  int status = -1;  // -1: no parsable answer
  std::string head;
  std::string body;
  bool HasHeader(const std::string& line) const { return head.find("\r\n" + line + "\r\n") != std::string::npos; }
};

// Sends bytes as they are (no client normalises the path) and reads the answer until the
// server closes or 5 s pass.
inline RawResponse RawExchange(int port, const std::string& bytes) {
  RawResponse response;
  const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return response;
  timeval tv{5, 0};
  ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  std::string raw;
  if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(sock, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    raw = ReadUntil(sock, Clock::now() + std::chrono::seconds(5), false);
  }
  ::close(sock);
  const auto end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || raw.size() < 12 || end == std::string::npos) return response;
  response.status = std::atoi(raw.substr(9, 3).c_str());
  response.head = raw.substr(0, end + 2);
  response.body = raw.substr(end + 4);
  return response;
}

// A GET with the given target and Host line ("" sends no Host), closing the connection after.
inline std::string Get(const std::string& target, const std::string& hostLine,
                       const std::string& version = "HTTP/1.1") {
  std::string request = "GET " + target + " " + version + "\r\n";
  if (!hostLine.empty()) request += hostLine + "\r\n";
  request += "Connection: close\r\n\r\n";
  return request;
}

// "http://127.0.0.1:PORT/?token=" and 32 lower-case hex digits.
inline bool IsStudioAddress(const std::string& line, int port) {
  const std::string prefix = "http://127.0.0.1:" + std::to_string(port) + "/?token=";
  if (line.size() != prefix.size() + 32 || line.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = prefix.size(); i < line.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(line[i])) || std::isupper(static_cast<unsigned char>(line[i]))) return false;
  }
  return true;
}

}  // namespace orvate::studiotest
