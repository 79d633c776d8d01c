// The monitor's effects at real time: the virtual device runs a take (one
// wave-in and one wave-out handle) with a voice on the microphone and the
// monitor line unmuted, without effects (argument 0) and with a 2 s hall
// reverb plus an echo (argument 1). The figure is the whole process's CPU
// time (the card's thread and the reverb's threads) as a share of one core.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "bench/soundcard/duplexsession.h"
#include "platform/soundcard/cardcontrol.h"

namespace {

// A voice-like signal: a vibrato tone with phrases and a little breath.
std::vector<float> Voice() {
  std::vector<float> s(2 * 4 * 44100);
  std::uint32_t noise = 1;
  for (std::size_t i = 0; i < s.size() / 2; ++i) {
    const double t = double(i) / 44100.0;
    const double f = 220.0 * (1.0 + 0.01 * std::sin(2 * std::numbers::pi * 5.5 * t));
    noise = noise * 1664525u + 1013904223u;
    const double breath = (double(noise >> 9) / double(1u << 23) - 1.0) * 0.01;
    const double v = 0.3 * std::sin(2 * std::numbers::pi * f * t) * (0.6 + 0.4 * std::sin(std::numbers::pi * t));
    s[2 * i] = s[2 * i + 1] = float(v + breath);
  }
  return s;
}

void BM_MonitorRealTime(benchmark::State& state) {
  soundcard::SelectClock(soundcard::Clock::Virtual);
  soundcard::ResetCard();
  std::vector<soundcard::MixerDesc> mixers = soundcard::DefaultMixers();
  mixers[0].destinations[0].sources[2].controls[1].initial = {0};  // the monitor heard
  soundcard::InstallMixers(mixers);
  soundcard::SetMicrophoneSamples(Voice(), true);
  benchcard::DuplexSession session;
  if (state.range(0) != 0) {
    soundcard::MonitorEffects fx;
    fx.echoMs = 250;
    fx.reverb = soundcard::Reverb::Hall;
    soundcard::SetMonitorEffects(fx);
  }
  for (auto _ : state)
    state.counters["percent_of_core"] = benchcard::PercentOfCoreWhileSleeping(std::chrono::seconds(5));
}
BENCHMARK(BM_MonitorRealTime)->ArgName("effects")->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
