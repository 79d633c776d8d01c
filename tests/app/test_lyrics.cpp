// The lyrics window: what it shows when, the sweep through a syllable as
// drawn, and how it follows the accompaniment on the stepped card.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QTest>
#include <QToolButton>

#include <cstdint>
#include <vector>

#include "app/config.h"
#include "app/lyricslayout.h"
#include "app/lyricssettings.h"
#include "app/lyricssource.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "lyrics/id3lyrics.h"
#include "own_settings.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "window_fixture.h"

namespace {

lyrics::Line Line(std::vector<lyrics::Syllable> syllables, bool newPage = false) {
  lyrics::Line line;
  line.syllables = std::move(syllables);
  line.newPage = newPage;
  return line;
}

// Page one: "一二三" from 1.0 s to 2.1 s, "四" from 2.5 s to 3.0 s; page
// two: "五六" from 4.0 s to 5.0 s.
lyrics::Lyrics TwoPages() {
  lyrics::Lyrics words;
  words.lines = {Line({{1000, 1400, "一"}, {1400, 1500, "二"}, {1500, 2100, "三"}}, true),
                 Line({{2500, 3000, "四"}}), Line({{4000, 4800, "五"}, {4800, 5000, "六"}}, true)};
  return words;
}

TEST(LyricsLayout, TheSweepMovesByTimeWithinEachSyllableAndTheNextPageShowsAhead) {
  const lyrics::Lyrics words = TwoPages();
  const lyrics::Line& first = words.lines[0];
  using lyricsview::SungFraction;
  EXPECT_EQ(SungFraction(first.syllables[0], 999), 0.0);
  EXPECT_DOUBLE_EQ(SungFraction(first.syllables[0], 1100), 0.25);
  EXPECT_DOUBLE_EQ(SungFraction(first.syllables[0], 1399), 0.9975);
  EXPECT_EQ(SungFraction(first.syllables[0], 1400), 1.0);
  EXPECT_EQ(SungFraction(lyrics::Syllable{3000, 3000, "x"}, 3000), 1.0);

  // Syllables drawn 40, 60 and 30 pixels wide.
  const std::vector<double> edges = {0, 40, 100, 130};
  using lyricsview::SungWidth;
  EXPECT_EQ(SungWidth(first, edges, 900), 0.0);
  EXPECT_DOUBLE_EQ(SungWidth(first, edges, 1100), 10.0);   // a quarter of 40
  EXPECT_DOUBLE_EQ(SungWidth(first, edges, 1450), 70.0);   // 40 + half of 60
  EXPECT_DOUBLE_EQ(SungWidth(first, edges, 1800), 115.0);  // 100 + half of 30
  EXPECT_EQ(SungWidth(first, edges, 2100), 130.0);
  EXPECT_EQ(SungWidth(first, edges, 60000), 130.0);

  using S = lyricsview::Slots;
  using lyricsview::SlotsAt;
  EXPECT_EQ(SlotsAt(words, 0), (S{0, 1}));     // before the first line: it is coming
  EXPECT_EQ(SlotsAt(words, 1450), (S{0, 1}));
  EXPECT_EQ(SlotsAt(words, 2100), (S{1, 2}));  // sung: the next line takes its place
  EXPECT_EQ(SlotsAt(words, 2700), (S{1, 2}));  // page two's first line under page one's last
  EXPECT_EQ(SlotsAt(words, 4500), (S{2, -1}));
  EXPECT_EQ(SlotsAt(words, 9000), (S{2, -1}));  // the last line stays
  EXPECT_EQ(SlotsAt(lyrics::Lyrics{}, 1000), (S{-1, -1}));
}

// The columns of the upper half that hold the sung and the unsung colour.
struct Columns {
  int inkLeft = 1 << 20, inkRight = -1;
  int sungRight = -1, unsungLeft = 1 << 20;
};
Columns Scan(const QImage& image) {
  Columns c;
  for (int y = 0; y < image.height() / 2; ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor p = image.pixelColor(x, y);
      const bool sung = p.red() > 230 && p.green() > 170 && p.green() < 220 && p.blue() < 80;
      const bool unsung = p.red() > 220 && p.green() > 220 && p.blue() > 220;
      if (sung || unsung) c.inkLeft = std::min(c.inkLeft, x), c.inkRight = std::max(c.inkRight, x);
      if (sung) c.sungRight = std::max(c.sungRight, x);
      if (unsung) c.unsungLeft = std::min(c.unsungLeft, x);
    }
  return c;
}

class LyricsWindow : public ::testing::Test {
 protected:
  OwnSettings settings;
};

TEST_F(LyricsWindow, TheSungColourSweepsThroughASyllableAsDrawnAndF11GoesFullScreen) {
  TLyricsWindow w;
  w.resize(600, 240);
  lyrics::Lyrics words;
  // Two solid squares a syllable, the second syllable shorter.
  words.lines = {Line({{1000, 2000, "■■"}, {2000, 2400, "■■"}}, true)};
  w.SetLyrics(words);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

  w.ShowAt(0);
  const Columns unsung = Scan(w.grab().toImage());
  ASSERT_LT(unsung.inkLeft, unsung.inkRight);
  EXPECT_EQ(unsung.sungRight, -1);
  const double width = unsung.inkRight - unsung.inkLeft;

  // Half way through the first syllable: a quarter of the line.
  w.ShowAt(1500);
  const Columns quarter = Scan(w.grab().toImage());
  EXPECT_NEAR(quarter.sungRight, unsung.inkLeft + width / 4, width * 0.05);
  EXPECT_NEAR(quarter.unsungLeft, unsung.inkLeft + width / 4, width * 0.05);
  // A quarter through the second: five eighths.
  w.ShowAt(2100);
  const Columns later = Scan(w.grab().toImage());
  EXPECT_NEAR(later.sungRight, unsung.inkLeft + width * 5 / 8, width * 0.05);
  w.ShowAt(2400);
  const Columns all = Scan(w.grab().toImage());
  EXPECT_EQ(all.unsungLeft, 1 << 20);
  EXPECT_NEAR(all.sungRight, unsung.inkRight, 1);

  // Another song without words, while this line is sung: nothing of it
  // stays on the window.
  w.SetLyrics({});
  const Columns cleared = Scan(w.grab().toImage());
  EXPECT_EQ(cleared.inkRight, -1);

  QTest::keyClick(&w, Qt::Key_F11);
  EXPECT_TRUE(w.isFullScreen());
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_FALSE(w.isFullScreen());
}

// The songs whose name starts with "words" have TwoPages(); the reader's
// calls are counted with the encoding asked for.
class LyricsFollow : public WindowTest {
 protected:
  void SetUp() override {
    SetLyricsReaderForTests([this](const QString& path, const QString& encoding) {
      asked << encoding;
      return QFileInfo(path).fileName().startsWith(QStringLiteral("words")) ? TwoPages() : lyrics::Lyrics{};
    });
    WindowTest::SetUp();
  }
  void TearDown() override {
    WindowTest::TearDown();
    SetLyricsReaderForTests({});
  }

  OwnSettings settings;
  QStringList asked;
};

TEST_F(LyricsFollow, OpensWithASongWithWordsAndFollowsPlayPauseStop) {
  TForm1& f = *Form1;
  TLyricsWindow& w = *LyricsForm;
  Browse(Write(QStringLiteral("plain.mid"), Song(3000)));
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(w.Words().empty());
  Browse(Write(QStringLiteral("words.mid"), Song(6000)));
  EXPECT_TRUE(w.isVisible());
  ASSERT_EQ(w.Words().lines.size(), 3u);
  EXPECT_EQ(asked, (QStringList{QString(), QString()}));  // detected, as the settings start
  EXPECT_FALSE(w.Following());

  f.btmidiplay->click();
  EXPECT_TRUE(w.Following());
  soundcard::Advance(44100 * 23 / 10);  // 2.3 s
  w.ShowPosition();
  EXPECT_NEAR(double(w.ShownMs()), 2300, 20);
  EXPECT_EQ(w.ShownSlots(), (lyricsview::Slots{1, 2}));

  f.btpause->click();
  EXPECT_FALSE(w.Following());
  const std::int64_t paused = w.ShownMs();
  EXPECT_EQ(paused, f.midiplay->Position());  // no sound server: nothing heard late
  soundcard::Advance(44100);
  w.ShowPosition();
  EXPECT_EQ(w.ShownMs(), paused);

  f.btmidiplay->click();
  soundcard::Advance(44100 * 2);
  w.ShowPosition();
  EXPECT_NEAR(double(w.ShownMs()), double(paused) + 2000, 20);
  EXPECT_EQ(w.ShownSlots(), (lyricsview::Slots{2, -1}));

  f.btstop->click();  // rewinds
  EXPECT_FALSE(w.Following());
  EXPECT_EQ(w.ShownMs(), 0);
  EXPECT_EQ(w.ShownSlots(), (lyricsview::Slots{0, 1}));

  // Another encoding reads the words again, with it.
  Form2->LyricsCoding->setCurrentIndex(2);
  emit Form2->LyricsCoding->activated(2);
  EXPECT_EQ(asked.size(), 3);
  EXPECT_EQ(asked.value(2), QStringLiteral("GB18030"));
  EXPECT_EQ(LyricsEncoding(), QStringLiteral("GB18030"));

  // Closed, it comes back through the menu, where it was.
  w.setGeometry(40, 50, 500, 200);
  w.close();
  EXPECT_FALSE(w.isVisible());
  f.Nlyrics->trigger();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(LyricsWindowGeometry(), QRect(40, 50, 500, 200));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Words that came out garbled are read again in the encoding the user
// chooses while the take records; the take's MP3 carries them as read then,
// named after the song.
TEST_F(LyricsFollow, ATakesMp3CarriesTheWordsInTheEncodingChosenDuringIt) {
  SetLyricsReaderForTests([](const QString&, const QString& encoding) {
    lyrics::Lyrics words;
    words.lines = {Line({{500, 1000, encoding.isEmpty() ? "\xC3\xB4\xC3\xB7" : "春风"}}, true)};
    return words;
  });
  TForm1& f = *Form1;
  Browse(Write(QStringLiteral("song.mid"), Song(6000)));
  answers << dir.filePath(QStringLiteral("take.wav"));
  f.btnew->click();
  f.btrec->click();
  for (int i = 0; i < 75; ++i) soundcard::AdvanceAndPump(441);  // half way through the line
  LyricsForm->ShowPosition();
  Form2->LyricsCoding->setCurrentIndex(2);
  emit Form2->LyricsCoding->activated(2);
  EXPECT_EQ(LyricsForm->Words().lines.at(0).text(), "春风");
  f.btwstop->click();

  const QString mp3 = dir.filePath(QStringLiteral("take.mp3"));
  answers << mp3;
  f.btsave->click();
  const lyrics::Lyrics tagged = lyrics::ReadMp3Lyrics(QFile::encodeName(mp3).toStdString(), "");
  ASSERT_EQ(tagged.lines.size(), 1u);
  EXPECT_EQ(tagged.lines[0].text(), "春风");
  EXPECT_EQ(tagged.title, "song");
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

}  // namespace
