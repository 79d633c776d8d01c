// The Host clock through a sound server (a private PulseAudio server with a
// null sink): how fast it starts, the round trip it reports at the
// defaults, and its CPU cost at real time with a recorder and a player open.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/soundcard.h"
#include "tests/platform/soundcard/pulse/soundserver.h"

namespace {

using Steady = std::chrono::steady_clock;

soundservertest::PrivateSoundServer* Server() {
  static std::unique_ptr<soundservertest::PrivateSoundServer> server;
  if (!server && !soundservertest::PrivateSoundServer::Program().empty())
    server = std::make_unique<soundservertest::PrivateSoundServer>();
  return server && server->ready() ? server.get() : nullptr;
}

double MsSince(Steady::time_point t) {
  return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

void Requeue(void* handle, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR) {
  auto* hdr = reinterpret_cast<WAVEHDR*>(p1);
  if (msg == MM_WIM_DATA) waveInAddBuffer(static_cast<HWAVEIN>(handle), hdr, sizeof *hdr);
  if (msg == MM_WOM_DONE) waveOutWrite(static_cast<HWAVEOUT>(handle), hdr, sizeof *hdr);
}

// A recorder and a player at 44100 Hz, 16-bit stereo, re-queuing their 20
// buffers of 3048 bytes from the callback.
struct Handles {
  std::vector<std::vector<char>> memory;
  std::vector<WAVEHDR> in, out;
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;

  Handles() : memory(40, std::vector<char>(3048, 1)), in(20), out(20) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
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
  ~Handles() {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    for (int i = 0; i < 2; ++i) {
      waveInReset(hin);
      waveOutReset(hout);
    }
    waveInClose(hin);
    waveOutClose(hout);
    soundcard::ResetCard();
  }
};

// Start to first frame, ten starts: from selecting the clock (server probe
// included) to the card's first period and to the first microphone frame.
void BM_PulseStart(benchmark::State& state) {
  if (!Server()) {
    state.SkipWithError("no pulseaudio server");
    return;
  }
  for (auto _ : state) {
    double worstOut = 0, worstIn = 0, sumOut = 0, sumIn = 0;
    constexpr int kStarts = 10;
    for (int i = 0; i < kStarts; ++i) {
      soundcard::SelectClock(soundcard::Clock::Stepped);
      const auto t0 = Steady::now();
      soundcard::SelectClock(soundcard::Clock::Host);
      const std::uint64_t from = soundcard::ClockFrames();
      double out = -1, in = -1;
      while ((out < 0 || in < 0) && MsSince(t0) < 5000) {
        if (out < 0 && soundcard::ClockFrames() > from) out = MsSince(t0);
        if (in < 0 && soundcard::HostStartDelays().firstInputMs >= 0) in = MsSince(t0);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      worstOut = std::max(worstOut, out);
      worstIn = std::max(worstIn, in);
      sumOut += out;
      sumIn += in;
    }
    soundcard::SelectClock(soundcard::Clock::Stepped);
    state.counters["first_output_ms_mean"] = sumOut / kStarts;
    state.counters["first_output_ms_worst"] = worstOut;
    state.counters["first_input_ms_mean"] = sumIn / kStarts;
    state.counters["first_input_ms_worst"] = worstIn;
  }
}
BENCHMARK(BM_PulseStart)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Real time through the server: process CPU over three seconds while this
// thread sleeps (the card's periods and the client library's work), the
// round trip the server's timing reports, and the frames lost meanwhile.
void BM_PulseRealTime(benchmark::State& state) {
  if (!Server()) {
    state.SkipWithError("no pulseaudio server");
    return;
  }
  soundcard::SelectClock(soundcard::Clock::Stepped);
  soundcard::ResetCard();
  Handles handles;
  soundcard::SelectClock(soundcard::Clock::Host);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (auto _ : state) {
    const std::uint64_t lost = soundcard::HostLostFrames();
    const double cpu = ProcessCpuSeconds();
    const auto wall = Steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double seconds = MsSince(wall) / 1000.0;
    state.counters["percent_of_core"] = 100.0 * (ProcessCpuSeconds() - cpu) / seconds;
    const soundcard::HostLatencyFrames l = soundcard::HostLatency();
    state.counters["round_trip_ms"] = l.known ? (l.input + l.output) * 1000.0 / soundcard::kSampleRate : -1;
    state.counters["output_latency_ms"] = l.output * 1000.0 / soundcard::kSampleRate;
    state.counters["input_latency_ms"] = l.input * 1000.0 / soundcard::kSampleRate;
    state.counters["lost_frames"] = double(soundcard::HostLostFrames() - lost);
  }
}
BENCHMARK(BM_PulseRealTime)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
