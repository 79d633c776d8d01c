// PCM sample formats of the wave handles and the conversions between them
// and the card's float samples, including sample-rate conversion (libsoxr).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mmsystem.h"

struct soxr;

namespace soundcard {

// PCM, 1 or 2 channels, 8 or 16 bits, 8000..100000 Hz, with consistent
// block alignment and byte rate.
bool IsSupportedPcm(const WAVEFORMATEX& format);

// Integer samples to floats in -1..1 (16-bit: s / 32768; 8-bit unsigned:
// (u - 128) / 128), keeping the channel layout.
void DecodePcm(const std::uint8_t* src, std::size_t frames, unsigned channels, unsigned bits,
               float* dst);
// Floats to integer samples, rounded to nearest (ties to even) and clipped;
// the exact inverse of DecodePcm for values it produced.
void EncodePcm(const float* src, std::size_t frames, unsigned channels, unsigned bits,
               std::uint8_t* dst);

// Mono to stereo by copying; stereo to mono by averaging.
void MonoToStereo(const float* src, std::size_t frames, float* dst);
void StereoToMono(const float* src, std::size_t frames, float* dst);

// A streaming sample-rate converter over libsoxr (high quality). When the
// two rates are equal it is a plain copy, so identical rates stay exact.
// Created on the main thread; process() is real-time safe in the steady
// state (soxr works in buffers it sized at creation).
class Resampler {
 public:
  Resampler(double inRate, double outRate, unsigned channels);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  bool ok() const { return passthrough_ || soxr_ != nullptr; }
  bool passthrough() const { return passthrough_; }

  // Converts up to `inFrames` frames into at most `outCapacity` frames;
  // `*used` tells how many input frames were taken. Returns frames written.
  std::size_t process(const float* in, std::size_t inFrames, std::size_t* used, float* out,
                      std::size_t outCapacity);
  // Ends the stream: writes what the converter still holds (at most
  // `outCapacity` frames). Real-time safe; the converter then takes no
  // input until clear() readies it for a new stream (soxr builds its
  // converter anew there, allocating, so that is not for the card's thread).
  std::size_t drain(float* out, std::size_t outCapacity);
  // Forgets the stream without output and readies a new one.
  void clear();
  // True when input went in since the last clear or drain.
  bool holdsInput() const { return fed_; }
  // True after drain() until clear().
  bool ended() const { return ended_; }

 private:
  unsigned channels_;
  bool passthrough_;
  bool fed_ = false;
  bool ended_ = false;
  soxr* soxr_ = nullptr;
};

}  // namespace soundcard
