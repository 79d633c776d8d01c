// tunelark score on a .kar song and a voice written here: its lines and
// last "score S" line in both languages, the JSON, and its exit codes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

#include "../lyrics/smf_writer.h"
#include "cli_fixture.h"

using namespace clitest;
using smftest::Track;

namespace {

// Two notes, 60 then 64, under the words "Twinkle star" and "Up high" (480
// ticks a quarter at 500 ms).
void WriteSong(const QString& path) {
  Track tempo;
  tempo.Tempo(0, 500000);
  Track words;
  words.Meta(0, 0x01, "@TStar").Meta(0, 0x01, "\\Twin").Meta(240, 0x01, "kle ");
  words.Meta(240, 0x01, "star").Meta(480, 0x01, "/Up ").Meta(240, 0x01, "high");
  Track notes;
  notes.At(0, {0x90, 60, 90}).At(480, {0x80, 60, 0}).At(0, {0x90, 64, 90}).At(960, {0x80, 64, 0});
  const smftest::Bytes bytes = smftest::File({tempo, words, notes}, 480);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

// The two notes sung 30 ms late, as a 16-bit mono WAV at 22050 Hz.
void WriteVoice(const QString& path) {
  constexpr int kRate = 22050;
  std::vector<short> pcm(std::size_t(kRate * 2), 0);
  double phase = 0;
  for (std::size_t i = std::size_t(0.03 * kRate); i < std::size_t(1.5 * kRate); ++i) {
    const double hz = i < std::size_t(0.53 * kRate) ? 261.63 : 329.63;
    phase += 2 * M_PI * hz / kRate;
    pcm[i] = short(std::lround(12000 * std::sin(phase)));
  }
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  sf_writef_short(f, pcm.data(), sf_count_t(pcm.size()));
  sf_close(f);
}

int LastScore(const Result& r) {
  const QList<QByteArray> lines = r.out.trimmed().split('\n');
  const QRegularExpressionMatch m = QRegularExpression("^score (\\d+)$").match(QString::fromUtf8(lines.last()));
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace

TEST(Score, PrintsLinesThenTheScoreOrTheJsonAndExitsByWhatWentWrong) {
  QTemporaryDir dir;
  const QString song = dir.filePath("star.kar"), voice = dir.filePath("voice.wav");
  WriteSong(song);
  WriteVoice(voice);

  const Result plain = Tunelark({"score", voice, "--accompaniment", song});
  ASSERT_EQ(plain.code, 0) << plain.err.constData();
  const QList<QByteArray> lines = plain.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 3) << plain.out.constData();
  EXPECT_TRUE(lines[0].startsWith("00:00.00-00:01.00")) << lines[0].constData();
  EXPECT_TRUE(lines[0].endsWith("Twinkle star")) << lines[0].constData();
  EXPECT_GE(LastScore(plain), 9000) << plain.out.constData();
  // Chinese texts, the same last line; the difficulty counts.
  const Result zh = Tunelark({"score", voice, "-a", song, "--difficulty", "hard", "--lang", "zh"});
  EXPECT_EQ(zh.code, 0);
  EXPECT_GE(LastScore(zh), 9000) << zh.out.constData();

  const Result json = Tunelark({"score", voice, "-a", song, "--json"});
  ASSERT_EQ(json.code, 0);
  const QJsonObject o = QJsonDocument::fromJson(json.out).object();
  EXPECT_EQ(o.value("score").toInt(-1), LastScore(plain)) << json.out.constData();
  EXPECT_EQ(o.value("difficulty").toString(), "normal");
  EXPECT_EQ(o.value("lines").toArray().size(), 2);

  // A backing without notes, a voice that is no sound: failures.
  const Result backing = Tunelark({"score", voice, "-a", voice});
  EXPECT_EQ(backing.code, 1);
  EXPECT_TRUE(backing.err.contains("no melody")) << backing.err.constData();
  QFile text(dir.filePath("text.wav"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a sound");
  text.close();
  const Result unreadable = Tunelark({"score", text.fileName(), "-a", song});
  EXPECT_EQ(unreadable.code, 1);
  EXPECT_TRUE(unreadable.err.contains("cannot read the voice")) << unreadable.err.constData();
  EXPECT_TRUE(unreadable.out.isEmpty());
  // Bad usage.
  for (const QStringList& bad : {QStringList{"--difficulty", "extreme"}, QStringList{"--key", "13"},
                                 QStringList{"--tempo", "40"}, QStringList{"--channel", "17"}, QStringList{}}) {
    QStringList args{"score", voice};
    if (!bad.isEmpty()) args << "-a" << song;
    const Result r = Tunelark(args + bad);
    EXPECT_EQ(r.code, 2) << bad.join(' ').toStdString() << r.err.constData();
  }
}

// record scores a take against a song with a melody: the singer's voice is
// a tone on the song's one note (A4), so wherever the looped microphone
// began, it is on pitch; with the accompaniment three semitones up it is not.
// The score file follows the take's rules for existing files.
TEST(Score, RecordScoresATakeAgainstTheMelodyAndKeepsTheScoreBesideIt) {
  QTemporaryDir dir;
  const QString song = dir.filePath("a4.mid");
  {
    Track notes;
    notes.Tempo(0, 500000).At(0, {0x90, 69, 90}).At(1920, {0x80, 69, 0});
    const smftest::Bytes bytes = smftest::File({notes}, 480);
    QFile f(song);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
  }
  const QString mic = dir.filePath("mic.wav");
  WriteWav(mic, 44100, 44100);  // 440 Hz
  QProcessEnvironment env = Environment();
  env.insert(QStringLiteral("TUNELARK_AUDIO_IN"), mic);
  auto jsonScore = [&](const QString& name) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return QJsonDocument::fromJson(f.readAll()).object().value("score").toInt(-1);
  };

  Result r = Tunelark({"record", "-a", song, "-o", dir.filePath("take.wav")}, env);
  ASSERT_EQ(r.code, 0) << r.err.constData();
  EXPECT_GE(LastScore(r), 9000) << r.out.constData();
  EXPECT_EQ(jsonScore("take.score.json"), LastScore(r));

  r = Tunelark({"record", "-a", song, "-o", dir.filePath("raised.wav"), "--key", "3", "-q"}, env);
  ASSERT_EQ(r.code, 0) << r.err.constData();
  EXPECT_FALSE(r.out.contains("score ")) << "quiet: no score line\n" << r.out.constData();
  EXPECT_LE(jsonScore("raised.score.json"), 2000);

  // A score file of that name is refused before anything is made.
  QFile::remove(dir.filePath("take.wav"));
  r = Tunelark({"record", "-a", song, "-o", dir.filePath("take.wav")}, env);
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("take.wav")));
  EXPECT_GE(jsonScore("take.score.json"), 9000);
}
