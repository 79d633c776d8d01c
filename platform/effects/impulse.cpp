#include "platform/effects/impulse.h"

#include <cmath>
#include <numbers>
#include <random>

namespace effects {

namespace {

// Onset of the tail after the pre-delay: a short rise rather than a step.
constexpr double kAttackMs = 3.0;

std::vector<float> side(const ImpulseShape& shape, double rate, std::uint32_t seed) {
  const auto silent = std::size_t(std::lround(shape.preDelayMs * rate / 1000.0));
  const auto tail = std::size_t(std::lround(shape.decaySeconds * rate));
  const double attack = kAttackMs * rate / 1000.0;
  // -60 dB (a factor of 1000) over the tail's length.
  const double decayPerFrame = std::log(1000.0) / double(tail);
  std::vector<float> out(silent + tail, 0.0f);
  // mt19937's output is the same on every platform; the distributions of
  // <random> are not, so the noise is made from its raw bits.
  std::mt19937 random(seed);
  double low1 = 0.0, low2 = 0.0;
  for (std::size_t i = 0; i < tail; ++i) {
    const double noise = double(random() >> 8) / double(1u << 23) - 1.0;
    const double along = double(i) / double(tail);
    const double corner = shape.brightHz * std::pow(shape.darkHz / shape.brightHz, along);
    const double a = 1.0 - std::exp(-2.0 * std::numbers::pi * corner / rate);
    low1 += a * (noise - low1);  // two one-pole stages: 12 dB per octave
    low2 += a * (low1 - low2);
    const double rise = std::min(1.0, double(i) / attack);
    out[silent + i] = float(low2 * std::exp(-decayPerFrame * double(i)) * rise);
  }
  double energy = 0.0;
  for (float v : out) energy += double(v) * v;
  const double scale = energy > 0.0 ? 1.0 / std::sqrt(energy) : 0.0;
  for (float& v : out) v = float(v * scale);
  return out;
}

}  // namespace

StereoImpulse MakeImpulse(const ImpulseShape& shape, double rate) {
  return {side(shape, rate, shape.seed), side(shape, rate, shape.seed + 1)};
}

}  // namespace effects
