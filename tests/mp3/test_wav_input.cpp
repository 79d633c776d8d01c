#include <gtest/gtest.h>

#include <QBuffer>

#include "mp3/WavInput.h"
#include "tests/mp3/Mp3TestFiles.h"

using namespace mp3test;

namespace {

TWavInput Probe(QByteArray bytes) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  return ProbeWavInput(buffer);
}

}  // namespace

// Every truncation and every corrupted size byte of a recording: the sound
// found always lies inside the file, and a usable result has a format.
TEST(WavInput, SoundAlwaysLiesInsideTheFile) {
  const QByteArray wav = RecorderWav(22050, 1, 16, PcmBytes(Tone(22050, 1, 300, 440, 9000, 0)));
  auto check = [](const QByteArray& bytes) {
    const TWavInput r = Probe(bytes);
    ASSERT_LE(r.DataOffset + qint64(r.DataSize), bytes.size());
    if (r.IsWave && r.Error.isEmpty()) {
      EXPECT_EQ(r.Channels, 1);
      EXPECT_EQ(r.BlockAlign, 2);
    }
  };
  for (qsizetype n = 0; n <= wav.size(); ++n) check(wav.left(n));
  for (qsizetype at :
       {qsizetype(4), qsizetype(16), qsizetype(42), qsizetype(43), qsizetype(45), wav.size() - 9}) {
    for (char v : {'\0', '\x01', '\x7F', '\xFF'}) {
      QByteArray bad = wav;
      bad[at] = v;
      check(bad);
    }
  }
  const TWavInput whole = Probe(wav);
  EXPECT_TRUE(whole.Error.isEmpty());
  EXPECT_EQ(whole.DataOffset, 46);
  EXPECT_EQ(whole.DataSize, 600u);
  EXPECT_EQ(whole.SamplesPerSec, 22050u);
}

TEST(WavInput, FormatAfterDataAndMissingChunks) {
  const QByteArray pcm(400, '\x10');
  const QByteArray wav = RecorderWav(44100, 2, 16, pcm);
  // "data" (with its body) moved in front of "fmt ".
  QByteArray swapped = wav.left(12) + wav.mid(38, 8 + 400) + wav.mid(12, 26) + wav.mid(446);
  const TWavInput r = Probe(swapped);
  EXPECT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
  EXPECT_EQ(r.DataOffset, 20);
  EXPECT_EQ(r.DataSize, 400u);

  EXPECT_FALSE(Probe(wav.left(38)).Error.isEmpty());                // no data chunk
  EXPECT_FALSE(Probe(wav.left(12) + wav.mid(38)).Error.isEmpty());  // no format chunk
  const TWavInput raw = Probe(QByteArray("RIFX....WAVX") + pcm);
  EXPECT_FALSE(raw.IsWave);
  EXPECT_EQ(raw.DataOffset, 0);
  EXPECT_EQ(raw.DataSize, 412u);
}

// A refusal names the one thing that is wrong; a block alignment that
// 16-bit PCM recomputes is no reason to refuse.
TEST(WavInput, RefusalsNameTheirReason) {
  QByteArray wav = RecorderWav(44100, 2, 16, QByteArray(400, '\x10'));
  wav[32] = 0;  // block alignment 0
  TWavInput r = Probe(wav);
  EXPECT_TRUE(r.Error.isEmpty()) << r.Error.toStdString();
  EXPECT_EQ(r.BlockAlign, 4);

  const auto reason = [](QByteArray bytes, int at, std::uint16_t value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
    return Probe(bytes).Error.toStdString();
  };
  const QByteArray good = RecorderWav(44100, 2, 16, QByteArray(400, '\x10'));
  EXPECT_EQ(reason(good, 20, 0x11), "only 16-bit PCM can be encoded, this file holds IMA ADPCM (format tag 0x0011)");
  EXPECT_EQ(reason(good, 20, 0x4242), "only 16-bit PCM can be encoded, this file holds format tag 0x4242");
  EXPECT_EQ(reason(good, 34, 24), "only 16-bit PCM can be encoded, this file holds 24-bit PCM");
  EXPECT_EQ(reason(good, 22, 6), "only one or two channels can be encoded, this file holds 6 channels");
}
