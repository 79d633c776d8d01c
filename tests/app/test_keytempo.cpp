// The singer's key and tempo in the window: the menu items and their keys,
// the status bar and the lyrics window showing them, the lyrics following
// the tempo, and what is remembered for each song by its content.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include "app/lyricssource.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "lyrics/id3lyrics.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "own_settings.h"
#include "window_fixture.h"

namespace {

using sequencer::KeyTempo;

class KeyTempoWindow : public WindowTest {
 protected:
  void SetUp() override {
    // What is remembered for a song stays in this test's own folder.
    ASSERT_TRUE(settings.dir.isValid());
    WindowTest::SetUp();
  }
  void TearDown() override {
    WindowTest::TearDown();
    SetLyricsReaderForTests({});
  }
  static KeyTempo InForce() { return sequencer::KeyTempoOf(Form1->midiplay->DeviceID()); }
  static std::vector<bool> Items() {
    const TForm1& f = *Form1;
    return {f.Nkeyup->isEnabled(), f.Nkeydown->isEnabled(), f.Nfaster->isEnabled(), f.Nslower->isEnabled(),
            f.Noriginal->isEnabled()};
  }
  static void Press(QAction* item, int times) {
    for (int i = 0; i < times; ++i) item->trigger();
  }
  // The note shown in the status bar, the same in the lyrics window.
  static QString Shown() {
    EXPECT_EQ(LyricsForm->KeyTempoNote(), Form1->Status->PanelNote(0));
    return Form1->Status->PanelNote(0);
  }

  OwnSettings settings;
};

using B = std::vector<bool>;

TEST_F(KeyTempoWindow, MenuItemsStepWithinTheRangesWhileASongIsOpenAndTheWindowsShowIt) {
  TForm1& f = *Form1;
  EXPECT_EQ(Items(), B(5, false));
  EXPECT_EQ(Shown(), QString());

  Browse(Write(QStringLiteral("song.mid"), Song(3000)));
  EXPECT_EQ(Items(), B(5, true));
  EXPECT_EQ(Shown(), QStringLiteral("调 0 · 速度 100%"));

  // The keys win over the focused edit, which would move its cursor.
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.Efilename->setFocus();
  QTest::keyClick(f.Efilename, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(f.Efilename, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(f.Efilename, Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(InForce(), (KeyTempo{2, 95}));
  EXPECT_EQ(Shown(), QStringLiteral("调 +2 · 速度 95%"));
  QTest::keyClick(f.Efilename, Qt::Key_Right, Qt::ControlModifier);
  QTest::keyClick(f.Efilename, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(InForce(), (KeyTempo{1, 100}));

  // Each end is reached in whole steps and held there.
  Press(f.Nkeyup, 20);
  EXPECT_EQ(InForce().key, 12);
  Press(f.Nkeydown, 30);
  EXPECT_EQ(InForce().key, -12);
  Press(f.Nslower, 10);
  EXPECT_EQ(InForce().tempo, 50);
  Press(f.Nslower, 1);
  EXPECT_EQ(InForce().tempo, 50);
  EXPECT_EQ(Shown(), QStringLiteral("调 -12 · 速度 50%"));
  Press(f.Nfaster, 30);
  EXPECT_EQ(InForce().tempo, 200);
  QTest::keyClick(f.Efilename, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(InForce(), KeyTempo{});
  EXPECT_EQ(Shown(), QStringLiteral("调 0 · 速度 100%"));

  // A file that does not open leaves no song: nothing to change or show.
  Browse(Write(QStringLiteral("broken.mid"), {'M', 'T', 'h', 'd', 0, 0}));
  EXPECT_EQ(errors.size(), 1);
  EXPECT_EQ(Items(), B(5, false));
  EXPECT_EQ(Shown(), QString());
  Press(f.Nkeyup, 1);  // disabled: nothing happens
  EXPECT_EQ(Shown(), QString());
}

// The lyrics are timed in the song's own time: at half speed the window
// shows half as far into the song as has been heard.
TEST_F(KeyTempoWindow, TheLyricsFollowTheSongAtTheTempoInForce) {
  TForm1& f = *Form1;
  Browse(Write(QStringLiteral("song.mid"), Song(6000)));
  Press(f.Nslower, 10);
  ASSERT_EQ(InForce().tempo, 50);
  f.btmidiplay->click();
  soundcard::Advance(44100 * 2);
  const std::int64_t heard = f.midiplay->Position();
  ASSERT_GT(heard, 0);
  LyricsForm->ShowPosition();
  EXPECT_NEAR(double(LyricsForm->ShownMs()), double(heard) / 2, 1);
  f.btstop->click();
}

TEST_F(KeyTempoWindow, ASongsKeyAndTempoAreRestoredForItsContentUnderAnyName) {
  TForm1& f = *Form1;
  const QString song = Write(QStringLiteral("song.mid"), Song(3000));
  Browse(song);
  Press(f.Nkeyup, 3);
  Press(f.Nslower, 2);
  ASSERT_EQ(InForce(), (KeyTempo{3, 90}));

  Browse(Write(QStringLiteral("other.mid"), Song(2500)));
  EXPECT_EQ(InForce(), KeyTempo{});
  EXPECT_EQ(Shown(), QStringLiteral("调 0 · 速度 100%"));

  const QString copy = dir.filePath(QStringLiteral("复制的歌.mid"));
  ASSERT_TRUE(QFile::copy(song, copy));
  Browse(copy);
  EXPECT_EQ(InForce(), (KeyTempo{3, 90}));
  EXPECT_EQ(Shown(), QStringLiteral("调 +3 · 速度 90%"));

  // Back to the written key and tempo: nothing is kept for the song.
  f.Noriginal->trigger();
  QSettings songs(QStringLiteral("Tunelark"), QStringLiteral("Songs"));
  songs.beginGroup(QStringLiteral("KeyTempo"));
  EXPECT_TRUE(songs.childGroups().isEmpty()) << songs.childGroups().join(' ').toStdString();
  Browse(song);
  EXPECT_EQ(InForce(), KeyTempo{});
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// A take's MP3 carries the words as heard in it: slowed down half way
// through, the words after the change come twice as far apart.
TEST_F(KeyTempoWindow, ATakesMp3TimesTheWordsAtEachTempoInForceDuringIt) {
  SetLyricsReaderForTests([](const QString&, const QString&) {
    lyrics::Lyrics words;
    lyrics::Line line;
    line.newPage = true;
    line.syllables = {{500, 1000, "一"}, {1000, 2000, "二"}, {2000, 3000, "三"}, {3000, 3500, "四"}};
    words.lines = {line};
    return words;
  });
  TForm1& f = *Form1;
  Browse(Write(QStringLiteral("song.mid"), Song(6000)));
  answers << dir.filePath(QStringLiteral("take.wav"));
  f.btnew->click();
  f.btrec->click();
  for (int i = 0; i < 150; ++i) soundcard::AdvanceAndPump(441);  // 1.5 s
  const std::int64_t changedAt = f.midiplay->Position();
  Press(f.Nslower, 10);
  ASSERT_EQ(InForce().tempo, 50);
  for (int i = 0; i < 50; ++i) soundcard::AdvanceAndPump(441);
  f.btwstop->click();

  const QString mp3 = dir.filePath(QStringLiteral("take.mp3"));
  answers << mp3;
  f.btsave->click();
  const lyrics::Lyrics tagged = lyrics::ReadMp3Lyrics(QFile::encodeName(mp3).toStdString(), "");
  ASSERT_EQ(tagged.lines.size(), 1u);
  ASSERT_EQ(tagged.lines[0].syllables.size(), 4u);
  const double at = double(changedAt);
  const std::vector<double> heard = {500, 1000, at + (2000 - at) * 2, at + (3000 - at) * 2};
  for (std::size_t i = 0; i < heard.size(); ++i)
    EXPECT_NEAR(double(tagged.lines[0].syllables[i].startMs), heard[i], 2) << i;
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
