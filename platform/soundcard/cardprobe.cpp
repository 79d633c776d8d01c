// The card's probe: what its hooks keep each period, the test signal it
// plays as the microphone, and the conversion tests compare taps with.
#include "platform/soundcard/cardprobe.h"

#include <cmath>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/pcm.h"
#include "platform/soundcard/probes.h"

namespace soundcard {

void CardProbe::microphone(float* mic, std::uint32_t n, std::uint64_t now) noexcept {
  for (std::uint32_t i = 0; i < n; ++i) {
    mic[2 * i] = TestSignalSample(now + i, 0);
    mic[2 * i + 1] = TestSignalSample(now + i, 1);
  }
}

void CardProbe::MixTapState::append(const float* frames, std::uint32_t count,
                                    std::uint64_t clock) noexcept {
  if (!block) return;
  if (!begun) {
    begun = true;
    start = clock;
  }
  block->append(frames, 2 * std::size_t(count));
}

void CardProbe::mixed(const float* playback, const float* recording, std::uint32_t n,
                      std::uint64_t now) noexcept {
  state.taps[int(Mix::Playback)].append(playback, n, now);
  state.taps[int(Mix::Recording)].append(recording, n, now);
}

float TestSignalSample(std::uint64_t frame, unsigned channel) {
  // Two tones whose frequencies have no common period plus a slow sweep: no
  // stretch of the signal repeats, so a dropped or doubled block shows.
  constexpr double kTwoPi = 6.283185307179586;
  const double t = double(frame) / kSampleRate;
  const double f1 = channel == 0 ? 441.7 : 523.3;
  const double f2 = channel == 0 ? 1234.5 : 987.6;
  const double sweep = 100.0 + 40.0 * t;
  const double v = 0.25 * std::sin(kTwoPi * f1 * t) + 0.15 * std::sin(kTwoPi * f2 * t) +
                   0.1 * std::sin(kTwoPi * sweep * t);
  return float(std::nearbyint(v * 32768.0) / 32768.0);
}

std::vector<std::uint8_t> ConvertMix(const float* interleaved, std::size_t frames,
                                     const WAVEFORMATEX& format) {
  if (!IsSupportedPcm(format)) return {};
  const unsigned ch = format.nChannels;
  std::vector<float> in(interleaved, interleaved + 2 * frames);
  if (ch == 1) StereoToMono(interleaved, frames, in.data());
  Resampler resampler(kSampleRate, format.nSamplesPerSec, ch);
  std::vector<float> out((frames * format.nSamplesPerSec / kSampleRate + 4096) * ch);
  std::size_t used = 0;
  std::size_t got = resampler.process(in.data(), frames, &used, out.data(), out.size() / ch);
  std::vector<std::uint8_t> bytes(got * format.nBlockAlign);
  EncodePcm(out.data(), got, ch, format.wBitsPerSample, bytes.data());
  return bytes;
}

}  // namespace soundcard
