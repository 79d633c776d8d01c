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
#include "bench/soundcard/duplexsession.h"
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

using Handles = benchcard::DuplexSession;

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
    state.counters["percent_of_core"] = benchcard::PercentOfCoreWhileSleeping(std::chrono::seconds(3));
    const soundcard::HostLatencyFrames l = soundcard::HostLatency();
    state.counters["round_trip_ms"] = l.known ? soundcard::MsOfFrames(l.input + l.output) : -1;
    state.counters["output_latency_ms"] = soundcard::MsOfFrames(l.output);
    state.counters["input_latency_ms"] = soundcard::MsOfFrames(l.input);
    state.counters["lost_frames"] = double(soundcard::HostLostFrames() - lost);
  }
}
BENCHMARK(BM_PulseRealTime)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
