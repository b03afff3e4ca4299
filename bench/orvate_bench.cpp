// Benchmark of the orvatek program over generated scores.
//
//   orvate_bench run   --orvatek EXE --work DIR [--runs N]
//       Times the real orvatek process (and the input/output floor process) on every score kind:
//       MB/s of source, events/s, output bytes, peak memory, the ratio to the floor and to cp of a
//       file of the size of source plus module (the second floor); then the
//       one-line score. Prints the figures and whether each target is met.
//   orvate_bench check --orvatek EXE --work DIR
//       Linear cost (callgrind instruction counts of each kind at two sizes), no allocation per
//       command, and one write of the output image (strace). Exit code 1 when a check fails.
//   orvate_bench gen DIR
//       Writes the full-size scores, for profiling by hand.
// The floor program (orvate_iofloor) and the launcher (orvate_launch) are taken from the
// directory of this program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "ScoreGen.h"
#include "compiler/CompilerU.h"

extern char** environ;

// Counts heap allocations made while gCounting is set (the in-process measurement only).
namespace {
uint64_t gAllocs = 0;
bool gCounting = false;
}  // namespace

void* operator new(std::size_t n) {
  if (gCounting) ++gAllocs;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using orvate::TCompiler;
using orvate::TFuncResult;
using namespace orvate::bench;

// ---------------------------------------------------------------- helpers

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

long long FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string LoadAvg() {
  std::string s = ReadFile("/proc/loadavg");
  std::istringstream in(s);
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::string CpuModel() {
  std::istringstream in(ReadFile("/proc/cpuinfo"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown";
}

std::string Fixed(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}

// ---------------------------------------------------------------- processes

struct TRun {
  double Wall = 0;   // seconds from spawn to reaped
  double Cpu = 0;    // user + system seconds of the child
  long MaxRssKB = 0;
  int Status = -1;   // exit code, or -1 when it did not exit normally
};

// Runs argv[0] with its standard output and error sent to outPath.
TRun Spawn(const std::vector<std::string>& argv, const std::string& outPath = "/dev/null") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  TRun run;
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid_t pid;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return run;
  }
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  posix_spawn_file_actions_destroy(&actions);
  run.Wall = (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
  run.Cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  run.MaxRssKB = ru.ru_maxrss;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Runs the program through the launcher, which reports the cost of that program alone.
TRun Measure(const std::string& launcher, const std::vector<std::string>& argv, const std::string& resultPath) {
  std::vector<std::string> full = {launcher};
  full.insert(full.end(), argv.begin(), argv.end());
  TRun run;
  if (Spawn(full, resultPath).Status != 0) return run;
  std::istringstream in(ReadFile(resultPath));
  long long wallNs = 0, cpuUs = 0;
  if (!(in >> wallNs >> cpuUs >> run.MaxRssKB >> run.Status)) run.Status = -1;
  run.Wall = wallNs / 1e9;
  run.Cpu = cpuUs / 1e6;
  return run;
}

std::string SelfDir() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string exe(buf, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash);
}

bool HaveProgram(const std::string& name) {
  return Spawn({"/bin/sh", "-c", "command -v " + name}).Status == 0;
}

// ---------------------------------------------------------------- in-process counts

struct TCounts {
  bool Success = false;
  uint64_t Commands = 0;  // commands executed by the compile loop (loop passes and macro runs included)
  uint64_t Events = 0;    // cells held by the song at the end (what the event log lists)
  uint64_t Allocs = 0;    // heap allocations during Compile, writing the file included
  long long OutBytes = -1;
};

// Compiles the score in this process twice: once through Compile (allocations, events, output),
// once through the same token-by-token loop to count the commands it runs.
TCounts CountInProcess(const std::string& score, const std::string& dir) {
  TCounts counts;
  const std::string out = dir + "/inprocess.xm";
  {
    TCompiler compiler;
    compiler.LoadFromBytes(score, dir + "/");
    TFuncResult result;
    gAllocs = 0;
    gCounting = true;
    compiler.Compile(out, result);
    gCounting = false;
    counts.Allocs = gAllocs;
    counts.Success = result.Success;
    for (const auto& p : compiler.Song().Patterns)
      for (const auto& c : p.Channels) counts.Events += c.Events.size();
    counts.OutBytes = FileSize(out);
  }
  {
    TCompiler compiler;
    compiler.LoadFromBytes(score, dir + "/");
    TFuncResult result;
    std::string lower;
    for (;;) {
      const std::string_view token = compiler.Scanner().NextToken();
      if (token.empty()) break;
      lower = token;
      for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      }
      compiler.CallFunc(lower, result);
      ++counts.Commands;
      if (!result.Success) break;
    }
  }
  ::unlink(out.c_str());
  return counts;
}

// ---------------------------------------------------------------- run

struct TOptions {
  std::string Orvatek, Floor, Launcher, Work;
  std::string Cp = "/bin/cp";
  int Runs = 7;
};

struct TTimed {
  double Wall = 0, Cpu = 0, RssMB = 0;
  double FloorWall = 0, FloorCpu = 0;
  double CpWall = 0;  // cp of a file as large as source and module together
  bool AllOk = true;
};

// Alternates the compiler and the floor so both see the same load; medians over the runs.
TTimed TimeScore(const TOptions& o, const std::string& score, const std::string& xm, long long outBytes, int runs) {
  std::vector<double> wall, cpu, rss, fwall, fcpu;
  const std::string floorOut = o.Work + "/floor.out";
  const std::string result = o.Work + "/launch.txt";
  const std::vector<std::string> compile = {o.Orvatek, score, xm};
  const std::vector<std::string> floor = {o.Floor, score, floorOut, std::to_string(outBytes)};
  // The second floor: the system's cp copying a file of the size of source plus module.
  const std::string cpIn = o.Work + "/cp.in", cpOut = o.Work + "/cp.out";
  WriteFile(cpIn, ReadFile(score) + std::string(static_cast<std::size_t>(outBytes), '\x80'));
  const std::vector<std::string> cp = {o.Cp, cpIn, cpOut};
  // One untimed run of each brings the files into the page cache.
  Measure(o.Launcher, compile, result);
  Measure(o.Launcher, floor, result);
  Measure(o.Launcher, cp, result);
  TTimed t;
  std::vector<double> cwall;
  for (int i = 0; i < runs; ++i) {
    const TRun r = Measure(o.Launcher, compile, result);
    const TRun f = Measure(o.Launcher, floor, result);
    const TRun c = Measure(o.Launcher, cp, result);
    if (r.Status != 0 || f.Status != 0 || c.Status != 0 || FileSize(xm) != outBytes) t.AllOk = false;
    wall.push_back(r.Wall);
    cpu.push_back(r.Cpu);
    rss.push_back(r.MaxRssKB / 1024.0);
    fwall.push_back(f.Wall);
    fcpu.push_back(f.Cpu);
    cwall.push_back(c.Wall);
  }
  t.CpWall = Median(cwall);
  for (const std::string& f : {floorOut, cpIn, cpOut}) ::unlink(f.c_str());
  ::unlink(result.c_str());
  t.Wall = Median(wall);
  t.Cpu = Median(cpu);
  t.RssMB = *std::max_element(rss.begin(), rss.end());
  t.FloorWall = Median(fwall);
  t.FloorCpu = Median(fcpu);
  return t;
}

int Run(const TOptions& o) {
  ::mkdir(o.Work.c_str(), 0755);
  char date[64];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  std::printf("ORVATE benchmark, %s\n", date);
  std::printf("machine: %ld CPUs online, %s\n", sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str());
  std::printf("load average before: %s\n", LoadAvg().c_str());
  std::printf("runs per score: %d, medians (peak memory: the largest of the runs)\n\n", o.Runs);
  std::printf("%-9s %9s %9s %8s %9s %8s %8s %8s %8s %9s %8s %8s %8s %7s %8s %7s\n", "score", "source", "output",
              "events", "commands", "wall ms", "cpu ms", "MB/s", "Mev/s", "allocs", "peak MB", "limit MB",
              "floor ms", "ratio", "cp ms", "x cp");

  bool failed = false;
  double denseMBs = 0, denseCpuMBs = 0, denseCpRatio = 0, largestRatio = 0, largestCpuRatio = 0;
  long long largestOut = -1;
  std::string largestName;
  bool memoryOk = true;
  for (const TScoreKind& kind : ScoreKinds()) {
    const std::string text = kind.Make(kind.FullSize);
    const std::string score = o.Work + "/" + kind.Name + ".mml";
    const std::string xm = o.Work + "/" + kind.Name + ".xm";
    WriteFile(score, text);
    const TCounts counts = CountInProcess(text, o.Work);
    if (!counts.Success) {
      std::printf("%-9s the score does not compile\n", kind.Name);
      failed = true;
      continue;
    }
    const TTimed t = TimeScore(o, score, xm, counts.OutBytes, o.Runs);
    if (!t.AllOk) {
      std::printf("%-9s a run failed or wrote another size than the in-process compile\n", kind.Name);
      failed = true;
    }
    const double src = static_cast<double>(text.size());
    const double out = static_cast<double>(counts.OutBytes);
    const double mbs = src / 1e6 / t.Wall;
    const double limitMB = 3 * (src + out) / (1024.0 * 1024.0) + 16;
    const double ratio = t.Wall / t.FloorWall;
    std::printf("%-9s %9zu %9lld %8llu %9llu %8s %8s %8s %8s %9llu %8s %8s %8s %7s %8s %7s\n", kind.Name, text.size(),
                counts.OutBytes, static_cast<unsigned long long>(counts.Events),
                static_cast<unsigned long long>(counts.Commands), Fixed(t.Wall * 1e3, 1).c_str(),
                Fixed(t.Cpu * 1e3, 1).c_str(), Fixed(mbs, 1).c_str(),
                Fixed(counts.Events / 1e6 / t.Wall, 2).c_str(), static_cast<unsigned long long>(counts.Allocs),
                Fixed(t.RssMB, 1).c_str(), Fixed(limitMB, 1).c_str(), Fixed(t.FloorWall * 1e3, 2).c_str(),
                Fixed(ratio, 1).c_str(), Fixed(t.CpWall * 1e3, 2).c_str(), Fixed(t.Wall / t.CpWall, 1).c_str());
    if (t.RssMB > limitMB) memoryOk = false;
    if (std::string(kind.Name) == "dense") {
      denseCpRatio = t.Wall / t.CpWall;
      denseMBs = mbs;
      denseCpuMBs = src / 1e6 / t.Cpu;
    }
    if (!kind.ExtendedRows && counts.OutBytes > largestOut) {
      largestOut = counts.OutBytes;
      largestName = kind.Name;
      largestRatio = ratio;
      largestCpuRatio = t.Cpu / t.FloorCpu;
    }
    ::unlink(xm.c_str());
  }

  // The dense score again with its score map: the map's JSON, built and written, per second.
  double mapMBs = 0;
  bool mapMemoryOk = false;
  {
    const TScoreKind* dense = nullptr;
    for (const TScoreKind& kind : ScoreKinds())
      if (std::string(kind.Name) == "dense") dense = &kind;
    const std::string text = dense->Make(dense->FullSize);
    const std::string score = o.Work + "/dense.mml";
    const std::string xm = o.Work + "/dense.xm";
    const std::string map = o.Work + "/dense.map.json";
    WriteFile(score, text);
    const std::string result = o.Work + "/launch.txt";
    const std::vector<std::string> compile = {o.Orvatek, score, xm, "-map"};
    Measure(o.Launcher, compile, result);
    std::vector<double> wall, rss;
    for (int i = 0; i < o.Runs; ++i) {
      const TRun r = Measure(o.Launcher, compile, result);
      if (r.Status != 0) failed = true;
      wall.push_back(r.Wall);
      rss.push_back(r.MaxRssKB / 1024.0);
    }
    const double mapBytes = static_cast<double>(FileSize(map));
    const double total = static_cast<double>(text.size() + FileSize(xm)) + mapBytes;
    const double peak = *std::max_element(rss.begin(), rss.end());
    const double limitMB = 3 * total / (1024.0 * 1024.0) + 16;
    mapMBs = mapBytes / 1e6 / Median(wall);
    mapMemoryOk = peak <= limitMB;
    std::printf("%-9s %9zu %9.0f %8s %9s %8s %8s %8s %8s %9s %8s %8s   (map %.1f MB of JSON, %.1f MB/s)\n", "dense+map",
                text.size(), mapBytes, "", "", Fixed(Median(wall) * 1e3, 1).c_str(), "", "", "", "",
                Fixed(peak, 1).c_str(), Fixed(limitMB, 1).c_str(), mapBytes / 1e6, mapMBs);
    for (const std::string& f : {xm, map, result}) ::unlink(f.c_str());
  }

  // The one-line score: process start, compile and write, many runs.
  const std::string oneScore = o.Work + "/oneline.mml";
  const std::string oneXm = o.Work + "/oneline.xm";
  WriteFile(oneScore, OneLine());
  const TTimed one = TimeScore(o, oneScore, oneXm, CountInProcess(OneLine(), o.Work).OutBytes, o.Runs * 5);
  if (!one.AllOk) {
    std::printf("oneline   a run failed or wrote another size than the in-process compile\n");
    failed = true;
  }
  std::printf("%-9s %9zu %9lld %8s %9s %8s %8s %8s %8s %9s %8s %8s %8s %7s %8s %7s\n", "oneline", OneLine().size(),
              FileSize(oneXm), "", "", Fixed(one.Wall * 1e3, 2).c_str(), Fixed(one.Cpu * 1e3, 2).c_str(), "", "",
              "", Fixed(one.RssMB, 1).c_str(), "", Fixed(one.FloorWall * 1e3, 2).c_str(),
              Fixed(one.Wall / one.FloorWall, 1).c_str(), Fixed(one.CpWall * 1e3, 2).c_str(),
              Fixed(one.Wall / one.CpWall, 1).c_str());
  ::unlink(oneXm.c_str());
  std::printf("\nload average after: %s\n\n", LoadAvg().c_str());

  auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
  std::printf("targets (wall-clock medians; in brackets the same from CPU time, user + system):\n");
  std::printf("  dense source >= 100 MB/s: %s MB/s [%s MB/s]: %s\n", Fixed(denseMBs, 1).c_str(),
              Fixed(denseCpuMBs, 1).c_str(), verdict(denseMBs >= 100));
  std::printf("  dense score within 3 x the cp floor (cp of source + module): %s x: %s\n",
              Fixed(denseCpRatio, 2).c_str(), verdict(denseCpRatio <= 3));
  std::printf("  largest 64-row song (%s) <= 20 x floor: %s x [%s x]: %s\n", largestName.c_str(),
              Fixed(largestRatio, 1).c_str(), Fixed(largestCpuRatio, 1).c_str(), verdict(largestRatio <= 20));
  std::printf("  peak memory <= 3 x (source + output) + 16 MB, every score: %s\n", verdict(memoryOk));
  std::printf("  dense score map built and written >= 100 MB/s of JSON: %s MB/s (whole run): %s\n",
              Fixed(mapMBs, 1).c_str(), verdict(mapMBs >= 100));
  std::printf("  with the map, peak memory <= 3 x (source + module + map) + 16 MB: %s\n", verdict(mapMemoryOk));
  std::printf("  one-line score < 5 ms, process start included: %s ms [%s ms]: %s\n",
              Fixed(one.Wall * 1e3, 2).c_str(), Fixed(one.Cpu * 1e3, 2).c_str(), verdict(one.Wall < 0.005));
  return failed ? 1 : 0;
}

// ---------------------------------------------------------------- check

// Instructions of one orvatek run under callgrind; 0 when it could not be measured.
uint64_t Instructions(const TOptions& o, const std::string& score, const std::string& tag) {
  const std::string cg = o.Work + "/callgrind." + tag;
  const TRun r = Spawn({"/usr/bin/env", "valgrind", "--tool=callgrind", "--callgrind-out-file=" + cg, o.Orvatek,
                        score, o.Work + "/check.xm"},
                       o.Work + "/valgrind.txt");
  if (r.Status != 0) return 0;
  std::istringstream in(ReadFile(cg));
  std::string line;
  uint64_t total = 0;
  while (std::getline(in, line)) {
    if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) total = std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
  }
  ::unlink(cg.c_str());
  return total;
}

int Check(const TOptions& o) {
  ::mkdir(o.Work.c_str(), 0755);
  bool ok = true;

  // 1. Linear cost: four times the work may take at most 4.6 times the instructions.
  if (!HaveProgram("valgrind")) {
    std::printf("linearity: valgrind not found, not checked\n");
    ok = false;
  } else {
    const std::string oneScore = o.Work + "/oneline.mml";
    WriteFile(oneScore, OneLine());
    const uint64_t fixed = Instructions(o, oneScore, "oneline");
    std::printf("linearity (callgrind instructions; the one-line score's %llu, the cost of any run, subtracted):\n",
                static_cast<unsigned long long>(fixed));
    std::printf("  %-9s %6s %6s %12s %12s %9s %9s %9s %s\n", "score", "small", "large", "Ir small", "Ir large",
                "work x", "Ir x", "Ir x/4 work", "");
    for (const TScoreKind& kind : ScoreKinds()) {
      const std::string small = kind.Make(kind.SmallSize), large = kind.Make(kind.LargeSize);
      const std::string smallPath = o.Work + "/" + kind.Name + "-small.mml";
      const std::string largePath = o.Work + "/" + kind.Name + "-large.mml";
      WriteFile(smallPath, small);
      WriteFile(largePath, large);
      const TCounts cs = CountInProcess(small, o.Work), cl = CountInProcess(large, o.Work);
      const uint64_t is = Instructions(o, smallPath, kind.Name), il = Instructions(o, largePath, kind.Name);
      if (!cs.Success || !cl.Success || is <= fixed || il <= fixed) {
        std::printf("  %-9s could not be measured\n", kind.Name);
        ok = false;
        continue;
      }
      // The work is the commands the compile loop runs: source text for straight scores, loop passes for loops.
      const double work = static_cast<double>(cl.Commands) / static_cast<double>(cs.Commands);
      const double cost = static_cast<double>(il - fixed) / static_cast<double>(is - fixed);
      const double perFour = cost / work * 4;
      const bool pass = perFour <= 4.6;
      ok = ok && pass;
      std::printf("  %-9s %6d %6d %12llu %12llu %9s %9s %9s %s\n", kind.Name, kind.SmallSize, kind.LargeSize,
                  static_cast<unsigned long long>(is), static_cast<unsigned long long>(il), Fixed(work, 2).c_str(),
                  Fixed(cost, 2).c_str(), Fixed(perFour, 2).c_str(), pass ? "ok" : "FAILED (> 4.6)");
    }
  }

  // 2. No allocation per command: the loop score runs millions of commands on a few thousand cells.
  {
    const TScoreKind& loops = ScoreKinds()[2];
    const TCounts c = CountInProcess(loops.Make(loops.FullSize), o.Work);
    const bool pass = c.Success && c.Allocs * 100 < c.Commands;
    ok = ok && pass;
    std::printf("allocations: loop score, %llu commands, %llu events, %llu allocations: %s\n",
                static_cast<unsigned long long>(c.Commands), static_cast<unsigned long long>(c.Events),
                static_cast<unsigned long long>(c.Allocs), pass ? "ok (under 1 per 100 commands)" : "FAILED");
    const TScoreKind& dense = ScoreKinds()[0];
    const TCounts d = CountInProcess(dense.Make(dense.FullSize), o.Work);
    // Event lists grow by doubling: about log2(64) allocations for a channel of 64 cells.
    const bool densePass = d.Success && d.Allocs * 4 < d.Events;
    ok = ok && densePass;
    std::printf("allocations: dense score, %llu commands, %llu events, %llu allocations: %s\n",
                static_cast<unsigned long long>(d.Commands), static_cast<unsigned long long>(d.Events),
                static_cast<unsigned long long>(d.Allocs), densePass ? "ok (under 1 per 4 events)" : "FAILED");
  }

  // 3. One write of the output image.
  if (!HaveProgram("strace")) {
    std::printf("single write: strace not found, not checked\n");
    ok = false;
  } else {
    const TScoreKind& dense = ScoreKinds()[0];
    const std::string score = o.Work + "/dense-write.mml", xm = o.Work + "/dense-write.xm";
    const std::string trace = o.Work + "/strace.txt";
    WriteFile(score, dense.Make(dense.LargeSize));
    const TRun r = Spawn({"/usr/bin/env", "strace", "-e", "trace=write", "-e", "signal=none", "-o", trace,
                          o.Orvatek, score, xm});
    const long long size = FileSize(xm);
    int writes = 0, imageWrites = 0;
    std::istringstream in(ReadFile(trace));
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("write(", 0) != 0) continue;
      ++writes;
      const std::size_t eq = line.rfind("= ");
      if (eq != std::string::npos && std::strtoll(line.c_str() + eq + 2, nullptr, 10) == size) ++imageWrites;
    }
    // Besides the image, only the console lines (banner and verdict) are written.
    const bool pass = r.Status == 0 && size > 0 && imageWrites == 1 && writes <= 3;
    ok = ok && pass;
    std::printf("single write: %d write calls, %d of them the whole %lld-byte image: %s\n", writes, imageWrites,
                size, pass ? "ok" : "FAILED");
    ::unlink(xm.c_str());
  }
  std::printf("%s\n", ok ? "all checks passed" : "some checks FAILED");
  return ok ? 0 : 1;
}

int Gen(const std::string& dir) {
  ::mkdir(dir.c_str(), 0755);
  for (const TScoreKind& kind : ScoreKinds()) {
    const std::string path = dir + "/" + kind.Name + ".mml";
    if (!WriteFile(path, kind.Make(kind.FullSize))) return 1;
    std::printf("%s: %s\n", path.c_str(), kind.What);
  }
  WriteFile(dir + "/oneline.mml", OneLine());
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: orvate_bench run --orvatek EXE --work DIR [--runs N]\n"
               "       orvate_bench check --orvatek EXE --work DIR\n"
               "       orvate_bench gen DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  if (mode == "gen") return argc == 3 ? Gen(argv[2]) : Usage();
  TOptions o;
  o.Floor = SelfDir() + "/orvate_iofloor";
  o.Launcher = SelfDir() + "/orvate_launch";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--orvatek") o.Orvatek = value;
    else if (key == "--work") o.Work = value;
    else if (key == "--runs") o.Runs = std::max(1, std::atoi(value.c_str()));
    else return Usage();
  }
  if (o.Orvatek.empty() || o.Work.empty()) return Usage();
  if (mode == "run") return Run(o);
  if (mode == "check") return Check(o);
  return Usage();
}
