#include "platform/soundcard/pcm.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/waveformat.h"

namespace soundcard {

bool IsSupportedPcm(const WAVEFORMATEX& f) {
  // The chain's valid PCM, narrowed to what the card plays: no four-channel
  // formats and no rates under 8000 Hz.
  return pcmIsValidFormat(&f) && f.nChannels <= 2 && f.nSamplesPerSec >= 8000 && pcmRatesConsistent(f);
}

void DecodePcm(const std::uint8_t* src, std::size_t frames, unsigned channels, unsigned bits,
               float* dst) {
  const std::size_t n = frames * channels;
  if (bits == 16) {
    for (std::size_t i = 0; i < n; ++i) {
      std::int16_t s;
      std::memcpy(&s, src + 2 * i, 2);
      dst[i] = float(s) * (1.0f / 32768.0f);
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = float(int(src[i]) - 128) * (1.0f / 128.0f);
  }
}

void EncodePcm(const float* src, std::size_t frames, unsigned channels, unsigned bits,
               std::uint8_t* dst) {
  const std::size_t n = frames * channels;
  if (bits == 16) {
    for (std::size_t i = 0; i < n; ++i) {
      const float v = std::nearbyint(src[i] * 32768.0f);
      const auto s = std::int16_t(std::clamp(v, -32768.0f, 32767.0f));
      std::memcpy(dst + 2 * i, &s, 2);
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      const float v = std::nearbyint(src[i] * 128.0f) + 128.0f;
      dst[i] = std::uint8_t(std::clamp(v, 0.0f, 255.0f));
    }
  }
}

void MonoToStereo(const float* src, std::size_t frames, float* dst) {
  // Backwards, so that src and dst may share the start of one buffer.
  for (std::size_t i = frames; i-- > 0;) {
    const float v = src[i];
    dst[2 * i] = v;
    dst[2 * i + 1] = v;
  }
}

void StereoToMono(const float* src, std::size_t frames, float* dst) {
  for (std::size_t i = 0; i < frames; ++i) dst[i] = (src[2 * i] + src[2 * i + 1]) * 0.5f;
}

Resampler::Resampler(double inRate, double outRate, unsigned channels)
    : channels_(channels), passthrough_(inRate == outRate) {
  if (passthrough_) return;
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_ = soxr_create(inRate, outRate, channels, &error, &io, &quality, nullptr);
  if (error) soxr_ = nullptr;
}

Resampler::~Resampler() {
  if (soxr_) soxr_delete(soxr_);
}

std::size_t Resampler::process(const float* in, std::size_t inFrames, std::size_t* used,
                               float* out, std::size_t outCapacity) {
  if (passthrough_) {
    const std::size_t n = std::min(inFrames, outCapacity);
    std::memcpy(out, in, n * channels_ * sizeof(float));
    *used = n;
    return n;
  }
  *used = 0;
  if (!soxr_ || ended_ || inFrames == 0) return 0;
  std::size_t done = 0;
  soxr_process(soxr_, in, inFrames, used, out, outCapacity, &done);
  if (*used > 0) fed_ = true;
  return done;
}

std::size_t Resampler::drain(float* out, std::size_t outCapacity) {
  if (passthrough_ || !soxr_ || !fed_) return 0;
  std::size_t total = 0;
  while (total < outCapacity) {
    std::size_t done = 0;
    soxr_process(soxr_, nullptr, 0, nullptr, out + total * channels_, outCapacity - total, &done);
    if (done == 0) break;
    total += done;
  }
  fed_ = false;
  ended_ = true;
  return total;
}

void Resampler::clear() {
  if (soxr_ && (fed_ || ended_)) soxr_clear(soxr_);
  fed_ = false;
  ended_ = false;
}

}  // namespace soundcard
