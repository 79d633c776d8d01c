// The round-trip measurement's calls (calibration.h): the measurement is
// made outside the card's lock, handed to the card under it, and taken back
// to be searched or freed outside it.
#include <memory>
#include <mutex>
#include <utility>

#include "platform/soundcard/calibration.h"
#include "platform/soundcard/engine.h"
#include "platform/soundcard/latency.h"

namespace soundcard {

bool StartCalibration() {
  Engine& e = Engine::instance();
  e.ensureClock();
  auto fresh = std::make_unique<ClickMeasurement>();
  std::lock_guard g(e.lock);
  if (e.measurement) return false;
  e.measurement = std::move(fresh);
  return true;
}

bool CalibrationDone() {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  return e.measurement && e.measurement->done();
}

namespace {

// Takes the measurement off the card, to be searched or freed outside the
// card's lock.
std::unique_ptr<ClickMeasurement> TakeMeasurement() {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  return std::exchange(e.measurement, nullptr);
}

}  // namespace

CalibrationResult FinishCalibration() {
  const std::unique_ptr<ClickMeasurement> done = TakeMeasurement();
  if (!done || !done->done()) return CalibrationResult{false, 0, 0, 0.0, ReportedRoundTripFrames(), 0};
  return FindClicks(done->captured().data(), done->captured().size(), ReportedRoundTripFrames());
}

void CancelCalibration() { TakeMeasurement(); }

}  // namespace soundcard
