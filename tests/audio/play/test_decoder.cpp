// The stream decoder: compressed data fed in pieces of any size decodes to
// exactly what libsndfile reads from the file, and a partial block at the
// end is not made up.
#include "audio/MMWaveDecode.h"
#include "play_fixture.h"
#include "wavefile/MMWave.h"

using namespace playtest;

namespace {

class DecoderTest : public PlayTest {
 protected:
  // The file's format and its data bytes, as the wave file component reads
  // them.
  void Load(const std::string& path) {
    wave.SetFileName(path);
    wave.OpenFile();
    const WAVEFORMATEX* f = wave.GetPWaveFormat();
    format.assign(reinterpret_cast<const char*>(f), reinterpret_cast<const char*>(f) + 18 + f->cbSize);
    std::vector<char> piece(4096);
    for (std::int32_t n; (n = wave.ReadPlayData(piece.data(), 4096)) > 0;) data.insert(data.end(), piece.begin(), piece.begin() + n);
    wave.CloseFile();
  }
  const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(format.data()); }

  TMMWave wave;
  std::vector<char> format;
  std::vector<char> data;
};

class StreamDecoding : public DecoderTest, public ::testing::WithParamInterface<int> {};

TEST_P(StreamDecoding, PiecesOfAnySizeDecodeLikeTheWholeFile) {
  const std::string path = Path("packed.wav");
  const int channels = GetParam() == SF_FORMAT_GSM610 ? 1 : 2;
  ASSERT_TRUE(WriteSndfileWave(path, GetParam(), 22050, channels, Signal16(std::size_t(channels) * 9000, 4)));
  const std::vector<std::int16_t> expected = SndfileDecode(path);
  Load(path);
  ASSERT_TRUE(TMMWaveDecoder::CanDecode(Format()));

  TMMWaveDecoder decoder;
  ASSERT_TRUE(decoder.Begin(Format(), 3048));
  EXPECT_GT(decoder.FramesPerBlock(), 1u);
  std::vector<std::int16_t> got;
  std::vector<std::int16_t> out(std::size_t(channels) * 700);
  std::size_t at = 0, step = 1;
  while (!decoder.Exhausted()) {
    const std::size_t n = std::min(data.size() - at, step);
    decoder.Feed(data.data() + at, n);
    at += n;
    step = step * 7 % 997 + 1;  // 1 to 997 bytes at a time
    if (at == data.size()) decoder.FinishInput();
    const std::size_t frames = decoder.Read(out.data(), std::min<std::size_t>(step % 700 + 1, decoder.FramesReady()));
    got.insert(got.end(), out.begin(), out.begin() + std::ptrdiff_t(std::size_t(channels) * frames));
    while (at == data.size() && decoder.FramesReady() > 0) {
      const std::size_t more = decoder.Read(out.data(), 700);
      got.insert(got.end(), out.begin(), out.begin() + std::ptrdiff_t(std::size_t(channels) * more));
    }
  }
  // Every frame written comes out as libsndfile decodes it; only the rest
  // of the last block may follow.
  const std::size_t written = std::size_t(channels) * 9000;
  ASSERT_GE(expected.size(), written);
  ASSERT_GE(got.size(), written);
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + std::ptrdiff_t(written), got.begin()));
  EXPECT_LT(got.size() - written, std::size_t(channels) * decoder.FramesPerBlock());

  // A new stream of the same format starts over.
  decoder.Reset();
  decoder.Feed(data.data(), data.size() - 1);
  decoder.FinishInput();
  std::vector<std::int16_t> again(got.size());
  std::size_t frames = 0;
  while (std::size_t n = decoder.Read(again.data() + std::size_t(channels) * frames, 700)) frames += n;
  EXPECT_EQ(frames, got.size() / std::size_t(channels) - decoder.FramesPerBlock()) << "the cut last block is dropped";
  EXPECT_TRUE(std::equal(again.begin(), again.begin() + std::ptrdiff_t(std::size_t(channels) * frames), got.begin()));
}

INSTANTIATE_TEST_SUITE_P(Codecs, StreamDecoding,
                         ::testing::Values(SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM, SF_FORMAT_GSM610));

TEST_F(DecoderTest, OnlyFormatsTheDecoderReadsAreAccepted) {
  WAVEFORMATEX pcm = pcmBuildWaveHeader(16, 2, 44100);
  EXPECT_FALSE(TMMWaveDecoder::CanDecode(&pcm)) << "PCM passes through, it is not decoded";
  WAVEFORMATEX mp3 = pcm;
  mp3.wFormatTag = 0x0055;
  mp3.nBlockAlign = 1;
  EXPECT_FALSE(TMMWaveDecoder::CanDecode(&mp3));
  WAVEFORMATEX mulaw = pcmBuildWaveHeader(8, 1, 8000);
  mulaw.wFormatTag = 7;
  EXPECT_TRUE(TMMWaveDecoder::CanDecode(&mulaw));
  const WAVEFORMATEX decoded = TMMWaveDecoder::DecodedFormat(&mulaw);
  EXPECT_EQ(decoded.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(decoded.wBitsPerSample, 16);
  EXPECT_EQ(decoded.nChannels, 1);
  EXPECT_EQ(decoded.nSamplesPerSec, 8000u);
}

}  // namespace
