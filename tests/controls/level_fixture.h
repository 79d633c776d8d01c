// The application object the meters need, and blocks of 16-bit stereo or
// 8-bit mono data with a chosen peak.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdint>
#include <vector>

#include "app/levelmeter.h"
#include "app_fixture.h"
#include "controls/MMLevel.h"

namespace leveltest {

using controlstest::App;
using controlstest::AppFirst;

// 50 frames of 16-bit stereo; the peak sits in frame 7.
inline std::vector<std::int16_t> Stereo16(int left, int right) {
  std::vector<std::int16_t> s(100, 0);
  s[14] = std::int16_t(left);
  s[15] = std::int16_t(right);
  return s;
}

// The main window's meter: 17 x 108, lowered bevel of 1, vertical, yellow
// bars, black unlit spots, 16-bit stereo.
inline void MakeProgramMeter(TMMLevel& level, TMMChannel channel) {
  level.resize(17, 108);
  SetUpWindowMeter(level, channel);
}

}  // namespace leveltest
