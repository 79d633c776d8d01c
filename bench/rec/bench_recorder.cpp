// Cost of recording: CPU time per second of recorded audio at 44100 Hz
// 16-bit stereo through the card, the engine, the file component and the
// recorder. The goal is under 3% of one core on the virtual card at real
// time (counter cpu_percent); the stepped run measures the same path
// without waiting (CPU ms per audio second).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <string>

#include "audio/MMWRec.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_rec";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string TempFile() {
  return (std::filesystem::temp_directory_path() / ("tl_bench_rec_" + std::to_string(::getpid()) + ".wav"))
      .string();
}

void Configure(TMMWaveRecorder& rec, const std::string& file) {
  rec.Wave()->SetTimeFormat(tfByte);
  rec.SetBufferSize(3048);
  rec.SetNumBuffers(20);
  rec.SetDeviceID(MapperId);
  rec.SetMode(mStereo);
  rec.SetBitLength(b16Bit);
  rec.SetSampleRate(44100);
  rec.SetFileName(file);
}

// Real time on the virtual card: the main thread runs the message loop
// while the card's timer thread records.
void BM_RecordRealTime(benchmark::State& state) {
  EnsureApp();
  soundcard::SelectClock(soundcard::Clock::Virtual);
  soundcard::ResetCard();
  soundcard::SetMicrophoneTestSignal();
  const std::string file = TempFile();
  double cpu = 0, audio = 0;
  for (auto _ : state) {
    TMMWaveRecorder rec;
    Configure(rec, file);
    const double before = ProcessCpuSeconds();
    rec.Start();
    PumpMessagesFor(int(state.range(0)));
    rec.Stop();
    cpu += ProcessCpuSeconds() - before;
    audio += double(rec.Wave()->DataSize()) / 176400.0;
  }
  state.counters["cpu_percent"] = audio > 0 ? 100.0 * cpu / audio : 0;
  state.counters["audio_s"] = audio;
  std::filesystem::remove(file);
  soundcard::SelectClock(soundcard::Clock::Stepped);
}
BENCHMARK(BM_RecordRealTime)->Arg(5000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reference: the virtual card at real time with nothing recording, so that
// the recording's own share is the difference to the run above.
void BM_CardIdleRealTime(benchmark::State& state) {
  EnsureApp();
  soundcard::SelectClock(soundcard::Clock::Virtual);
  soundcard::ResetCard();
  soundcard::SetMicrophoneTestSignal();
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double before = ProcessCpuSeconds();
    PumpMessagesFor(int(state.range(0)));
    cpu += ProcessCpuSeconds() - before;
    wall += double(state.range(0)) / 1000.0;
  }
  state.counters["cpu_percent"] = 100.0 * cpu / wall;
  soundcard::SelectClock(soundcard::Clock::Stepped);
}
BENCHMARK(BM_CardIdleRealTime)->Arg(5000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same path with the stepped card: one second of audio per iteration.
void BM_RecordStepped(benchmark::State& state) {
  EnsureApp();
  soundcard::SelectClock(soundcard::Clock::Stepped);
  soundcard::ResetCard();
  soundcard::SetMicrophoneTestSignal();
  const std::string file = TempFile();
  TMMWaveRecorder rec;
  Configure(rec, file);
  rec.Start();
  for (auto _ : state) soundcard::AdvanceAndPump(44100);
  rec.Stop();
  state.counters["audio_s_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove(file);
}
BENCHMARK(BM_RecordStepped)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
