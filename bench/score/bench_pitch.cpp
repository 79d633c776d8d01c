// Cost of the voice's pitch, which the live session finds while a take
// records: a minute of a sung melody (a sine gliding between notes with a
// vibrato) at 44100 Hz through the pitch tracker in the recorder's buffer
// sizes, then the score of its points against a melody of 240 notes.
// Counter: rt_pct, the CPU time in percent of the minute's real time
// (goal: under 3% of one core).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "score/pitch.h"
#include "score/scorer.h"

namespace {

constexpr unsigned kRate = 44100;
constexpr std::size_t kSeconds = 60;
constexpr std::size_t kBuffer = 762;  // frames in the recorder's 3048-byte buffer

std::vector<float> Voice() {
  std::vector<float> voice(kSeconds * kRate);
  double phase = 0;
  for (std::size_t f = 0; f < voice.size(); ++f) {
    const double t = double(f) / kRate;
    const int note = 60 + int(t * 4) % 12;
    const double hz = 440 * std::pow(2.0, (note - 69 + 0.3 * std::sin(2 * M_PI * 5 * t)) / 12);
    phase += 2 * M_PI * hz / kRate;
    voice[f] = float(0.3 * std::sin(phase));
  }
  return voice;
}

score::Melody Notes() {
  score::Melody m;
  m.channel = 0;
  for (std::uint32_t i = 0; i < kSeconds * 4; ++i) m.notes.push_back({i * 250, i * 250 + 250, 60 + int(i % 12)});
  return m;
}

void BM_PitchOfAMinute(benchmark::State& state) {
  const std::vector<float> voice = Voice();
  const score::Melody melody = Notes();
  int result = 0;
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    score::PitchTracker tracker(kRate);
    std::vector<score::PitchPoint> points;
    points.reserve(voice.size() / 512 + 1);
    for (std::size_t at = 0; at < voice.size(); at += kBuffer)
      tracker.Push(voice.data() + at, std::min(kBuffer, voice.size() - at), points);
    result = score::Score(melody, {}, points, score::Timeline(kRate, 0, 100), score::Difficulty::Normal).score;
    benchmark::DoNotOptimize(result);
  }
  const double cpu = double(std::clock() - start) / CLOCKS_PER_SEC / double(state.iterations());
  state.counters["rt_pct"] = 100.0 * cpu / double(kSeconds);
  state.counters["score"] = result;
}
BENCHMARK(BM_PitchOfAMinute)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
