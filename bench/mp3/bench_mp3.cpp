// Converts one 60-second 44100 Hz 16-bit stereo WAV to MP3 at 128 kbit/s
// CBR, with the conversion component and with the `lame` command-line
// encoder, in the same run, and reports how long ours takes relative to it.
// Goal: a ratio of at most 1.10.
//
// The two alternate within each iteration (the order swapping every time),
// so that load from other processes on a shared machine falls on both alike.
// Besides wall-clock time, the processor time of each side is compared
// (ours from this process, lame's from its child process).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

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

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Side {
  double wall = 0;
  double cpu = 0;
};

double g_wallRatio = 0;
double g_cpuRatio = 0;

void BM_ConversionVsLameCommandLine(benchmark::State& state) {
  if (std::system("command -v lame >/dev/null 2>&1") != 0) {
    state.SkipWithError("the lame command-line encoder is not installed (Debian package lame)");
    return;
  }
  TLameCoder coder;  // defaults: stereo, 128 kbit/s CBR; the WAV's own 44100 Hz
  coder.SetInputFiles({Input()});
  coder.SetOutputFiles({g_dir->filePath("ours.mp3")});
  const QByteArray cli = QStringLiteral("lame --quiet --cbr -b 128 '%1' '%2'")
                             .arg(Input(), g_dir->filePath("cli.mp3"))
                             .toLocal8Bit();
  Side ours, lame;
  auto runOurs = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds(RUSAGE_SELF);
    coder.ProcessFiles();
    ours.cpu += CpuSeconds(RUSAGE_SELF) - c0;
    ours.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  auto runLame = [&] {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds(RUSAGE_CHILDREN);
    if (std::system(cli.constData()) != 0) state.SkipWithError("lame failed");
    lame.cpu += CpuSeconds(RUSAGE_CHILDREN) - c0;
    lame.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  bool oursFirst = true;
  for (auto _ : state) {
    if (oursFirst) {
      runOurs();
      runLame();
    } else {
      runLame();
      runOurs();
    }
    oursFirst = !oursFirst;
  }
  const double n = double(state.iterations());
  state.counters["ours_s"] = ours.wall / n;
  state.counters["lame_s"] = lame.wall / n;
  state.counters["ours_cpu_s"] = ours.cpu / n;
  state.counters["lame_cpu_s"] = lame.cpu / n;
  g_wallRatio = ours.wall / lame.wall;
  g_cpuRatio = ours.cpu / lame.cpu;
  state.counters["ratio"] = g_wallRatio;
}

BENCHMARK(BM_ConversionVsLameCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir dir;
  g_dir = &dir;
  MakeInput();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_wallRatio > 0)
    std::printf(
        "conversion / lame command line: %.3f wall-clock, %.3f processor time (goal: at most "
        "1.10)\n",
        g_wallRatio, g_cpuRatio);
  return 0;
}
