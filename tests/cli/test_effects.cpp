// record's monitor options: the microphone in the speakers only when asked
// for, an echo heard there but not taken into the take, and bad values
// refused before anything is made.
#include <algorithm>
#include <cmath>

#include "cli_fixture.h"

using namespace clitest;

namespace {

constexpr int kRate = 44100;
constexpr float kClick = 0.5f;

// The left channel of a sound file, read by libsndfile.
std::vector<float> Left(const QString& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> all(std::size_t(info.frames * info.channels)), left;
  sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  for (std::size_t i = 0; i < all.size(); i += std::size_t(info.channels)) left.push_back(all[i]);
  return left;
}

// The frames at `level` or above.
std::vector<std::size_t> Above(const std::vector<float>& s, float level) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (std::fabs(s[i]) >= level) at.push_back(i);
  return at;
}

// Two-second takes on the virtual card whose microphone loops a second
// with a one-frame click (written here, 16-bit stereo), its speakers
// captured into a file.
class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    SF_INFO info{kRate, kRate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(QFile::encodeName(mic).constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> second(2 * kRate, 0.0f);
    second[2 * 11025] = second[2 * 11025 + 1] = kClick;
    sf_writef_float(f, second.data(), kRate);
    sf_close(f);
    env.insert(QStringLiteral("TUNELARK_AUDIO_IN"), mic);
    env.insert(QStringLiteral("TUNELARK_AUDIO_OUT"), speakers);
  }
  void Record(const QStringList& options) {
    QFile::remove(speakers);
    QFile::remove(take);
    const Result r = Tunelark(QStringList{"record", "--seconds", "2", "--out", take, "-q"} + options, env);
    ASSERT_EQ(r.code, 0) << r.err.constData();
    heard = Left(speakers);
    taken = Left(take);
    ASSERT_GE(heard.size(), std::size_t(2 * kRate));
    ASSERT_EQ(Above(taken, kClick * 0.9f).size(), 2u) << "the take holds the two clicks";
  }
  QTemporaryDir dir;
  QString mic = dir.filePath("clicks.wav"), speakers = dir.filePath("speakers.wav"), take = dir.filePath("t.wav");
  QProcessEnvironment env = Environment();
  std::vector<float> heard, taken;
};

}  // namespace

TEST_F(Monitor, TheSpeakersCarryTheMicrophoneOnlyWithAMonitorOption) {
  Record({});
  EXPECT_TRUE(Above(heard, 1e-4f).empty()) << "the speakers carry no microphone";
  Record({"--monitor"});
  const std::vector<std::size_t> clicks = Above(heard, 1e-4f);
  ASSERT_EQ(clicks.size(), 2u) << "the clicks and nothing else";
  EXPECT_EQ(clicks[1] - clicks[0], std::size_t(kRate));
}

TEST_F(Monitor, AnEchoFollowsEachClickInTheSpeakersAndTheTakeStaysDry) {
  Record({"--echo", "200"});
  const std::size_t delay = kRate / 5;
  const std::vector<std::size_t> clicks = Above(heard, kClick * 0.9f);
  ASSERT_FALSE(clicks.empty()) << "the speakers carry the clicks";
  // Each click's first repeat comes 200 ms later (to within a frame), at
  // the echo's level (50%), and nothing as loud between them.
  for (std::size_t at : clicks) {
    if (at + delay + 1 >= heard.size()) continue;
    const float echo = std::max({std::fabs(heard[at + delay - 1]), std::fabs(heard[at + delay]),
                                 std::fabs(heard[at + delay + 1])});
    EXPECT_NEAR(echo, std::fabs(heard[at]) * 0.5f, 0.02f) << "click at " << at;
    for (std::size_t i = at + 1; i + 1 < at + delay; ++i) ASSERT_LT(std::fabs(heard[i]), 0.1f) << at << " + " << i - at;
  }
  for (std::size_t at : Above(taken, kClick * 0.9f))
    if (at + delay < taken.size()) EXPECT_LT(std::fabs(taken[at + delay]), 1e-3f) << "an echo in the take";
}

TEST(Record, MonitorOptionsOutOfRangeAreBadUsageAndMakeNothing) {
  QTemporaryDir dir;
  const QString out = dir.filePath("take.wav");
  const char* echo = "--echo needs a whole number from 50 to 1000";
  const char* reverb = "--reverb is off, room, hall or plate";
  const char* recorded = "--record-effects needs an effect";
  const std::pair<QStringList, const char*> cases[] = {
      {{"--echo", "49"}, echo},
      {{"--echo", "1001"}, echo},
      {{"--echo", "200ms"}, echo},
      {{"--reverb", "cathedral"}, reverb},
      {{"--reverb", "Hall"}, reverb},
      {{"--record-effects"}, recorded},
      {{"--record-effects", "--monitor", "--reverb", "off"}, recorded},
  };
  for (const auto& [options, reason] : cases) {
    SCOPED_TRACE(options.join(' ').toStdString());
    const Result r = Tunelark(QStringList{"record", "--seconds", "1", "--out", out} + options);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.startsWith(QByteArray("tunelark record: ") + reason)) << r.err.constData();
    EXPECT_TRUE(Entries(dir.path()).isEmpty());
  }
  // The limits themselves and a preset are taken.
  const Result r = Tunelark({"record", "--seconds", "1", "--out", out, "-q", "--echo", "1000", "--reverb", "plate",
                             "--record-effects"});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_TRUE(ReadRecordedWav(out).layoutOk);
}
