// Wave output: written data reaches the speakers mix and, through the
// recording destination's "Wave Out" line, a wave-in handle; pause, reset
// and position; the synthesizer hook.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "cardtest.h"
#include "platform/soundcard/waveout.h"

using namespace cardtest;

namespace {

class WaveOut : public CardTest {
 protected:
  // A block of distinct 16-bit stereo samples.
  static BufferSet Ramp16(std::size_t buffers, std::size_t frames, int seed) {
    BufferSet set(buffers, frames * 4);
    for (std::size_t b = 0; b < buffers; ++b) {
      auto* s = reinterpret_cast<std::int16_t*>(set.memory[b].data());
      for (std::size_t i = 0; i < 2 * frames; ++i)
        s[i] = std::int16_t((int(b * 2 * frames + i) * 37 + seed) % 60000 - 30000);
    }
    return set;
  }
  static std::vector<std::int16_t> Concat16(const BufferSet& set) {
    std::vector<std::int16_t> all;
    for (const auto& m : set.memory) {
      const auto* s = reinterpret_cast<const std::int16_t*>(m.data());
      all.insert(all.end(), s, s + m.size() / 2);
    }
    return all;
  }
  static void PrepareAndWrite(HWAVEOUT h, BufferSet& set) {
    for (WAVEHDR& hdr : set.headers) {
      ASSERT_EQ(waveOutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
      ASSERT_EQ(waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    }
  }
};

TEST_F(WaveOut, DataAppearsInTheSpeakersMixAndTheRecording) {
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  soundcard::EnableWaveInTaps(1 << 20);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 10000);
  Collector out, in;
  out.requeue = false;
  HWAVEOUT ho = nullptr;
  HWAVEIN hi = nullptr;
  ASSERT_EQ(waveInOpen(&hi, 0, &f, in.proc(), in.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet inBuffers(4, 4 * 882);
  for (WAVEHDR& hdr : inBuffers.headers) {
    waveInPrepareHeader(hi, &hdr, sizeof hdr);
    waveInAddBuffer(hi, &hdr, sizeof hdr);
  }
  ASSERT_EQ(waveInStart(hi), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutOpen(&ho, WAVE_MAPPER, &f, out.proc(), out.instance(), CALLBACK_FUNCTION | WAVE_MAPPED),
            MMSYSERR_NOERROR);
  BufferSet set = Ramp16(3, 1000, 5);
  PrepareAndWrite(ho, set);
  soundcard::Advance(5000);

  ASSERT_EQ(out.returned.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out.returned[i], &set.headers[i]);
  const std::vector<std::int16_t> written = Concat16(set);
  const std::vector<float> mix = soundcard::MixTap(soundcard::Mix::Playback);
  ASSERT_EQ(mix.size(), 10000u);
  for (std::size_t i = 0; i < written.size(); ++i) ASSERT_EQ(mix[i], written[i] / 32768.0f) << i;
  for (std::size_t i = written.size(); i < mix.size(); ++i) ASSERT_EQ(mix[i], 0.0f);

  in.requeue = false;
  ASSERT_EQ(waveInReset(hi), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(hi), MMSYSERR_NOERROR);
  const auto rec = soundcard::WaveInHistory().at(0);
  const std::vector<std::int16_t> recorded = Samples16(rec.delivered);
  ASSERT_GE(recorded.size(), written.size());
  EXPECT_TRUE(std::equal(written.begin(), written.end(), recorded.begin()));
  EXPECT_TRUE(std::all_of(recorded.begin() + written.size(), recorded.end(), [](auto s) { return s == 0; }));

  MMTIME t{};
  t.wType = TIME_SAMPLES;
  ASSERT_EQ(waveOutGetPosition(ho, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.wType, UINT(TIME_SAMPLES));
  EXPECT_EQ(t.u.sample, 3000u);
  ASSERT_EQ(waveOutClose(ho), MMSYSERR_NOERROR);
  EXPECT_EQ(out.messages.front(), UINT(MM_WOM_OPEN));
  EXPECT_EQ(out.messages.back(), UINT(MM_WOM_CLOSE));
}

TEST_F(WaveOut, PauseHoldsRestartGoesOnResetReturnsEverything) {
  const WAVEFORMATEX f = Pcm(44100, 1, 8);
  Collector out;
  out.requeue = false;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(waveOutOpen(&h, 0, &f, out.proc(), out.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
  BufferSet set(4, 500);
  for (auto& m : set.memory) std::fill(m.begin(), m.end(), char(192));  // +0.5
  PrepareAndWrite(h, set);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 300);
  soundcard::Advance(2000);
  EXPECT_TRUE(out.returned.empty());
  MMTIME t{};
  t.wType = TIME_BYTES;
  waveOutGetPosition(h, &t, sizeof t);
  EXPECT_EQ(t.u.cb, 0u);
  for (float v : soundcard::MixTap(soundcard::Mix::Playback)) ASSERT_EQ(v, 0.0f);

  ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 300);
  soundcard::Advance(700);
  EXPECT_EQ(out.returned.size(), 1u);
  for (float v : soundcard::MixTap(soundcard::Mix::Playback)) ASSERT_EQ(v, 0.5f);  // mono on both
  waveOutGetPosition(h, &t, sizeof t);
  EXPECT_EQ(t.wType, UINT(TIME_BYTES));
  EXPECT_EQ(t.u.cb, 700u);

  EXPECT_EQ(waveOutClose(h), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(out.returned.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out.returned[i], &set.headers[i]);
    EXPECT_TRUE(set.headers[i].dwFlags & WHDR_DONE);
  }
  waveOutGetPosition(h, &t, sizeof t);
  EXPECT_EQ(t.u.cb, 0u);
  for (WAVEHDR& hdr : set.headers) EXPECT_EQ(waveOutUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(WaveOut, OtherRatesAreConvertedToTheEnd) {
  // 1 kHz at 22050 Hz, 16-bit mono, amplitude 0.5; one second in 10 buffers.
  const WAVEFORMATEX f = Pcm(22050, 1, 16);
  BufferSet set(10, 2 * 2205);
  for (std::size_t b = 0; b < 10; ++b) {
    auto* s = reinterpret_cast<std::int16_t*>(set.memory[b].data());
    for (std::size_t i = 0; i < 2205; ++i)
      s[i] = std::int16_t(std::lround(16384 * std::sin(2 * M_PI * 1000.0 * double(b * 2205 + i) / 22050)));
  }
  Collector out;
  out.requeue = false;
  HWAVEOUT h = nullptr;
  ASSERT_EQ(waveOutOpen(&h, 0, &f, out.proc(), out.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 2 * 44100);
  PrepareAndWrite(h, set);
  soundcard::Advance(2 * 44100);
  EXPECT_EQ(out.returned.size(), 10u);
  const std::vector<float> mix = soundcard::MixTap(soundcard::Mix::Playback);
  std::size_t last = 0;
  double energy = 0;
  for (std::size_t i = 0; i < mix.size() / 2; ++i) {
    if (std::fabs(mix[2 * i]) > 1e-3) last = i;
    EXPECT_EQ(mix[2 * i], mix[2 * i + 1]);
    if (i >= 4410 && i < 39690) energy += double(mix[2 * i]) * mix[2 * i];
  }
  // The whole second is heard, its end included, at the same level.
  EXPECT_NEAR(double(last), 44100.0, 100.0);
  EXPECT_NEAR(std::sqrt(energy / (39690 - 4410)), 0.5 / std::sqrt(2.0), 0.01);
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  waveOutGetPosition(h, &t, sizeof t);
  EXPECT_EQ(t.u.sample, 22050u);
  ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

// An armed handle sends its drained message once, after the done notice of
// its last buffer and only when the converter has let out its tail too; a
// paused handle holds it back, a reset disarms it.
TEST_F(WaveOut, AnArmedHandleTellsOnceWhenEverythingItHeldIsInTheMix) {
  constexpr UINT kDrained = 0x7123;
  for (const WAVEFORMATEX& f : {Pcm(44100, 2, 16), Pcm(22050, 1, 16)}) {
    SCOPED_TRACE(unsigned(f.nSamplesPerSec));  // a copy: the record is packed
    Collector c;
    c.requeue = false;
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, 0, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    BufferSet set(2, f.nAvgBytesPerSec / 20);  // 2 x 50 ms
    PrepareAndWrite(h, set);
    ASSERT_EQ(waveOutNotifyDrained(h, kDrained), MMSYSERR_NOERROR);
    soundcard::Advance(44100 / 20);
    EXPECT_EQ(std::count(c.messages.begin(), c.messages.end(), kDrained), 0) << "half of it is queued";
    ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
    soundcard::Advance(44100 / 5);
    EXPECT_EQ(std::count(c.messages.begin(), c.messages.end(), kDrained), 0) << "paused";
    ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
    soundcard::Advance(44100 / 5);
    ASSERT_EQ(std::count(c.messages.begin(), c.messages.end(), kDrained), 1);
    EXPECT_EQ(c.messages.back(), kDrained) << "after the last done notice";
    MMTIME t{};
    t.wType = TIME_SAMPLES;
    waveOutGetPosition(h, &t, sizeof t);
    // (The converted position may round one sample short of the end.)
    EXPECT_NEAR(double(t.u.sample), f.nSamplesPerSec / 10, 1.0) << "all of it was heard";

    // Re-armed, then reset: nothing is sent for the dropped sound.
    PrepareAndWrite(h, set);
    ASSERT_EQ(waveOutNotifyDrained(h, kDrained), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    soundcard::Advance(44100 / 5);
    EXPECT_EQ(std::count(c.messages.begin(), c.messages.end(), kDrained), 1);
    EXPECT_EQ(waveOutNotifyDrained(nullptr, kDrained), MMSYSERR_INVALHANDLE);
    ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
  }
}

void ConstantSynth(void* user, float* out, std::uint32_t frames) {
  const float v = *static_cast<float*>(user);
  std::fill(out, out + 2 * frames, v);
}

TEST_F(WaveOut, TheSynthesizerHookFeedsBothMixes) {
  float level = 0.25f;
  soundcard::SetSynthRender(&ConstantSynth, &level);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 441);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 441);
  soundcard::Advance(441);
  for (float v : soundcard::MixTap(soundcard::Mix::Playback)) ASSERT_EQ(v, 0.25f);
  for (float v : soundcard::MixTap(soundcard::Mix::Recording)) ASSERT_EQ(v, 0.25f);
  const auto peak = soundcard::LinePeak(0, 1);  // "Speakers" / "SW Synth"
  EXPECT_EQ(peak[0], 8192);
  EXPECT_EQ(peak[1], 8192);
  EXPECT_EQ(soundcard::LinePeak(0, 2)[0], 0);  // the muted microphone monitor
  soundcard::SetSynthRender(nullptr, nullptr);
  soundcard::Advance(441);
  EXPECT_EQ(soundcard::LinePeak(0, 1)[0], 0);
}

}  // namespace
