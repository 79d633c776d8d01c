#pragma once

#include "controls/MMLevel.h"

// The look of the main window's two level meters (17 x 108, placed by the
// caller): vertical, a lowered bevel of 1, yellow bars on black, 16-bit
// stereo input, one channel each.
void SetUpWindowMeter(TMMLevel& level, TMMChannel channel);
