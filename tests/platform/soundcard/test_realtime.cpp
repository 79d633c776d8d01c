// Allocation on the card's thread. The allocator of this test program counts
// the calls made on a thread while that thread has counting switched on; the
// periods run on the test's own thread through the stepped clock. (libsoxr
// still sizes its own buffers in a converter's first periods; what is
// checked here is what the card decides itself.)
#include <atomic>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "cardtest.h"
#include "clicktrack.h"
#include "platform/soundcard/calibration.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/wavein.h"
#include "platform/winmsg/winmsg.h"

#include "alloccount.h"

using namespace cardtest;

namespace {

// Runs `frames` on this thread and returns the allocations and frees they
// made.
long AllocationsOf(std::uint64_t frames) {
  gAllocations = 0;
  gFrees = 0;
  tCounting = true;
  soundcard::Advance(frames);
  tCounting = false;
  return gAllocations.load() + gFrees.load();
}

// Counts played buffers without allocating.
std::atomic<int> gPlayed{0};
void CountPlayed(void*, UINT msg, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (msg == MM_WOM_DONE) ++gPlayed;
}

class RealTime : public CardTest {
 protected:
  void SetUp() override {
#ifdef CARDTEST_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator cannot be counted";
#endif
    CardTest::SetUp();
    // The counter itself must see allocations and frees at all.
    tCounting = true;
    gAllocations = 0;
    gFrees = 0;
    void* volatile p = std::malloc(16);
    std::free(p);
    tCounting = false;
    ASSERT_EQ(gAllocations.load(), 1);
    ASSERT_EQ(gFrees.load(), 1);
  }
};

// The end of a converted sound is let out when the queue runs dry; the
// converter is readied for the next sound by the call that queues it, so
// running dry costs the card's thread nothing. The next sound plays.
TEST_F(RealTime, APlayerRunningDryAllocatesNothingOnTheCardsThread) {
  const WAVEFORMATEX formats[] = {Pcm(22050, 2, 16), Pcm(11025, 1, 16), Pcm(8000, 1, 8)};
  gPlayed = 0;
  std::vector<HWAVEOUT> handles;
  std::vector<BufferSet> sets;
  for (const WAVEFORMATEX& f : formats) {
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, 0, &f, DWORD_PTR(&CountPlayed), 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    handles.push_back(h);
    // 0.1 s of a constant level, so the converted sound is that level too.
    sets.emplace_back(1, f.nAvgBytesPerSec / 10);
    if (f.wBitsPerSample == 16) {
      auto* s = reinterpret_cast<std::int16_t*>(sets.back().memory[0].data());
      std::fill(s, s + sets.back().memory[0].size() / 2, std::int16_t(4096));
    } else {
      std::fill(sets.back().memory[0].begin(), sets.back().memory[0].end(), char(128 + 16));
    }
    waveOutPrepareHeader(h, &sets.back().headers[0], sizeof(WAVEHDR));
  }
  auto writeAll = [&] {
    for (std::size_t i = 0; i < handles.size(); ++i)
      ASSERT_EQ(waveOutWrite(handles[i], &sets[i].headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  };
  writeAll();
  soundcard::Advance(44100 / 20);  // halfway: the converters are running
  EXPECT_EQ(AllocationsOf(44100 / 5), 0) << "the queues ran dry";
  EXPECT_EQ(gPlayed, 3);

  writeAll();
  soundcard::EnableMixTap(soundcard::Mix::Playback, 441);
  soundcard::Advance(44100 / 20);
  const std::vector<float> mix = soundcard::MixTap(soundcard::Mix::Playback);
  ASSERT_EQ(mix.size(), 2u * 441);
  const float level = 3 * 4096 / 32768.0f;
  EXPECT_NEAR(mix[440], level, 0.01f) << "the next sounds play";
  soundcard::Advance(44100 / 5);
  EXPECT_EQ(gPlayed, 6);
  for (HWAVEOUT h : handles) EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

// Re-queues every recorded buffer and takes its voice, allocating nothing.
std::uint64_t gVoiceBytes = 0;
void Requeue(void* handle, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR) {
  if (msg != MM_WIM_DATA) return;
  static std::uint8_t voice[4410 * 4];
  DWORD read = 0;
  waveInReadVoice(static_cast<HWAVEIN>(handle), voice, sizeof voice, &read);
  gVoiceBytes += read;
  waveInAddBuffer(static_cast<HWAVEIN>(handle), reinterpret_cast<WAVEHDR*>(p1), sizeof(WAVEHDR));
}

// The round trip changes while a take runs with the singer simulated, the
// accompaniment delayed and the voice kept: new delay lines are built by
// the changing thread, so the periods after each change allocate nothing;
// nor do the periods of a round-trip measurement.
TEST_F(RealTime, ChangingTheRoundTripDuringATakeAllocatesNothingOnTheCardsThread) {
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, DWORD_PTR(&Requeue), 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(8, 4410 * 4);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  ASSERT_EQ(waveInEnableVoice(h, 8 * 4410 * 4), MMSYSERR_NOERROR);
  gVoiceBytes = 0;
  clicktrack::Synth synth;
  soundcard::SetSynthRender(&clicktrack::Synth::Render, &synth);
  soundcard::SetSimulatedRoundTripMs(120);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  soundcard::Advance(44100 / 2);

  const std::function<void()> changes[] = {
      [] { soundcard::SetLatencyOffsetMs(200); },
      [] { soundcard::SetSimulatedRoundTripMs(30); },
      [] { soundcard::SetLatencyOffsetMs(-50); },
      [] { soundcard::SetLatencyCompensation(false); },
      [] { soundcard::SetLatencyCompensation(true); },
      [] { soundcard::SetLatencyOffsetMs(900); },      // a longer line
      [] { soundcard::SetSimulatedRoundTripMs(600); },  // longer lines for both
      [] { soundcard::SetLatencyOffsetMs(0); },
  };
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    EXPECT_EQ(AllocationsOf(44100 / 4), 0) << "after change " << i;
  }

  ASSERT_TRUE(soundcard::StartCalibration());
  EXPECT_EQ(AllocationsOf(soundcard::ClickPlan::kTotal), 0) << "measuring";
  ASSERT_TRUE(soundcard::CalibrationDone());
  const soundcard::CalibrationResult r = soundcard::FinishCalibration();
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.roundTripFrames, 600u * 441 / 10);

  soundcard::SetSynthRender(nullptr, nullptr);
  waveInReset(h);
  EXPECT_EQ(soundcard::LostFrames(h), 0u);
  EXPECT_GT(gVoiceBytes, 44100u * 4) << "the voice was kept all along";
  waveInClose(h);
}

// The monitor's effects on a singing microphone: the echo and reverb
// running, a change of preset (the new reverb taken, the old one faded out
// and handed back), of the echo's delay, recording them, and turning them
// off, allocate nothing on the card's thread; the reverbs are built and
// freed by the changing thread.
TEST_F(RealTime, MonitorEffectsAndTheirChangesAllocateNothingOnTheCardsThread) {
  soundcard::SetMicrophoneTestSignal();
  soundcard::MonitorEffects fx;
  fx.echoMs = 250;
  fx.reverb = soundcard::Reverb::Room;
  const std::function<void()> changes[] = {
      [&] {},
      [&] { fx.reverb = soundcard::Reverb::Hall; },
      [&] { fx.echoMs = 700; },
      [&] {
        fx.reverb = soundcard::Reverb::Plate;
        fx.recorded = true;
      },
      [&] { fx = soundcard::MonitorEffects{}; },
  };
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    soundcard::SetMonitorEffects(fx);
    EXPECT_EQ(AllocationsOf(44100 / 4), 0) << "after change " << i;
  }
}

}  // namespace

namespace {

// Window messages go through a fixed ring: a full message queue makes the
// card keep buffers back instead of growing the queue on its thread.
TEST_F(RealTime, WindowMessagesOnAFullQueueAllocateNothingOnTheCardsThread) {
  int delivered = 0;
  HWND wnd = AllocateHWnd([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == MM_WOM_DONE) ++delivered;
    return 0;
  });
  HWND filler = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  HWAVEOUT h = nullptr;
  ASSERT_EQ(waveOutOpen(&h, 0, &f, DWORD_PTR(wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  BufferSet set(2000, 32);
  for (WAVEHDR& hdr : set.headers) {
    waveOutPrepareHeader(h, &hdr, sizeof hdr);
    ASSERT_EQ(waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  }
  soundcard::Advance(soundcard::kPeriodFrames);  // the first messages, before counting
  ProcessMessages();
  // A full queue: posting one more message the ordinary way would grow it.
  while (TryPostMessage(filler, WM_USER, 0, 0) == PostResult::Posted) {
  }
  EXPECT_EQ(AllocationsOf(44100 / 2), 0);
  ProcessMessages();
  waveOutReset(h);
  ProcessMessages();
  EXPECT_EQ(delivered, 2000);
  EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
  ProcessMessages();
  DeallocateHWnd(wnd);
  DeallocateHWnd(filler);
}

}  // namespace
