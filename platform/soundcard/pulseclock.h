// The host clock through a PulseAudio-protocol sound server (PulseAudio
// itself, or PipeWire's compatible server): a playback and a record stream
// on libpulse's threaded main loop, with small buffers and the latency the
// server's timing reports. Listing the server's devices: pulsedevices.h.
//
// Threads: the card's periods run on the main loop's thread, inside the
// streams' callbacks, and only for as many frames as the server asks for;
// nothing there waits for the server. Microphone frames wait in a FIFO owned
// by that thread until the card takes them. start() and stop() run on the
// thread that selects the clock and take the main loop's lock.
#pragma once

#include <memory>
#include <string>

namespace soundcard {

class CardRunner;
class ClockDriver;

// Plays to the named sink and records from the named source ("" or a name
// the server does not know: its default). start() fails when no server
// answers or it has no sink; without a source the card plays only.
std::unique_ptr<ClockDriver> MakePulseClock(CardRunner& card, const std::string& input,
                                            const std::string& output);

}  // namespace soundcard
