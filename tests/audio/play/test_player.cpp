// The wave player as the main window uses it: files to the speakers mix,
// positions heard and read, ResetPosition, looping, file changes while
// playing, and compressed files decoded on the way.
#include "platform/language/language.h"
#include "play_fixture.h"
#include "recplay/MMWPlay.h"

using namespace playtest;

namespace {

constexpr int kBytesPerSecond = 176400;  // 44100 Hz, 16-bit stereo

class PlayerTest : public PlayTest {
 protected:
  void SetUp() override {
    PlayTest::SetUp();
    player = std::make_unique<TMMWavePlayer>();
    // The main window's player.
    player->SetBufferSize(3048);
    player->SetNumBuffers(20);
    player->SetDeviceID(MapperId);
    player->SetTimeFormat(tfByte);
    player->OnStart = [this](QObject*) { log.push_back("start"); };
    player->OnStop = [this](QObject*) { log.push_back("stop"); };
    player->OnChange = [this](QObject*) { log.push_back("change"); };
    player->OnPause = [this](QObject*) { log.push_back("pause"); };
    player->OnRestart = [this](QObject*) { log.push_back("restart"); };
  }
  void TearDown() override {
    player.reset();
    PlayTest::TearDown();
  }
  // A 44100 Hz 16-bit stereo file of `seconds`; returns its samples.
  std::vector<std::int16_t> StereoFile(const char* name, double seconds, int seed = 1) {
    const auto samples = Signal16(2 * std::size_t(seconds * 44100), seed);
    WritePcmWave(Path(name), 44100, 2, 16, Bytes(samples));
    return samples;
  }
  // Names the file, which the player reports as a change.
  void Name(const std::string& path) {
    player->Wave()->SetFileName(path);
    ASSERT_EQ(log, std::vector<std::string>{"change"});
    log.clear();
  }
  bool Playing() const { return (player->State() & wosPlaying) != 0; }
  void PlayToTheEnd(double maxSeconds = 10) {
    RunUntil([&] { return !Playing(); }, std::uint64_t(maxSeconds * 44100));
    ASSERT_FALSE(Playing());
  }
  static std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& s, std::size_t from, std::size_t n) {
    return {s.begin() + std::ptrdiff_t(from), s.begin() + std::ptrdiff_t(from + n)};
  }

  std::unique_ptr<TMMWavePlayer> player;
  std::vector<std::string> log;
};

TEST_F(PlayerTest, AStereoFileReachesTheSpeakersExactlyAndThePlayerStopsByItself) {
  const auto data = StereoFile("take.wav", 0.5);
  Name(Path("take.wav"));
  int buffers = 0;
  player->OnData = [&](QObject* sender, PWaveHdr) { buffers += sender == player.get(); };
  Tap(30000);
  player->Start();
  player->Start();  // already playing: nothing
  PlayToTheEnd();
  ExpectMixHolds(Mix(), 0, data);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
  EXPECT_EQ(buffers, int((data.size() * 2 + 3047) / 3048));
  EXPECT_EQ(player->State(), TMMWaveOutState(wosClosed));
  EXPECT_EQ(player->GetPosition(), 0);  // ResetPosition: back to the start
}

TEST_F(PlayerTest, AFileShorterThanOneBufferPlaysAndStopsOnce) {
  const auto data = StereoFile("blip.wav", 300.0 / 44100, 6);
  ASSERT_LT(data.size() * 2, 3048u);
  Name(Path("blip.wav"));
  Tap(4410);
  player->Start();
  PlayToTheEnd();
  Run(4410);
  ExpectMixHolds(Mix(), 0, data);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
}

TEST_F(PlayerTest, A22050Hz8BitMonoFilePlaysForItsOwnDuration) {
  std::vector<char> data(22050 / 2);  // 0.5 s
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i % 2 ? 40 : 220);
  WritePcmWave(Path("mono8.wav"), 22050, 1, 8, data);
  Name(Path("mono8.wav"));
  Tap(44100);
  player->Start();
  PlayToTheEnd();
  const std::vector<float> mix = Mix();
  std::size_t first = mix.size(), last = 0;
  for (std::size_t i = 0; i < mix.size(); ++i)
    if (mix[i] != 0.0f) first = std::min(first, i / 2), last = i / 2;
  EXPECT_LE(first, soundcard::kPeriodFrames);
  // The converter's delay included: the tail is heard, not cut off.
  EXPECT_NEAR(double(last - first), 22050.0, 64.0);
}

TEST_F(PlayerTest, ThePositionHeardTrailsTheReadPositionByTheQueuedSound) {
  StereoFile("long.wav", 1.5);
  Name(Path("long.wav"));
  player->Start();
  Run(44100);
  const std::int32_t heard = player->GetPosition();
  const std::int32_t read = player->Wave()->GetPosition();
  EXPECT_NEAR(heard, kBytesPerSecond, 2 * 1764);
  EXPECT_GT(read, heard);
  EXPECT_LE(read - heard, 20 * 3048 + 3048);
  // All data read while some of it is still to be heard: stopping by the
  // read position would cut off the end.
  const std::int32_t length = player->Wave()->GetPlayLength();
  RunUntil([&] { return player->Wave()->GetPosition() >= length; }, 44100);
  EXPECT_TRUE(Playing());
  EXPECT_LT(player->GetPosition(), length);
  RunUntil([&] { return player->GetPosition() >= length || !Playing(); }, 44100);
  EXPECT_GE(player->GetPosition(), length - 1764);
  PlayToTheEnd();
}

TEST_F(PlayerTest, ResetPositionDecidesWhereTheNextStartBegins) {
  const auto data = StereoFile("four.wav", 3.0);
  Name(Path("four.wav"));
  player->SetResetPosition(false);
  player->Start();
  Run(2 * 44100);
  player->Stop();
  const std::int32_t kept = player->Wave()->GetPosition();
  EXPECT_NEAR(kept, 2 * kBytesPerSecond, 1764);
  EXPECT_EQ(kept % 4, 0);
  Tap(4410);
  player->Start();
  Run(4410);
  ExpectMixHolds(Mix(), 0, Slice(data, std::size_t(kept / 2), 2 * 4410));

  player->SetResetPosition(true);
  player->Stop();
  EXPECT_EQ(player->Wave()->GetPosition(), 0);
  Tap(4410);
  player->Start();
  Run(4410);
  ExpectMixHolds(Mix(), 0, Slice(data, 0, 2 * 4410));
  player->Stop();
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop", "start", "stop", "start", "stop"}));
}

TEST_F(PlayerTest, MovingThePositionWhilePlayingGoesOnFromThere) {
  const auto data = StereoFile("seek.wav", 2.0, 4);
  Name(Path("seek.wav"));
  player->Start();
  Run(4410);
  Tap(4410);
  player->SetPosition(kBytesPerSecond);
  EXPECT_TRUE(Playing());
  Run(4410);
  ExpectMixHolds(Mix(), 0, Slice(data, kBytesPerSecond / 2, 2 * 4410));
  EXPECT_EQ(player->GetPosition(), kBytesPerSecond + 4410 * 4);
  EXPECT_EQ(log, std::vector<std::string>{"start"}) << "no pause or restart reported";
  PlayToTheEnd();
}

// A start near the end fills one buffer; moving back to 0 then needs the
// whole ring.
TEST_F(PlayerTest, MovingBackAfterAStartNearTheEndFillsTheWholeRing) {
  const auto data = StereoFile("tail.wav", 1.0, 8);
  Name(Path("tail.wav"));
  player->SetPosition(player->Wave()->DataSize() - 1000);
  player->Start();
  Tap(50000);
  player->SetPosition(0);
  PlayToTheEnd();
  ExpectMixHolds(Mix(), 0, data);
}

TEST_F(PlayerTest, StartAtTheEndOfTheDataPlaysFromTheBeginning) {
  const auto data = StereoFile("end.wav", 0.3);
  Name(Path("end.wav"));
  player->SetResetPosition(false);
  player->SetPosition(player->Wave()->DataSize());
  EXPECT_EQ(player->GetPosition(), player->Wave()->DataSize());
  Tap(20000);
  player->Start();
  PlayToTheEnd();
  ExpectMixHolds(Mix(), 0, data);
}

TEST_F(PlayerTest, LoopCountTwoPlaysTheDataThreeTimes) {
  const auto data = StereoFile("loop.wav", 0.1, 9);
  Name(Path("loop.wav"));
  player->SetLooping(true);
  player->SetLoopCount(2);
  Tap(4 * 4410 + 4410);
  player->Start();
  PlayToTheEnd();
  const std::vector<float> mix = Mix();
  for (std::size_t pass = 0; pass < 3; ++pass) ExpectMixHolds(mix, pass * data.size(), data);
  EXPECT_TRUE(std::all_of(mix.begin() + std::ptrdiff_t(3 * data.size()), mix.end(), [](float v) { return v == 0.0f; }));
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
}

TEST_F(PlayerTest, ChangesWhilePlaying) {
  StereoFile("a.wav", 1.0);
  StereoFile("b.wav", 1.0, 2);
  Name(Path("a.wav"));
  player->Start();
  Run(4410);
  EXPECT_EQ(ErrorOf<std::runtime_error>([&] { player->SetAutoConvert(false); }),
            "Change to property while device was open");
  EXPECT_TRUE(player->AutoConvert());
  player->Wave()->SetFileName(Path("b.wav"));
  EXPECT_FALSE(Playing());
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop", "change"}));
  player->SetAutoConvert(false);
  EXPECT_FALSE(player->AutoConvert());
}

// Compressed files written by libsndfile play as libsndfile itself decodes
// them.
struct Codec {
  const char* name;
  int subtype;
  int channels;
};

class CompressedFile : public PlayerTest, public ::testing::WithParamInterface<Codec> {};

TEST_P(CompressedFile, PlaysAsTheDecoderReadsIt) {
  const Codec codec = GetParam();
  const std::string path = Path("packed.wav");
  ASSERT_TRUE(WriteSndfileWave(path, codec.subtype, 44100, codec.channels, Signal16(std::size_t(codec.channels) * 20000)));
  // The frames written; libsndfile may make up a block past the data.
  std::vector<std::int16_t> expected = SndfileDecode(path);
  ASSERT_GE(expected.size(), std::size_t(codec.channels) * 20000);
  expected.resize(std::size_t(codec.channels) * 20000);
  if (codec.channels == 1) {
    std::vector<std::int16_t> stereo;
    for (std::int16_t s : expected) stereo.push_back(s), stereo.push_back(s);
    expected = stereo;
  }
  Name(path);
  EXPECT_NE(player->Wave()->FormatTag(), WAVE_FORMAT_PCM);
  Tap(30000);
  player->Start();
  EXPECT_EQ(player->WaveOut()->GetWaveFormat()->wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(player->WaveOut()->GetWaveFormat()->wBitsPerSample, 16);
  PlayToTheEnd();
  ExpectMixHolds(Mix(), 0, expected);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
}

INSTANTIATE_TEST_SUITE_P(Formats, CompressedFile,
                         ::testing::Values(Codec{"ImaAdpcm", SF_FORMAT_IMA_ADPCM, 2},
                                           Codec{"ImaAdpcmMono", SF_FORMAT_IMA_ADPCM, 1},
                                           Codec{"MsAdpcm", SF_FORMAT_MS_ADPCM, 2},
                                           Codec{"ALaw", SF_FORMAT_ALAW, 2}, Codec{"MuLaw", SF_FORMAT_ULAW, 1},
                                           Codec{"Gsm610", SF_FORMAT_GSM610, 1},
                                           Codec{"Float", SF_FORMAT_FLOAT, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A PCM file whose format chunk states block alignment 0 plays as other
// players play it: with channels x bits / 8.
TEST_F(PlayerTest, APcmFileWithBlockAlignmentZeroPlays) {
  const auto data = StereoFile("zero.wav", 0.2);
  {
    std::fstream f(Path("zero.wav"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(32);
    f.write("\0\0", 2);
  }
  Name(Path("zero.wav"));
  Tap(10000);
  player->Start();
  PlayToTheEnd();
  ExpectMixHolds(Mix(), 0, data);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
}

// Float files made by other programs hold -1..1; they play at their level,
// not as silence.
TEST_F(PlayerTest, AFloatFilePlaysAtItsLevel) {
  std::vector<float> v(2 * 20000);
  std::uint32_t x = 12345;
  for (float& f : v) {
    x = x * 1664525u + 1013904223u;
    f = float(x >> 8) / float(1u << 23) - 1.0f;
  }
  v[100] = 1.0f, v[101] = -1.0f, v[102] = 0.75f, v[103] = -0.5f;
  // Format tag 3, and the extensible format with a float sub-format.
  for (const int container : {SF_FORMAT_WAV, SF_FORMAT_WAVEX}) {
    SCOPED_TRACE(container == SF_FORMAT_WAV ? "tag 3" : "extensible");
    const std::string path = Path(container == SF_FORMAT_WAV ? "float.wav" : "floatx.wav");
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = container | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, v.data(), 20000);
    sf_close(f);
    // libsndfile's own read scaled to the 16-bit range.
    f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_command(f, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
    std::vector<std::int16_t> scaled(v.size());
    ASSERT_EQ(sf_readf_short(f, scaled.data(), 20000), 20000);
    sf_close(f);

    log.clear();
    Name(path);
    Tap(30000);
    player->Start();
    PlayToTheEnd();
    const std::vector<float> mix = Mix();
    ASSERT_GE(mix.size(), v.size());
    // libsndfile's scaled read multiplies by 32767 and cuts toward zero; the
    // card's conversion (x 32768, to nearest) differs from it by at most 2,
    // and is exact for float data made from 16-bit samples (the Float case
    // of CompressedFile).
    for (std::size_t i = 0; i < v.size(); ++i)
      ASSERT_LE(std::abs(mix[i] * 32768.0f - float(scaled[i])), 2.0f) << "sample " << i;
    EXPECT_EQ(mix[100], 32767 / 32768.0f);
    EXPECT_EQ(mix[101], -1.0f);
    EXPECT_EQ(mix[102], 0.75f);
    EXPECT_EQ(mix[103], -0.5f);
  }
}

TEST_F(PlayerTest, ACompressedFileNoDecoderKnowsIsRefused) {
  // An MPEG layer 3 format tag over bytes that are no such thing.
  std::vector<char> file;
  auto put = [&](const void* p, std::size_t n) { file.insert(file.end(), (const char*)p, (const char*)p + n); };
  auto u32 = [&](std::uint32_t v) { put(&v, 4); };
  WAVEFORMATEX f = pcmBuildWaveHeader(16, 2, 44100);
  f.wFormatTag = 0x0055;
  f.nBlockAlign = 1;
  f.nAvgBytesPerSec = 16000;
  put("RIFF", 4), u32(4 + 8 + 18 + 8 + 4000), put("WAVEfmt ", 8), u32(18), put(&f, 18);
  put("data", 4), u32(4000), file.resize(file.size() + 4000, 7);
  std::ofstream(Path("mp3.wav"), std::ios::binary).write(file.data(), std::streamsize(file.size()));
  Name(Path("mp3.wav"));
  language::Choose("en");
  EXPECT_EQ(ErrorOf<EMMWaveError>([&] { player->Start(); }),
            "Invalid wave file...\nthe sound format of " + Path("mp3.wav") + " cannot be decoded");
  EXPECT_EQ(player->State(), TMMWaveOutState(wosClosed));
  EXPECT_TRUE(log.empty());
}

}  // namespace
