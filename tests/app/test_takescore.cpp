// A take recorded in the window with a song that has a melody: the dry voice
// is scored while it records, the score stands in the status bar, and the
// voice and the score are kept beside the take.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QToolButton>
#include <QAction>

#include <cmath>
#include <vector>

#include "app/statusbar.h"
#include "platform/sequencer/seqcontrol.h"
#include "recplay/MMWRec.h"
#include "own_settings.h"
#include "window_fixture.h"

namespace {

// Middle C held from 0 to `ms` - 100 in a song of `ms` milliseconds (one
// tick a millisecond).
std::vector<std::uint8_t> HeldNote(std::uint32_t ms) {
  auto delta = [](std::uint32_t d) {
    std::vector<std::uint8_t> v = {std::uint8_t(d & 0x7F)};
    while (d >>= 7) v.insert(v.begin(), std::uint8_t(0x80 | (d & 0x7F)));
    return v;
  };
  std::vector<std::uint8_t> track = {0x00, 0x90, 60, 100};
  for (auto [d, bytes] : {std::pair{ms - 100, std::vector<std::uint8_t>{0x80, 60, 0}},
                          std::pair{100u, std::vector<std::uint8_t>{0xFF, 0x2F, 0x00}}}) {
    const auto v = delta(d);
    track.insert(track.end(), v.begin(), v.end());
    track.insert(track.end(), bytes.begin(), bytes.end());
  }
  std::vector<std::uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 40, 'M', 'T', 'r', 'k', 0, 0, 0,
                                 std::uint8_t(track.size())};
  f.insert(f.end(), track.begin(), track.end());
  return f;
}

class TakeScore : public WindowTest {
 protected:
  void SetUp() override {
    // The remembered settings (keep the voice, difficulty) stay in this
    // test's own folder, at their defaults.
    ASSERT_TRUE(settings.dir.isValid());
    WindowTest::SetUp();
  }
  // Records a take of `ms` into `name` while the microphone sings `hz`.
  int Sing(const QString& name, double hz, int ms) {
    std::vector<float> tone(2 * 44100);
    for (std::size_t i = 0; i < tone.size() / 2; ++i)
      tone[2 * i] = tone[2 * i + 1] = float(0.3 * std::sin(2 * M_PI * hz * double(i) / 44100.0));
    soundcard::SetMicrophoneSamples(tone, true);
    answers << dir.filePath(name);
    Form1->btnew->click();
    Form1->btrec->click();
    for (int i = 0; i < ms / 10; ++i) soundcard::AdvanceAndPump(441);
    Form1->btwstop->click();
    const QString shown = Form1->Status->PanelNote(1);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("得分 "))) << shown.toStdString();
    return shown.mid(3).toInt();
  }
  OwnSettings settings;
};

// The song's one note is middle C: a voice singing it scores nearly full
// marks, and the same voice with the accompaniment three semitones up misses.
TEST_F(TakeScore, ASungTakeIsScoredShownAndKeptBesideTheTakeAndTheKeyMovesTheTarget) {
  Browse(Write(QStringLiteral("song.mid"), HeldNote(3000)));

  // A voice file of that name from before: to the trash, not written over.
  Write(QStringLiteral("take.voice.wav"), {'o', 'l', 'd'});
  const int inTune = Sing(QStringLiteral("take.wav"), 261.63, 3300);
  QFile old(dir.filePath(QStringLiteral("home/.local/share/Trash/files/take.voice.wav")));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("old"));
  EXPECT_GE(inTune, 9000);
  QFile json(dir.filePath(QStringLiteral("take.score.json")));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  EXPECT_EQ(QJsonDocument::fromJson(json.readAll()).object().value(QStringLiteral("score")).toInt(), inTune);
  const QFileInfo take(dir.filePath(QStringLiteral("take.wav"))), voice(dir.filePath(QStringLiteral("take.voice.wav")));
  ASSERT_TRUE(voice.exists());
  EXPECT_EQ(voice.size(), take.size());

  for (int i = 0; i < 3; ++i) Form1->Nkeyup->trigger();
  EXPECT_LE(Sing(QStringLiteral("raised.wav"), 261.63, 3300), 2000);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
