#include <gtest/gtest.h>

#include <cstring>

#include "tests/audio/chain/chain_nodes.h"

namespace {

TEST(Formats, AFormatSetAtTheHeadArrivesAsSeparateCopiesEverywhere) {
  Node a("A"), b("B"), c("C");
  a.SetOutput(&b);
  b.SetOutput(&c);
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  f.cbSize = 7;  // PCM copies never keep an extra size
  a.SetWaveFormat(&f);
  PWaveFormatEx seen[] = {a.GetWaveFormat(), b.GetWaveFormat(), c.GetWaveFormat()};
  for (PWaveFormatEx p : seen) {
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p, &f);
    EXPECT_EQ(p->nSamplesPerSec, 44100u);
    EXPECT_EQ(p->nBlockAlign, 4);
    EXPECT_EQ(p->cbSize, 0);
  }
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_NE(seen[1], seen[2]);

  // Linking a new tail pulls the format; unlinking takes it away.
  Node d("D");
  c.SetOutput(&d);
  ASSERT_NE(d.GetWaveFormat(), nullptr);
  EXPECT_EQ(d.GetWaveFormat()->nAvgBytesPerSec, 176400u);
  c.SetOutput(nullptr);
  EXPECT_EQ(d.GetWaveFormat(), nullptr);
}

TEST(Formats, CopiesKeepExactlyTheirSize) {
  EXPECT_EQ(wioSizeOfWaveFormat(nullptr), 0u);
  EXPECT_EQ(wioCopyWaveFormat(nullptr), nullptr);

  WAVEFORMATEX pcm = Pcm(8, 1, 11025);
  pcm.cbSize = 99;
  EXPECT_EQ(wioSizeOfWaveFormat(&pcm), 18u);
  PWaveFormatEx pcmCopy = wioCopyWaveFormat(&pcm);
  EXPECT_EQ(pcmCopy->cbSize, 0);
  EXPECT_EQ(pcmCopy->nSamplesPerSec, 11025u);
  wioFreeWaveFormat(pcmCopy);
  EXPECT_EQ(pcmCopy, nullptr);

  // An ADPCM-like header with four extra bytes behind the record.
  unsigned char raw[22];
  WAVEFORMATEX adpcm{2, 1, 22050, 11155, 512, 4, 4};
  std::memcpy(raw, &adpcm, 18);
  const unsigned char extra[4] = {0xF4, 0x03, 0x07, 0x00};
  std::memcpy(raw + 18, extra, 4);
  auto* src = reinterpret_cast<WAVEFORMATEX*>(raw);
  EXPECT_EQ(wioSizeOfWaveFormat(src), 22u);
  PWaveFormatEx copy = wioCopyWaveFormat(src);
  EXPECT_EQ(std::memcmp(copy, raw, 22), 0);
  wioFreeWaveFormat(copy);
}

TEST(Formats, PcmRulesAndSilence) {
  EXPECT_TRUE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(16, 2, 44100)));
  EXPECT_TRUE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(8, 4, 4000)));
  EXPECT_TRUE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(8, 1, 100000)));
  EXPECT_FALSE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(16, 2, 3999)));
  EXPECT_FALSE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(16, 2, 100001)));
  EXPECT_FALSE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(24, 2, 44100)));
  EXPECT_FALSE(pcmIsValidFormat(&(const WAVEFORMATEX&)Pcm(16, 3, 44100)));
  EXPECT_FALSE(pcmIsValidFormat(nullptr));
  WAVEFORMATEX other = Pcm(16, 2, 44100);
  other.wFormatTag = 2;
  EXPECT_FALSE(pcmIsValidFormat(&other));

  WAVEFORMATEX eight = Pcm(8, 2, 22050);
  EXPECT_EQ(pcmSilenceByte(&eight), 128);
  EXPECT_EQ(pcmSilenceByte(&other), 0);
  other.wBitsPerSample = 8;  // 8 bits but not PCM
  EXPECT_EQ(pcmSilenceByte(&other), 0);
  EXPECT_EQ(pcmSilenceByte(nullptr), 0);
}

TEST(Formats, ConversionsMultiplyFirstAndRoundBytesUpToBlocks) {
  WAVEFORMATEX f = Pcm(16, 2, 44100);  // 176400 bytes/s, blocks of 4
  EXPECT_EQ(wioBytesToSamples(&f, 3048), 762);
  EXPECT_EQ(wioBytesToTime(&f, 176400), 1000);
  EXPECT_EQ(wioBytesToTime(&f, 3048), 17);
  EXPECT_EQ(wioSamplesToBytes(&f, 762), 3048);
  EXPECT_EQ(wioTimeToBytes(&f, 1), 176 + 0);  // 176.4 -> 176, already whole blocks
  EXPECT_EQ(wioTimeToBytes(&f, 3), 532);      // 529.2 -> 529 -> 532
  // 64-bit products: an hour of audio in bytes does not overflow.
  EXPECT_EQ(wioTimeToBytes(&f, 3'600'000), 635'040'000);
  EXPECT_EQ(wioBytesToTime(&f, 635'040'000), 3'600'000);
  EXPECT_EQ(wioBytesToSamples(nullptr, 10), -1);
  WAVEFORMATEX broken{};
  EXPECT_EQ(wioBytesToTime(&broken, 10), -1);
  EXPECT_EQ(wioSamplesToBytes(&broken, 10), -1);
}

TEST(Formats, DeviceIdsHaveTheirStoredNames) {
  EXPECT_EQ(DeviceIdToIdent(MapperId), "MapperId");
  EXPECT_EQ(DeviceIdToIdent(InvalidId), "InvalidId");
  EXPECT_EQ(DeviceIdToIdent(3), "3");
  EXPECT_EQ(IdentToDeviceId("MapperId"), MapperId);
  EXPECT_EQ(IdentToDeviceId("InvalidId"), InvalidId);
  EXPECT_EQ(IdentToDeviceId("-7"), -7);
  EXPECT_EQ(IdentToDeviceId("x"), std::nullopt);
  EXPECT_EQ(IdentToDeviceId(""), std::nullopt);
}

TEST(Formats, LoadingHoldsThePushBackUntilItEnds) {
  Node a("A"), b("B");
  a.SetOutput(&b);
  a.BeginLoading();
  WAVEFORMATEX f = Pcm(16, 1, 22050);
  a.SetWaveFormat(&f);
  EXPECT_NE(a.GetWaveFormat(), nullptr);
  EXPECT_EQ(b.GetWaveFormat(), nullptr);
  a.EndLoading();
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  EXPECT_EQ(b.GetWaveFormat()->nSamplesPerSec, 22050u);
}

TEST(Formats, ChangingFormatOrBufferSizeStopsAStartedComponent) {
  Node a("A");
  WAVEFORMATEX f = Pcm(16, 2, 44100), g = Pcm(8, 1, 8000);
  a.SetWaveFormat(&f);
  a.Opened();
  a.Started();
  a.SetWaveFormat(&g);
  EXPECT_FALSE(a.IsStarted());
  a.Started();
  a.SetBufferSize(a.BufferSize());  // same value: nothing
  EXPECT_TRUE(a.IsStarted());
  a.SetBufferSize(1000);
  EXPECT_FALSE(a.IsStarted());
}

struct SizeCase {
  int bufferSize;
  WAVEFORMATEX format;
  bool withFormat;
  int real;
};

class RealBufferSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RealBufferSize, IsFixedWhenOpened) {
  const SizeCase& c = GetParam();
  Node a("A");
  if (c.withFormat) a.SetWaveFormat(&c.format);
  a.SetBufferSize(c.bufferSize);
  EXPECT_EQ(a.BufferSize(), c.bufferSize);
  a.Opened();
  EXPECT_EQ(a.RealBufferSize(), c.real);
  EXPECT_EQ(a.BufferSize(), c.real) << "reported while opened";
  a.Closed();
  EXPECT_EQ(a.BufferSize(), c.bufferSize);
}

WAVEFORMATEX NoAlign() {
  WAVEFORMATEX f{2, 1, 8000, 4000, 0, 4, 0};
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealBufferSize,
    ::testing::Values(SizeCase{3048, Pcm(16, 2, 44100), true, 3048},
                      SizeCase{3050, Pcm(16, 2, 44100), true, 3048},
                      SizeCase{1, Pcm(16, 2, 44100), true, 4},
                      SizeCase{3048, Pcm(16, 1, 44100), true, 3048},
                      SizeCase{3049, Pcm(16, 1, 44100), true, 3048},
                      SizeCase{3050, Pcm(16, 2, 44100), false, 3050},
                      // a block size of 0 must not divide by zero
                      SizeCase{3050, NoAlign(), true, 3050}));

}  // namespace
