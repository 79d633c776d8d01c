// The shared wave format rules, against values worked out by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/waveformat.h"

namespace {

WAVEFORMATEX Pcm(WORD bits, WORD channels, DWORD rate, WORD align, DWORD avg) {
  return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, avg, align, bits, 0};
}

TEST(WaveFormat, SizesAndCopiesFollowTheTag) {
  EXPECT_EQ(wioSizeOfWaveFormat(nullptr), 0u);
  WAVEFORMATEX pcm = Pcm(16, 2, 44100, 4, 176400);
  pcm.cbSize = 9;  // ignored for PCM
  EXPECT_EQ(wioSizeOfWaveFormat(&pcm), 18u);
  PWaveFormatEx copy = wioTryCopyWaveFormat(&pcm);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->cbSize, 0);
  EXPECT_EQ(copy->nAvgBytesPerSec, 176400u);
  EXPECT_FALSE(wioSameFormat(copy, &pcm));  // the cbSize word differs
  pcm.cbSize = 0;
  EXPECT_TRUE(wioSameFormat(copy, &pcm));
  wioFreeWaveFormat(copy);
  EXPECT_EQ(copy, nullptr);

  // A non-PCM record carries cbSize extra bytes, copied and compared too.
  unsigned char raw[20];
  const WAVEFORMATEX adpcm{2, 1, 22050, 11155, 512, 4, 2};
  std::memcpy(raw, &adpcm, 18);
  raw[18] = 0xF4;
  raw[19] = 0x03;
  const auto* wide = reinterpret_cast<const WAVEFORMATEX*>(raw);
  EXPECT_EQ(wioSizeOfWaveFormat(wide), 20u);
  PWaveFormatEx other = wioCopyWaveFormat(wide);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(std::memcmp(other, raw, 20), 0);
  EXPECT_TRUE(wioSameFormat(other, wide));
  reinterpret_cast<unsigned char*>(other)[19] = 0x04;
  EXPECT_FALSE(wioSameFormat(other, wide));
  std::free(other);  // the copies are plain heap memory

  EXPECT_EQ(wioCopyWaveFormat(nullptr), nullptr);
  EXPECT_TRUE(wioSameFormat(nullptr, nullptr));
  EXPECT_FALSE(wioSameFormat(nullptr, wide));
}

TEST(WaveFormat, SampleFormatsMatchOnTheSampleLayoutOnly) {
  const WAVEFORMATEX a = Pcm(16, 2, 44100, 4, 176400);
  WAVEFORMATEX b = a;
  b.nAvgBytesPerSec = 0;  // the byte rate and extra size do not matter
  b.cbSize = 3;
  EXPECT_TRUE(wioSameSampleFormat(&a, &b));
  for (auto change : {+[](WAVEFORMATEX& f) { f.nChannels = 1; }, +[](WAVEFORMATEX& f) { f.nSamplesPerSec = 22050; },
                      +[](WAVEFORMATEX& f) { f.wBitsPerSample = 8; }, +[](WAVEFORMATEX& f) { f.nBlockAlign = 2; },
                      +[](WAVEFORMATEX& f) { f.wFormatTag = 3; }}) {
    WAVEFORMATEX c = a;
    change(c);
    EXPECT_FALSE(wioSameSampleFormat(&a, &c));
  }
  EXPECT_FALSE(wioSameSampleFormat(&a, nullptr));
  EXPECT_FALSE(wioSameSampleFormat(nullptr, nullptr));
}

TEST(WaveFormat, RatesComeFromBitsChannelsAndRate) {
  const WAVEFORMATEX built = pcmBuildWaveHeader(8, 1, 11025);
  EXPECT_EQ(built.nBlockAlign, 1);
  EXPECT_EQ(built.nAvgBytesPerSec, 11025u);
  EXPECT_EQ(built.cbSize, 0);
  EXPECT_TRUE(pcmRatesConsistent(built));
  const WAVEFORMATEX quad = pcmBuildWaveHeader(16, 4, 48000);
  EXPECT_EQ(quad.nBlockAlign, 8);
  EXPECT_EQ(quad.nAvgBytesPerSec, 384000u);

  WAVEFORMATEX f = Pcm(16, 2, 44100, 0, 7);  // as a damaged header states them
  EXPECT_FALSE(pcmRatesConsistent(f));
  ASSERT_TRUE(pcmSetRates(f));
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
  f.nAvgBytesPerSec = 176401;
  EXPECT_FALSE(pcmRatesConsistent(f));

  // Refused, and left as they were: a frame under one byte, a block that
  // does not fit 16 bits, a byte rate that does not fit 32.
  WAVEFORMATEX tiny = Pcm(4, 1, 8000, 5, 6);
  EXPECT_FALSE(pcmSetRates(tiny));
  WAVEFORMATEX huge = Pcm(0xFFFF, 0xFFFF, 8000, 5, 6);
  EXPECT_FALSE(pcmSetRates(huge));
  WAVEFORMATEX fast = Pcm(16, 0x8000, 0xFFFFFFFFu, 5, 6);  // block 65536 * 4 bytes
  EXPECT_FALSE(pcmSetRates(fast));
  WAVEFORMATEX fastFit = Pcm(16, 2, 0x40000000u, 5, 6);  // 4 × 2^30 = 2^32: one too many
  EXPECT_FALSE(pcmSetRates(fastFit));
  for (const WAVEFORMATEX& r : {tiny, huge, fast, fastFit}) {
    EXPECT_EQ(r.nBlockAlign, 5);
    EXPECT_EQ(r.nAvgBytesPerSec, 6u);
  }
}

TEST(WaveFormat, BlocksRoundUpTowardsPlusInfinity) {
  EXPECT_EQ(wioRoundUpToBlock(529, 4), 532);
  EXPECT_EQ(wioRoundUpToBlock(532, 4), 532);
  EXPECT_EQ(wioRoundUpToBlock(0, 4), 0);
  EXPECT_EQ(wioRoundUpToBlock(7, 0), 7);
  EXPECT_EQ(wioRoundUpToBlock(7, 1), 7);
  EXPECT_EQ(wioRoundUpToBlock(-3, 4), 0);
  EXPECT_EQ(wioRoundUpToBlock(-5, 4), -4);
  EXPECT_EQ(wioRoundUpToBlock(-8, 4), -8);
  EXPECT_EQ(wioRoundUpToBlock(6'000'000'001, 6), 6'000'000'006);

  // The chain's conversions on 8-bit mono at 11025 Hz (blocks of 1) and
  // 16-bit quad at 48000 Hz (blocks of 8, 384000 bytes a second).
  const WAVEFORMATEX mono = Pcm(8, 1, 11025, 1, 11025);
  EXPECT_EQ(pcmTimeToBytes(&mono, 1), 11);  // 11.025 rounds down
  const WAVEFORMATEX quad = Pcm(16, 4, 48000, 8, 384000);
  EXPECT_EQ(pcmTimeToBytes(&quad, 1), 384);
  EXPECT_EQ(pcmSamplesToBytes(&quad, -1), -8);
  EXPECT_EQ(pcmBytesToSamples(&quad, 15), 1);
  EXPECT_EQ(pcmBytesToTime(&quad, 383), 0);
}

}  // namespace
