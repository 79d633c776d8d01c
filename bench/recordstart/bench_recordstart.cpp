// Launch to the take's start of `tunelark record` on the virtual device,
// as whole processes, with MuseScore General Lite and a 30 s song: the time
// from the spawn to the take's WAV header in its file (the name is reserved
// by an empty file at once; the recorder writes the header as the take
// starts, its frames follow in 32 KiB writes), polled every millisecond,
// and the process's processor time (user and system) by then. The take is
// then stopped with SIGINT, as a user would.
//
// Songs: "band" (flute, strings, bass and drums) and "piano" (the default
// instrument on channel 1, with drums). Counters, means over the
// iterations: start_ms, start_cpu_ms. Goal: start_ms under 1000.
// TUNELARK_BEFORE=<path of another build's tunelark> adds that program's
// runs, for a change measured side by side with the build before it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/lyrics/smf_writer.h"

extern char** environ;

namespace {

constexpr const char* kLite = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";

std::int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

struct Event {
  std::uint32_t tick;
  std::vector<std::uint8_t> bytes;
};

// 30 s at 120 bpm, 480 ticks per quarter: 60 bars of 4/4. `programs`
// gives each melodic channel's instrument (-1: no program change).
std::vector<std::uint8_t> Song(const std::vector<std::pair<int, int>>& programs) {
  std::vector<Event> events;
  for (auto [channel, program] : programs)
    if (program >= 0) events.push_back({0, {std::uint8_t(0xC0 | channel), std::uint8_t(program)}});
  const std::uint32_t end = 60 * 4 * 480;
  for (std::uint32_t beat = 0; beat < 60 * 4; ++beat) {
    const std::uint32_t t = beat * 480;
    for (auto [channel, program] : programs) {
      const auto key = std::uint8_t(48 + (channel * 7 + beat * 5) % 24);
      events.push_back({t, {std::uint8_t(0x90 | channel), key, 90}});
      events.push_back({t + 400, {std::uint8_t(0x80 | channel), key, 0}});
    }
    const std::uint8_t drum = beat % 2 ? 38 : 36;
    events.push_back({t, {0x99, drum, 100}});
    events.push_back({t, {0x99, 42, 80}});
    events.push_back({t + 200, {0x89, drum, 0}});
    events.push_back({t + 200, {0x89, 42, 0}});
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
  smftest::Track track;
  std::uint32_t last = 0;
  for (const Event& e : events) {
    track.At(e.tick - last, e.bytes);
    last = e.tick;
  }
  return smftest::File({track}, 480, end - last);
}

std::string Folder() {
  static const std::string dir = [] {
    char name[] = "/tmp/bench_recordstart-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp");
    return std::string(name);
  }();
  return dir;
}

std::string WriteSong(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = Folder() + "/" + name + ".mid";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

double CpuMsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  const char* p = text.c_str() + close + 2;
  unsigned long long utime = 0, stime = 0;
  for (int field = 3; field < 14; ++field) p = std::strchr(p, ' ') + 1;
  std::sscanf(p, "%llu %llu", &utime, &stime);
  return double(utime + stime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

struct Run {
  double startMs = 0, cpuMs = 0;
};

Run RunOnce(const char* program, const std::string& song) {
  // A song with a melody scores the take beside it; both are refused when
  // they exist.
  const std::string take = Folder() + "/take.wav";
  unlink(take.c_str());
  unlink((Folder() + "/take.score.json").c_str());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {program, "record", "--accompaniment", song, "--out", take, "--quiet"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::int64_t start = MonotonicNs();
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error(std::string("cannot start ") + program + ": " + std::strerror(error));
  Run r;
  for (;;) {
    struct stat st {};
    if (stat(take.c_str(), &st) == 0 && st.st_size > 0) {
      r.startMs = double(MonotonicNs() - start) / 1e6;
      r.cpuMs = CpuMsOf(pid);
      break;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) throw std::runtime_error(std::string(program) + " ended before its take started");
    if (MonotonicNs() - start > 120'000'000'000LL) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      throw std::runtime_error(std::string(program) + " did not start its take within 120 s");
    }
    usleep(1000);
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  return r;
}

void BM_RecordStart(benchmark::State& state, const char* program, const char* name) {
  setenv("TUNELARK_AUDIO", "virtual", 1);
  setenv("TUNELARK_SOUNDFONT", kLite, 1);
  const std::string song =
      std::strcmp(name, "piano") == 0
          ? WriteSong("piano", Song({{0, -1}}))
          : WriteSong("band", Song({{0, 73}, {1, 48}, {2, 32}}));
  Run sum;
  try {
    if (access(kLite, R_OK) != 0) throw std::runtime_error(std::string(kLite) + " is not installed");
    RunOnce(program, song);  // warms the page cache
    for (auto _ : state) {
      const Run r = RunOnce(program, song);
      sum.startMs += r.startMs;
      sum.cpuMs += r.cpuMs;
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const auto avg = benchmark::Counter::kAvgIterations;
  state.counters["start_ms"] = benchmark::Counter(sum.startMs, avg);
  state.counters["start_cpu_ms"] = benchmark::Counter(sum.cpuMs, avg);
}

// Each song through each program in turn, so that both meet the same load.
void Register(const char* before) {
  static const std::string kBefore = before ? before : "";
  for (const char* song : {"band", "piano"}) {
    if (before)
      benchmark::RegisterBenchmark((std::string("BM_RecordStart/tunelark_before/") + song).c_str(),
                                   [song](benchmark::State& s) { BM_RecordStart(s, kBefore.c_str(), song); })
          ->Iterations(5)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("BM_RecordStart/tunelark/") + song).c_str(),
                                 [song](benchmark::State& s) { BM_RecordStart(s, TUNELARK_PROGRAM, song); })
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Register(std::getenv("TUNELARK_BEFORE"));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
