#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "mp3/LameCoder.h"
#include "mp3/Lame_dll.h"

namespace {

std::array<BYTE, sizeof(BE_CONFIG)> RecordOf(const TLameCoder& coder) {
  BE_CONFIG config;
  std::memset(&config, 0xAB, sizeof config);  // FillConfig must clear what it does not set
  coder.FillConfig(config);
  std::array<BYTE, sizeof(BE_CONFIG)> bytes;
  std::memcpy(bytes.data(), &config, sizeof config);
  return bytes;
}

void Put32(std::array<BYTE, sizeof(BE_CONFIG)>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = BYTE(v >> (8 * i));
}

std::uint32_t Get32(const std::array<BYTE, sizeof(BE_CONFIG)>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(ConfigRecord, DefaultsByteForByte) {
  std::array<BYTE, sizeof(BE_CONFIG)> expected{};
  Put32(expected, 0, 256);
  Put32(expected, 4, 1);
  Put32(expected, 8, 331);
  Put32(expected, 12, 44100);
  Put32(expected, 24, 128);
  Put32(expected, 28, 320);
  Put32(expected, 36, 1);
  Put32(expected, 52, 0xFFFFFFFF);
  Put32(expected, 72, 4);
  TLameCoder coder;
  EXPECT_EQ(RecordOf(coder), expected);
}

TEST(ConfigRecord, ModeQualityAndVbrFields) {
  TLameCoder coder;
  coder.SetMode(MONO);
  EXPECT_EQ(Get32(RecordOf(coder), 20), 3u);
  coder.SetMode(JSTEREO);
  EXPECT_EQ(Get32(RecordOf(coder), 20), 1u);
  coder.SetQuality(VOICE_QUALITY);
  EXPECT_EQ(Get32(RecordOf(coder), 32), 3u);

  coder.SetEnableVBR(7);  // a true value passes through as it is
  auto vbr = RecordOf(coder);
  EXPECT_EQ(Get32(vbr, 64), 7u);
  EXPECT_EQ(Get32(vbr, 68), 7u);
  coder.SetEnableVBR(0);
  auto cbr = RecordOf(coder);
  EXPECT_EQ(Get32(cbr, 64), 0u);
  EXPECT_EQ(Get32(cbr, 68), 0u);
  for (std::size_t i = 76; i < sizeof(BE_CONFIG); ++i) ASSERT_EQ(cbr[i], 0) << "byte " << i;
}

TEST(EncoderInterface, VersionReportsInterfaceAndEngine) {
  BE_VERSION v;
  std::memset(&v, 0xFF, sizeof v);
  beVersion(&v);
  EXPECT_EQ(v.byDLLMajorVersion, BE_INTERFACE_MAJOR);
  EXPECT_EQ(v.byDLLMinorVersion, BE_INTERFACE_MINOR);
  EXPECT_EQ(v.byMajorVersion, 3);  // libmp3lame 3.x
  EXPECT_EQ(TLameCoder().LameVersion().MinorVersion(), v.byMinorVersion);
}

// The coder passes up to the samples-per-chunk value times a block alignment
// of 4 bytes in one call; the returned buffer must hold that and the flush,
// even for noise at full scale, the worst case for the encoder's output.
TEST(EncoderInterface, BufferHoldsTheLargestChunkAndTheFlush) {
  for (TLameMode mode : {STEREO, MONO}) {
    for (DWORD bitrate : {128u, 320u}) {
      TLameCoder coder;
      coder.SetMode(mode);
      coder.SetBitrate(bitrate);
      BE_CONFIG config;
      coder.FillConfig(config);
      DWORD samples = 0, bufferSize = 0;
      HBE_STREAM stream = 0;
      ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), 0u);
      EXPECT_EQ(samples, mode == MONO ? 1152u : 2304u);

      std::vector<std::int16_t> pcm(2 * samples);
      std::uint32_t seed = 1;
      std::vector<BYTE> out(bufferSize);
      for (int round = 0; round < 20; ++round) {
        for (auto& s : pcm) s = std::int16_t((seed = seed * 1664525u + 1013904223u) >> 16);
        DWORD produced = 0;
        ASSERT_EQ(beEncodeChunk(stream, DWORD(pcm.size()), pcm.data(), out.data(), &produced), 0u);
        EXPECT_LE(produced, bufferSize);
      }
      DWORD last = 0;
      EXPECT_EQ(beDeinitStream(stream, out.data(), &last), 0u);
      EXPECT_GT(last, 0u);
      EXPECT_EQ(beCloseStream(stream), 0u);
      DWORD produced = 0;
      EXPECT_NE(beEncodeChunk(stream, 2, pcm.data(), out.data(), &produced), 0u)
          << "a closed stream's handle is invalid";
    }
  }
}

TEST(EncoderInterface, RefusedConfigurationOpensNothing) {
  TLameCoder coder;
  BE_CONFIG config;
  coder.FillConfig(config);
  config.nMode = 7;  // no such channel mode
  DWORD samples = 77, bufferSize = 77;
  HBE_STREAM stream = 77;
  EXPECT_NE(beInitStream(&config, &samples, &bufferSize, &stream), 0u);
  EXPECT_EQ(stream, 77u);
  EXPECT_EQ(samples, 77u);

  coder.FillConfig(config);
  config.dwConfig = 0;
  EXPECT_NE(beInitStream(&config, &samples, &bufferSize, &stream), 0u);
}
