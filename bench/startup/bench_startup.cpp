// Start-up to the window shown, as whole processes under the offscreen
// platform: tunelark beside a bare Qt window with a menu (bare/), each run
// with TUNELARK_QUIT_WHEN_SHOWN=1, so that it prints the CLOCK_MONOTONIC
// time of the event loop's first turn after the window's first paint and
// quits.
//
// Counters, means over the iterations: shown_ms (from the spawn to that
// time: the dynamic loader, the libraries' initialisers, the windows and
// the first paint), exit_ms (to the end of the process), cpu_ms (the
// process's user and system time). The ratio of the two shown_ms is the
// figure to watch (goal: tunelark under 1.5 x the bare window).
// TUNELARK_BEFORE=<path of another build's tunelark> adds that program as a
// third run, for a change measured side by side with the build before it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

struct Run {
  double shownMs = 0, exitMs = 0, cpuMs = 0;
};

Run RunOnce(const char* program) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program), nullptr};
  const std::int64_t start = MonotonicNs();
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (error != 0) {
    close(out[0]);
    throw std::runtime_error(std::string("cannot start ") + program + ": " + std::strerror(error));
  }
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, std::size_t(n));
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const std::int64_t end = MonotonicNs();
  const auto at = text.find("shown ");
  if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(std::string(program) + " did not report its window shown");
  Run r;
  r.shownMs = double(std::strtoll(text.c_str() + at + 6, nullptr, 10) - start) / 1e6;
  r.exitMs = double(end - start) / 1e6;
  r.cpuMs = (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
  return r;
}

void BM_StartUp(benchmark::State& state, const char* program) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("TUNELARK_AUDIO", "virtual", 1);
  setenv("TUNELARK_QUIT_WHEN_SHOWN", "1", 1);
  Run sum;
  try {
    RunOnce(program);  // warms the page cache
    for (auto _ : state) {
      const Run r = RunOnce(program);
      sum.shownMs += r.shownMs;
      sum.exitMs += r.exitMs;
      sum.cpuMs += r.cpuMs;
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const auto avg = benchmark::Counter::kAvgIterations;
  state.counters["shown_ms"] = benchmark::Counter(sum.shownMs, avg);
  state.counters["exit_ms"] = benchmark::Counter(sum.exitMs, avg);
  state.counters["cpu_ms"] = benchmark::Counter(sum.cpuMs, avg);
}
BENCHMARK_CAPTURE(BM_StartUp, bare_window, BARE_WINDOW_PROGRAM)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_StartUp, tunelark, TUNELARK_PROGRAM)->Iterations(15)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (const char* before = std::getenv("TUNELARK_BEFORE")) {
    static const std::string program = before;
    benchmark::RegisterBenchmark("BM_StartUp/tunelark_before", [](benchmark::State& s) { BM_StartUp(s, program.c_str()); })
        ->Iterations(15)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
