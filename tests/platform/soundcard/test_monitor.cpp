// The monitor's effects: a click on the microphone as the speakers give it
// back (echo to the frame, the presets' responses), the take and the voice
// with the effects recorded or not, and a change of preset while it plays.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "cardtest.h"
#include "platform/soundcard/wavein.h"

using namespace cardtest;
using soundcard::MonitorEffects;
using soundcard::Reverb;

namespace {

constexpr float kClick = 0.5f;

// The default table with the monitor line ("Microphone" of "Speakers")
// unmuted, every volume at its maximum.
void UnmuteMonitor() {
  std::vector<soundcard::MixerDesc> mixers = soundcard::DefaultMixers();
  mixers[0].destinations[0].sources[2].controls[1].initial = {0};
  soundcard::InstallMixers(mixers);
}

// Silence with a click of kClick on both channels at each of `at`.
std::vector<float> Clicks(std::size_t frames, const std::vector<std::size_t>& at) {
  std::vector<float> s(2 * frames, 0.0f);
  for (std::size_t f : at) s[2 * f] = s[2 * f + 1] = kClick;
  return s;
}

// One channel of an interleaved block.
std::vector<double> Channel(const std::vector<float>& s, unsigned c, std::size_t from, std::size_t n) {
  std::vector<double> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = s[2 * (from + i) + c];
  return out;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// A fresh card with the monitor unmuted, `effects` on, `mic` on the
// microphone and both mixes tapped for its length; returns that length.
std::size_t Prepare(const std::vector<float>& mic, const MonitorEffects& effects) {
  soundcard::ResetCard();
  UnmuteMonitor();
  soundcard::SetMonitorEffects(effects);
  soundcard::SetMicrophoneSamples(mic, false);
  const std::size_t frames = mic.size() / 2;
  soundcard::EnableMixTap(soundcard::Mix::Playback, frames);
  soundcard::EnableMixTap(soundcard::Mix::Recording, frames);
  return frames;
}

// Plays `mic` through the card with `effects` and returns the speakers.
std::vector<float> Speakers(const std::vector<float>& mic, const MonitorEffects& effects) {
  const std::size_t frames = Prepare(mic, effects);
  soundcard::Advance(frames);
  std::vector<float> out = soundcard::MixTap(soundcard::Mix::Playback);
  EXPECT_EQ(out.size(), mic.size());
  out.resize(mic.size());
  return out;
}

class Monitor : public CardTest {};

// The click comes back exactly round(ms * 44.1) frames later at the echo's
// level, then at level * feedback, and nothing else is heard: at 123 ms
// (5424.3 frames) and at the longest delay.
TEST_F(Monitor, AClickComesBackAsItsEchoToTheFrame) {
  for (const int ms : {123, soundcard::kMaxEchoMs}) {
    SCOPED_TRACE(ms);
    const auto delay = std::size_t(std::lround(ms * 44.1));
    const std::size_t click = 1000;
    MonitorEffects fx;
    fx.echoMs = ms;
    fx.echoLevel = 60;
    fx.echoFeedback = 50;
    const std::vector<float> out = Speakers(Clicks(click + 2 * delay + 500, {click}), fx);
    ASSERT_FALSE(out.empty());
    for (std::size_t f = 0; f < out.size() / 2; ++f) {
      float want = 0.0f;
      if (f == click) want = kClick;
      if (f == click + delay) want = kClick * 0.6f;
      if (f == click + 2 * delay) want = kClick * 0.6f * 0.5f;
      ASSERT_NEAR(out[2 * f], want, 1e-6f) << "frame " << f;
      ASSERT_NEAR(out[2 * f + 1], want, 1e-6f) << "frame " << f;
    }
  }
}

// After the click the speakers give the preset's response at the reverb's
// level; the response is silent for its pre-delay, decorrelated between the
// sides, and the same every time. With an echo too, the reverb hears the
// echo: click and repeat each bring the response.
TEST_F(Monitor, AClickBringsThePresetsImpulseResponse) {
  const std::size_t click = 2000;
  for (const Reverb preset : {Reverb::Room, Reverb::Hall, Reverb::Plate}) {
    SCOPED_TRACE(soundcard::NameOf(preset));
    const std::array<std::vector<float>, 2> ir = soundcard::ReverbImpulse(preset);
    ASSERT_GT(ir[0].size(), 44100u / 2);
    ASSERT_EQ(ir[1].size(), ir[0].size());
    EXPECT_EQ(ir, soundcard::ReverbImpulse(preset));
    MonitorEffects fx;
    fx.reverb = preset;
    fx.reverbLevel = 40;
    const std::size_t n = ir[0].size();
    const std::vector<float> out = Speakers(Clicks(click + n + 1000, {click}), fx);
    ASSERT_FALSE(out.empty());
    for (unsigned c = 0; c < 2; ++c) {
      std::vector<double> wet = Channel(out, c, click, n), want(n);
      wet[0] -= kClick;
      double worst = 0;
      for (std::size_t i = 0; i < n; ++i) {
        want[i] = kClick * 0.4 * ir[c][i];
        worst = std::max(worst, std::fabs(wet[i] - want[i]));
      }
      const double r = Correlation(wet, want);
      std::printf("%s side %u: correlation %.9f, largest difference %.3g\n",
                  soundcard::NameOf(preset), c, r, worst);
      EXPECT_GE(r, 0.99);
      EXPECT_LT(worst, 1e-5);
      EXPECT_EQ(Channel(out, c, 0, click), std::vector<double>(click, 0.0)) << "nothing before the click";
    }
    std::vector<double> left(ir[0].begin(), ir[0].end()), right(ir[1].begin(), ir[1].end());
    EXPECT_LT(std::fabs(Correlation(left, right)), 0.1) << "the sides are decorrelated";
    EXPECT_EQ(std::count(ir[0].begin(), ir[0].begin() + 256, 0.0f), 256) << "a pre-delay";
  }

  // Hall and an echo of 300 ms at 50%, feedback 0: the click and its one
  // repeat, each followed by the response.
  const std::array<std::vector<float>, 2> ir = soundcard::ReverbImpulse(Reverb::Hall);
  const std::size_t delay = 13230, n = ir[0].size();
  MonitorEffects fx;
  fx.echoMs = 300;
  fx.echoLevel = 50;
  fx.echoFeedback = 0;
  fx.reverb = Reverb::Hall;
  fx.reverbLevel = 40;
  const std::vector<float> out = Speakers(Clicks(click + delay + n + 1000, {click}), fx);
  ASSERT_FALSE(out.empty());
  for (unsigned c = 0; c < 2; ++c) {
    std::vector<double> got = Channel(out, c, click, delay + n), want(delay + n, 0.0);
    for (const auto& [at, a] : {std::pair{std::size_t(0), double(kClick)}, {delay, kClick * 0.5}}) {
      want[at] += a;
      for (std::size_t i = 0; i < n; ++i) want[at + i] += a * 0.4 * ir[c][i];
    }
    double worst = 0;
    for (std::size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i]));
    EXPECT_LT(worst, 1e-5) << "echo, then reverb";
  }
}

// What a wave-in handle records with its voice, and both mixes.
struct MonitorTake {
  std::vector<std::uint8_t> take, voice;
  std::vector<float> speakers, recording;
};

MonitorTake Record(const std::vector<float>& mic, const MonitorEffects& effects) {
  const std::size_t frames = Prepare(mic, effects);
  MonitorTake t;
  Collector c;
  HWAVEIN h = nullptr;
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(4, 4410 * 4);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  EXPECT_EQ(waveInEnableVoice(h, 1 << 20), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  soundcard::Advance(frames);
  c.requeue = false;
  waveInReset(h);
  std::uint8_t chunk[4096];
  for (DWORD read = 1; read > 0;) {
    EXPECT_EQ(waveInReadVoice(h, chunk, sizeof chunk, &read), MMSYSERR_NOERROR);
    t.voice.insert(t.voice.end(), chunk, chunk + read);
  }
  for (WAVEHDR& hdr : set.headers) waveInUnprepareHeader(h, &hdr, sizeof hdr);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  t.take = c.bytes;
  t.speakers = soundcard::MixTap(soundcard::Mix::Playback);
  t.recording = soundcard::MixTap(soundcard::Mix::Recording);
  EXPECT_EQ(soundcard::WaveInHistory().back().startFrame, soundcard::MixTapStartFrame(soundcard::Mix::Playback));
  return t;
}

// The take and the voice are the same bytes with the effects on as with
// them off; recorded, the take carries exactly what the speakers give
// while the voice stays dry.
TEST_F(Monitor, TheTakeIsDryUnlessTheEffectsAreRecordedAndTheVoiceAlways) {
  std::vector<float> mic(2 * 44100);
  for (std::size_t i = 0; i < mic.size() / 2; ++i) {
    const double t = double(i) / 44100.0;
    mic[2 * i] = float(0.3 * std::sin(2 * std::numbers::pi * 220.0 * t) * std::exp(-8.0 * std::fmod(t, 0.25)));
    mic[2 * i + 1] = 0.5f * mic[2 * i];
  }
  MonitorEffects fx;
  fx.echoMs = 180;
  fx.reverb = Reverb::Hall;
  fx.reverbLevel = 50;
  const MonitorTake dry = Record(mic, MonitorEffects{});
  const MonitorTake heard = Record(mic, fx);
  fx.recorded = true;
  const MonitorTake recorded = Record(mic, fx);

  ASSERT_GT(dry.take.size(), 44100u * 4 - 4 * 4410 * 4);
  EXPECT_EQ(heard.take, dry.take) << "the effects only in the speakers";
  EXPECT_EQ(heard.recording, dry.recording);
  EXPECT_NE(heard.speakers, dry.speakers);
  EXPECT_EQ(recorded.recording, recorded.speakers) << "the recording mix takes the effected microphone";
  EXPECT_EQ(recorded.take,
            soundcard::ConvertMix(recorded.speakers.data(), recorded.take.size() / 4, Pcm(44100, 2, 16)));
  EXPECT_NE(recorded.take, dry.take);
  EXPECT_EQ(dry.voice.size(), dry.take.size());
  EXPECT_EQ(heard.voice, dry.voice);
  EXPECT_EQ(recorded.voice, dry.voice) << "the voice stays dry";
}

// Room, then hall, then plate while clicks come every 20 ms, then no
// reverb: the dry clicks go on unchanged, the reverb never falls silent at
// a change (the old one fades out while the new one starts), and once off
// only the old tail's fade is left.
TEST_F(Monitor, APresetChangeLeavesNoGap) {
  const std::size_t every = 882, second = 44100, frames = 4 * second;
  std::vector<std::size_t> at;
  for (std::size_t f = 100; f < frames; f += every) at.push_back(f);
  const std::vector<float> mic = Clicks(frames, at);
  MonitorEffects fx;
  fx.reverb = Reverb::Room;
  fx.reverbLevel = 50;
  Prepare(mic, fx);
  for (const Reverb next : {Reverb::Hall, Reverb::Plate, Reverb::Off}) {
    soundcard::Advance(second - 2 * soundcard::kPeriodFrames / 3);  // a change within a click's period
    fx.reverb = next;
    soundcard::SetMonitorEffects(fx);
  }
  const std::size_t off = 3 * (second - 2 * soundcard::kPeriodFrames / 3);
  soundcard::Advance(frames - off);
  const std::vector<float> speakers = soundcard::MixTap(soundcard::Mix::Playback);
  ASSERT_EQ(speakers.size(), mic.size());
  EXPECT_EQ(soundcard::MixTap(soundcard::Mix::Recording), mic) << "the dry clicks, unchanged";

  // The wet signal's level, period by period, from the first click's
  // reverb to the end of the reverb.
  std::vector<double> rms;
  for (std::size_t p = 1; (p + 1) * 441 <= off; ++p) {
    double sum = 0;
    for (std::size_t i = 2 * p * 441; i < 2 * (p + 1) * 441; ++i) sum += std::pow(speakers[i] - mic[i], 2);
    rms.push_back(std::sqrt(sum / 882));
  }
  std::vector<double> sorted = rms;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  std::printf("wet level per period: lowest %.4f, median %.4f\n", sorted.front(), median);
  EXPECT_GT(sorted.front(), 0.25 * median) << "no gap";

  const std::size_t fadeEnd = off + soundcard::kPeriodFrames + 3528;
  double fading = 0;
  for (std::size_t i = 2 * off; i < 2 * (off + 441); ++i) fading = std::max(fading, double(std::fabs(speakers[i] - mic[i])));
  EXPECT_GT(fading, 0.1 * median) << "the tail fades rather than stops";
  for (std::size_t i = 2 * fadeEnd; i < speakers.size(); ++i)
    ASSERT_EQ(speakers[i], mic[i]) << "frame " << i / 2 << ": no reverb after its fade";
}

}  // namespace
