// The volume panel, on the main window and in the advanced volume window:
// the scaling, the start-up selection and its writes, the link box, the
// mute box, one-channel lines, lines without mute or without any control,
// and the icon that opens the advanced window. On the card's mixer and on a
// test topology, with the stepped clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QSlider>
#include <QTest>

#include "app/clicklabel.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "app/vol.h"
#include "app/volpanel.h"
#include "forms_fixture.h"
#include "mixer_probe.h"

using namespace probe;

namespace {

using V = std::vector<LONG>;

constexpr DWORD kRecMic = SourceLineId(1, 0);  // "Recording" / "Microphone"

// Selects an item as the user does, which runs the list's change handler.
void Choose(QComboBox* list, int index) {
  list->setCurrentIndex(index);
  emit list->activated(index);
}

class VolumePanel : public FormsTest {
 protected:
  void SetUp() override {
    SelectClock(Clock::Stepped);
    ResetCard();
    SetHandlerErrorReporter([this](const QString& text) { errors << text; });
  }
  void TearDown() override {
    if (Form1) FormsTest::TearDown();
    mixer.Close();
    SetHandlerErrorReporter({});
    ResetCard();
  }
  void Start() { FormsTest::SetUp(); }

  MixerProbe mixer;
  QStringList errors;
};

}  // namespace

TEST(VolumeScaling, PositionsAndVolumesRoundHalvesToEven) {
  EXPECT_EQ(PositionToVolume(0), 65535);
  EXPECT_EQ(PositionToVolume(100), 0);
  EXPECT_EQ(PositionToVolume(50), 32768);  // 32767.5
  EXPECT_EQ(PositionToVolume(30), 45874);  // 45874.5
  EXPECT_EQ(PositionToVolume(10), 58982);  // 58981.5
  EXPECT_EQ(PositionToVolume(1), 64880);   // 64879.65
  EXPECT_EQ(VolumeToPosition(65535), 0);
  EXPECT_EQ(VolumeToPosition(0), 100);
  EXPECT_EQ(VolumeToPosition(32768), 50);
  EXPECT_EQ(VolumeToPosition(32767), 50);
  EXPECT_EQ(VolumeToPosition(1000), 98);   // 98.47
  for (int p = 0; p <= 100; ++p) EXPECT_EQ(VolumeToPosition(PositionToVolume(p)), p) << p;
}

TEST_F(VolumePanel, StartUpLeavesRecordingMicrophoneAtFullVolumeUnmutedInBothWindows) {
  mixer.Set(mixer.Control(kRecMic, MIXERCONTROL_CONTROLTYPE_VOLUME), {1000, 3000});
  mixer.Set(mixer.Control(kRecMic, MIXERCONTROL_CONTROLTYPE_MUTE), {1});
  Start();
  EXPECT_EQ(mixer.Volume(kRecMic), (V{65535, 65535}));
  EXPECT_FALSE(mixer.Muted(kRecMic));
  // The other lines are left alone.
  EXPECT_TRUE(mixer.Muted(SourceLineId(0, 2)));

  struct Panel {
    QComboBox* dest;
    QComboBox* line;
    QSlider* left;
    QSlider* right;
    QCheckBox* mute;
    QCheckBox* link;
  };
  for (const Panel& p : {Panel{Form1->DestSel, Form1->SourceSel, Form1->LeftScroll, Form1->RightScroll,
                               Form1->cbMute, Form1->cbLink},
                         Panel{Form4->DestSel, Form4->SourceSel, Form4->LeftScroll, Form4->RightScroll,
                               Form4->cbMute, Form4->cbLink}}) {
    EXPECT_EQ(p.dest->count(), 2);
    EXPECT_EQ(p.dest->itemText(0), "扬声器");  // the card's "Speakers" in the window's language
    EXPECT_EQ(p.dest->currentIndex(), 1);
    EXPECT_EQ(p.line->count(), 4);
    EXPECT_EQ(p.line->currentIndex(), 1);
    EXPECT_EQ(p.line->currentText(), "麦克风");
    EXPECT_EQ(p.left->value(), 0);
    EXPECT_EQ(p.right->value(), 0);
    EXPECT_FALSE(p.mute->isChecked());
    EXPECT_TRUE(p.mute->isEnabled());
    EXPECT_TRUE(p.link->isChecked());
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(VolumePanel, LinkedSlidersMoveTogetherAndTheLinkBoxJoinsLeftToRight) {
  Start();
  Form1->LeftScroll->setValue(30);
  EXPECT_EQ(Form1->RightScroll->value(), 30);
  EXPECT_EQ(mixer.Volume(kRecMic), (V{45874, 45874}));
  Form1->RightScroll->setValue(50);
  EXPECT_EQ(Form1->LeftScroll->value(), 50);
  EXPECT_EQ(mixer.Volume(kRecMic), (V{32768, 32768}));

  // Unlinked: each slider writes its own channel.
  Form1->cbLink->setChecked(false);
  Form1->LeftScroll->setValue(100);
  EXPECT_EQ(Form1->RightScroll->value(), 50);
  EXPECT_EQ(mixer.Volume(kRecMic), (V{0, 32768}));
  // Checking the box again makes the left side follow the right.
  Form1->cbLink->setChecked(true);
  EXPECT_EQ(Form1->LeftScroll->value(), 50);
  EXPECT_EQ(mixer.Volume(kRecMic), (V{32768, 32768}));
  // The keyboard moves the thumb the way the arrow points: up is louder.
  Form1->LeftScroll->setFocus();
  QTest::keyClick(Form1->LeftScroll, Qt::Key_Up);
  EXPECT_EQ(Form1->LeftScroll->value(), 49);
  EXPECT_EQ(mixer.Volume(kRecMic), (V{PositionToVolume(49), PositionToVolume(49)}));
}

TEST_F(VolumePanel, ReadingALineShowsItsMuteAndActivationReadsAgain) {
  Start();
  // Destination 0, line 3: the speakers' microphone, muted out of the box.
  Choose(Form1->DestSel, 0);
  EXPECT_EQ(Form1->SourceSel->currentIndex(), 0);
  EXPECT_EQ(Form1->SourceSel->itemText(3), "麦克风");
  Choose(Form1->SourceSel, 3);
  EXPECT_TRUE(Form1->cbMute->isChecked());
  Form1->cbMute->setChecked(false);
  EXPECT_FALSE(mixer.Muted(SourceLineId(0, 2)));
  Form1->cbMute->setChecked(true);
  EXPECT_TRUE(mixer.Muted(SourceLineId(0, 2)));

  // Another program changes the line: the main window shows it when it
  // becomes active; with the link box checked both channels end at the
  // right channel's value.
  mixer.Set(mixer.Control(SourceLineId(0, 2), MIXERCONTROL_CONTROLTYPE_VOLUME), {PositionToVolume(20), 0});
  mixer.Set(mixer.Control(SourceLineId(0, 2), MIXERCONTROL_CONTROLTYPE_MUTE), {0});
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(Form1, &activate);
  EXPECT_FALSE(Form1->cbMute->isChecked());
  EXPECT_EQ(Form1->LeftScroll->value(), 100);
  EXPECT_EQ(Form1->RightScroll->value(), 100);
  EXPECT_EQ(mixer.Volume(SourceLineId(0, 2)), (V{0, 0}));
  // The advanced window's panel is independent: it still shows its line.
  EXPECT_EQ(Form4->DestSel->currentIndex(), 1);
  EXPECT_EQ(Form4->LeftScroll->value(), 0);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(VolumePanel, OddLinesOneChannelNoMuteAndNoControlsFailQuietly) {
  InstallMixers(OddLines());
  Start();
  // Destination 1, line 1 of this mixer is its microphone, written at start.
  EXPECT_EQ(mixer.Volume(kRecMic), (V{65535, 65535}));
  EXPECT_FALSE(mixer.Muted(kRecMic));

  Choose(Form4->DestSel, 0);
  ASSERT_EQ(Form4->SourceSel->count(), 4);
  EXPECT_EQ(Form4->SourceSel->itemText(3), "");  // "Aux": no controls

  // "Mono In": one channel, no mute. The right slider hides, the mute box
  // is disabled, and only the left value is written.
  mixer.Set(mixer.Control(SourceLineId(0, 1), MIXERCONTROL_CONTROLTYPE_VOLUME), {PositionToVolume(40)});
  Choose(Form4->SourceSel, 2);
  EXPECT_TRUE(Form4->RightScroll->isHidden());
  EXPECT_FALSE(Form4->cbMute->isEnabled());
  EXPECT_EQ(Form4->LeftScroll->value(), 40);
  Form4->LeftScroll->setValue(60);
  EXPECT_EQ(mixer.Volume(SourceLineId(0, 1), 1), (V{PositionToVolume(60)}));

  // "Aux" can be chosen; reading and writing it fail without a message and
  // the panel keeps what it shows.
  Choose(Form4->SourceSel, 3);
  EXPECT_EQ(Form4->SourceSel->currentIndex(), 3);
  EXPECT_FALSE(Form4->cbMute->isEnabled());
  EXPECT_FALSE(Form4->RightScroll->isHidden());
  EXPECT_EQ(Form4->LeftScroll->value(), 60);
  Form4->LeftScroll->setValue(10);
  EXPECT_EQ(mixer.Volume(SourceLineId(0, 1), 1), (V{PositionToVolume(60)}));

  // Back to a stereo line with a mute: the box and the right slider return.
  Choose(Form4->SourceSel, 1);
  EXPECT_TRUE(Form4->cbMute->isEnabled());
  EXPECT_FALSE(Form4->RightScroll->isHidden());
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(VolumePanel, NoMixerLeavesTheListsEmptyAndNothingFails) {
  InstallMixers({});
  Start();
  EXPECT_EQ(Form1->DestSel->count(), 0);
  EXPECT_EQ(Form1->DestSel->currentIndex(), -1);
  EXPECT_EQ(Form1->SourceSel->count(), 0);
  Form1->LeftScroll->setValue(70);
  Form1->cbMute->setChecked(true);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(VolumePanel, ThePanelIconOpensTheAdvancedVolumeWindow) {
  Start();
  EXPECT_EQ(Form1->Image2->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Form1->Image2->statusTip(), "高级音量控制");
  EXPECT_FALSE(Form4->isVisible());
  QTest::mouseClick(Form1->Image2, Qt::LeftButton);
  EXPECT_TRUE(Form4->isVisible());
  EXPECT_EQ(Form4->Label6->text(), "注意:先选择放音或录音再选择要控制的设备");
  EXPECT_EQ(Form4->GroupBox1->geometry(), QRect(20, 8, 253, 177));
  EXPECT_EQ(Form4->LeftScroll->pos(), QPoint(168, 8));
  EXPECT_EQ(Form4->RightScroll->pos(), QPoint(200, 8));
  EXPECT_EQ(Form1->LeftScroll->pos(), QPoint(168, 16));
  EXPECT_EQ(Form1->RightScroll->pos(), QPoint(200, 16));
  // Where the user sees them: the left and right sliders side by side at the
  // right of each volume group (the main window's group starts 276 pixels in,
  // below the tool bar and the recording group's top).
  auto in = [](QWidget* found, QWidget* part) { return found && (found == part || part->isAncestorOf(found)); };
  EXPECT_TRUE(in(Form4->childAt(200, 60), Form4->LeftScroll));
  EXPECT_TRUE(in(Form4->childAt(234, 60), Form4->RightScroll));
  const int top = Form1->MainMenu1->height();
  EXPECT_TRUE(in(Form1->childAt(456, top + 230), Form1->LeftScroll));
  EXPECT_TRUE(in(Form1->childAt(490, top + 230), Form1->RightScroll));
  // Its mute box writes to its own selection.
  Form4->cbMute->setChecked(true);
  EXPECT_TRUE(mixer.Muted(kRecMic));
  EXPECT_FALSE(Form1->cbMute->isChecked());
}
