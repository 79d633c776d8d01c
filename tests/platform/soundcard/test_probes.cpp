// The probes: taps read while the card runs, and how long an inspecting
// call holds the card's lock however large the taps are.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "cardtest.h"

using namespace cardtest;
using namespace std::chrono_literals;

namespace {

class Probes : public CardTest {
 protected:
  // Opens a 44100 Hz 16-bit stereo wave-in handle that re-queues its
  // buffers, with the test signal as microphone.
  void StartRecording(std::size_t tapBytes) {
    soundcard::SetMicrophoneTestSignal();
    soundcard::EnableWaveInTaps(tapBytes);
    const WAVEFORMATEX f = Pcm(44100, 2, 16);
    ASSERT_EQ(waveInOpen(&h, 0, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    for (WAVEHDR& hdr : set.headers) {
      waveInPrepareHeader(h, &hdr, sizeof hdr);
      ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  }
  void TearDown() override {
    if (h) {
      c.requeue = false;
      waveInReset(h);
      waveInClose(h);
    }
    CardTest::TearDown();
  }

  Collector c;
  BufferSet set{4, 4 * 882};
  HWAVEIN h = nullptr;
};

// The smallest hold of the card's lock over a few runs of `inspect`: a run
// preempted while holding it says nothing about the design.
template <typename Inspect>
std::chrono::nanoseconds ShortestHold(Inspect inspect) {
  auto best = std::chrono::nanoseconds::max();
  for (int run = 0; run < 3; ++run) {
    soundcard::ResetLongestInspectionHold();
    inspect();
    best = std::min(best, soundcard::LongestInspectionHold());
  }
  return best;
}

TEST_F(Probes, InspectingLargeTapsHoldsTheCardsLockOnlyBriefly) {
  constexpr std::size_t kFrames = 60 * soundcard::kSampleRate;  // a minute: tens of megabytes
  soundcard::EnableMixTap(soundcard::Mix::Recording, kFrames);
  StartRecording(kFrames * 4);
  soundcard::Advance(kFrames);

  std::vector<float> tap;
  std::vector<soundcard::WaveInRecord> history;
  // Copying the taps takes milliseconds; under the lock it would be held
  // that long. A period is 10 ms; the lock may be held for a small part.
  constexpr auto kBound = 2ms;
  EXPECT_LT(ShortestHold([&] { tap = soundcard::MixTap(soundcard::Mix::Recording); }), kBound);
  EXPECT_LT(ShortestHold([&] { history = soundcard::WaveInHistory(); }), kBound);
  EXPECT_LT(ShortestHold([] { soundcard::LinePeak(0, -1); }), kBound);
  EXPECT_LT(ShortestHold([] {
              MIXERLINE ml{};
              ml.cbStruct = sizeof ml;
              mixerGetLineInfo(nullptr, &ml, MIXER_GETLINEINFOF_DESTINATION);
            }),
            kBound);

  // What was read is complete and agrees: the handle got the recording mix.
  ASSERT_EQ(tap.size(), 2 * kFrames);
  ASSERT_EQ(history.size(), 1u);
  const std::uint64_t offset = history[0].startFrame - soundcard::MixTapStartFrame(soundcard::Mix::Recording);
  EXPECT_EQ(offset, 0u);
  const std::size_t frames = 44100;
  ASSERT_GE(history[0].delivered.size(), frames * 4);
  const std::vector<std::uint8_t> expected = soundcard::ConvertMix(tap.data(), frames, history[0].format);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), history[0].delivered.begin()));
  EXPECT_FALSE(history[0].tapOverflowed);
}

TEST_F(Probes, TapsReadWhileTheCardRunsAreAlwaysPrefixesOfTheWhole) {
  constexpr std::size_t kFrames = 5 * soundcard::kSampleRate;
  soundcard::EnableMixTap(soundcard::Mix::Recording, kFrames);
  StartRecording(kFrames * 4);
  std::atomic<bool> done{false};
  std::thread card([&] {
    soundcard::Advance(kFrames);
    done = true;
  });
  std::vector<std::vector<float>> taps;
  std::vector<std::vector<std::uint8_t>> delivered;
  while (!done) {
    taps.push_back(soundcard::MixTap(soundcard::Mix::Recording));
    delivered.push_back(soundcard::WaveInHistory().at(0).delivered);
    std::this_thread::sleep_for(1ms);
  }
  card.join();
  const std::vector<float> whole = soundcard::MixTap(soundcard::Mix::Recording);
  const std::vector<std::uint8_t> wholeBytes = soundcard::WaveInHistory().at(0).delivered;
  ASSERT_EQ(whole.size(), 2 * kFrames);
  for (const auto& t : taps) {
    ASSERT_EQ(t.size() % 2, 0u);
    ASSERT_TRUE(std::equal(t.begin(), t.end(), whole.begin()));
  }
  for (const auto& d : delivered) ASSERT_TRUE(std::equal(d.begin(), d.end(), wholeBytes.begin()));
}

}  // namespace
