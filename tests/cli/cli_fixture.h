// Running the tunelark binary from the tests, and reading what it made.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace clitest {

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test_cli";
  static char* argv[] = {name, nullptr};
  static auto* app = new QCoreApplication(argc, argv);
  return *app;
}

struct Result {
  int code = -1;
  bool crashed = false;
  QByteArray out;
  QByteArray err;
  // stderr's lines (without the empty last one).
  QList<QByteArray> ErrLines() const {
    QList<QByteArray> lines = err.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
  }
};

// The environment of a run: the virtual card with a silent microphone,
// English texts unless `lang` says otherwise.
inline QProcessEnvironment Environment(const QString& lang = QStringLiteral("C")) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TUNELARK_AUDIO"), QStringLiteral("virtual"));
  env.remove(QStringLiteral("TUNELARK_AUDIO_IN"));
  env.remove(QStringLiteral("TUNELARK_AUDIO_OUT"));
  env.remove(QStringLiteral("LC_ALL"));
  env.remove(QStringLiteral("LC_MESSAGES"));
  env.remove(QStringLiteral("LANGUAGE"));
  env.insert(QStringLiteral("LANG"), lang);
  return env;
}

inline void Start(QProcess& p, const QStringList& args, const QProcessEnvironment& env) {
  App();
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TUNELARK_BIN), args);
  ASSERT_TRUE(p.waitForStarted(10000));
}

inline Result Finish(QProcess& p, int timeoutMs = 120000) {
  Result r;
  EXPECT_TRUE(p.waitForFinished(timeoutMs));
  r.crashed = p.exitStatus() != QProcess::NormalExit;
  r.code = p.exitCode();
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

inline Result Tunelark(const QStringList& args, const QProcessEnvironment& env = Environment()) {
  QProcess p;
  Start(p, args, env);
  return Finish(p);
}

inline QString Demo() { return QStringLiteral(TUNELARK_DEMO_MID); }

// A WAV file as the recorder lays it out: RIFF WAVE, an 18-byte "fmt "
// chunk, "data" from offset 46, then "fact".
struct RecordedWav {
  bool layoutOk = false;
  std::uint16_t tag = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0;
  std::uint32_t frames = 0;
  bool hasFact = false;
  int peak = 0;  // of all samples
};

inline std::uint32_t U32(const QByteArray& b, qsizetype at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.constData() + at, 4);
  return v;
}
inline std::uint16_t U16(const QByteArray& b, qsizetype at) {
  std::uint16_t v = 0;
  std::memcpy(&v, b.constData() + at, 2);
  return v;
}

inline RecordedWav ReadRecordedWav(const QString& path) {
  RecordedWav w;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return w;
  const QByteArray b = f.readAll();
  if (b.size() < 46 || b.mid(0, 4) != "RIFF" || b.mid(8, 8) != "WAVEfmt " || U32(b, 16) != 18 ||
      b.mid(38, 4) != "data")
    return w;
  w.tag = U16(b, 20);
  w.channels = U16(b, 22);
  w.rate = U32(b, 24);
  w.bits = U16(b, 34);
  const std::uint32_t size = U32(b, 42);
  if (46 + qsizetype(size) > b.size() || w.channels == 0) return w;
  w.frames = size / (2u * w.channels);
  for (qsizetype i = 46; i + 1 < 46 + qsizetype(size); i += 2) w.peak = std::max(w.peak, std::abs(int(std::int16_t(U16(b, i)))));
  const qsizetype after = 46 + qsizetype(size) + (size & 1);
  w.hasFact = b.mid(after, 4) == "fact";
  w.layoutOk = U32(b, 4) == std::uint32_t(b.size() - 8);
  return w;
}

// What libsndfile makes of a sound file: frames and rate (0 when it cannot
// open it).
struct Decoded {
  std::int64_t frames = 0;
  int rate = 0;
  int channels = 0;
};
inline Decoded Decode(const QString& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (!f) return {};
  // Count by reading: an MP3's frame count in the header is an estimate.
  std::vector<short> buf(4096 * std::size_t(std::max(info.channels, 1)));
  std::int64_t frames = 0;
  sf_count_t n;
  while ((n = sf_readf_short(f, buf.data(), 4096)) > 0) frames += n;
  sf_close(f);
  return {frames, info.samplerate, info.channels};
}

// Files in `dir` other than `keep` (temporary leftovers show up here).
inline QStringList Entries(const QString& dir) {
  return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes a 16-bit stereo PCM WAV of `frames` frames of a 440 Hz tone, with a
// canonical 44-byte header; or, with `floatData`, a 32-bit float one the
// converter refuses.
void WriteWav(const QString& path, int rate, int frames, bool floatData = false);

}  // namespace clitest
