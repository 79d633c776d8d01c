// The command line's help in English and Chinese, its usage errors, the
// device list, and the run script's main job without a display.
#include <QFileInfo>
#include <QRegularExpression>

#include "cli_fixture.h"

using namespace clitest;

TEST(Usage, HelpFollowsTheLocaleForTheProgramAndEachCommand) {
  const QStringList commands = {"record", "convert", "play", "devices"};
  const Result en = Tunelark({"--help"});
  EXPECT_EQ(en.code, 0);
  EXPECT_TRUE(en.out.startsWith("Usage: tunelark")) << en.out.constData();
  for (const QString& c : commands) EXPECT_TRUE(en.out.contains(c.toUtf8()));
  const Result zh = Tunelark({"--help"}, Environment(QStringLiteral("zh_CN.UTF-8")));
  EXPECT_EQ(zh.code, 0);
  EXPECT_TRUE(zh.out.startsWith(QStringLiteral("用法").toUtf8())) << zh.out.constData();

  for (const QString& c : commands) {
    SCOPED_TRACE(c.toStdString());
    const Result h = Tunelark({c, "--help"});
    EXPECT_EQ(h.code, 0);
    EXPECT_TRUE(h.out.contains(("tunelark " + c).toUtf8()));
    const Result z = Tunelark({c, "-h"}, Environment(QStringLiteral("zh_CN.UTF-8")));
    EXPECT_TRUE(z.out.contains(QStringLiteral("用法").toUtf8()));
  }
}

// --lang, anywhere on the line, outranks the locale; an error names the
// file and gives the system's reason in that language.
TEST(Usage, LangChoosesTheLanguageOfHelpAndErrors) {
  const Result en = Tunelark({"--lang", "en", "--help"}, Environment(QStringLiteral("zh_CN.UTF-8")));
  EXPECT_EQ(en.code, 0);
  EXPECT_TRUE(en.out.startsWith("Usage: tunelark")) << en.out.constData();
  const QByteArray take = "/proc/tunelark-lang-take.wav";
  const Result failedEn = Tunelark({"record", "--seconds", "1", "--out", take, "--lang=en"},
                                   Environment(QStringLiteral("zh_CN.UTF-8")));
  EXPECT_EQ(failedEn.code, 1);
  EXPECT_EQ(failedEn.err, "tunelark record: cannot write " + take + ": No such file or directory\n");
  const Result failedZh = Tunelark({"record", "--lang", "zh", "--seconds", "1", "--out", take});
  EXPECT_EQ(failedZh.code, 1);
  EXPECT_EQ(QString::fromUtf8(failedZh.err),
            QStringLiteral("tunelark record: 无法写入 %1: 没有那个文件或目录\n").arg(QString::fromUtf8(take)));
  const Result bad = Tunelark({"--lang", "fr", "devices"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "tunelark: --lang is zh or en\n");
}

TEST(Usage, BadUsageExitsWithTwo) {
  const QStringList cases[] = {
      {"record", "--out", "x.wav"},                               // neither accompaniment nor seconds
      {"record", "--seconds", "3"},                               // no output
      {"record", "-s", "3", "-o", "x.wav", "--quality", "ultra"},  // no such quality
      {"record", "-s", "zero", "-o", "x.wav"},
      {"record", "--bogus"},
      {"record", "-s", "1", "-o", "x.mp3"},                         // a take is a WAV file
      {"convert"},
      {"convert", "a.wav", "b.wav", "-o", "x.mp3"},
      {"convert", "a.wav", "--bitrate", "100"},
      {"play"},
      {"devices", "extra"},
      // key and tempo: whole numbers in range, for an accompaniment
      {"record", "-a", "x.mid", "-o", "x.wav", "--key", "13"},
      {"record", "-a", "x.mid", "-o", "x.wav", "--tempo=49"},
      {"record", "-s", "1", "-o", "x.wav", "--key", "2"},
      {"play", "x.mid", "--key", "-13"},
      {"play", "x.mid", "--tempo", "fast"},
      {"play", "x.mid", "--tempo", "90.5"},
      {"lyrics", "x.mid", "--tempo", "201"},
  };
  for (const QStringList& args : cases) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const Result r = Tunelark(args);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 2) << r.err.constData();
    EXPECT_TRUE(r.err.startsWith("tunelark " + args.first().toUtf8())) << r.err.constData();
    EXPECT_FALSE(QFile::exists("x.wav"));
    EXPECT_FALSE(QFile::exists("x.mp3"));
  }
}

TEST(Usage, WithoutADisplayUnknownWordsAreBadUsageAndAFileSaysTheWindowNeedsOne) {
  QTemporaryDir dir;
  const QString song = dir.filePath("song.kar");
  QFile::copy(Demo(), song);
  QProcessEnvironment env = Environment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  for (const char* word : {"recrod", "--bogus"}) {
    SCOPED_TRACE(word);
    const Result r = Tunelark({word}, env);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.startsWith("tunelark: unknown")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("Usage: tunelark")) << r.err.constData();
  }
  const Result file = Tunelark({song}, env);
  EXPECT_FALSE(file.crashed);
  EXPECT_EQ(file.code, 1);
  ASSERT_EQ(file.ErrLines().size(), 1) << file.err.constData();
  EXPECT_TRUE(file.err.contains("display") && file.err.contains("tunelark record")) << file.err.constData();

  // A platform that needs no display server: the window opens the file.
  env.insert("QT_QPA_PLATFORM", "offscreen");
  QProcess window;
  Start(window, {song}, env);
  EXPECT_FALSE(window.waitForFinished(2000)) << window.readAllStandardError().constData();
  window.kill();
  window.waitForFinished();
}

TEST(Usage, LibrariesKeepOffStderrAndAFallBackToTheVirtualDeviceIsSaidOnce) {
  QTemporaryDir dir;
  // No sound server, no ALSA device, nothing remembered: the card falls
  // back to the virtual device, as on a machine without sound.
  QFile(dir.filePath("empty.conf")).open(QIODevice::WriteOnly);
  QProcessEnvironment none = Environment();
  none.remove("TUNELARK_AUDIO");
  none.remove("TUNELARK_DEBUG");
  none.insert("PULSE_SERVER", "unix:" + dir.filePath("no-server"));
  none.insert("ALSA_CONFIG_PATH", dir.filePath("empty.conf"));
  none.insert("JACK_NO_START_SERVER", "1");
  none.insert("XDG_CONFIG_HOME", dir.path());
  const Result r = Tunelark({"record", "-s", "1", "-o", dir.filePath("take.wav")}, none);
  EXPECT_EQ(r.code, 0) << r.err.constData();
  QList<QByteArray> said;
  for (const QByteArray& line : r.ErrLines())
    if (!line.startsWith("Record")) said << line;
  ASSERT_EQ(said.size(), 1) << r.err.constData();
  EXPECT_TRUE(said[0].contains("virtual device") && said[0].contains("silent")) << r.err.constData();
  const Result devices = Tunelark({"devices"}, none);
  EXPECT_TRUE(devices.err.isEmpty()) << devices.err.constData();

  // An MP3 cut short: its decoder has notes on it.
  WriteWav(dir.filePath("tone.wav"), 44100, 44100);
  ASSERT_EQ(Tunelark({"convert", dir.filePath("tone.wav"), "-q"}).code, 0);
  QFile::resize(dir.filePath("tone.mp3"), 5000);
  const Result cut = Tunelark({"play", dir.filePath("tone.mp3"), "-q"});
  EXPECT_EQ(cut.code, 0) << cut.err.constData();
  EXPECT_TRUE(cut.err.isEmpty()) << cut.err.constData();
}

TEST(Usage, DevicesListsTheVirtualDeviceInUseAndTheSoundfontInUse) {
  QProcessEnvironment env = Environment();
  env.insert("TUNELARK_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2");
  const Result r = Tunelark({"devices"}, env);
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_TRUE(QString::fromUtf8(r.out).contains(QRegularExpression("Virtual device:\\n  .+ \\[in use\\]")))
      << r.out.constData();
  EXPECT_TRUE(r.out.contains("TimGM6mb.sf2 [in use]")) << r.out.constData();
}

TEST(Usage, PlayPlaysATakeToItsEnd) {
  QTemporaryDir dir;
  WriteWav(dir.filePath("take.wav"), 44100, 22050);
  const Result r = Tunelark({"play", dir.filePath("take.wav")});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_TRUE(r.err.contains("Played 0:00.5 / 0:00.5")) << r.err.constData();
  const Result missing = Tunelark({"play", dir.filePath("none.wav")});
  EXPECT_EQ(missing.code, 1);
}

TEST(Usage, TheRunScriptWithoutADisplayPrintsAWavAndAnMp3ThatExist) {
  QTemporaryDir dir;
  QProcessEnvironment env = Environment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  env.insert("TUNELARK_DEMO_OUT", dir.path());
  env.insert("TUNELARK_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2");
  App();
  QProcess p;
  p.setProcessEnvironment(env);
  // The main job of scripts/run.sh (after installing and building), 3 s.
  p.start("bash", {TUNELARK_SOURCE_DIR "/scripts/demo.sh", TUNELARK_BUILD_DIR, "3"});
  ASSERT_TRUE(p.waitForStarted());
  const Result r = Finish(p);
  ASSERT_EQ(r.code, 0) << r.err.constData();
  const QString out = QString::fromUtf8(r.out);
  const auto wav = QRegularExpression("WAV: (\\S+\\.wav)").match(out);
  const auto mp3 = QRegularExpression("MP3: (\\S+\\.mp3)").match(out);
  ASSERT_TRUE(wav.hasMatch()) << out.toStdString();
  ASSERT_TRUE(mp3.hasMatch()) << out.toStdString();
  const RecordedWav w = ReadRecordedWav(wav.captured(1));
  EXPECT_TRUE(w.layoutOk);
  EXPECT_GT(w.peak, 0);
  EXPECT_GT(Decode(mp3.captured(1)).frames, 0);
}
