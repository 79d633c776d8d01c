// The clocks that drive the card: the host's audio device (a sound server
// or RtAudio), a real-time timer thread for the virtual device (in
// clockdriver.h), and the stepped clock that tests advance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/soundcard/clockdriver.h"

namespace soundcard {

// The host's devices ("" = default): through a PulseAudio-protocol server
// when one answers, else an RtAudio duplex (or output only) stream.
// start() fails when the host has no output device.
std::unique_ptr<ClockDriver> MakeHostClock(CardRunner& card, const std::string& input,
                                           const std::string& output);
// Runs nothing by itself; see Advance().
std::unique_ptr<ClockDriver> MakeSteppedClock();

// The sound server's devices when one answers, else RtAudio's.
std::vector<HostDevice> ListHostDevices();

}  // namespace soundcard
