// Test inputs and output checks for the MP3 conversion: WAV files laid out
// as the program's recorder writes them, raw PCM, and MP3 decoding through
// libsndfile.
#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace mp3test {

inline void PutU16(QByteArray& b, std::uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
inline void PutU32(QByteArray& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

inline QByteArray PcmBytes(const std::vector<std::int16_t>& samples) {
  QByteArray b;
  b.reserve(qsizetype(samples.size() * 2));
  for (std::int16_t s : samples) PutU16(b, std::uint16_t(s));
  return b;
}

// RIFF/WAVE with an 18-byte "fmt " chunk, the "data" chunk body at offset 46
// and a closing "fact" chunk holding the frame count: the recorder's layout.
// `declaredDataSize` < 0 writes the true size.
inline QByteArray RecorderWav(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits,
                              const QByteArray& data, std::int64_t declaredDataSize = -1) {
  const std::uint16_t align = std::uint16_t(channels * bits / 8);
  QByteArray b("RIFF");
  PutU32(b, std::uint32_t(4 + 26 + 8 + data.size() + 12));
  b.append("WAVEfmt ");
  PutU32(b, 18);
  PutU16(b, 1);
  PutU16(b, channels);
  PutU32(b, rate);
  PutU32(b, rate * align);
  PutU16(b, align);
  PutU16(b, bits);
  PutU16(b, 0);
  b.append("data");
  PutU32(b, std::uint32_t(declaredDataSize < 0 ? data.size() : declaredDataSize));
  b.append(data);
  b.append("fact");
  PutU32(b, 4);
  PutU32(b, std::uint32_t(align ? data.size() / align : 0));
  return b;
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write test file " + path.toStdString());
}

// Interleaved 16-bit PCM: a sine of `freq` Hz per channel with the given
// peak amplitudes, then `silentFrames` frames of silence.
inline std::vector<std::int16_t> Tone(int rate, int channels, int frames, double freq,
                                      double ampLeft, double ampRight, int silentFrames = 0) {
  std::vector<std::int16_t> s;
  s.reserve(std::size_t(frames + silentFrames) * channels);
  for (int i = 0; i < frames; ++i) {
    const double v = std::sin(2 * std::numbers::pi * freq * i / rate);
    s.push_back(std::int16_t(std::lround(v * ampLeft)));
    if (channels == 2) s.push_back(std::int16_t(std::lround(v * ampRight)));
  }
  s.resize(s.size() + std::size_t(silentFrames) * channels, 0);
  return s;
}

struct Decoded {
  int rate = 0;
  int channels = 0;
  std::vector<short> samples;  // interleaved
  std::int64_t Frames() const { return channels ? std::int64_t(samples.size()) / channels : 0; }
  double Seconds() const { return rate ? double(Frames()) / rate : 0; }
  // Root mean square of one channel over frames [from, to).
  double Rms(int channel, std::int64_t from, std::int64_t to) const {
    double sum = 0;
    for (std::int64_t i = from; i < to; ++i) {
      const double v = samples[std::size_t(i * channels + channel)];
      sum += v * v;
    }
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
  }
  int Peak(std::int64_t from, std::int64_t to) const {
    int peak = 0;
    for (std::int64_t i = from * channels; i < to * channels; ++i)
      peak = std::max(peak, std::abs(int(samples[std::size_t(i)])));
    return peak;
  }
};

inline Decoded DecodeMp3(const QString& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
  if (!f) throw std::runtime_error("libsndfile cannot decode " + path.toStdString());
  Decoded d;
  d.rate = info.samplerate;
  d.channels = info.channels;
  std::vector<short> block(4096 * std::size_t(info.channels));
  for (sf_count_t n; (n = sf_readf_short(f, block.data(), 4096)) > 0;)
    d.samples.insert(d.samples.end(), block.begin(), block.begin() + n * info.channels);
  sf_close(f);
  return d;
}

}  // namespace mp3test
