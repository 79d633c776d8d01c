// The wave-audio accompaniment's feeder, in-process and on one thread: what
// it does for every 100 ms buffer (read from the file with libsndfile,
// through the stretcher away from the default key and tempo, 16-bit
// conversion), for a 30 s 44.1 kHz stereo mix: at the defaults; at key +2,
// tempo 90 % with the device's engine (R3, short window), R3's standard
// window and R2 (with consistent pitch); and with the device's engine at the
// range's far ends. The counter core_share is processor time of the thread
// per second heard: the share of one core the feeder takes while it plays.
// Goal: under 0.10 with the stretcher.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/sequencer/keytempo.h"
#include "platform/sequencer/soundfile.h"
#include "platform/sequencer/stretcher.h"
#include "platform/soundcard/pcm.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 30;
constexpr std::size_t kBufferFrames = kRate / 10;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A stand-in for a backing track: a bass line, a chord that changes every
// half second, and a noise burst on every beat, different on each side.
const std::string& MixFile() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "tunelark-bench-mix.wav").string();
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> uniform(-1, 1);
    std::vector<float> frames(2 * std::size_t(kRate) * kSeconds);
    for (std::size_t i = 0; i < frames.size() / 2; ++i) {
      const double t = double(i) / kRate;
      const int step = int(t * 2);
      const double root = 110.0 * std::pow(2.0, (step * 5 % 12) / 12.0);
      const double beat = std::fmod(t, 0.5);
      const double chord = std::sin(2 * M_PI * root * 2 * t) + std::sin(2 * M_PI * root * 2.52 * t) +
                           std::sin(2 * M_PI * root * 3 * t);
      const double drum = beat < 0.05 ? (1 - beat / 0.05) : 0;
      frames[2 * i] = float(0.2 * std::sin(2 * M_PI * root * t) + 0.1 * chord) + 0.2f * float(drum) * uniform(noise);
      frames[2 * i + 1] = float(0.2 * std::sin(2 * M_PI * root * t) + 0.08 * chord) + 0.2f * float(drum) * uniform(noise);
    }
    sf_writef_float(f, frames.data(), sf_count_t(frames.size() / 2));
    sf_close(f);
    return p;
  }();
  return path;
}

// Args: engine (Stretcher::Engine: 0 R3 short window, 1 R3, 2 R2), key,
// tempo; key 0 and tempo 100 is the path without the stretcher.
void FeederWork(benchmark::State& state) {
  const auto engine = sequencer::Stretcher::Engine(state.range(0));
  const sequencer::KeyTempo kt{int(state.range(1)), int(state.range(2))};
  std::vector<float> decoded(kBufferFrames * 2), stretched(kBufferFrames * 2);
  std::vector<std::int16_t> pcm(kBufferFrames * 2);
  sequencer::Stretcher stretcher(kRate, 2, engine);
  double cpu = 0, heard = 0;
  for (auto _ : state) {
    SF_INFO info{};
    auto file = sequencer::SoundFile::Open(MixFile(), info);
    const double start = CpuSeconds();
    std::size_t frames = 0;
    if (kt.IsDefault()) {
      for (sf_count_t got; (got = sf_readf_float(file->get(), decoded.data(), sf_count_t(kBufferFrames))) > 0;) {
        soundcard::EncodePcm(decoded.data(), std::size_t(got), 2, 16, reinterpret_cast<std::uint8_t*>(pcm.data()));
        frames += std::size_t(got);
      }
    } else {
      stretcher.Start(kt);
      bool ended = false;
      for (;;) {
        const std::size_t made = stretcher.Take(stretched.data(), kBufferFrames);
        if (made > 0) {
          soundcard::EncodePcm(stretched.data(), made, 2, 16, reinterpret_cast<std::uint8_t*>(pcm.data()));
          frames += made;
          continue;
        }
        if (stretcher.Done() || ended) break;
        const std::size_t n = stretcher.Wanted();
        const auto got = std::size_t(std::max<sf_count_t>(0, sf_readf_float(file->get(), decoded.data(), sf_count_t(n))));
        ended = got < n;
        stretcher.Put(decoded.data(), got, ended);
      }
    }
    cpu += CpuSeconds() - start;
    heard += double(frames) / kRate;
    benchmark::DoNotOptimize(pcm.data());
  }
  state.counters["core_share"] = cpu / heard;
  state.counters["heard_s"] = heard / double(state.iterations());
}

BENCHMARK(FeederWork)
    ->ArgNames({"engine", "key", "tempo"})
    ->Args({0, 0, 100})
    ->Args({0, 2, 90})
    ->Args({1, 2, 90})
    ->Args({2, 2, 90})
    ->Args({0, -12, 200})
    ->Args({0, 12, 50})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
