// record's monitor options: the microphone in the speakers only when asked
// for, an echo heard there but not taken into the take, and the options'
// bad values refused before anything is made.
#include <QRegularExpression>
#include <cmath>

#include "cli_fixture.h"

using namespace clitest;

namespace {

constexpr int kRate = 44100;
constexpr float kClick = 0.5f;
// One click a second, at these frames of the looped microphone file.
constexpr int kClickAt = 11025;

// A second of silence with a one-frame click on both channels, 16-bit
// stereo at the card's rate.
void WriteClicks(const QString& path) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> frames(2 * kRate, 0.0f);
  frames[2 * kClickAt] = frames[2 * kClickAt + 1] = kClick;
  EXPECT_EQ(sf_writef_float(f, frames.data(), kRate), kRate);
  sf_close(f);
}

// The left channel of a sound file, read by libsndfile.
std::vector<float> Left(const QString& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (!f || info.channels < 1) return {};
  std::vector<float> all(std::size_t(info.frames) * std::size_t(info.channels));
  sf_readf_float(f, all.data(), info.frames);
  sf_close(f);
  std::vector<float> left(std::size_t(info.frames));
  for (std::size_t i = 0; i < left.size(); ++i) left[i] = all[i * std::size_t(info.channels)];
  return left;
}

// The frames where a click stands out: at least `level` and the largest
// within 10 ms either side.
std::vector<std::size_t> Peaks(const std::vector<float>& s, float level) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (std::fabs(s[i]) < level) continue;
    bool largest = true;
    for (std::size_t j = i > 441 ? i - 441 : 0; j < std::min(s.size(), i + 442) && largest; ++j)
      largest = std::fabs(s[j]) < std::fabs(s[i]) || (std::fabs(s[j]) == std::fabs(s[i]) && j >= i);
    if (largest) at.push_back(i);
  }
  return at;
}

float Largest(const std::vector<float>& s) {
  float m = 0;
  for (float v : s) m = std::max(m, std::fabs(v));
  return m;
}

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    WriteClicks(mic);
    env.insert(QStringLiteral("TUNELARK_AUDIO_IN"), mic);
    env.insert(QStringLiteral("TUNELARK_AUDIO_OUT"), speakers);
  }
  // A take of two seconds with `options`; the speakers' capture is read
  // into `heard` and the take into `taken`.
  void Record(const QStringList& options) {
    QFile::remove(speakers);
    QFile::remove(take);
    const Result r = Tunelark(QStringList{"record", "--seconds", "2", "--out", take, "-q"} + options, env);
    ASSERT_EQ(r.code, 0) << r.err.constData();
    heard = Left(speakers);
    taken = Left(take);
    ASSERT_GE(heard.size(), std::size_t(2 * kRate));
    ASSERT_GE(taken.size(), std::size_t(2 * kRate) - 3048 / 4);
  }

  QTemporaryDir dir;
  QString mic = dir.filePath("clicks.wav");
  QString speakers = dir.filePath("speakers.wav");
  QString take = dir.filePath("t.wav");
  QProcessEnvironment env = Environment();
  std::vector<float> heard, taken;
};

}  // namespace

TEST_F(Monitor, TheSpeakersCarryTheMicrophoneOnlyWithAMonitorOption) {
  Record({});
  EXPECT_GE(Peaks(taken, kClick / 2).size(), 1u) << "the take hears the clicks";
  EXPECT_LT(Largest(heard), 1e-4f) << "the speakers carry no microphone";

  Record({"--monitor"});
  const std::vector<std::size_t> clicks = Peaks(heard, kClick / 4);
  ASSERT_GE(clicks.size(), 1u) << "the speakers carry the clicks";
  // A second apart, as on the microphone, and nothing else.
  for (std::size_t i = 1; i < clicks.size(); ++i) EXPECT_EQ(clicks[i] - clicks[i - 1], std::size_t(kRate));
  EXPECT_LT(Largest(heard), kClick * 1.01f);
}

TEST_F(Monitor, AnEchoFollowsEachClickInTheSpeakersAndTheTakeStaysDry) {
  Record({"--echo", "200"});
  const std::size_t delay = std::size_t(kRate) / 5;
  // Clicks are the loudest peaks; each one whole within the capture has its
  // echo 200 ms later, to the frame, at the echo's level (50%).
  const float click = Largest(heard);
  ASSERT_GT(click, kClick / 4) << "the speakers carry the clicks";
  int echoed = 0;
  for (std::size_t at : Peaks(heard, click * 0.9f)) {
    if (at + delay + 441 >= heard.size()) continue;
    const std::vector<std::size_t> after = Peaks({heard.begin() + long(at + 1), heard.begin() + long(at + delay + 441)},
                                                 click * 0.2f);
    ASSERT_EQ(after.size(), 1u) << "one echo after the click at frame " << at;
    EXPECT_EQ(after[0] + 1, delay) << "frames from the click at " << at;
    EXPECT_NEAR(std::fabs(heard[at + delay]), click * 0.5f, click * 0.05f);
    ++echoed;
  }
  EXPECT_GE(echoed, 1);
  // The take has the clicks and nothing 200 ms after them.
  const std::vector<std::size_t> sung = Peaks(taken, kClick / 2);
  ASSERT_GE(sung.size(), 1u);
  for (std::size_t at : sung)
    if (at + delay < taken.size()) EXPECT_LT(std::fabs(taken[at + delay]), 1e-3f) << "an echo in the take at " << at;
}

TEST(Record, MonitorOptionsOutOfRangeAreBadUsageAndMakeNothing) {
  QTemporaryDir dir;
  const QString out = dir.filePath("take.wav");
  struct Case {
    QStringList options;
    const char* reason;
  } cases[] = {
      {{"--echo", "49"}, "--echo needs a whole number from 50 to 1000"},
      {{"--echo", "1001"}, "--echo needs a whole number from 50 to 1000"},
      {{"--echo", "200ms"}, "--echo needs a whole number from 50 to 1000"},
      {{"--reverb", "cathedral"}, "--reverb is off, room, hall or plate"},
      {{"--reverb", "Hall"}, "--reverb is off, room, hall or plate"},
      {{"--record-effects"}, "--record-effects needs an effect"},
      {{"--record-effects", "--monitor", "--reverb", "off"}, "--record-effects needs an effect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.join(' ').toStdString());
    const Result r = Tunelark(QStringList{"record", "--seconds", "1", "--out", out} + c.options);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 2);
    ASSERT_FALSE(r.ErrLines().isEmpty());
    EXPECT_TRUE(r.ErrLines().first().contains(c.reason)) << r.err.constData();
    EXPECT_TRUE(Entries(dir.path()).isEmpty());
  }
  // The limits themselves and every preset are taken.
  const Result r = Tunelark({"record", "--seconds", "1", "--out", out, "-q", "--echo", "1000", "--reverb", "plate",
                             "--record-effects"});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_TRUE(ReadRecordedWav(out).layoutOk);
}
