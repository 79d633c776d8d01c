// The note lane and the score in the windows: where the lane puts notes and
// the sung pitch (worked by hand), what it draws there, the score's
// settings remembered, and a take's score in the status bar and the lyrics
// window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <vector>

#include "app/config.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/notelane.h"
#include "app/notelanelayout.h"
#include "app/scoresettings.h"
#include "app/statusbar.h"
#include "forms_fixture.h"
#include "own_settings.h"
#include "platform/soundcard/cardcontrol.h"

namespace {

using notelane::PitchBand;
using notelane::Range;
using notelane::Span;

score::Melody Tune(std::vector<score::Note> notes) {
  score::Melody m;
  m.notes = std::move(notes);
  m.channel = 0;
  return m;
}

TEST(NoteLaneLayout, NowStandsAQuarterInTheBandFollowsTheNotesWithTheKeyAndHitsJoinIntoSpans) {
  notelane::View v;
  v.width = 800;
  v.height = 120;
  v.nowMs = 10000;
  v.band = {58, 69};
  // Now at 200; the 600 pixels to the right hold 4 s: 6 2/3 ms a pixel.
  EXPECT_DOUBLE_EQ(v.NowX(), 200);
  EXPECT_NEAR(v.XOf(10600), 290, 1e-9);
  EXPECT_NEAR(v.XOf(9000), 50, 1e-9);
  EXPECT_NEAR(v.FirstMs(), 10000 - 4000.0 / 3, 1e-9);
  EXPECT_NEAR(v.LastMs(), 14000, 1e-9);
  // Twelve rows of 10 pixels, the top one 69.
  EXPECT_DOUBLE_EQ(v.YOf(69), 5);
  EXPECT_DOUBLE_EQ(v.YOf(60), 95);
  EXPECT_DOUBLE_EQ(v.YOf(60.5), 90);
  v.nowMs = 10600;  // scrolled: what was at 290 is at now
  EXPECT_NEAR(v.XOf(10600), 200, 1e-9);

  const score::Melody m = Tune({{1000, 2000, 60}, {2000, 3000, 67}, {5000, 6000, 72}, {20000, 21000, 48}});
  EXPECT_EQ(notelane::NotesBetween(m, 1500, 2000).first, 0u);
  EXPECT_EQ(notelane::NotesBetween(m, 1500, 2000).last, 1u);  // the next starts at the edge
  EXPECT_EQ(notelane::NotesBetween(m, 2000, 2001).first, 1u);
  EXPECT_EQ(notelane::NotesBetween(m, 6000, 20000).first, 3u);
  EXPECT_EQ(notelane::NotesBetween(m, 6000, 20000).last, 3u);

  using notelane::FollowBand;
  // 60..67 with a free row on each side, an octave high at least.
  EXPECT_EQ(FollowBand({}, m, 0, 0, 4000), (PitchBand{58, 69}));
  EXPECT_EQ(FollowBand({}, m, 2, 0, 4000), (PitchBand{60, 71}));  // heard two semitones up
  // 72 comes: 60..72 and a row each side, 15 rows.
  EXPECT_EQ(FollowBand({58, 69}, m, 0, 0, 6000), (PitchBand{59, 73}));
  // It still holds 72 with its margin: it stays.
  EXPECT_EQ(FollowBand({59, 73}, m, 0, 4500, 5500), (PitchBand{59, 73}));
  // Far down: centred on 48.
  EXPECT_EQ(FollowBand({59, 73}, m, 0, 19000, 22000), (PitchBand{43, 54}));
  // Nothing on the lane: what was shown stays; nothing shown yet: the
  // whole melody, 48..72.
  EXPECT_EQ(FollowBand({43, 54}, m, 0, 7000, 8000), (PitchBand{43, 54}));
  EXPECT_EQ(FollowBand({}, m, 0, 7000, 8000), (PitchBand{47, 73}));
  // A band far wider than the notes need shrinks to them.
  EXPECT_EQ(FollowBand({30, 90}, m, 0, 0, 4000), (PitchBand{58, 69}));

  // Hit points last to the next point; one alone (170 ms from the last)
  // has no length; the last of a run lasts its step.
  std::vector<score::ScoredPoint> points = {{0, 60, false},   {10, 60, true},  {20, 60, true}, {30, 60, false},
                                            {200, 60, true},  {300, 60, true}, {310, 60, true}};
  EXPECT_EQ(notelane::HitSpans(points, Range{0, points.size()}), (std::vector<Span>{{10, 30}, {300, 320}}));
  EXPECT_EQ(notelane::PointsBetween(points, 15, 300).first, 2u);
  EXPECT_EQ(notelane::PointsBetween(points, 15, 300).last, 6u);
}

const QColor kNote(70, 78, 124), kHit(255, 196, 32), kVoice(90, 210, 255);

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 && std::abs(a.blue() - b.blue()) < 24;
}

// Whether `colour` is in column x within `reach` rows of y.
bool Found(const QImage& image, int x, double y, const QColor& colour, int reach = 1) {
  for (int dy = -reach; dy <= reach; ++dy)
    if (Near(image.pixelColor(x, int(std::lround(y)) + dy), colour)) return true;
  return false;
}

class NoteLaneWindow : public ::testing::Test {
 protected:
  OwnSettings settings;
};

TEST_F(NoteLaneWindow, BarsAtTheirHeightsTheSungLineWithItsBreaksAndTheHitsFilled) {
  TLyricsWindow w;
  w.resize(800, 400);
  lyrics::Lyrics words;
  lyrics::Line line;
  line.syllables = {{1000, 3000, "■■"}};
  words.lines = {line};
  w.SetLyrics(words);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_TRUE(w.NoteLane()->isHidden());

  // Two notes heard a tone up (62 and 67).
  w.SetMelody(Tune({{1000, 1600, 60}, {1600, 2200, 65}}), 2);
  const TNoteLane& lane = *w.NoteLane();
  ASSERT_FALSE(lane.isHidden());
  EXPECT_EQ(lane.geometry(), QRect(0, 0, 800, 160));
  w.ShowAt(1000);
  const notelane::View& v = lane.LaneView();
  EXPECT_EQ(v.band, (PitchBand{59, 70}));  // 62..67 in the middle of an octave

  // On pitch from 1000 to 1300 ms, silent to 1600, then a semitone flat
  // (not hit) to 2000 ms; a point every 10 ms.
  score::Result live;
  live.score = 1234;
  for (int ms = 1000; ms <= 1300; ms += 10) live.points.push_back({double(ms), 62.0f, true});
  for (int ms = 1600; ms <= 2000; ms += 10) live.points.push_back({double(ms), 66.0f, false});
  w.SetScoreView(live);
  const QImage image = w.grab().toImage();
  const double bar = v.RowHeight() * 0.8;
  const auto x = [&](double ms) { return int(std::lround(v.XOf(ms))); };
  // The bars where their notes are, at their rows; the part sung on pitch
  // filled in (its edge, away from the line over its middle).
  const double y62 = v.YOf(62), y66 = v.YOf(66), y67 = v.YOf(67);
  EXPECT_TRUE(Found(image, x(1150), y62 - bar / 2 + 2, kHit)) << x(1150);
  EXPECT_TRUE(Found(image, x(1450), y62 - bar / 2 + 2, kNote));
  EXPECT_TRUE(Found(image, x(1450), y62, kNote));
  EXPECT_FALSE(Found(image, x(1450), y62 - bar / 2 + 2, kHit));
  EXPECT_TRUE(Found(image, x(1900), y67, kNote));
  EXPECT_FALSE(Found(image, x(1900), y67, kHit, 4));
  EXPECT_FALSE(Found(image, x(2300), y67, kNote, 4));  // after its end
  EXPECT_TRUE(Found(image, x(1000) - 3, v.YOf(62), QColor(18, 21, 40), 4));  // before its start: the lane
  // The sung line: over the first note, a semitone under the second, none
  // in the silence between them.
  EXPECT_TRUE(Found(image, x(1150), y62, kVoice));
  EXPECT_TRUE(Found(image, x(1800), y66, kVoice));
  EXPECT_FALSE(Found(image, x(1800), y67, kVoice, 3));
  for (int y = 0; y < 160; ++y) EXPECT_FALSE(Near(image.pixelColor(x(1450), y), kVoice)) << y;

  // Later the lane has scrolled: the second note's start is at now.
  w.ShowAt(1600);
  const QImage later = w.grab().toImage();
  EXPECT_EQ(int(std::lround(lane.LaneView().XOf(1600))), 200);
  EXPECT_TRUE(Found(later, 205, y67, kNote));
  EXPECT_TRUE(Found(later, 195, y62 - bar / 2 + 2, kNote));

  // The key moves the band with the bars; another song without a melody
  // takes the lane away.
  w.SetKey(0);
  EXPECT_EQ(v.band, (PitchBand{57, 68}));
  w.SetMelody({}, 0);
  EXPECT_TRUE(w.NoteLane()->isHidden());
}

class ScoreInWindows : public FormsTest {
 protected:
  void SetUp() override {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    FormsTest::SetUp();
  }
  void TearDown() override {
    FormsTest::TearDown();
    soundcard::ResetCard();
  }
  OwnSettings settings;
};

TEST_F(ScoreInWindows, TheScoreSheetIsRememberedAcrossANewSettingsWindow) {
  TForm2& f = *Form2;
  ASSERT_EQ(f.PageControl1->count(), 6);
  EXPECT_EQ(f.PageControl1->tabText(4), QStringLiteral("评分"));
  EXPECT_TRUE(f.KeepVoiceBox->isChecked());
  EXPECT_EQ(f.DifficultyBox->currentText(), QStringLiteral("普通"));
  EXPECT_EQ(f.ChannelBox->currentText(), QStringLiteral("自动"));
  EXPECT_EQ(f.ChannelBox->count(), 17);

  QSignalSpy channelChanged(&f, &TForm2::MelodyChannelChanged);
  f.PageControl1->setCurrentIndex(4);
  f.show();
  QTest::mouseClick(f.KeepVoiceBox, Qt::LeftButton);
  f.DifficultyBox->setCurrentIndex(2);
  emit f.DifficultyBox->activated(2);
  f.ChannelBox->setCurrentIndex(4);
  emit f.ChannelBox->activated(4);
  emit f.ChannelBox->activated(4);  // the same again: nothing to read again
  EXPECT_EQ(channelChanged.count(), 1);
  EXPECT_FALSE(KeepVoice());
  EXPECT_EQ(Difficulty(), score::Difficulty::Hard);
  EXPECT_EQ(MelodyChannel(), 3);

  TForm2 other;
  EXPECT_FALSE(other.KeepVoiceBox->isChecked());
  EXPECT_EQ(other.DifficultyBox->currentText(), QStringLiteral("困难"));
  EXPECT_EQ(other.ChannelBox->currentText(), QStringLiteral("4"));
  // A value edited out of range reads as the default.
  QSettings(QStringLiteral("Tunelark"), QStringLiteral("Score")).setValue(QStringLiteral("melodyChannel"), 16);
  QSettings(QStringLiteral("Tunelark"), QStringLiteral("Score")).setValue(QStringLiteral("difficulty"), "brutal");
  EXPECT_EQ(MelodyChannel(), -1);
  EXPECT_EQ(Difficulty(), score::Difficulty::Normal);
}

TEST_F(ScoreInWindows, ATakesScoreStandsInTheStatusBarAndTheLyricsWindowUntilCleared) {
  TForm1& f = *Form1;
  const QString status = f.Status->PanelText(1);
  const QRect panel = f.Status->PanelRect(1);
  f.ShowTakeScore(8765);
  EXPECT_EQ(f.Status->PanelNote(1), QStringLiteral("得分 8765"));
  EXPECT_EQ(f.Status->PanelText(1), status);
  EXPECT_EQ(f.Status->PanelRect(1), panel);
  EXPECT_EQ(LyricsForm->NoteLane()->FinalScore(), 8765);
  // Shown even for a song without a melody on the lane.
  EXPECT_FALSE(LyricsForm->NoteLane()->isHidden());
  LyricsForm->resize(600, 300);
  const QImage shown = LyricsForm->NoteLane()->grab().toImage();
  int gold = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) gold += Near(shown.pixelColor(x, y), kHit);
  EXPECT_GT(gold, 200);

  f.ShowTakeScore(-1);
  EXPECT_EQ(f.Status->PanelNote(1), QString());
  EXPECT_EQ(LyricsForm->NoteLane()->FinalScore(), -1);
  EXPECT_TRUE(LyricsForm->NoteLane()->isHidden());
}

}  // namespace
