// The singer's key and tempo on a WAV backing, heard on the card's playback
// mix (only "Wave Out" sounds): a sine moved by semitones keeps its length,
// a slower tempo stretches the length, the position and the end on the
// card's clock, a change while playing is heard within a buffer, and the
// defaults give back the file's own samples.
#include <sndfile.h>

#include "seqtest.h"

using namespace seqtest;

namespace {

constexpr double kA4 = 440.0;
constexpr double kBuffer = 4410;  // the device's buffer, in card frames

class WaveKeyTempo : public SeqTest {
 protected:
  std::string Sine(const std::string& name, int rate, int channels, double seconds) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    const auto frames = std::size_t(seconds * rate);
    std::vector<float> samples(frames * std::size_t(channels));
    for (std::size_t i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c)
        samples[i * std::size_t(channels) + std::size_t(c)] = 0.5f * float(std::sin(2 * M_PI * kA4 * double(i) / rate));
    sf_writef_float(f, samples.data(), sf_count_t(frames));
    sf_close(f);
    return path;
  }
  // Plays `id` from where it is to its end; the playback mix meanwhile.
  std::vector<float> PlayToEnd(MCIDEVICEID id, double seconds) {
    soundcard::EnableMixTap(soundcard::Mix::Playback, std::size_t((seconds + 2) * 44100));
    EXPECT_EQ(Play(id), 0u);
    RunToEnd(id, seconds);
    return soundcard::MixTap(soundcard::Mix::Playback);
  }
  void RunToEnd(MCIDEVICEID id, double seconds) {
    Run(std::uint64_t((seconds + 0.5) * 44100));
    for (int periods = 0; Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY && periods < 1000; ++periods) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the feeder runs in real time
      Run(441);
    }
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), Status(id, MCI_STATUS_LENGTH));
  }
  // First and last sounding frame of a stereo tap.
  static std::pair<long, long> Sounding(const std::vector<float>& tap) {
    long first = -1, last = -1;
    for (std::size_t i = 0; i < tap.size(); ++i) {
      if (std::fabs(tap[i]) < 1e-4f) continue;
      if (first < 0) first = long(i / 2);
      last = long(i / 2);
    }
    return {first, last};
  }
  // The left channel's frequency over frames [from, to), from its rising
  // zero crossings placed between samples.
  static double Frequency(const std::vector<float>& tap, long from, long to) {
    double firstCrossing = -1, lastCrossing = -1;
    int crossings = 0;
    for (long i = std::max(from, 1L); i < to && 2 * std::size_t(i) < tap.size(); ++i) {
      const float a = tap[2 * std::size_t(i - 1)], b = tap[2 * std::size_t(i)];
      if (a >= 0 || b < 0) continue;
      const double at = double(i - 1) + double(a) / double(a - b);
      if (crossings++ == 0) firstCrossing = at;
      lastCrossing = at;
    }
    return crossings < 2 ? 0 : 44100.0 * (crossings - 1) / (lastCrossing - firstCrossing);
  }
};

TEST_F(WaveKeyTempo, AWavBackingMovesBySemitonesAtItsOwnLengthAndIsUntouchedAtTheDefaults) {
  const double seconds = 2.0;
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Sine("a4.wav", 44100, 2, seconds), id), 0u);
  const std::vector<float> untouched = PlayToEnd(id, seconds);
  const auto [a, b] = Sounding(untouched);
  ASSERT_GE(a, 0) << "silent";

  ASSERT_TRUE(sequencer::SetKeyTempo(id, {3, 100}));
  ASSERT_EQ(Simple(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 2000u);
  const std::vector<float> raised = PlayToEnd(id, seconds);
  const auto [first, last] = Sounding(raised);
  // The stretcher's own delay is made up for: it starts where the file does.
  EXPECT_NEAR(double(first), double(a), 44.0);
  const double c5 = kA4 * std::pow(2.0, 3.0 / 12);  // 523.25 Hz
  EXPECT_NEAR(Frequency(raised, first + 4410, last - 4410), c5, 0.005 * c5);
  EXPECT_NEAR(double(last - first + 1), seconds * 44100, 0.020 * 44100);

  // Back at the defaults the same file plays sample for sample as before.
  ASSERT_TRUE(sequencer::SetKeyTempo(id, {0, 100}));
  ASSERT_EQ(Simple(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
  const std::vector<float> again = PlayToEnd(id, seconds);
  const auto [c, d] = Sounding(again);
  ASSERT_EQ(d - c, b - a);
  EXPECT_TRUE(std::equal(untouched.begin() + 2 * a, untouched.begin() + 2 * (b + 1), again.begin() + 2 * c));
}

TEST_F(WaveKeyTempo, TempoStretchesLengthPositionAndEndAndAChangeWhilePlayingIsHeardWithinABuffer) {
  // Mono at 22050 Hz: the card resamples what the stretcher gives.
  const double seconds = 2.0;
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Sine("a4-mono.wav", 22050, 1, seconds), id), 0u);
  ASSERT_TRUE(sequencer::SetKeyTempo(id, {0, 50}));
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 4000u);
  const std::vector<float> slow = PlayToEnd(id, 2 * seconds);
  std::uint64_t end = 0;
  EXPECT_TRUE(sequencer::AccompanimentEnd(id, end));
  const auto [first, last] = Sounding(slow);
  ASSERT_GE(first, 0) << "silent";
  EXPECT_NEAR(double(last - first + 1), 2 * seconds * 44100, kBuffer);
  EXPECT_NEAR(double(end), double(soundcard::MixTapStartFrame(soundcard::Mix::Playback) + std::uint64_t(last) + 1), 20.0);
  EXPECT_NEAR(Frequency(slow, first + 4410, last - 4410), kA4, 0.005 * kA4);

  // One second at the written speed, then up 3 and at half speed: the rest
  // (one second of the file) lasts two, and sounds higher a buffer later.
  ASSERT_TRUE(sequencer::SetKeyTempo(id, {0, 100}));
  ASSERT_EQ(Simple(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
  soundcard::EnableMixTap(soundcard::Mix::Playback, std::size_t(5 * 44100));
  ASSERT_EQ(Play(id), 0u);
  Run(44100);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 1000.0, 30.0);
  const auto change = long(soundcard::ClockFrames() - soundcard::MixTapStartFrame(soundcard::Mix::Playback));
  ASSERT_TRUE(sequencer::SetKeyTempo(id, {3, 50}));
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 2000.0, 30.0);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 4000u);
  RunToEnd(id, 2.0);
  const std::vector<float> changed = soundcard::MixTap(soundcard::Mix::Playback);
  const auto [from, to] = Sounding(changed);
  ASSERT_GE(from, 0) << "silent";
  EXPECT_NEAR(Frequency(changed, from + 4410, change - 441), kA4, 0.005 * kA4);
  const double c5 = kA4 * std::pow(2.0, 3.0 / 12);
  EXPECT_NEAR(Frequency(changed, change + long(kBuffer), change + 3 * long(kBuffer)), c5, 0.005 * c5);
  EXPECT_NEAR(double(to - from + 1), 3 * 44100, kBuffer);
}

}  // namespace
