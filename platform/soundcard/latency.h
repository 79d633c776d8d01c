// The card's round trip and what it does with it.
//
// A singer hears the accompaniment late by the output latency, and the
// microphone delivers the voice late by the input latency. The recording mix
// therefore delays the accompaniment lines ("SW Synth", "Wave Out") by the
// round trip L, so that in the take each accompaniment sample sits where the
// singer heard it. The microphone line and the playback mix are never
// delayed.
//
// L = the clock's reported round trip (input + output latency) + the user's
// offset in milliseconds (may be negative), clamped at 0.
//
// The virtual device (virtual and stepped clocks) can simulate a round trip:
// its microphone then also hears the playback mix L frames late, like a
// singer who follows the accompaniment exactly; it reports that round trip
// as its latency, so compensation is automatic there.
//
// Delay lines are built by the thread that changes a figure and handed to
// the card's thread by a pointer swap under the card's lock; the new line
// takes over the history of the old one, so a change during a take keeps
// the take continuous. The card's thread never allocates here.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/mixertable.h"

namespace soundcard {

// The last capacity() frames of an interleaved stereo signal.
class DelayLine {
 public:
  // Allocates room for `frames` frames of history.
  explicit DelayLine(std::uint32_t frames);

  std::uint32_t capacity() const { return capacity_; }
  std::uint64_t written() const { return written_; }

  // Card's thread: appends `n` frames.
  void write(const float* frames, std::uint32_t n) noexcept;
  // Card's thread: the `n` frames that begin `delay` frames before the
  // write position. Frames not (or no longer) held read as silence, so
  // with delay < n the end of the block is silent.
  void read(std::uint32_t delay, float* out, std::uint32_t n) const noexcept;
  // Takes over as much of `older`'s history as fits, and its position.
  void takeHistory(const DelayLine& older) noexcept;
  // Silence for all the history.
  void clear() noexcept;

 private:
  std::vector<float> data_;
  std::uint32_t capacity_ = 0;
  std::uint64_t written_ = 0;
};

// The figures L is made of. All frames at the card's rate.
struct RoundTripFigures {
  std::uint32_t reportedFrames = 0;   // the clock's input + output latency
  std::uint32_t simulatedFrames = 0;  // the virtual device's simulated round trip
  int offsetMs = 0;                   // the user's correction
  bool compensate = true;             // false: forced off (tests, comparisons)
};

// L for these figures: reported + offset, clamped to 0..kMaxRoundTripFrames.
std::uint32_t RoundTripOf(const RoundTripFigures& figures);
constexpr std::uint32_t kMaxRoundTripFrames = 10 * 44100;

// The delay lines of one card. The card's thread calls the period
// functions under the card's lock; the owner changes the figures with
// change(), which builds replacements outside that lock and installs them
// under it.
class Latency {
 public:
  // The longest period the lines are sized for; the card's are no longer.
  static constexpr std::uint32_t kMaxPeriod = 4096;

  Latency();

  struct Lines;  // the two accompaniment lines and their output buffers

  // ---- card's thread, under the card's lock
  // The recording mix's inputs: `live` with its accompaniment lines delayed
  // by L (its microphone as it is). Records the accompaniment either way.
  MixInputs compensate(const MixInputs& live, std::uint32_t frames) noexcept;
  // Adds to `mic` what the virtual microphone hears: the playback mix of
  // `simulatedFrames` ago.
  void hearSpeakers(float* mic, std::uint32_t frames) noexcept;
  // Records the playback mix the speakers got this period.
  void speakersPlayed(const float* playback, std::uint32_t frames) noexcept;
  // The longest period the simulated round trip allows (a microphone cannot
  // hear a sound of the same period).
  std::uint32_t periodLimit() const noexcept { return periodLimit_.load(std::memory_order_relaxed); }

  // ---- owner, any thread but the card's
  const RoundTripFigures& figures() const { return figures_; }  // under the lock
  // Takes `next`, one change at a time: any lines it needs are built on
  // the calling thread, installed under `cardLock` (taking over the old
  // lines' history), and the old ones freed after it is released.
  void change(const RoundTripFigures& next, std::mutex& cardLock);

  // Under the lock: silence for all the history (a fresh card).
  void forget() noexcept;

  ~Latency();

 private:
  // A replacement for the lines when `next` needs other room than the
  // current ones; null when they fit, so small changes reallocate nothing.
  // Called outside the lock: only install() replaces the lines whose room
  // these read.
  std::unique_ptr<Lines> prepareAccompaniment(const RoundTripFigures& next) const;
  std::unique_ptr<DelayLine> prepareSpeakers(const RoundTripFigures& next) const;
  // Under the lock: installs the figures and any replacement lines (which
  // take over the old lines' history); returns the old lines for the
  // caller to free after the lock is released.
  struct Old {
    std::unique_ptr<Lines> accompaniment;
    std::unique_ptr<DelayLine> speakers;
  };
  Old install(const RoundTripFigures& next, std::unique_ptr<Lines> accompaniment,
              std::unique_ptr<DelayLine> speakers) noexcept;

  RoundTripFigures figures_;
  std::uint32_t delay_ = 0;  // L in force
  std::unique_ptr<Lines> lines_;
  std::unique_ptr<DelayLine> speakers_;
  std::vector<float> heard_;  // one period of the speakers' echo
  std::atomic<std::uint32_t> periodLimit_;
};

// ---------------------------------------------------------------- control
// The card's calls over its delay lines (latency_api.cpp).
// The user's correction of the round trip, in milliseconds (may be
// negative). Not from the card's thread (it may build new delay lines).
void SetLatencyOffsetMs(int ms);
int LatencyOffsetMs();
// Compensation on (the start-up state) or forced off.
void SetLatencyCompensation(bool on);
bool LatencyCompensation();
// L in frames at 44100 Hz: what the recording mix delays the accompaniment
// by while compensation is on.
std::uint32_t RoundTripFrames();
// The round trip the clock reports (the simulated one on the virtual device).
std::uint32_t ReportedRoundTripFrames();
// The virtual device's simulated round trip (0: off) on the virtual and
// stepped clocks; the virtual clock starts with TUNELARK_AUDIO_LATENCY_MS.
// Ignored on the host's devices.
void SetSimulatedRoundTripMs(double ms);
// (A clock's own figure comes in through AdoptClockRoundTrip, clockdriver.h.)
// Back to the start-up state: no offset, compensation on.
void ResetRoundTrip(Clock kind, std::uint32_t clockFrames);

}  // namespace soundcard
