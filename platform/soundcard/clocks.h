// The clocks that drive the card: the host's audio device (a sound server
// or RtAudio), a real-time timer thread for the virtual device, and the
// stepped clock that tests advance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

class Engine;

class ClockDriver {
 public:
  virtual ~ClockDriver() = default;
  virtual Clock kind() const = 0;
  // Starts calling Engine::run; false when it cannot.
  virtual bool start() = 0;
  // After it returns no period runs on the driver's behalf.
  virtual void stop() = 0;
  // The input + output latency of the running stream in frames: how late
  // the microphone hears what the card sends to the speakers.
  virtual std::uint32_t roundTripFrames() const { return 0; }
  // True once the host device was lost: the driver then runs the card's
  // periods on a stand-in of its own until it is stopped.
  virtual bool lost() const { return false; }
  // The sound server's name and version ("" without one) and the devices
  // played to and recorded from.
  struct Devices {
    std::string server, output, input;
  };
  virtual Devices devices() const { return {}; }
};

// A timer thread that runs one period every 10 ms against absolute
// deadlines. Microphone: the TUNELARK_AUDIO_IN file, looped, if set;
// output: the TUNELARK_AUDIO_OUT file, if set; both through helper threads.
// With TUNELARK_AUDIO_LATENCY_MS its microphone also hears the speakers that
// much later, and it reports that as its round trip.
std::unique_ptr<ClockDriver> MakeVirtualClock(Engine& engine);
// The host's devices ("" = default): through a PulseAudio-protocol server
// when one answers, else an RtAudio duplex (or output only) stream.
// start() fails when the host has no output device.
std::unique_ptr<ClockDriver> MakeHostClock(Engine& engine, const std::string& input,
                                           const std::string& output);
// Runs nothing by itself; see Advance().
std::unique_ptr<ClockDriver> MakeSteppedClock();

// The SCHED_FIFO priority the running clock gave the card's thread (0: an
// ordinary thread). Threads that serve the card's thread, like the reverb's,
// run below it. Noted by the clock's thread once it has raised itself.
int CardThreadRealtimePriority();
void NoteCardThreadRealtimePriority(int priority);

// The sound server's devices when one answers, else RtAudio's.
std::vector<HostDevice> ListHostDevices();

}  // namespace soundcard
