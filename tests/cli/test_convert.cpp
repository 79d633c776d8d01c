// tunelark convert, end to end: several files in one call with a bad one
// among them, one file to a named MP3, and the refusals.
#include <QFileInfo>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

#include "cli_fixture.h"

using namespace clitest;

void clitest::WriteWav(const QString& path, int rate, int frames, bool floatData) {
  const int bytesPerSample = floatData ? 4 : 2;
  QByteArray b;
  auto u32 = [&](std::uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { b.append(reinterpret_cast<const char*>(&v), 2); };
  const std::uint32_t data = std::uint32_t(frames * 2 * bytesPerSample);
  b.append("RIFF");
  u32(36 + data);
  b.append("WAVEfmt ");
  u32(16);
  u16(floatData ? 3 : 1);
  u16(2);
  u32(std::uint32_t(rate));
  u32(std::uint32_t(rate * 2 * bytesPerSample));
  u16(std::uint16_t(2 * bytesPerSample));
  u16(std::uint16_t(8 * bytesPerSample));
  b.append("data");
  u32(data);
  for (int i = 0; i < frames; ++i) {
    const double v = 0.5 * std::sin(2 * M_PI * 440.0 * i / rate);
    for (int ch = 0; ch < 2; ++ch) {
      if (floatData) {
        const float f = float(v);
        b.append(reinterpret_cast<const char*>(&f), 4);
      } else {
        u16(std::uint16_t(std::int16_t(std::lround(v * 32767))));
      }
    }
  }
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(b);
}

TEST(Convert, SeveralFilesInOneCallAndABadOneDoesNotLoseTheOthers) {
  QTemporaryDir dir;
  WriteWav(dir.filePath("one.wav"), 44100, 22050);
  WriteWav(dir.filePath("float.wav"), 44100, 22050, true);
  WriteWav(dir.filePath("two.wav"), 22050, 22050);
  // Files that are no WAV at all: nothing, and words.
  QFile(dir.filePath("empty.wav")).open(QIODevice::WriteOnly);
  QFile text(dir.filePath("text.wav"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write(QByteArray("These are words, not sound. ").repeated(100));
  text.close();
  QDir(dir.path()).mkdir("mp3");
  const QString outDir = dir.filePath("mp3");

  const Result r = Tunelark({"convert", dir.filePath("one.wav"), dir.filePath("float.wav"), dir.filePath("empty.wav"),
                             dir.filePath("text.wav"), dir.filePath("two.wav"), "--out-dir", outDir, "--bitrate", "192"});
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("float.wav") && r.err.contains("IEEE float")) << r.err.constData();
  EXPECT_TRUE(r.err.contains("empty.wav is empty")) << r.err.constData();
  EXPECT_TRUE(r.err.contains("text.wav is not a WAV file")) << r.err.constData();
  EXPECT_TRUE(r.err.contains("3 of 5 files failed")) << r.err.constData();
  EXPECT_EQ(Entries(outDir), QStringList({"one.mp3", "two.mp3"}));
  const Decoded one = Decode(dir.filePath("mp3/one.mp3"));
  const Decoded two = Decode(dir.filePath("mp3/two.mp3"));
  EXPECT_EQ(one.rate, 44100);
  EXPECT_EQ(two.rate, 22050);
  EXPECT_NEAR(double(one.frames), 22050.0, 1152 + 1105);
  EXPECT_NEAR(double(two.frames), 22050.0, 576 + 1105);

  // All good: exit code 0, each beside its input.
  const Result good = Tunelark({"convert", dir.filePath("one.wav"), dir.filePath("two.wav"), "-q"});
  EXPECT_EQ(good.code, 0) << good.err.constData();
  EXPECT_TRUE(good.err.isEmpty());
  EXPECT_TRUE(QFile::exists(dir.filePath("one.mp3")));
  EXPECT_TRUE(QFile::exists(dir.filePath("two.mp3")));
}

TEST(Convert, OneFileToANamedMp3IsRefusedOverAnExistingOneUnlessForced) {
  QTemporaryDir dir;
  WriteWav(dir.filePath("take.wav"), 44100, 4410);
  const QString mp3 = dir.filePath("named.mp3");
  EXPECT_EQ(Tunelark({"convert", dir.filePath("take.wav"), "-o", mp3, "-q"}).code, 0);
  const qint64 size = QFileInfo(mp3).size();
  EXPECT_GT(size, 0);

  const Result again = Tunelark({"convert", dir.filePath("take.wav"), "-o", mp3});
  EXPECT_EQ(again.code, 1);
  EXPECT_EQ(again.ErrLines().size(), 1) << again.err.constData();
  EXPECT_TRUE(again.err.contains("exists"));
  EXPECT_EQ(Tunelark({"convert", dir.filePath("take.wav"), "-o", mp3, "--force", "-q"}).code, 0);
  EXPECT_EQ(QFileInfo(mp3).size(), size);

  // A WAV the converter refuses: one line, no MP3, no leftovers.
  WriteWav(dir.filePath("float.wav"), 44100, 4410, true);
  const Result refused = Tunelark({"convert", dir.filePath("float.wav")});
  EXPECT_FALSE(refused.crashed);
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.ErrLines().size(), 1) << refused.err.constData();
  EXPECT_EQ(Entries(dir.path()), QStringList({"float.wav", "named.mp3", "take.wav"}));
}

TEST(Convert, CtrlCStopsTheConversionAndKeepsNoPartialMp3) {
  QTemporaryDir dir;
  WriteWav(dir.filePath("long.wav"), 44100, 44100 * 60);
  WriteWav(dir.filePath("next.wav"), 44100, 4410);
  QProcess p;
  Start(p, {"convert", dir.filePath("long.wav"), dir.filePath("next.wav")}, Environment());
  QByteArray err;
  while (!err.contains("Converting") && p.state() == QProcess::Running) {
    p.waitForReadyRead(200);
    err += p.readAllStandardError();
  }
  ::kill(pid_t(p.processId()), SIGINT);
  const Result r = Finish(p, 60000);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("interrupted")) << r.err.constData();
  EXPECT_EQ(Entries(dir.path()), QStringList({"long.wav", "next.wav"}));
}

TEST(Convert, AFileSizeLimitIsReportedAsSuchAndLeavesNoMp3) {
  QTemporaryDir dir;
  WriteWav(dir.filePath("take.wav"), 44100, 44100 * 10);
  QProcess p;
  // The shell's "ulimit -f 64" with SIGXFSZ ignored: a write past 64 KiB fails with EFBIG.
  p.setChildProcessModifier([] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{65536, 65536};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  Start(p, {"convert", dir.filePath("take.wav"), "-o", dir.filePath("take.mp3"), "-q"}, Environment());
  const Result r = Finish(p);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.ErrLines().size(), 1) << r.err.constData();
  EXPECT_TRUE(r.err.contains("File too large")) << r.err.constData();
  EXPECT_FALSE(r.err.contains("Input/output error") || r.err.contains("disk is full")) << r.err.constData();
  EXPECT_EQ(Entries(dir.path()), QStringList({"take.wav"}));
}
