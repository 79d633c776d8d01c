// Accompaniment benchmarks, on the stepped card (no real-time waiting),
// with the synthesizer's renderer kept ahead as on the real clocks; the
// processor time counted is the process's, the renderer's thread included:
// - RenderDenseMidi: processor time per second of a
//   16-channel General MIDI arrangement (eight notes on every channel,
//   drums included), with the default soundfont. Goal: under 10 % of a
//   core, i.e. under 100 ms per second of audio.
// - RenderDenseMidiKeyShifted: the same, three semitones up (the drums stay):
//   transposing must cost nothing measurable beside RenderDenseMidi.
// - LoadDefaultSoundfont: wall time and resident memory of loading the
//   default soundfont and the instruments the arrangement uses.
// - StartLoadingOnTheMainThread: what asking for the load costs the thread
//   that shows the window (the load itself runs on a helper thread).
// - Render...VersusFluidsynth (bench_versus_fluidsynth.cpp): a whole song
//   through Tunelark beside FluidSynth's own renderer.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench_versus_fluidsynth.h"
#include "platform/sequencer/mci.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/sequencer/synth.h"
#include "platform/soundcard/cardcontrol.h"
#include "tests/lyrics/smf_writer.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

}  // namespace

std::vector<std::uint8_t> bench::DenseSong(int seconds) {
  smftest::Track track;
  for (int c = 0; c < 16; ++c) track.At(0, {std::uint8_t(0xC0 | c), std::uint8_t((c * 8 + 1) % 128)});
  const int eighths = seconds * 4;
  for (int e = 0; e < eighths; ++e) {
    for (int c = 0; c < 16; ++c) {
      const std::uint8_t key = c == 9 ? std::uint8_t(35 + (e % 12)) : std::uint8_t(48 + (c * 3 + e) % 24);
      track.At(0, {std::uint8_t(0x90 | c), key, 90});
      track.At(0, {std::uint8_t(0x90 | c), std::uint8_t(key + 4), 80});
    }
    for (int c = 0; c < 16; ++c) {
      const std::uint8_t key = c == 9 ? std::uint8_t(35 + (e % 12)) : std::uint8_t(48 + (c * 3 + e) % 24);
      track.At(c == 0 ? 240 : 0, {std::uint8_t(0x80 | c), key, 0});
      track.At(0, {std::uint8_t(0x80 | c), std::uint8_t(key + 4), 0});
    }
  }
  return smftest::File({track}, 480);
}

namespace {

struct Session {
  QTemporaryDir dir;
  MCIDEVICEID id = 0;
  Session() {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    // Rendered ahead as the real clocks have it, not a period at a time.
    sequencer::Synth::instance().SetSteppedAhead(sequencer::Synth::kAheadFrames);
    const std::string path = dir.filePath("dense.mid").toStdString();
    const auto bytes = bench::DenseSong(600);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    MCI_OPEN_PARMS p{};
    p.lpstrElementName = path.c_str();
    mciSendCommand(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&p));
    id = p.wDeviceID;
    sequencer::WaitDevicesSettled(120000);
  }
};

Session& TheSession() {
  static Session* s = new Session;
  return *s;
}

void LoadDefaultSoundfont(benchmark::State& state) {
  for (auto _ : state) {
    const long before = RssKb();
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    TheSession();
    clock_gettime(CLOCK_MONOTONIC, &t1);
    state.counters["load_s"] = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    state.counters["rss_added_MB"] = double(RssKb() - before) / 1024.0;
    state.counters["rss_total_MB"] = double(RssKb()) / 1024.0;
    state.SetLabel(sequencer::SoundfontInUse());
  }
}
BENCHMARK(LoadDefaultSoundfont)->Iterations(1)->Unit(benchmark::kMillisecond);

void RenderDense(benchmark::State& state, int key) {
  Session& s = TheSession();
  sequencer::SetKeyTempo(s.id, sequencer::KeyTempo{key, 100});
  MCI_PLAY_PARMS p{};
  mciSendCommand(s.id, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&p));
  double cpu = 0;
  int seconds = 0;
  for (auto _ : state) {
    const double c0 = CpuSeconds();
    soundcard::Advance(44100);
    cpu += CpuSeconds() - c0;
    ++seconds;
  }
  state.counters["cpu_ms_per_audio_s"] = 1000.0 * cpu / seconds;
  state.counters["core_share_pct"] = 100.0 * cpu / seconds;
}

void RenderDenseMidi(benchmark::State& state) { RenderDense(state, 0); }
BENCHMARK(RenderDenseMidi)->Iterations(30)->Unit(benchmark::kMillisecond);

void RenderDenseMidiKeyShifted(benchmark::State& state) { RenderDense(state, 3); }
BENCHMARK(RenderDenseMidiKeyShifted)->Iterations(30)->Unit(benchmark::kMillisecond);

// The card and the synthesizer with an accompaniment open but stopped, after its sound
// has died away: what an idle program costs.
void IdleAfterStop(benchmark::State& state) {
  Session& s = TheSession();
  mciSendCommand(s.id, MCI_STOP, MCI_WAIT, 0);
  soundcard::Advance(44100 * 10);
  double cpu = 0;
  int seconds = 0;
  for (auto _ : state) {
    const double c0 = CpuSeconds();
    soundcard::Advance(44100);
    cpu += CpuSeconds() - c0;
    ++seconds;
  }
  state.counters["cpu_ms_per_audio_s"] = 1000.0 * cpu / seconds;
}
BENCHMARK(IdleAfterStop)->Iterations(10)->Unit(benchmark::kMillisecond);

void StartLoadingOnTheMainThread(benchmark::State& state) {
  for (auto _ : state) sequencer::StartSoundfontLoading();
}
BENCHMARK(StartLoadingOnTheMainThread);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 4 && std::string(argv[1]) == "--render-song")
    return bench::RenderSong(argv[2], std::strtoull(argv[3], nullptr, 10));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
