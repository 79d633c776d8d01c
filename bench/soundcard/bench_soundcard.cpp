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

namespace {

WAVEFORMATEX Cd() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = 44100;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = 44100 * 4;
  return f;
}

void Requeue(void* handle, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR) {
  auto* hdr = reinterpret_cast<WAVEHDR*>(p1);
  if (msg == MM_WIM_DATA) waveInAddBuffer(static_cast<HWAVEIN>(handle), hdr, sizeof *hdr);
  if (msg == MM_WOM_DONE) waveOutWrite(static_cast<HWAVEOUT>(handle), hdr, sizeof *hdr);
}

// One wave-in and one wave-out handle, 20 buffers of 3048 bytes each, as the
// recorder and the player use them.
struct Session {
  std::vector<std::vector<char>> memory;
  std::vector<WAVEHDR> in, out;
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;

  Session() : memory(40, std::vector<char>(3048, 1)), in(20), out(20) {
    soundcard::SetMicrophoneSamples(std::vector<float>(2 * 44100, 0.1f), true);
    const WAVEFORMATEX f = Cd();
    waveInOpen(&hin, WAVE_MAPPER, &f, DWORD_PTR(&Requeue), 0, CALLBACK_FUNCTION);
    waveOutOpen(&hout, WAVE_MAPPER, &f, DWORD_PTR(&Requeue), 0, CALLBACK_FUNCTION);
    for (int i = 0; i < 20; ++i) {
      in[i] = WAVEHDR{};
      in[i].lpData = memory[i].data();
      in[i].dwBufferLength = 3048;
      out[i] = WAVEHDR{};
      out[i].lpData = memory[20 + i].data();
      out[i].dwBufferLength = 3048;
      waveInPrepareHeader(hin, &in[i], sizeof(WAVEHDR));
      waveInAddBuffer(hin, &in[i], sizeof(WAVEHDR));
      waveOutPrepareHeader(hout, &out[i], sizeof(WAVEHDR));
      waveOutWrite(hout, &out[i], sizeof(WAVEHDR));
    }
    waveInStart(hin);
  }
  ~Session() {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    waveInReset(hin);
    waveOutReset(hout);
    // The callbacks queued the returned buffers again; take them back.
    waveInReset(hin);
    waveOutReset(hout);
    waveInClose(hin);
    waveOutClose(hout);
    soundcard::ResetCard();
  }
};

// The card's own work for one second of audio, stepped on this thread.
void BM_CardSecondStepped(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Stepped);
  Session session;
  timespec a{}, b{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
  for (auto _ : state) soundcard::Advance(44100);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
  const double cpu = double(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) * 1e-9;
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
  timespec a{}, b{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
  for (auto _ : state) soundcard::Advance(44100);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
  const double cpu = double(b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) * 1e-9;
  state.counters["percent_of_core"] = 100.0 * cpu / double(state.iterations());
  soundcard::SetSynthRender(nullptr, nullptr);
}
BENCHMARK(BM_CardSecondCompensation)->ArgName("compensation")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The virtual device in real time: process CPU time over two seconds while
// this thread sleeps, so nearly all of it is the card's timer thread.
void BM_VirtualDeviceRealTime(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Virtual);
  Session session;
  for (auto _ : state) {
    const double cpu = ProcessCpuSeconds();
    const auto wall = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    state.counters["percent_of_core"] = 100.0 * (ProcessCpuSeconds() - cpu) / seconds;
  }
}
BENCHMARK(BM_VirtualDeviceRealTime)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
