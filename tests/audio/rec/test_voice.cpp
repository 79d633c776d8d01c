// The recorder's voice: the microphone alone, kept beside the take as a
// second WAV file with the take's format, first frame and length.
#include <sndfile.h>

#include <cmath>
#include <numbers>

#include "recplay/MMWRec.h"
#include "tests/audio/rec/rec_fixture.h"

using namespace rectest;

namespace {

// A steady accompaniment: +0.25 left, -0.25 right (8192 and -8192 in 16 bits).
void Steady(void*, float* out, std::uint32_t frames) {
  for (std::uint32_t i = 0; i < frames; ++i) {
    out[2 * i] = 0.25f;
    out[2 * i + 1] = -0.25f;
  }
}

struct Sound {
  SF_INFO info{};
  std::vector<std::int16_t> samples;
};

// Read by libsndfile, not by the code that wrote it.
Sound Read(const std::string& path) {
  Sound s;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &s.info);
  if (!f) return s;
  s.samples.resize(std::size_t(s.info.frames * s.info.channels));
  s.samples.resize(std::size_t(sf_read_short(f, s.samples.data(), sf_count_t(s.samples.size()))));
  sf_close(f);
  return s;
}

class VoiceTest : public RecTest {
 protected:
  void SetUp() override {
    RecTest::SetUp();
    std::vector<float> mic(2 * 44100);
    for (std::size_t i = 0; i < mic.size() / 2; ++i) {
      mic[2 * i] = 0.4f * float(std::sin(2 * std::numbers::pi * 220.0 * double(i) / 44100.0));
      mic[2 * i + 1] = 0.4f * float(std::sin(2 * std::numbers::pi * 345.0 * double(i) / 44100.0));
    }
    soundcard::SetMicrophoneSamples(mic, true);
    soundcard::SetSynthRender(&Steady, nullptr);
  }
  void TearDown() override {
    soundcard::SetSynthRender(nullptr, nullptr);
    RecTest::TearDown();
  }
};

}  // namespace

TEST(VoiceFileName, DropsAFinalWavOfAnyCase) {
  EXPECT_EQ(VoiceFileName("a/take.wav"), "a/take.voice.wav");
  EXPECT_EQ(VoiceFileName("a/TAKE.Wav"), "a/TAKE.voice.wav");
  EXPECT_EQ(VoiceFileName("a.wav/take"), "a.wav/take.voice.wav");
}

// Over an older voice file, with the time limit cutting a buffer short:
// the voice file has the take's format and length, and each of its
// samples is the take's less the accompaniment; OnVoice saw the same.
TEST_F(VoiceTest, TheVoiceFileIsTheTakeLessTheAccompaniment) {
  {
    std::FILE* old = std::fopen(Path("take.voice.wav").c_str(), "wb");
    ASSERT_TRUE(old);
    std::fclose(old);
  }
  for (int take = 0; take < 2; ++take) {
    const std::int32_t limit = take == 0 ? 3 * 44100 * 4 : 100000;  // the second is not whole buffers
    TMMWaveRecorder rec;
    ConfigureTakeRecorder(rec);
    rec.SetOverwriteExisting(true);
    rec.SetKeepVoice(true);
    rec.SetMaxRecordTime(limit);
    rec.SetFileName(Path("take.wav"));
    std::vector<std::uint8_t> delivered;
    rec.OnVoice = [&](const std::uint8_t* bytes, std::size_t size) {
      delivered.insert(delivered.end(), bytes, bytes + size);
    };
    int errors = 0;
    rec.OnVoiceError = [&](QObject*, const std::string&) { ++errors; };
    rec.Start();
    Run(take == 0 ? 500 : 1500);
    rec.Stop();
    if (take == 0) {
      // An empty file of that name is no WAV: it is not replaced.
      EXPECT_EQ(errors, 1);
      EXPECT_FALSE(rec.VoiceError().empty());
      EXPECT_EQ(std::filesystem::file_size(Path("take.voice.wav")), 0u);
      EXPECT_GT(rec.Wave()->DataSize(), 3048 * 20) << "the take records without its voice";
      std::filesystem::remove(Path("take.voice.wav"));
      continue;
    }
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(rec.VoiceError().empty());
    const Sound t = Read(Path("take.wav"));
    const Sound v = Read(Path("take.voice.wav"));
    EXPECT_EQ(v.info.samplerate, 44100);
    EXPECT_EQ(v.info.channels, 2);
    EXPECT_EQ(v.info.format, t.info.format);
    ASSERT_EQ(t.samples.size(), std::size_t(limit / 2));
    ASSERT_EQ(v.samples.size(), t.samples.size());
    int worst = 0;
    for (std::size_t i = 0; i < t.samples.size(); ++i) {
      const int accompaniment = i % 2 == 0 ? 8192 : -8192;
      worst = std::max(worst, std::abs(t.samples[i] - v.samples[i] - accompaniment));
    }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(std::memcmp(delivered.data(), v.samples.data(), delivered.size()), 0);
    EXPECT_EQ(delivered.size(), std::size_t(limit));
  }
}

// The disk fills: the take ends, and both files are finished with the
// same frames.
TEST_F(VoiceTest, AFullDiskEndsTheTakeWithBothFilesFinished) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetKeepVoice(true);
  rec.SetFileName(Path("full.wav"));
  int buffers = 0, stops = 0;
  rec.OnData = [&](QObject*, PWaveHdr) { ++buffers; };
  rec.OnStop = [&](QObject*) { ++stops; };
  SetDiskFreeQuery([&](const std::string&) { return std::int64_t(buffers < 10 ? 1 << 30 : 40000); });
  rec.Start();
  Run(1000);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  const auto take = DataOf(ReadFile(Path("full.wav")));
  const auto voice = DataOf(ReadFile(Path("full.voice.wav")));
  EXPECT_EQ(take.size(), 9u * 3048);
  EXPECT_EQ(voice.size(), take.size());
}
