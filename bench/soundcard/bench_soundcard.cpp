// The card's cost: CPU time per second of audio with one wave-in and one
// wave-out handle open at 44100 Hz, 16-bit stereo, each re-queuing its
// buffers from the callback the way the engines keep their rings full.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/soundcard.h"
#include "bench/soundcard/duplexsession.h"

namespace {

// With a steady voice on the microphone, so the recording path has work.
struct Session : benchcard::DuplexSession {
  Session() { soundcard::SetMicrophoneSamples(std::vector<float>(2 * 44100, 0.1f), true); }
};

// The card's own work for one second of audio, stepped on this thread.
void BM_CardSecondStepped(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Stepped);
  Session session;
  const double start = benchcard::ThreadCpuSeconds();
  for (auto _ : state) soundcard::Advance(44100);
  const double cpu = benchcard::ThreadCpuSeconds() - start;
  // CPU seconds per second of audio, as a share of one core.
  state.counters["percent_of_core"] = 100.0 * cpu / double(state.iterations());
}
BENCHMARK(BM_CardSecondStepped)->Unit(benchmark::kMillisecond);

// A synthesizer that costs next to nothing: a constant level.
void Level(void*, float* out, std::uint32_t frames) { std::fill(out, out + 2 * frames, 0.125f); }

// The same session with the synthesizer playing and a round trip of 120 ms:
// the recording mix delays "SW Synth" and "Wave Out" by it (argument 1) or
// not (argument 0, compensation forced off).
void BM_CardSecondCompensation(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Stepped);
  Session session;
  soundcard::SetSynthRender(&Level, nullptr);
  soundcard::SetLatencyOffsetMs(120);
  soundcard::SetLatencyCompensation(state.range(0) != 0);
  soundcard::Advance(44100);  // the lines are filled
  const double start = benchcard::ThreadCpuSeconds();
  for (auto _ : state) soundcard::Advance(44100);
  const double cpu = benchcard::ThreadCpuSeconds() - start;
  state.counters["percent_of_core"] = 100.0 * cpu / double(state.iterations());
  soundcard::SetSynthRender(nullptr, nullptr);
}
BENCHMARK(BM_CardSecondCompensation)->ArgName("compensation")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What a change of the round trip does under the card's lock when it needs
// lines of other room: the new line takes over the old one's history. The
// argument is the line's room in frames (one second; the longest round trip
// with its spare room); both lines have wrapped.
void BM_DelayLineTakeHistory(benchmark::State& state) {
  const auto frames = std::uint32_t(state.range(0));
  soundcard::DelayLine older(frames), newer(frames + soundcard::kSampleRate / 2);
  std::vector<float> block(2 * 4096, 0.25f);
  for (std::uint64_t written = 0; written < 3ull * frames / 2; written += 4096) older.write(block.data(), 4096);
  for (auto _ : state) {
    newer.takeHistory(older);
    benchmark::DoNotOptimize(newer);
  }
}
BENCHMARK(BM_DelayLineTakeHistory)->ArgName("frames")->Arg(44100)->Arg(467775)->Unit(benchmark::kMicrosecond);

// The virtual device in real time: process CPU time over two seconds while
// this thread sleeps, so nearly all of it is the card's timer thread.
void BM_VirtualDeviceRealTime(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Virtual);
  Session session;
  for (auto _ : state) state.counters["percent_of_core"] = benchcard::PercentOfCoreWhileSleeping(std::chrono::seconds(2));
}
BENCHMARK(BM_VirtualDeviceRealTime)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
