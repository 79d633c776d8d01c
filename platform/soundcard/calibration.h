// Measuring the round trip: the card plays a few clicks through the
// speakers and listens for them in the raw microphone signal (not the
// recording mix, which holds the accompaniment digitally). The microphone
// is held near the speaker, or a cable connects the output to the input.
//
// The card's thread only adds the clicks to the playback and copies the
// microphone into a buffer allocated beforehand; the search runs on the
// caller's thread once the buffer is full.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundcard {

// Where the clicks go, in frames at 44100 Hz from the measurement's first
// frame; a round trip of up to kLongest frames is found. The gaps between
// the clicks differ (0.8, 0.9, 1.0 s), so that a longer round trip, which
// brings a click back after the next one went out, never gives lags that
// agree.
struct ClickPlan {
  static constexpr std::uint32_t kClicks = 4;
  static constexpr std::uint32_t kClickFrames = 220;  // 5 ms
  static constexpr std::uint32_t kLongest = 30870;    // 0.7 s
  static constexpr std::uint32_t kStarts[kClicks] = {4410, 39690, 79380, 123480};
  static constexpr std::uint32_t kTotal = kStarts[kClicks - 1] + kLongest + kClickFrames;
};

// One click: a rising sweep of 500 Hz to 5 kHz under a smooth window, whose
// sharp correlation peak marks its position to the sample.
std::vector<float> MakeClick();

class ClickMeasurement {
 public:
  ClickMeasurement();  // allocates everything the card's thread uses

  // Card's thread, under the card's lock: `mic` is the period's raw
  // microphone, `speakers` the playback mix about to be played.
  void period(const float* mic, float* speakers, std::uint32_t frames) noexcept;
  bool done() const noexcept { return done_.load(std::memory_order_acquire); }
  // The microphone, mono, from the measurement's first frame (complete
  // once done()).
  const std::vector<float>& captured() const { return captured_; }

 private:
  std::vector<float> click_;
  std::vector<float> captured_;
  std::uint32_t at_ = 0;
  std::uint32_t next_ = 0;  // the click being played or due next
  std::atomic<bool> done_{false};
};

struct CalibrationResult {
  bool found = false;
  unsigned clicksHeard = 0;             // of ClickPlan::kClicks
  std::uint32_t roundTripFrames = 0;    // measured
  double roundTripMs = 0.0;
  std::uint32_t reportedFrames = 0;     // what the clock reports
  int proposedOffsetMs = 0;             // measured minus reported, rounded
};

// Finds the plan's clicks in a mono microphone signal captured from the
// measurement's first frame. `reportedFrames` is the clock's own figure.
CalibrationResult FindClicks(const float* mono, std::size_t frames, std::uint32_t reportedFrames);

// ---------------------------------------------------------------- control
// The card's calls over the measurement (calibration_api.cpp).
// Starts a measurement from the next period; false when one is running.
// It takes about 3.5 s of the card's time. Not from the card's thread.
bool StartCalibration();
bool CalibrationDone();
// Ends the measurement and searches its recording (not found when it had
// not finished).
CalibrationResult FinishCalibration();
void CancelCalibration();

// The text the device sheet shows when no click was heard.
const char* NoClickHeardText();

}  // namespace soundcard
