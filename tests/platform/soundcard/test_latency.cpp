// The round trip on the stepped clock: a simulated singer follows a click
// track exactly, and the take holds the accompaniment where the singer heard
// it; forced off they are the round trip apart. The delay line itself, the
// user's correction, and a change of the round trip during a take.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cardtest.h"
#include "clicktrack.h"
#include "platform/soundcard/latency.h"

using namespace cardtest;

namespace {

struct Take {
  std::vector<float> left, right;
};

// Records `frames` card frames through waveIn at `rate`, 16-bit stereo,
// everything the card hands over included.
Take Record(DWORD rate, std::uint64_t frames) {
  const WAVEFORMATEX f = Pcm(rate, 2, 16);
  Collector c;
  HWAVEIN h = nullptr;
  EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(8, f.nAvgBytesPerSec / 20);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  waveInStart(h);
  soundcard::Advance(frames);
  {
    std::lock_guard g(c.mutex);
    c.requeue = false;
  }
  waveInReset(h);
  waveInClose(h);
  Take t;
  const std::vector<std::int16_t> s = Samples16(c.bytes);
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    t.left.push_back(s[i] / 32768.0f);
    t.right.push_back(s[i + 1] / 32768.0f);
  }
  return t;
}

// Sung minus accompaniment for every click of the take.
std::vector<std::int64_t> Apart(const Take& t, DWORD rate) {
  const std::size_t gap = rate / 20;
  const auto sung = clicktrack::ClickPeaks(t.left, gap);
  const auto accompaniment = clicktrack::ClickPeaks(t.right, gap);
  return clicktrack::Distances(accompaniment, sung, std::int64_t(rate / 10));
}

class RoundTrip : public CardTest {};

TEST_F(RoundTrip, TheSingersClickAndTheAccompanimentCoincideInTheTakeAndAreLApartWithoutCompensation) {
  constexpr std::uint64_t kFrames = 44100 * 5 / 2;
  for (const char* source : {"SW Synth", "Wave Out"}) {
    for (int ms : {30, 120, 250}) {
      for (DWORD rate : {44100u, 22050u, 11025u}) {
        for (bool on : {true, false}) {
          SCOPED_TRACE(testing::Message() << source << ", " << ms << " ms, " << rate << " Hz, compensation "
                                          << (on ? "on" : "off"));
          clicktrack::InstallSplitMixers();
          soundcard::SetSimulatedRoundTripMs(ms);
          soundcard::SetLatencyCompensation(on);
          const std::uint32_t l = std::uint32_t(std::lround(ms * 44.1));
          EXPECT_EQ(soundcard::ReportedRoundTripFrames(), l) << "the virtual device reports its round trip";
          EXPECT_EQ(soundcard::RoundTripFrames(), l);

          clicktrack::Synth synth;
          std::unique_ptr<clicktrack::WavePlayer> player;
          if (std::string(source) == "SW Synth")
            soundcard::SetSynthRender(&clicktrack::Synth::Render, &synth);
          else
            player = std::make_unique<clicktrack::WavePlayer>(kFrames + 44100);
          ASSERT_TRUE(!player || player->opened());
          const Take take = Record(rate, kFrames);
          soundcard::SetSynthRender(nullptr, nullptr);
          player.reset();

          const std::vector<std::int64_t> apart = Apart(take, rate);
          ASSERT_GE(apart.size(), 3u);
          const std::int64_t tolerance = rate == 44100 ? 44 : 1;
          const std::int64_t expected = on ? 0 : std::llround(double(l) * rate / 44100);
          for (std::int64_t d : apart) EXPECT_LE(std::llabs(d - expected), tolerance) << d;
        }
      }
    }
  }
}

TEST_F(RoundTrip, TheUsersCorrectionAddsToTheReportedRoundTripWhichIsNeverBelowZero) {
  soundcard::SetSimulatedRoundTripMs(120);
  soundcard::SetLatencyOffsetMs(-20);
  EXPECT_EQ(soundcard::LatencyOffsetMs(), -20);
  EXPECT_EQ(soundcard::RoundTripFrames(), 4410u);
  soundcard::SetLatencyOffsetMs(-500);
  EXPECT_EQ(soundcard::RoundTripFrames(), 0u);

  // A correction of +10 ms delays the accompaniment 10 ms past the singer.
  soundcard::SetLatencyOffsetMs(10);
  clicktrack::InstallSplitMixers();
  clicktrack::Synth synth;
  soundcard::SetSynthRender(&clicktrack::Synth::Render, &synth);
  const Take take = Record(44100, 44100 * 2);
  soundcard::SetSynthRender(nullptr, nullptr);
  const auto apart = Apart(take, 44100);
  ASSERT_GE(apart.size(), 2u);
  for (std::int64_t d : apart) EXPECT_EQ(d, -441);

  // A fresh card has neither the correction nor the simulation.
  soundcard::ResetCard();
  EXPECT_EQ(soundcard::LatencyOffsetMs(), 0);
  EXPECT_EQ(soundcard::RoundTripFrames(), 0u);
  EXPECT_TRUE(soundcard::LatencyCompensation());
}

// Synthesizer frame i, different for every frame: what the take must hold.
float Ramp(std::uint64_t i, unsigned ch) { return soundcard::TestSignalSample(i, ch); }
struct RampSynth {
  std::uint64_t frame = 0;
  static void Render(void* user, float* out, std::uint32_t frames) {
    auto* self = static_cast<RampSynth*>(user);
    for (std::uint32_t i = 0; i < frames; ++i) {
      out[2 * i] = Ramp(self->frame + i, 0);
      out[2 * i + 1] = Ramp(self->frame + i, 1);
    }
    self->frame += frames;
  }
};

TEST_F(RoundTrip, ChangingTheRoundTripDuringATakeKeepsTheTakeContinuousAfterTheChange) {
  RampSynth synth;
  soundcard::SetSynthRender(&RampSynth::Render, &synth);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 4 * 44100);
  soundcard::SetLatencyOffsetMs(120);
  // Each stretch: its length, then the round trip in force during it. The
  // second needs a longer line (built with the old one's history), the
  // third a shorter delay.
  const struct {
    std::uint64_t frames;
    int ms;
  } stretches[] = {{44100, 120}, {44100, 900}, {44100, 30}};
  std::vector<std::pair<std::uint64_t, std::uint32_t>> delays;  // first frame, L
  std::uint64_t at = 0;
  for (const auto& s : stretches) {
    soundcard::SetLatencyOffsetMs(s.ms);
    delays.emplace_back(at, soundcard::RoundTripFrames());
    soundcard::Advance(s.frames);
    at += s.frames;
  }
  soundcard::SetSynthRender(nullptr, nullptr);
  const std::vector<float> take = soundcard::MixTap(soundcard::Mix::Recording);
  ASSERT_EQ(take.size(), 2 * at);
  std::size_t stretch = 0;
  for (std::uint64_t i = 0; i < at; ++i) {
    while (stretch + 1 < delays.size() && i >= delays[stretch + 1].first) ++stretch;
    const std::uint32_t l = delays[stretch].second;
    const float left = i >= l ? Ramp(i - l, 0) : 0.0f;
    const float right = i >= l ? Ramp(i - l, 1) : 0.0f;
    ASSERT_EQ(take[2 * i], left) << "frame " << i << ", round trip " << l;
    ASSERT_EQ(take[2 * i + 1], right) << "frame " << i << ", round trip " << l;
  }
}

TEST_F(RoundTrip, ThePlaybackMixAndTheMicrophoneAreNeverDelayed) {
  RampSynth synth;
  soundcard::SetSynthRender(&RampSynth::Render, &synth);
  std::vector<float> mic(2 * 44100);
  for (std::size_t i = 0; i < mic.size(); ++i) mic[i] = float(i % 1000) / 4096.0f;
  soundcard::SetLatencyOffsetMs(100);
  soundcard::SetMicrophoneSamples(mic, false);
  // Only the microphone in the recording mix.
  std::vector<soundcard::MixerDesc> mixers = soundcard::DefaultMixers();
  for (auto& src : mixers[0].destinations[1].sources)
    if (src.componentType != MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
      for (auto& c : src.controls)
        if (c.type == MIXERCONTROL_CONTROLTYPE_MUTE) c.initial = {1};
  soundcard::InstallMixers(std::move(mixers));
  soundcard::EnableMixTap(soundcard::Mix::Playback, 22050);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 22050);
  soundcard::Advance(22050);
  soundcard::SetSynthRender(nullptr, nullptr);
  const auto playback = soundcard::MixTap(soundcard::Mix::Playback);
  const auto recording = soundcard::MixTap(soundcard::Mix::Recording);
  ASSERT_EQ(playback.size(), 2u * 22050);
  ASSERT_EQ(recording.size(), 2u * 22050);
  for (std::size_t i = 0; i < 22050; ++i) {
    ASSERT_EQ(playback[2 * i], Ramp(i, 0)) << i;
    ASSERT_EQ(recording[2 * i], mic[2 * i]) << i;
  }
}

TEST(DelayLine, ReadsTheFramesItHoldsAcrossTheWrapAndSilenceForTheRest) {
  soundcard::DelayLine line(10);
  std::vector<float> in(2 * 7), out(2 * 7);
  float next = 1.0f;
  auto writeSeven = [&] {
    for (float& v : in) v = next++;
    line.write(in.data(), 7);
  };
  writeSeven();  // frames 0..6 hold 1..14
  line.read(9, out.data(), 7);  // frames -2..4
  EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  line.read(3, out.data(), 7);  // frames 4..10: the last three not written yet
  EXPECT_EQ(out, (std::vector<float>{9, 10, 11, 12, 13, 14, 0, 0, 0, 0, 0, 0, 0, 0}));
  writeSeven();  // frames 7..13, wrapping; frames 0..3 are gone
  line.read(14, out.data(), 7);  // frames 0..6
  EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0, 0, 0, 0, 0, 9, 10, 11, 12, 13, 14}));
  line.read(7, out.data(), 7);  // frames 7..13
  EXPECT_EQ(out, (std::vector<float>{15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28}));

  // A larger line takes over all of it, a smaller one its newest frames.
  soundcard::DelayLine larger(16), smaller(3);
  larger.takeHistory(line);
  smaller.takeHistory(line);
  EXPECT_EQ(larger.written(), 14u);
  std::vector<float> all(2 * 10);
  larger.read(10, all.data(), 10);  // frames 4..13
  EXPECT_EQ(all[0], 9.0f);
  EXPECT_EQ(all[19], 28.0f);
  std::vector<float> few(2 * 4);
  smaller.read(4, few.data(), 4);  // frames 10..13: frame 10 is gone
  EXPECT_EQ(few, (std::vector<float>{0, 0, 23, 24, 25, 26, 27, 28}));

  // Every held frame goes over, whichever way the two lines wrap, and what a
  // line held before is silence afterwards.
  std::vector<float> expected(2 * 10);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = float(9 + i);
  EXPECT_EQ(all, expected) << "frames 4..13 of the older line";
  soundcard::DelayLine reused(12);
  std::vector<float> loud(2 * 12, 99.0f);
  reused.write(loud.data(), 12);
  reused.write(loud.data(), 5);  // its own position wraps too
  reused.takeHistory(line);
  EXPECT_EQ(reused.written(), 14u);
  std::vector<float> back(2 * 12);
  reused.read(12, back.data(), 12);  // frames 2..13: 2 and 3 were never held
  std::vector<float> held(2 * 12, 0.0f);
  std::copy(expected.begin(), expected.end(), held.begin() + 4);
  EXPECT_EQ(back, held);
}

TEST_F(RoundTrip, TheVirtualClockTakesItsRoundTripFromTheEnvironment) {
  setenv("TUNELARK_AUDIO_LATENCY_MS", "120", 1);
  soundcard::SelectClock(soundcard::Clock::Virtual);
  EXPECT_EQ(soundcard::ReportedRoundTripFrames(), 5292u);
  EXPECT_EQ(soundcard::RoundTripFrames(), 5292u);
  setenv("TUNELARK_AUDIO_LATENCY_MS", "soon", 1);
  soundcard::SelectClock(soundcard::Clock::Virtual);
  EXPECT_EQ(soundcard::ReportedRoundTripFrames(), 0u) << "not a number: no round trip";
  unsetenv("TUNELARK_AUDIO_LATENCY_MS");
  soundcard::SelectClock(soundcard::Clock::Stepped);
  EXPECT_EQ(soundcard::ReportedRoundTripFrames(), 0u);
}

}  // namespace
