// tunelark record, end to end: takes with the demo accompaniment at each
// quality (layout, rate, length, sound, MP3), a take finished by SIGINT and
// SIGTERM, and inputs it must refuse without leaving anything behind.
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <csignal>
#include <thread>
#include <unistd.h>

#include "cli_fixture.h"

using namespace clitest;

namespace {

// One buffer of the recorder: 3048 bytes of 16-bit stereo.
constexpr std::uint32_t kBufferFrames = 3048 / 4;
// An MP3 decodes to whole frames (1152 samples, 576 below 32 kHz) and
// carries the encoder's delay and padding (576 + 529 samples) when there
// is no gapless information.
constexpr std::int64_t kMp3Slack = 1152 + 1105;

bool HasControlCharacters(const QByteArray& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n') return true;
  return false;
}

}  // namespace

TEST(Record, DemoForThreeSecondsAtEachQualityGivesTheRecordersWavAndAMatchingMp3) {
  QTemporaryDir dir;
  struct Case {
    const char* quality;
    std::uint32_t rate;
    bool quiet;
  } cases[] = {{"high", 44100, false}, {"medium", 22050, true}, {"low", 11025, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.quality);
    const QString wav = dir.filePath(QStringLiteral("take-%1.wav").arg(QLatin1String(c.quality)));
    const QString mp3 = dir.filePath(QStringLiteral("take-%1.mp3").arg(QLatin1String(c.quality)));
    QStringList args = {"record", "--accompaniment", Demo(), "--seconds", "3", "--quality",
                        QLatin1String(c.quality), "--out", wav, "--mp3", mp3};
    if (c.quiet) args << "--quiet";
    const Result r = Tunelark(args);
    ASSERT_FALSE(r.crashed);
    ASSERT_EQ(r.code, 0) << r.err.constData();
    // stderr is not a terminal here: plain lines, or nothing with --quiet.
    EXPECT_FALSE(HasControlCharacters(r.err)) << r.err.constData();
    if (c.quiet)
      EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    else
      EXPECT_TRUE(r.err.contains("Recording")) << r.err.constData();
    EXPECT_TRUE(r.out.contains(wav.toUtf8()));
    EXPECT_TRUE(r.out.contains(mp3.toUtf8()));

    const RecordedWav w = ReadRecordedWav(wav);
    EXPECT_TRUE(w.layoutOk);
    EXPECT_TRUE(w.hasFact);
    EXPECT_EQ(w.tag, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.rate, c.rate);
    EXPECT_NEAR(double(w.frames), 3.0 * c.rate, double(kBufferFrames));
    // The microphone is silent: everything heard is the accompaniment.
    EXPECT_GT(w.peak, 1000);

    const Decoded d = Decode(mp3);
    EXPECT_EQ(d.rate, int(c.rate));
    EXPECT_EQ(d.channels, 2);
    EXPECT_GE(d.frames, std::int64_t(w.frames));
    EXPECT_LE(d.frames, std::int64_t(w.frames) + kMp3Slack);
  }
  // Each take, its MP3 and its score (the demo has a melody).
  EXPECT_EQ(Entries(dir.path()).size(), 9) << Entries(dir.path()).join(' ').toStdString();
}

// With a round trip L the recording mix delays the accompaniment by L, so
// a take with an accompaniment ends at the accompaniment's last frame plus
// L, to the frame and the same every time, with the accompaniment sounding
// up to its last frame: a 2 s MIDI song (an organ note held to the end) at
// 44100 Hz, twice, and a 2 s float WAV at 22050 Hz. The virtual device
// simulates L.
TEST(Record, ATakeEndsWhereTheDelayedAccompanimentEndsToTheFrameEveryTime) {
  QTemporaryDir dir;
  const QString song = dir.filePath("organ.mid");
  {
    // Format 0, 480 ticks a quarter at the default 120 beats a minute: the
    // note and the track end at tick 1920, 2.000 s.
    const unsigned char bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                   'M', 'T', 'r', 'k', 0, 0, 0, 15,
                                   0x00, 0xC0, 19,                 // church organ
                                   0x00, 0x90, 60, 100,            // note on
                                   0x8F, 0x00, 0x80, 60, 0,        // 1920 ticks later: off
                                   0x00, 0xFF, 0x2F, 0x00};
    QFile f(song);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  }
  const QString wave = dir.filePath("tone.wav");
  WriteWav(wave, 44100, 88200, true);
  QProcessEnvironment env = Environment();
  env.insert("TUNELARK_AUDIO_LATENCY_MS", "200");
  const std::uint32_t expected = 88200 + 8820;
  struct Case {
    QString accompaniment;
    const char* quality;
    std::uint32_t frames;
  } cases[] = {{song, "high", expected}, {song, "high", expected}, {wave, "medium", expected / 2}};
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(run);
    const QString take = dir.filePath(QStringLiteral("take-%1.wav").arg(run++));
    const Result r = Tunelark({"record", "-q", "-a", c.accompaniment, "--quality", c.quality, "-o", take}, env);
    ASSERT_EQ(r.code, 0) << r.err.constData();
    const RecordedWav w = ReadRecordedWav(take);
    EXPECT_TRUE(w.layoutOk);
    EXPECT_EQ(w.frames, c.frames);
    // The last 10 ms still hold the accompaniment.
    QFile f(take);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    int tail = 0;
    const qsizetype end = 46 + qsizetype(w.frames) * 4;
    for (qsizetype i = end - qsizetype(w.rate / 100) * 4; i + 1 < end; i += 2)
      tail = std::max(tail, std::abs(int(std::int16_t(U16(b, i)))));
    EXPECT_GT(tail, 1000);
  }
}

TEST(Record, WithoutAccompanimentASilentMicrophoneGivesSilence) {
  QTemporaryDir dir;
  const QString wav = dir.filePath("mic.wav");
  const Result r = Tunelark({"record", "--seconds", "1", "--out", wav, "-q"});
  ASSERT_EQ(r.code, 0) << r.err.constData();
  const RecordedWav w = ReadRecordedWav(wav);
  EXPECT_TRUE(w.layoutOk);
  EXPECT_NEAR(double(w.frames), 44100.0, double(kBufferFrames));
  EXPECT_EQ(w.peak, 0);
}

TEST(Record, SigintSigtermOrSighupAfterASecondOfAudioFinishesTheTakeWithExitCodeZero) {
  QTemporaryDir dir;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const QString wav = dir.filePath(QStringLiteral("stopped-%1.wav").arg(signal));
    QProcess p;
    Start(p, {"record", "--accompaniment", Demo(), "--out", wav}, Environment());
    // The first progress line comes when recording has begun.
    QByteArray err;
    while (!err.contains("Recording") && p.state() == QProcess::Running) {
      p.waitForReadyRead(200);
      err += p.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("Recording")) << err.constData();
    // Stop once a second of audio is in the file (its data is written out
    // every half second).
    constexpr qint64 kSecond = 46 + 4 * 44100;
    for (int i = 0; i < 1000 && QFileInfo(wav).size() < kSecond && p.state() == QProcess::Running; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(QFileInfo(wav).size(), kSecond);
    ::kill(pid_t(p.processId()), signal);
    const Result r = Finish(p, 30000);
    ASSERT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 0) << r.err.constData();
    const RecordedWav w = ReadRecordedWav(wav);
    EXPECT_TRUE(w.layoutOk);
    EXPECT_TRUE(w.hasFact);
    EXPECT_GE(w.frames, 44100);     // nothing on disk is lost
    EXPECT_LT(w.frames, 3 * 44100);  // and the take stops
    EXPECT_GT(w.peak, 0);
  }
  // Each take and its score (the demo has a melody).
  EXPECT_EQ(Entries(dir.path()).size(), 6) << Entries(dir.path()).join(' ').toStdString();
}

TEST(Record, BadInputFailsWithOneLineAndLeavesNoFile) {
  QTemporaryDir dir;
  const QString text = dir.filePath("words.mid");
  {
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("These are words, not music.\n");
  }
  const QString existing = dir.filePath("existing.wav");
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
  }
  // A folder nobody may write into (root writes anywhere but /proc).
  QString locked = dir.filePath("locked");
  QDir().mkdir(locked);
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
  if (::geteuid() == 0) locked = QStringLiteral("/proc");

  const QString out = dir.filePath("take.wav");
  struct Case {
    const char* what;
    QStringList args;
    const char* reason;
  } cases[] = {
      {"missing accompaniment", {"record", "-a", dir.filePath("none.mid"), "-o", out, "-s", "1"}, "not found"},
      {"text named .mid", {"record", "-a", text, "-o", out, "-s", "1"}, "cannot open the accompaniment"},
      {"unwritable folder", {"record", "-s", "1", "-o", locked + "/take.wav"}, "cannot write"},
      {"existing output", {"record", "-s", "1", "-o", existing}, "exists"},
      {"existing MP3", {"record", "-s", "1", "-o", out, "--mp3", existing}, "exists"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result r = Tunelark(c.args);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.ErrLines().size(), 1) << r.err.constData();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.constData();
    // English texts only, the lower layers' reasons included.
    EXPECT_FALSE(QString::fromUtf8(r.err).contains(QRegularExpression("\\p{Han}"))) << r.err.constData();
    EXPECT_EQ(Entries(dir.path()), QStringList({"existing.wav", "words.mid"}));
  }
  QFile kept(existing);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
  kept.close();

  // --force replaces it with a finished take.
  const Result forced = Tunelark({"record", "-s", "1", "-o", existing, "--force", "-q"});
  EXPECT_EQ(forced.code, 0) << forced.err.constData();
  EXPECT_TRUE(ReadRecordedWav(existing).layoutOk);
  EXPECT_EQ(Entries(dir.path()), QStringList({"existing.wav", "words.mid"}));
}

TEST(Record, ATakeCutShortByAFileThatCannotGrowIsAFailureAndKeepsWhatWasRecorded) {
  QTemporaryDir dir;
  const QString wav = dir.filePath("cut.wav");
  App();
  QProcess p;
  p.setProcessEnvironment(Environment());
  // Files of at most 100 KB (about 0.6 s), the write failing instead of
  // killing the process: as a full disk looks to the recorder.
  p.start("bash", {"-c", "ulimit -f 100; trap '' XFSZ; exec \"$0\" record -s 3 -o \"$1\" --mp3 \"$2\"",
                   TUNELARK_BIN, wav, dir.filePath("cut.mp3")});
  ASSERT_TRUE(p.waitForStarted());
  const Result r = Finish(p);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.code, 1);
  ASSERT_FALSE(r.ErrLines().isEmpty());
  EXPECT_TRUE(r.ErrLines().last().contains("stopped after")) << r.err.constData();
  EXPECT_EQ(Entries(dir.path()), QStringList({"cut.wav"}));
  EXPECT_GT(QFileInfo(wav).size(), 46);
}

TEST(Record, ASignalBeforeTheRecordingStartsLeavesNothingBehind) {
  QTemporaryDir dir;
  QProcessEnvironment env = Environment();
  // The large soundfont takes a while to load: the signal comes meanwhile.
  const QString large = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
  if (QFile::exists(large)) env.insert("TUNELARK_SOUNDFONT", large);
  QProcess p;
  Start(p, {"record", "-a", Demo(), "-o", dir.filePath("early.wav"), "--mp3", dir.filePath("early.mp3")}, env);
  // The reserved temporary names show that the command runs (and answers
  // signals); the accompaniment is loading then.
  for (int i = 0; i < 500 && Entries(dir.path()).isEmpty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(Entries(dir.path()).isEmpty());
  ::kill(pid_t(p.processId()), SIGINT);
  const Result r = Finish(p, 60000);
  EXPECT_FALSE(r.crashed);
  if (r.code == 1) {
    EXPECT_TRUE(r.err.contains("interrupted")) << r.err.constData();
    EXPECT_TRUE(Entries(dir.path()).isEmpty()) << Entries(dir.path()).join(' ').toStdString();
  } else {
    // The recording had begun after all: a finished take, its MP3 and its
    // score.
    EXPECT_EQ(r.code, 0) << r.err.constData();
    EXPECT_EQ(Entries(dir.path()), QStringList({"early.mp3", "early.score.json", "early.wav"}));
  }
}

// --stems: the voice file holds the take's frames of the microphone alone
// (a tone written here plays as the microphone); an existing voice file is
// refused before anything is made, and left as it was.
TEST(Record, StemsKeepTheMicrophoneAloneForTheTakesFrames) {
  QTemporaryDir dir;
  const QString mic = dir.filePath("mic.wav");
  WriteWav(mic, 44100, 44100);
  QProcessEnvironment env = Environment();
  env.insert(QStringLiteral("TUNELARK_AUDIO_IN"), mic);
  auto samples = [](const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    const qsizetype data = b.indexOf("data") + 8;  // no "data" elsewhere in these headers
    std::vector<std::int16_t> s(std::size_t(b.size() - data) / 2);
    std::memcpy(s.data(), b.constData() + data, s.size() * 2);
    return s;
  };

  // Without an accompaniment the take is the microphone alone too.
  const QString alone = dir.filePath("alone.wav");
  Result r = Tunelark({"record", "-s", "1", "-o", alone, "--stems", "-q"}, env);
  ASSERT_EQ(r.code, 0) << r.err.constData();
  EXPECT_EQ(ReadRecordedWav(dir.filePath("alone.voice.wav")).frames, ReadRecordedWav(alone).frames);
  EXPECT_EQ(samples(dir.filePath("alone.voice.wav")), samples(alone));

  const QString take = dir.filePath("sung.wav");
  r = Tunelark({"record", "-a", Demo(), "-s", "2", "-o", take, "--stems", "-q"}, env);
  ASSERT_EQ(r.code, 0) << r.err.constData();
  const RecordedWav t = ReadRecordedWav(take), v = ReadRecordedWav(dir.filePath("sung.voice.wav"));
  EXPECT_TRUE(v.layoutOk);
  EXPECT_TRUE(v.hasFact);
  EXPECT_EQ(v.rate, t.rate);
  EXPECT_EQ(v.frames, t.frames);
  EXPECT_GE(v.frames, 2u * 44100 - kBufferFrames);
  // Frame for frame the looped microphone, from wherever the take began;
  // the take itself also holds the accompaniment.
  const auto m = samples(mic), voice = samples(dir.filePath("sung.voice.wav")), sung = samples(take);
  ASSERT_GE(m.size(), 2u * 44100);
  std::size_t offset = 0;
  while (offset < m.size() && !std::equal(voice.begin(), voice.begin() + 8, m.begin() + offset)) offset += 2;
  ASSERT_LT(offset, m.size()) << "the voice starts on a frame of the microphone";
  auto matching = [&](const std::vector<std::int16_t>& s) {
    std::size_t same = 0;
    for (std::size_t i = 0; i < s.size(); ++i) same += s[i] == m[(offset + i) % m.size()];
    return double(same) / double(s.size());
  };
  EXPECT_GT(matching(voice), 0.99);
  EXPECT_LT(matching(sung), 0.5);

  // An existing voice file without --force: nothing is made, it is kept.
  QFile old(dir.filePath("again.voice.wav"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("keep me");
  old.close();
  const QStringList before = Entries(dir.path());
  r = Tunelark({"record", "-s", "1", "-o", dir.filePath("again.wav"), "--stems", "-q"}, env);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("exists")) << r.err.constData();
  EXPECT_EQ(Entries(dir.path()), before);
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("keep me"));
  old.close();
  // --force replaces it with the finished voice.
  r = Tunelark({"record", "-s", "1", "-o", dir.filePath("again.wav"), "--stems", "--force", "-q"}, env);
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_EQ(ReadRecordedWav(dir.filePath("again.voice.wav")).frames, ReadRecordedWav(dir.filePath("again.wav")).frames);
}

// The files made beside the take have names of their own choosing: with
// --force, one that is a link to the take or to the song is refused, and
// what it leads to is left as it was.
TEST(Record, FilesBesideTheTakeNeverReplaceTheTakeOrTheSong) {
  QTemporaryDir dir;
  auto bytes = [](const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  };
  const QString song = dir.filePath("song.mid");
  ASSERT_TRUE(QFile::copy(Demo(), song));
  const QByteArray songBytes = bytes(song);
  const QString take = dir.filePath("take.wav");
  {
    QFile f(take);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
  }
  ASSERT_TRUE(QFile::link(take, dir.filePath("take.voice.wav")));
  Result r = Tunelark({"record", "-s", "1", "-o", take, "--stems", "--force", "-q"});
  EXPECT_EQ(r.code, 2);  // refused as the other clashing names are
  EXPECT_TRUE(r.err.contains("voice file")) << r.err.constData();
  EXPECT_EQ(bytes(take), QByteArray("keep me"));

  ASSERT_TRUE(QFile::remove(dir.filePath("take.voice.wav")));
  ASSERT_TRUE(QFile::link(song, dir.filePath("take.score.json")));
  r = Tunelark({"record", "-a", song, "-s", "1", "-o", take, "--force", "-q"});
  EXPECT_EQ(r.code, 2);  // refused as the other clashing names are
  EXPECT_TRUE(r.err.contains("score file")) << r.err.constData();
  EXPECT_EQ(bytes(song), songBytes);
  EXPECT_EQ(bytes(take), QByteArray("keep me"));
}
