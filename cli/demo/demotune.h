// The demo tune shared by the accompaniment and the virtual singer: tempo,
// bars and the melody.
#pragma once

#include <cstdint>
#include <vector>

namespace demotune {

constexpr int kDivision = 480;  // ticks per quarter note
constexpr int kBar = 4 * kDivision;
constexpr int kBars = 12;
constexpr std::uint32_t kTempo = 625000;  // microseconds per quarter: 96 bpm

// The melody: (pitch, length in eighths); pitch 0 is a rest. Two bars a line.
struct Step {
  int pitch;
  int eighths;
};
inline const std::vector<Step> kMelody = {
    {64, 2}, {67, 2}, {72, 3}, {71, 1},            {69, 2}, {72, 2}, {76, 4},
    {77, 2}, {76, 1}, {74, 1}, {72, 2}, {69, 2},   {71, 3}, {72, 1}, {74, 4},
    {76, 2}, {74, 2}, {72, 2}, {67, 2},            {69, 3}, {71, 1}, {72, 2}, {69, 2},
    {65, 2}, {69, 2}, {72, 2}, {74, 2},            {71, 6}, {0, 2},
    {72, 2}, {76, 2}, {79, 3}, {77, 1},            {76, 2}, {72, 2}, {69, 4},
    {77, 2}, {76, 2}, {74, 2}, {71, 2},            {72, 8},
};


}  // namespace demotune
