// Plays a 44100 Hz 16-bit stereo WAV through the wave player (file, chain,
// output engine) on the virtual sound card at real time, with the program's
// settings (20 buffers of 3048 bytes, window-message callbacks), inside a
// running Qt event loop, and reports the processor time the whole process
// spends per second of playback, the card's own clock thread included.
// Goal: under 3% of one core.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/soundcard/cardcontrol.h"
#include "recplay/MMWPlay.h"

namespace {

constexpr int kSeconds = 3;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void WriteTake(const std::string& path) {
  std::vector<std::int16_t> pcm(std::size_t(44100) * kSeconds * 2);
  std::uint32_t x = 1;
  for (auto& s : pcm) {
    x = x * 1664525u + 1013904223u;
    s = std::int16_t(int(x >> 16) % 20000 - 10000);
  }
  const std::uint32_t bytes = std::uint32_t(pcm.size() * 2);
  const WAVEFORMATEX f = pcmBuildWaveHeader(16, 2, 44100);
  std::ofstream out(path, std::ios::binary);
  const std::uint32_t riff = 36 + bytes, fmt = 16;
  out.write("RIFF", 4).write(reinterpret_cast<const char*>(&riff), 4).write("WAVEfmt ", 8);
  out.write(reinterpret_cast<const char*>(&fmt), 4).write(reinterpret_cast<const char*>(&f), 16);
  out.write("data", 4).write(reinterpret_cast<const char*>(&bytes), 4);
  out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
}

void BM_PlaybackCpuPerSecondHeard(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("take.wav").toStdString();
  WriteTake(path);
  soundcard::SelectClock(soundcard::Clock::Virtual);

  TMMWavePlayer player;
  player.SetBufferSize(3048);
  player.SetNumBuffers(20);
  player.SetDeviceID(MapperId);
  player.SetTimeFormat(tfByte);
  player.Wave()->SetFileName(path);
  QEventLoop loop;
  player.OnStop = [&](QObject*) { loop.quit(); };

  // A stuck run ends anyway.
  QTimer guard;
  guard.setSingleShot(true);
  guard.setInterval((kSeconds + 5) * 1000);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
  double cpu = 0, heard = 0, framesRun = 0;
  for (auto _ : state) {
    const std::uint64_t frames0 = soundcard::ClockFrames();
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    player.Start();
    guard.start();
    loop.exec();
    guard.stop();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    cpu += ProcessCpuSeconds() - cpu0;
    heard += kSeconds;
    framesRun += double(soundcard::ClockFrames() - frames0);
    state.SetIterationTime(wall);
  }
  state.counters["cpu_ms_per_s_heard"] = 1000.0 * cpu / heard;
  state.counters["percent_of_one_core"] = 100.0 * cpu / heard;
  // Card time per run: the take's length plus the little it takes to start
  // and to let the last buffer out.
  state.counters["card_s_per_run"] = framesRun / 44100.0 / double(state.iterations());
}
BENCHMARK(BM_PlaybackCpuPerSecondHeard)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
