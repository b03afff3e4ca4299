// Runs one program and prints what it cost: wall nanoseconds from fork to reaped, user + system
// microseconds, peak resident kilobytes, exit status.
//   orvate_launch PROG ARGS...   (the program's own output goes to /dev/null)
// It exists because Linux carries the peak resident size of a process across exec: a child
// spawned straight from the benchmark (which holds every generated score) would report the
// benchmark's size. This small process forks the measured one from its own small size instead.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: orvate_launch PROG ARGS...\n");
    return 2;
  }
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) return 1;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  const long long wallNs = (t1.tv_sec - t0.tv_sec) * 1000000000LL + (t1.tv_nsec - t0.tv_nsec);
  const long long cpuUs = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000LL + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
  std::printf("%lld %lld %ld %d\n", wallNs, cpuUs, ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
