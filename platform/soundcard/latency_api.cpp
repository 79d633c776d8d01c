// The round trip's calls (latency.h): the figures are changed one at a
// time, new delay lines built outside the card's lock and installed under it.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/soundcard/clockdriver.h"
#include "platform/soundcard/engine.h"
#include "platform/soundcard/latency.h"

namespace soundcard {

namespace {

std::mutex gAdjust;  // one change of the figures at a time

// Changes the figures, one change at a time (the delay lines' change()).
template <typename Change>
void Adjust(Change change) {
  Engine& e = Engine::instance();
  std::lock_guard a(gAdjust);
  RoundTripFigures next;
  {
    std::lock_guard g(e.lock);
    next = e.latency.figures();
  }
  change(next);
  e.latency.change(next, e.lock);
}

RoundTripFigures Current() {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  return e.latency.figures();
}

// The clock's figure: reported by every clock, and on the virtual device
// (virtual and stepped clocks) also the round trip it simulates.
void TakeClockFigure(RoundTripFigures& f, Clock kind, std::uint32_t frames) {
  f.reportedFrames = std::min(frames, kMaxRoundTripFrames);
  f.simulatedFrames = kind == Clock::Host ? 0 : f.reportedFrames;
}

// A simulated round trip of `ms`: none for 0, a negative or no number.
std::uint32_t SimulatedFramesOfMs(double ms) {
  if (!(ms > 0.0)) return 0;
  return std::uint32_t(std::min(std::round(FramesOfMs(ms)), double(kMaxRoundTripFrames)));
}

}  // namespace

void SetLatencyOffsetMs(int ms) {
  ms = std::clamp(ms, -10000, 10000);
  Adjust([ms](RoundTripFigures& f) { f.offsetMs = ms; });
}

int LatencyOffsetMs() { return Current().offsetMs; }

void SetLatencyCompensation(bool on) {
  Adjust([on](RoundTripFigures& f) { f.compensate = on; });
}

bool LatencyCompensation() { return Current().compensate; }

std::uint32_t RoundTripFrames() { return RoundTripOf(Current()); }

std::uint32_t ReportedRoundTripFrames() { return Current().reportedFrames; }

void SetSimulatedRoundTripMs(double ms) {
  // The clock starts first, so that its own figure, adopted when it starts,
  // does not replace the one set here.
  Engine::instance().ensureClock();
  if (ActiveClock() == Clock::Host) return;
  const std::uint32_t frames = SimulatedFramesOfMs(ms);
  Adjust([frames](RoundTripFigures& f) { f.reportedFrames = f.simulatedFrames = frames; });
}

void AdoptClockRoundTrip(Clock kind, std::uint32_t frames) {
  Adjust([kind, frames](RoundTripFigures& f) { TakeClockFigure(f, kind, frames); });
}

void ResetRoundTrip(Clock kind, std::uint32_t clockFrames) {
  Adjust([kind, clockFrames](RoundTripFigures& f) {
    f.offsetMs = 0;
    f.compensate = true;
    TakeClockFigure(f, kind, clockFrames);
  });
}

}  // namespace soundcard
