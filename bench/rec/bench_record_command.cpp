// `tunelark record --seconds N` on the virtual card at real time, as whole
// processes, beside sox writing the same N seconds of 44100 Hz 16-bit stereo
// to a WAV file. Each side's processor time is its child's (wait4), user and
// system, per second of audio (counters *_cpu_ms_per_audio_s; goal: ours
// under 10, i.e. under 1% of a core, start-up included).
//
// With TUNELARK_BENCH_BASELINE naming another build's tunelark program, that
// program records too, in the same run, so a change is measured against the
// code before it under the same load (counter baseline_cpu_ms_per_audio_s).
// The sides take turns within each iteration, the order rotating, so that
// load from other processes falls on all alike.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" char** environ;

namespace {

constexpr int kSeconds = 30;

// Runs a program to its end, its output discarded; adds its processor time
// to `cpu`. False when it could not run or failed.
bool RunProcess(const std::vector<std::string>& args, double& cpu) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  int status = 0;
  rusage u{};
  if (wait4(pid, &status, 0, &u) != pid) return false;
  cpu += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_RecordCommandVsSox(benchmark::State& state) {
  QTemporaryDir dir;
  // The virtual card, no remembered settings, one language.
  setenv("TUNELARK_AUDIO", "virtual", 1);
  setenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData(), 1);
  setenv("LANG", "C", 1);
  const std::string seconds = std::to_string(kSeconds);
  auto record = [&](const std::string& program, const char* name) {
    const std::string out = dir.filePath(name).toStdString();
    return std::vector<std::string>{program, "record", "--seconds", seconds, "--force", "--out", out};
  };
  struct Side {
    const char* counter;
    std::vector<std::string> args;
    double cpu = 0;
  };
  std::vector<Side> sides;
  sides.push_back({"ours_cpu_ms_per_audio_s", record(TUNELARK_PROGRAM, "ours.wav")});
  if (const char* baseline = std::getenv("TUNELARK_BENCH_BASELINE"); baseline && *baseline)
    sides.push_back({"baseline_cpu_ms_per_audio_s", record(baseline, "baseline.wav")});
  const bool sox = std::system("command -v sox >/dev/null 2>&1") == 0;
  if (sox)
    sides.push_back({"sox_cpu_ms_per_audio_s",
                     {"sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", dir.filePath("sox.wav").toStdString(),
                      "synth", seconds, "sine", "440"}});
  std::size_t first = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < sides.size(); ++i) {
      Side& side = sides[(first + i) % sides.size()];
      if (!RunProcess(side.args, side.cpu)) {
        state.SkipWithError((side.args.front() + " failed").c_str());
        return;
      }
    }
    first = (first + 1) % sides.size();
  }
  const double audio = double(kSeconds) * double(state.iterations());
  for (const Side& side : sides) state.counters[side.counter] = 1000.0 * side.cpu / audio;
  if (!sox) state.SetLabel("sox is not installed: no yardstick");
}
BENCHMARK(BM_RecordCommandVsSox)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
