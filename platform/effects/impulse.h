// Impulse responses for the reverb, made here rather than read from files:
// exponentially decaying noise whose high frequencies die sooner (a low-pass
// that closes along the tail), after a silent pre-delay. Left and right come
// from different seeds, so the two sides are decorrelated and a mono voice
// sounds wide. Fixed seeds and portable arithmetic make every run give the
// same samples.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace effects {

using StereoImpulse = std::array<std::vector<float>, 2>;

struct ImpulseShape {
  double decaySeconds;  // time for the tail to fall by 60 dB (also its length)
  double preDelayMs;    // silence before the first sound
  double brightHz;      // the low-pass's corner where the tail begins
  double darkHz;        // ... and where it ends
  std::uint32_t seed;   // left; the right side uses seed + 1
};

// The presets: a small room, a concert hall, a bright and dense plate.
constexpr ImpulseShape kRoom{0.7, 8.0, 7000.0, 2500.0, 11};
constexpr ImpulseShape kHall{2.0, 20.0, 5000.0, 1200.0, 23};
constexpr ImpulseShape kPlate{1.3, 6.0, 11000.0, 6000.0, 37};

// The response at `rate` frames per second, each side scaled to unit energy
// (the sum of its squares is 1), so that at full level the reverb carries
// about the power of the dry signal.
StereoImpulse MakeImpulse(const ImpulseShape& shape, double rate);

}  // namespace effects
