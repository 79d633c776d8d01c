// Where the card's core and its clocks meet. The core starts and stops a
// ClockDriver; a driver runs the card's periods through CardRunner, which
// is all it knows of the core, and reports its round trip with
// AdoptClockRoundTrip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

// What a clock needs of the card: its periods, and a way to say that the
// host device is gone.
class CardRunner {
 public:
  // The card's thread: runs `frames` frames in steps of at most `step`.
  // `hostIn` (may be null) and `hostOut` (may be null) are interleaved
  // stereo for all `frames`.
  virtual void run(const float* hostIn, float* hostOut, std::uint64_t frames,
                   std::uint32_t step) noexcept = 0;
  // Any thread: the host clock lost its device and runs on a stand-in;
  // the next period tells the open wave handles.
  virtual void hostLost() noexcept = 0;

 protected:
  ~CardRunner() = default;
};

class ClockDriver {
 public:
  virtual ~ClockDriver() = default;
  virtual Clock kind() const = 0;
  // Starts calling CardRunner::run; false when it cannot.
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
// deadlines; also the stand-in a host clock runs the card on once its
// device is lost. Microphone: the TUNELARK_AUDIO_IN file, looped, if set;
// output: the TUNELARK_AUDIO_OUT file, if set; both through helper threads.
// With TUNELARK_AUDIO_LATENCY_MS its microphone also hears the speakers that
// much later, and it reports that as its round trip.
std::unique_ptr<ClockDriver> MakeVirtualClock(CardRunner& card);

// Takes the round trip a clock reports when it has started (or once it has
// settled); on the virtual and stepped clocks that is also the simulated
// one. Not from the card's thread.
void AdoptClockRoundTrip(Clock kind, std::uint32_t frames);

// The SCHED_FIFO priority the running clock gave the card's thread (0: an
// ordinary thread). Threads that serve the card's thread, like the reverb's,
// run below it. Noted by the clock's thread once it has raised itself.
int CardThreadRealtimePriority();
void NoteCardThreadRealtimePriority(int priority);

}  // namespace soundcard
