// Short questions to a PulseAudio-protocol sound server (PulseAudio itself,
// or PipeWire's compatible server), each on a connection of its own that
// lasts for the question: whether one answers, and its devices. The clock
// that plays through such a server is in pulseclock.h.
#pragma once

#include <optional>
#include <vector>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

// True when a server answers (PULSE_SERVER, else the default one) within a
// second. Never starts a server.
bool PulseServerReachable();

// The server's sinks (outputs) and sources (inputs, monitors included);
// nothing when no server answers.
std::optional<std::vector<HostDevice>> ListPulseDevices();

}  // namespace soundcard
