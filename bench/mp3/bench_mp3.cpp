// Converts one 60-second 44100 Hz 16-bit stereo WAV to MP3 at 128 kbit/s
// CBR, with the conversion component and with the `lame` command-line
// encoder, in the same run, and reports how long ours takes relative to it.
// Goal: a ratio of at most 1.00.
//
// The comparison is fair: lame is given the converter's own settings (plain
// stereo, CRC, not marked original, no ReplayGain analysis, the default
// quality), so both do the same work and write the same bytes (checked),
// and both run as whole processes started directly, without a shell: ours
// is this program started again with --convert. Each side's processor time
// is its child's (wait4).
//
// The two alternate within each iteration (the order swapping every time),
// so that load from other processes on a shared machine falls on both alike.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "mp3/LameCoder.h"
#include "tests/mp3/Mp3TestFiles.h"

namespace {

QTemporaryDir* g_dir = nullptr;

QString Input() { return g_dir->filePath("take.wav"); }

// Something closer to a song than a pure tone: a few partials with vibrato
// and a little noise, different in each channel.
void MakeInput() {
  constexpr int rate = 44100, seconds = 60;
  std::vector<std::int16_t> pcm;
  pcm.reserve(std::size_t(rate) * seconds * 2);
  std::uint32_t seed = 12345;
  for (int i = 0; i < rate * seconds; ++i) {
    const double t = double(i) / rate;
    const double f = 220 * (1 + 0.01 * std::sin(2 * std::numbers::pi * 5 * t));
    double l = 0, r = 0;
    for (int k = 1; k <= 6; ++k) {
      l += std::sin(2 * std::numbers::pi * f * k * t) / k;
      r += std::sin(2 * std::numbers::pi * f * 1.5 * k * t) / k;
    }
    seed = seed * 1664525u + 1013904223u;
    const double noise = double(std::int32_t(seed) >> 8) / double(1 << 23);
    pcm.push_back(std::int16_t(std::lround(6000 * l + 800 * noise)));
    pcm.push_back(std::int16_t(std::lround(6000 * r - 800 * noise)));
  }
  mp3test::WriteFile(Input(), mp3test::RecorderWav(rate, 2, 16, mp3test::PcmBytes(pcm)));
}

struct Side {
  double wall = 0;
  double cpu = 0;
};

extern "C" char** environ;

// Runs a program to its end; adds its wall-clock and processor time to
// `side`. False when it could not run or failed.
bool RunProcess(const std::vector<std::string>& args, Side& side) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  rusage u{};
  if (wait4(pid, &status, 0, &u) != pid) return false;
  side.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  side.cpu += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
              double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string g_self;
double g_wallRatio = 0;
double g_cpuRatio = 0;
double g_medianWall = 0;
double g_medianCpu = 0;
bool g_identical = false;

void BM_ConversionVsLameCommandLine(benchmark::State& state) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) {
    state.SkipWithError("the lame command-line encoder is not installed (Debian package lame)");
    return;
  }
  const std::string input = Input().toStdString();
  const std::string oursOut = g_dir->filePath("ours.mp3").toStdString();
  const std::string lameOut = g_dir->filePath("cli.mp3").toStdString();
  // The converter's defaults: stereo (not joint), CRC on, copyright and
  // original off, 128 kbit/s CBR with an Info frame, libmp3lame's default
  // quality, no ReplayGain.
  const std::vector<std::string> lame = {"lame", "--quiet", "-m", "s", "-p", "-o", "--cbr", "-b", "128",
                                         "--noreplaygain", input, lameOut};
  const std::vector<std::string> ours = {g_self, "--convert", input, oursOut};
  Side oursSide, lameSide;
  std::vector<double> wallRatios, cpuRatios;
  bool oursFirst = true;
  for (auto _ : state) {
    Side o, l;
    bool ok = true;
    if (oursFirst) {
      ok = RunProcess(ours, o) && RunProcess(lame, l);
    } else {
      ok = RunProcess(lame, l) && RunProcess(ours, o);
    }
    if (!ok) {
      state.SkipWithError("a conversion failed");
      return;
    }
    oursSide.wall += o.wall, oursSide.cpu += o.cpu;
    lameSide.wall += l.wall, lameSide.cpu += l.cpu;
    wallRatios.push_back(o.wall / l.wall);
    cpuRatios.push_back(o.cpu / l.cpu);
    oursFirst = !oursFirst;
  }
  // A burst of load from elsewhere falls on one side of a pair; the median of
  // the pairs' ratios is less moved by it than the ratio of the sums.
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  };
  g_medianWall = median(wallRatios);
  g_medianCpu = median(cpuRatios);
  QFile a(QString::fromStdString(oursOut)), b(QString::fromStdString(lameOut));
  g_identical = a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll();
  const double n = double(state.iterations());
  state.counters["ours_s"] = oursSide.wall / n;
  state.counters["lame_s"] = lameSide.wall / n;
  state.counters["ours_cpu_s"] = oursSide.cpu / n;
  state.counters["lame_cpu_s"] = lameSide.cpu / n;
  state.counters["identical"] = g_identical ? 1 : 0;
  g_wallRatio = oursSide.wall / lameSide.wall;
  g_cpuRatio = oursSide.cpu / lameSide.cpu;
  state.counters["ratio"] = g_wallRatio;
}

BENCHMARK(BM_ConversionVsLameCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--convert") {
    // One conversion in a process of its own, as the benchmark starts it.
    TLameCoder coder;  // defaults: stereo, 128 kbit/s CBR; the WAV's own 44100 Hz
    coder.SetInputFiles({QString::fromLocal8Bit(argv[2])});
    coder.SetOutputFiles({QString::fromLocal8Bit(argv[3])});
    try {
      coder.ProcessFiles();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
    return 0;
  }
  g_self = "/proc/self/exe";
  {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) g_self.assign(path, std::size_t(n));
  }
  QTemporaryDir dir;
  g_dir = &dir;
  MakeInput();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_wallRatio > 0)
    std::printf(
        "conversion / lame command line at identical settings: %.3f wall-clock, %.3f processor "
        "time (median of the pairs: %.3f, %.3f; goal: at most 1.00); outputs %s\n",
        g_wallRatio, g_cpuRatio, g_medianWall, g_medianCpu, g_identical ? "byte-identical" : "DIFFER");
  return 0;
}
