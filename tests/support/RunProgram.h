#pragma once
// Runs the built compiler in a directory and captures its standard output, standard error and
// exit code.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace orvate::testsupport {

struct RunResult {
  std::string out;
  std::string err;
  int exitCode = -1;
};

inline RunResult RunOrvatek(const std::string& dir, const std::vector<std::string>& args,
                            const std::vector<std::string>& env = {}) {
  RunResult result;
  int pipeFd[2], errFd[2];
  if (::pipe(pipeFd) != 0) return result;
  if (::pipe(errFd) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFd[1], 1);
    ::dup2(errFd[1], 2);
    ::close(pipeFd[0]);
    ::close(pipeFd[1]);
    ::close(errFd[0]);
    ::close(errFd[1]);
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv;
    std::string program = ORVATEK_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopies = env;
    if (envCopies.empty()) envCopies.push_back("LANG=C");
    std::vector<char*> envp;
    for (std::string& e : envCopies) envp.push_back(e.data());
    envp.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(pipeFd[1]);
  ::close(errFd[1]);
  // Both at once, so that neither pipe can fill up and stall the program.
  pollfd fds[2] = {{pipeFd[0], POLLIN, 0}, {errFd[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buf[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace orvate::testsupport
