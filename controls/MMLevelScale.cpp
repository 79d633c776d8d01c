#include "controls/MMLevelScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::int16_t Sample16(const std::uint8_t* p, std::size_t index) {
  std::int16_t s;
  std::memcpy(&s, p + 2 * index, 2);
  return s;
}

std::int64_t Abs64(std::int64_t v) { return v < 0 ? -v : v; }

}  // namespace

// Frames are Channels samples apart. dL and dR are the DC corrections (the
// negated offsets).
std::int64_t MMLevelBlockPeak(const void* Data, const TMMLevelBlock& Block) {
  const auto* p = static_cast<const std::uint8_t*>(Data);
  const std::size_t stride = std::size_t(std::max(Block.Channels, 1));
  const std::int64_t dL = -std::int64_t(Block.DCOffsetL);
  const std::int64_t dR = -std::int64_t(Block.DCOffsetR);
  const bool mono = Block.Channels == 1;
  std::int64_t peak = 0;
  for (int i = 0; i < Block.Samples; ++i) {
    const std::size_t at = std::size_t(i) * stride;
    std::int64_t v;
    if (Block.Bits == b16Bit) {
      if (mono)
        v = Sample16(p, at) + dL;
      else if (Block.Channel == chLeft)
        v = Sample16(p, at) + dL;
      else if (Block.Channel == chRight)
        v = Sample16(p, at + 1) + dR;
      else
        v = (Sample16(p, at) + dL + Sample16(p, at + 1) + dR) / 2;
    } else {
      if (mono)
        v = (p[at] + dL - 128) * 256;
      else if (Block.Channel == chLeft)
        v = (p[at] + dL - 128) * 256;
      else if (Block.Channel == chRight)
        v = (p[at + 1] + dR - 128) * 256;
      else
        v = ((p[at] + dL + p[at + 1] + dR) / 2 - 128) * 256;
    }
    peak = std::max(peak, Abs64(v));
  }
  return peak;
}

int MMLevelSpots(std::int64_t R, const TMMLevelScale& Scale) {
  const std::int64_t V = R * (Scale.Gain + 8) / 8;
  const float N = float(Scale.NumSpots);
  const float S = float(Scale.Sensitivity);
  float s;
  if (Scale.LogAmp) {
    const float ratio = float(V) / float(MMLevelFullScale);
    const float x = 20.0f * std::log10(std::max(ratio, 0.000001f));
    s = (x - S) * N / (-S);
  } else {
    const float floor = float(MMLevelFullScale) / std::pow(10.0f, -S / 20.0f);
    s = (float(V) - floor) * N / (float(MMLevelFullScale) - floor);
  }
  s = std::nearbyint(s);
  if (!(s > 0.0f)) return 0;  // also NaN
  return s > 1e6f ? 1000000 : int(s);
}
