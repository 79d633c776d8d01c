// Measuring the round trip with clicks: on the virtual device's simulated
// round trip (stepped clock) and on made-up microphone signals.
#include <cmath>
#include <cstdlib>

#include "cardtest.h"
#include "platform/soundcard/calibration.h"
#include "platform/soundcard/latency.h"

using namespace cardtest;
using soundcard::ClickPlan;

namespace {

class Calibration : public CardTest {};

TEST_F(Calibration, FindsTheVirtualDevicesRoundTripWithinTwoMilliseconds) {
  for (int ms : {30, 120, 250}) {
    for (bool voice : {false, true}) {
      SCOPED_TRACE(testing::Message() << ms << " ms" << (voice ? ", with a voice on the microphone" : ""));
      if (voice)
        soundcard::SetMicrophoneTestSignal();
      else
        soundcard::SetMicrophoneSilence();
      soundcard::SetSimulatedRoundTripMs(ms);
      ASSERT_TRUE(soundcard::StartCalibration());
      EXPECT_FALSE(soundcard::StartCalibration()) << "one measurement at a time";
      soundcard::Advance(ClickPlan::kTotal - 1);
      EXPECT_FALSE(soundcard::CalibrationDone());
      soundcard::Advance(1);
      ASSERT_TRUE(soundcard::CalibrationDone());
      const soundcard::CalibrationResult r = soundcard::FinishCalibration();
      ASSERT_TRUE(r.found);
      EXPECT_EQ(r.clicksHeard, ClickPlan::kClicks);
      EXPECT_NEAR(r.roundTripMs, ms, 2.0);
      EXPECT_EQ(r.reportedFrames, soundcard::ReportedRoundTripFrames());
      EXPECT_EQ(r.proposedOffsetMs, 0) << "the device reports its round trip itself";
    }
  }
}

TEST_F(Calibration, SilenceIsNotFoundAndTheClicksStayOutOfTheRecordingMix) {
  soundcard::EnableMixTap(soundcard::Mix::Playback, ClickPlan::kTotal);
  soundcard::EnableMixTap(soundcard::Mix::Recording, ClickPlan::kTotal);
  ASSERT_TRUE(soundcard::StartCalibration());
  soundcard::Advance(ClickPlan::kTotal);
  const soundcard::CalibrationResult r = soundcard::FinishCalibration();
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.clicksHeard, 0u);
  EXPECT_FALSE(soundcard::CalibrationDone()) << "finishing ends the measurement";

  const auto playback = soundcard::MixTap(soundcard::Mix::Playback);
  const auto recording = soundcard::MixTap(soundcard::Mix::Recording);
  ASSERT_EQ(playback.size(), 2u * ClickPlan::kTotal);
  const std::vector<float> click = soundcard::MakeClick();
  for (std::uint32_t start : ClickPlan::kStarts)
    for (std::uint32_t j = 0; j < click.size(); ++j) ASSERT_EQ(playback[2 * (start + j)], click[j]);
  for (float v : recording) ASSERT_EQ(v, 0.0f);

  // Finished before its end: nothing found, and the card is free again.
  ASSERT_TRUE(soundcard::StartCalibration());
  soundcard::Advance(441);
  EXPECT_FALSE(soundcard::FinishCalibration().found);
  EXPECT_TRUE(soundcard::StartCalibration());
  soundcard::CancelCalibration();
}

// The measurement's microphone: the clicks `lag` frames after they went
// out, at `level` of their own level, over a deterministic noise.
std::vector<float> Heard(std::int64_t lag, float level, float noise, unsigned clicks = ClickPlan::kClicks) {
  std::vector<float> mono(ClickPlan::kTotal, 0.0f);
  std::uint32_t seed = 12345;
  for (float& v : mono) {
    seed = seed * 1664525u + 1013904223u;
    v = noise * (float(seed >> 8) / float(1u << 24) - 0.5f);
  }
  const std::vector<float> click = soundcard::MakeClick();
  for (unsigned k = 0; k < clicks; ++k)
    for (std::size_t j = 0; j < click.size(); ++j) {
      const std::int64_t at = std::int64_t(ClickPlan::kStarts[k]) + lag + std::int64_t(j);
      if (at >= 0 && at < std::int64_t(mono.size())) mono[at] += level * click[j];
    }
  return mono;
}

TEST(FindClicks, ProposesMeasuredMinusReportedAndRefusesWhatItCannotTrust) {
  {
    SCOPED_TRACE("quiet clicks in noise");
    const auto mono = Heard(5000, 0.05f, 0.02f);
    const auto r = soundcard::FindClicks(mono.data(), mono.size(), 3000);
    ASSERT_TRUE(r.found);
    EXPECT_NEAR(double(r.roundTripFrames), 5000.0, 1.0);
    EXPECT_EQ(r.proposedOffsetMs, 45);  // 2000 frames
  }
  {
    SCOPED_TRACE("the clock reports more than there is");
    const auto mono = Heard(441, 1.0f, 0.0f);
    const auto r = soundcard::FindClicks(mono.data(), mono.size(), 4410);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.proposedOffsetMs, -90);
  }
  {
    SCOPED_TRACE("a round trip longer than the search: no figure rather than a wrong one");
    const auto mono = Heard(44100 * 3 / 2, 1.0f, 0.0f);
    EXPECT_FALSE(soundcard::FindClicks(mono.data(), mono.size(), 0).found);
  }
  {
    SCOPED_TRACE("one click heard");
    const auto mono = Heard(2000, 1.0f, 0.001f, 1);
    const auto r = soundcard::FindClicks(mono.data(), mono.size(), 0);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.clicksHeard, 1u);
  }
  {
    SCOPED_TRACE("noise only");
    const auto mono = Heard(2000, 0.0f, 0.3f);
    EXPECT_FALSE(soundcard::FindClicks(mono.data(), mono.size(), 0).found);
  }
  {
    SCOPED_TRACE("a short recording");
    const auto mono = Heard(2000, 1.0f, 0.0f);
    EXPECT_FALSE(soundcard::FindClicks(mono.data(), 10000, 0).found);
  }
}

}  // namespace
