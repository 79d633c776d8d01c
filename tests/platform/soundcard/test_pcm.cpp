// The card's sample conversions against fixed values (not against their own
// inverse), and the file speakers of the virtual device, which must hold the
// 16-bit samples played exactly.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/soundcard/filestreams.h"
#include "platform/soundcard/pcm.h"

namespace {

std::vector<std::int16_t> Encode16(const std::vector<float>& v) {
  std::vector<std::uint8_t> bytes(2 * v.size());
  soundcard::EncodePcm(v.data(), v.size(), 1, 16, bytes.data());
  std::vector<std::int16_t> s(v.size());
  std::memcpy(s.data(), bytes.data(), bytes.size());
  return s;
}

}  // namespace

TEST(Pcm, SixteenBitsRoundHalvesToEvenAndClip) {
  constexpr float q = 1.0f / 32768.0f;
  EXPECT_EQ(Encode16({0.5f * q, 1.5f * q, 2.5f * q, -0.5f * q, -1.5f * q, -2.5f * q, 2.4f * q, -2.6f * q}),
            (std::vector<std::int16_t>{0, 2, 2, 0, -2, -2, 2, -3}));
  EXPECT_EQ(Encode16({1.0f, -1.0f, 2.0f, -2.0f, 16385 * q, -16385 * q, 32767 * q}),
            (std::vector<std::int16_t>{32767, -32768, 32767, -32768, 16385, -16385, 32767}));
  // 8 bits: offset 128, halves to even.
  const std::vector<float> v = {0.0f, 0.5f / 128, 1.5f / 128, -1.0f, 1.0f};
  std::vector<std::uint8_t> b(v.size());
  soundcard::EncodePcm(v.data(), v.size(), 1, 8, b.data());
  EXPECT_EQ(b, (std::vector<std::uint8_t>{128, 128, 130, 0, 255}));
  // And back: 16-bit s reads as s / 32768.
  const std::uint8_t raw[4] = {0x00, 0x80, 0xFF, 0x7F};
  float back[2];
  soundcard::DecodePcm(raw, 2, 1, 16, back);
  EXPECT_EQ(back[0], -1.0f);
  EXPECT_EQ(back[1], 32767 * q);
}

TEST(FileSpeakers, SixteenBitSamplesArriveExactly) {
  char dir[] = "/tmp/filespeakersXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/speakers.wav";
  // Every 16-bit value, as the card hands 16-bit data to its mix.
  std::vector<float> frames(65536);
  for (int i = 0; i < 65536; ++i) frames[std::size_t(i)] = float(i - 32768) / 32768.0f;
  {
    soundcard::FileStreams files("", path);
    ASSERT_TRUE(files.hasOutput());
    // In pieces the ring holds; the helper thread empties it meanwhile.
    for (std::size_t at = 0; at < frames.size(); at += 2 * 441) {
      files.write(frames.data() + at, std::uint32_t(std::min<std::size_t>(441, (frames.size() - at) / 2)));
      usleep(2000);
    }
    EXPECT_EQ(files.outputDropped(), 0u);
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  std::vector<std::int16_t> written(std::size_t(info.frames) * 2);
  sf_readf_short(f, written.data(), info.frames);
  sf_close(f);
  unlink(path.c_str());
  rmdir(dir);
  ASSERT_GE(written.size(), 65536u);
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(written[std::size_t(i)], i - 32768) << "sample " << i;
}

TEST(Pcm, TheCardTakesTwoChannelPcmWithConsistentRatesFrom8000Hz) {
  auto make = [](WORD bits, WORD channels, DWORD rate) {
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, DWORD(rate * channels * bits / 8),
                        WORD(channels * bits / 8), bits, 0};
  };
  EXPECT_TRUE(soundcard::IsSupportedPcm(make(16, 2, 44100)));
  EXPECT_TRUE(soundcard::IsSupportedPcm(make(8, 1, 8000)));
  EXPECT_TRUE(soundcard::IsSupportedPcm(make(16, 1, 100000)));
  // Valid for the chain, but not for the card: four channels, under 8000 Hz.
  EXPECT_FALSE(soundcard::IsSupportedPcm(make(16, 4, 44100)));
  EXPECT_FALSE(soundcard::IsSupportedPcm(make(16, 2, 7999)));
  EXPECT_FALSE(soundcard::IsSupportedPcm(make(16, 2, 100001)));
  EXPECT_FALSE(soundcard::IsSupportedPcm(make(24, 2, 44100)));
  WAVEFORMATEX f = make(16, 2, 44100);
  f.nBlockAlign = 2;
  EXPECT_FALSE(soundcard::IsSupportedPcm(f));
  f = make(16, 2, 44100);
  f.nAvgBytesPerSec = 44100;
  EXPECT_FALSE(soundcard::IsSupportedPcm(f));
  f = make(16, 2, 44100);
  f.wFormatTag = 3;
  EXPECT_FALSE(soundcard::IsSupportedPcm(f));
}
