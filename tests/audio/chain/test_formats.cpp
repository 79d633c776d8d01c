#include <gtest/gtest.h>

#include <cstring>

#include "tests/audio/chain/chain_nodes.h"

namespace {

TEST(Formats, AFormatSetAtTheHeadArrivesAsSeparateCopiesEverywhere) {
  Node a("A"), b("B"), c("C");
  a.SetOutput(&b);
  a.BeginLoading();  // the push waits for the end of loading
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  f.cbSize = 7;  // PCM copies never keep an extra size
  a.SetWaveFormat(&f);
  EXPECT_EQ(b.GetWaveFormat(), nullptr);
  a.EndLoading();
  b.SetOutput(&c);  // a new tail pulls the format
  PWaveFormatEx seen[] = {a.GetWaveFormat(), b.GetWaveFormat(), c.GetWaveFormat()};
  for (PWaveFormatEx p : seen) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(p->cbSize, 0);
  }
  EXPECT_TRUE(seen[0] != &f && seen[0] != seen[1] && seen[1] != seen[2]);

  // A non-PCM copy keeps 18 + cbSize bytes.
  unsigned char raw[22];
  const WAVEFORMATEX adpcm{2, 1, 22050, 11155, 512, 4, 4};
  std::memcpy(raw, &adpcm, 18);
  std::memcpy(raw + 18, "\xF4\x03\x07\x00", 4);
  a.SetWaveFormat(reinterpret_cast<WAVEFORMATEX*>(raw));
  EXPECT_EQ(wioSizeOfWaveFormat(c.GetWaveFormat()), 22u);
  EXPECT_EQ(std::memcmp(c.GetWaveFormat(), raw, 22), 0);
  a.SetWaveFormat(nullptr);
  EXPECT_EQ(c.GetWaveFormat(), nullptr);
}

TEST(Formats, PcmRulesConversionsAndStoredIds) {
  auto valid = [](int bits, int ch, int rate) {
    WAVEFORMATEX f = Pcm(bits, ch, rate);
    return pcmIsValidFormat(&f);
  };
  EXPECT_TRUE(valid(16, 2, 44100) && valid(8, 4, 4000) && valid(8, 1, 100000));
  EXPECT_FALSE(valid(16, 2, 3999) || valid(16, 2, 100001) || valid(24, 2, 44100) || valid(16, 3, 44100));
  WAVEFORMATEX eight = Pcm(8, 2, 22050);
  EXPECT_EQ(pcmSilenceByte(&eight), 128);
  eight.wFormatTag = 2;
  EXPECT_EQ(pcmSilenceByte(&eight), 0);

  WAVEFORMATEX f = Pcm(16, 2, 44100);  // 176400 bytes/s, blocks of 4
  EXPECT_EQ(pcmBytesToSamples(&f, 3048), 762);
  EXPECT_EQ(pcmBytesToTime(&f, 3048), 17);
  EXPECT_EQ(pcmSamplesToBytes(&f, 762), 3048);
  EXPECT_EQ(pcmTimeToBytes(&f, 3), 532);  // 529.2 -> 529 -> up to 532
  EXPECT_EQ(pcmTimeToBytes(&f, 3'600'000), 635'040'000);  // 64-bit products
  WAVEFORMATEX broken{};
  EXPECT_EQ(pcmBytesToTime(&broken, 10), -1);
  EXPECT_EQ(pcmSamplesToBytes(nullptr, 10), -1);

  EXPECT_EQ(DeviceIdToIdent(MapperId), "MapperId");
  EXPECT_EQ(DeviceIdToIdent(InvalidId), "InvalidId");
  EXPECT_EQ(IdentToDeviceId(DeviceIdToIdent(3)), 3);
  EXPECT_EQ(IdentToDeviceId("InvalidId"), InvalidId);
  EXPECT_EQ(IdentToDeviceId("3x"), std::nullopt);
}

struct SizeCase {
  int bufferSize;
  WAVEFORMATEX format;
  bool withFormat;
  int real;
};

class RealBufferSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RealBufferSize, IsFixedWhenOpenedAndReportedWhileOpen) {
  const SizeCase& c = GetParam();
  Node a("A");
  if (c.withFormat) a.SetWaveFormat(&c.format);
  a.SetBufferSize(c.bufferSize);
  a.Opened();
  EXPECT_EQ(a.RealBufferSize(), c.real);
  EXPECT_EQ(a.BufferSize(), c.real);
  a.Started();
  a.SetBufferSize(c.bufferSize);  // same value: nothing
  EXPECT_TRUE(a.IsStarted());
  a.Closed();
  EXPECT_EQ(a.BufferSize(), c.bufferSize);
  a.SetBufferSize(c.bufferSize + 1);  // a change stops a started component
  EXPECT_FALSE(a.IsStarted());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RealBufferSize,
    ::testing::Values(SizeCase{3048, Pcm(16, 2, 44100), true, 3048}, SizeCase{3050, Pcm(16, 2, 44100), true, 3048},
                      SizeCase{1, Pcm(16, 2, 44100), true, 4}, SizeCase{3048, Pcm(16, 1, 44100), true, 3048},
                      SizeCase{3050, Pcm(16, 2, 44100), false, 3050},
                      // a damaged header with block size 0 must not divide by zero
                      SizeCase{3050, WAVEFORMATEX{2, 1, 8000, 4000, 0, 4, 0}, true, 3050}));

}  // namespace
