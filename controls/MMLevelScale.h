// The level meter's arithmetic without the widget: the absolute peak of a
// block of PCM samples and the number of lit spots it gives on the decibel
// or the linear scale. The meter and the command line's text meter share it.
#pragma once

#include <cstdint>

#include "audio/MMDSPObj.h"

// What a block is read as: Samples frames of Channels interleaved samples
// (the first two are left and right) of Bits; Channel picks left, right or
// the mean of both; the offsets are the DC offsets of the two channels.
struct TMMLevelBlock {
  int Samples = 50;
  int Channels = 1;
  TMMBits Bits = b8Bit;
  TMMChannel Channel = chBoth;
  int DCOffsetL = 0;
  int DCOffsetR = 0;
};

// The scale: NumSpots spots, gain -8..32 (level x (gain + 8) / 8), the
// sensitivity in dB (-90..-9) and the decibel (LogAmp) or linear scale.
struct TMMLevelScale {
  int NumSpots = 1;
  int Gain = 0;
  int Sensitivity = -35;
  bool LogAmp = true;
};

constexpr int MMLevelFullScale = 32767;

// The absolute peak of the block on the 16-bit scale (8-bit data is brought
// to it).
std::int64_t MMLevelBlockPeak(const void* Data, const TMMLevelBlock& Block);
// Lit spots for a raw peak, in single precision as the scale is defined; 0
// for nothing (or NaN), capped at one million (the meter caps at NumSpots).
int MMLevelSpots(std::int64_t R, const TMMLevelScale& Scale);
