// The slider base: range and position rules, the logarithmic mapping, and
// keyboard, mouse and wheel operation in both orientations.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app_fixture.h"
#include "controls/MMSlider.h"

namespace {

class Slider : public ::testing::Test, private controlstest::AppFirst {
 protected:
  void SetUp() override {
    slider.OnChange = [this](QObject*) { ++changes; };
    slider.OnTrack = [this](QObject*) { ++tracks; };
    slider.OnTrackEnd = [this](QObject*) { ++trackEnds; };
  }
  void Key(int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&slider, &e);
  }
  void Mouse(QEvent::Type type, int x, int y, Qt::MouseButtons buttons = Qt::LeftButton) {
    QMouseEvent e(type, QPointF(x, y), QPointF(x, y), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&slider, &e);
  }
  TMMCustomSlider slider;
  int changes = 0, tracks = 0, trackEnds = 0;
};

TEST_F(Slider, TheRangeRaisesItsMaximumAndClampsThePosition) {
  EXPECT_EQ(slider.Min(), 0);
  EXPECT_EQ(slider.Max(), 10);
  EXPECT_EQ(slider.Orientation(), orHorizontal);
  EXPECT_EQ(slider.ThumbWidth(), 11);
  EXPECT_EQ(slider.ThumbHeight(), 23);
  EXPECT_EQ(slider.Sensitivity(), -24);
  slider.SetPosition(8);
  EXPECT_EQ(changes, 1);
  slider.SetPosition(8);  // unchanged: no change handler
  EXPECT_EQ(changes, 1);
  slider.SetMinMax(0, 5);
  EXPECT_EQ(slider.Position(), 5);
  EXPECT_EQ(changes, 2);
  slider.SetMinMax(3, 3);
  EXPECT_EQ(slider.Max(), 4);
  slider.SetPosition(-20);
  EXPECT_EQ(slider.Position(), 3);
  slider.SetSensitivity(-200);
  EXPECT_EQ(slider.Sensitivity(), -96);
  slider.SetSensitivity(0);
  EXPECT_EQ(slider.Sensitivity(), -20);

  // While loading, stored values take effect without the change handler.
  changes = 0;
  slider.BeginLoading();
  slider.SetMinMax(0, 0);
  slider.SetPosition(0);
  EXPECT_EQ(slider.Max(), 0);
  slider.EndLoading();
  EXPECT_EQ(changes, 0);
}

TEST_F(Slider, TheLogarithmicMappingFollowsTheSensitivity) {
  slider.SetMinMax(0, 100);
  slider.SetLogarithmic(true);
  slider.SetPosition(50);  // 100 * (20 log10(0.5) + 24) / 24 = 74.9
  EXPECT_EQ(slider.RawPosition(), 75);
  EXPECT_EQ(slider.Position(), 50);  // 10^((75*24/100 - 24)/20) * 100 = 50.1
  slider.SetPosition(100);
  EXPECT_EQ(slider.RawPosition(), 100);
  slider.SetPosition(1);  // far below the sensitivity: clamped to the bottom
  EXPECT_EQ(slider.RawPosition(), 0);
  slider.SetPosition(0);
  EXPECT_EQ(slider.Position(), 0);
}

TEST_F(Slider, KeysStepByLineAndPageAndJumpToTheEnds) {
  slider.SetMinMax(0, 20);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(slider.Position(), 5);
  Key(Qt::Key_Up);
  Key(Qt::Key_Right);
  EXPECT_EQ(slider.Position(), 7);
  Key(Qt::Key_Left);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(slider.Position(), 1);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(slider.Position(), 0);
  EXPECT_EQ(tracks, 6);  // every key that moved the thumb
  Key(Qt::Key_PageDown);  // at the bottom already: no track
  EXPECT_EQ(tracks, 6);
  Key(Qt::Key_End);
  EXPECT_EQ(slider.Position(), 20);
  Key(Qt::Key_Home);
  EXPECT_EQ(slider.Position(), 0);
  slider.SetOrientation(orVertical);
  Key(Qt::Key_Home);
  EXPECT_EQ(slider.Position(), 20);
  Key(Qt::Key_End);
  EXPECT_EQ(slider.Position(), 0);
}

TEST_F(Slider, TheMouseMovesTheThumbToThePointerAndDragsIt) {
  // Track 110 px inside the bevels, thumb 10 px: 100 px of travel.
  slider.resize(120, 33);
  slider.SetThumbWidth(10);
  slider.SetMinMax(0, 100);
  slider.setEnabled(true);
  ASSERT_EQ(slider.TravelPixels(), 100);
  Mouse(QEvent::MouseButtonPress, 50, 16);  // 45 px along, minus half the thumb
  EXPECT_EQ(slider.Position(), 40);
  EXPECT_TRUE(slider.Dragging());
  Mouse(QEvent::MouseMove, 70, 16);
  EXPECT_EQ(slider.Position(), 60);
  Mouse(QEvent::MouseMove, 500, 16);
  EXPECT_EQ(slider.Position(), 100);
  Mouse(QEvent::MouseButtonRelease, 500, 16, Qt::NoButton);
  EXPECT_FALSE(slider.Dragging());
  EXPECT_EQ(trackEnds, 1);
  EXPECT_EQ(tracks, 3);

  // Pressing on the thumb only starts a drag; releasing without a move is
  // no track end.
  const QRect thumb = slider.ThumbRect();
  Mouse(QEvent::MouseButtonPress, thumb.center().x(), thumb.center().y());
  EXPECT_EQ(slider.Position(), 100);
  Mouse(QEvent::MouseButtonRelease, thumb.center().x(), thumb.center().y(), Qt::NoButton);
  EXPECT_EQ(trackEnds, 1);

  // Vertical: counted from the bottom, upward increases.
  slider.SetOrientation(orVertical);
  slider.resize(33, 120);
  slider.SetPosition(0);
  Mouse(QEvent::MouseButtonPress, 16, 65);  // 50 px up from the track start
  EXPECT_EQ(slider.Position(), 45);
  Mouse(QEvent::MouseMove, 16, 55);
  EXPECT_EQ(slider.Position(), 55);
  Mouse(QEvent::MouseButtonRelease, 16, 55, Qt::NoButton);
}

TEST_F(Slider, TheWheelStepsAndADisabledSliderIgnoresTheMouse) {
  slider.SetMinMax(0, 10);
  QWheelEvent up(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                 Qt::NoScrollPhase, false);
  QApplication::sendEvent(&slider, &up);
  EXPECT_EQ(slider.Position(), 2);
  slider.resize(120, 33);
  slider.setEnabled(false);
  Mouse(QEvent::MouseButtonPress, 100, 16);
  EXPECT_EQ(slider.Position(), 2);
  QApplication::sendEvent(&slider, &up);
  EXPECT_EQ(slider.Position(), 2);
  slider.setEnabled(true);
  slider.show();
  slider.grab();  // draws without complaint in both states
}

}  // namespace
