// The group "MIDI 伴奏": browse, play, pause, stop, the progress bar and
// its ticks, the play-time labels and the end check, on the stepped card.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <fstream>
#include <vector>

#include "app/config.h"
#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "window_fixture.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"

namespace {

class MidiGroup : public WindowTest {
 protected:
  // (browse, play, pause, stop) of the speed buttons, with the tool buttons
  // and menu items checked against them.
  static std::vector<bool> Groups() {
    TForm1& f = *Form1;
    EXPECT_EQ(f.tbtbrowse->isEnabled(), f.btbrowse->isEnabled());
    // (the menu item "打开MIDI" joins its buttons once the group is first set)
    EXPECT_EQ(f.nbtmidiplay->isEnabled(), f.btmidiplay->isEnabled());
    EXPECT_EQ(f.Nbtpause->isEnabled(), f.btpause->isEnabled());
    EXPECT_EQ(f.Tbtstop->isEnabled(), f.btstop->isEnabled());
    return {f.btbrowse->isEnabled(), f.btmidiplay->isEnabled(), f.btpause->isEnabled(), f.btstop->isEnabled()};
  }
  static std::vector<bool> Timers() { return {Form1->Timer1->isActive(), Form1->Timer2->isActive()}; }

};

using B = std::vector<bool>;

TEST_F(MidiGroup, StateTableThroughBrowsePlayPauseStop) {
  TForm1& f = *Form1;
  const QString path = Write(QStringLiteral("伴奏.mid"), Song(3000));
  Browse(path);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
  EXPECT_EQ(f.Efilename->text(), path);
  EXPECT_EQ(f.midiplay->FileName, path);
  EXPECT_EQ(Groups(), (B{true, true, false, false}));
  EXPECT_EQ(Timers(), (B{false, false}));
  EXPECT_EQ(f.pbar->maximum(), 3000);
  EXPECT_EQ(f.pbar->tickInterval(), 300);
  EXPECT_FALSE(f.btrec->isEnabled());  // no WAV file yet

  f.btmidiplay->click();
  EXPECT_EQ(Groups(), (B{false, false, true, true}));
  EXPECT_EQ(Timers(), (B{true, true}));
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("正在播放MIDI..."));
  soundcard::Advance(44100);
  f.Timer1Timer();
  EXPECT_NEAR(f.pbar->value(), 1000, 20);

  f.Nbtpause->trigger();
  EXPECT_EQ(Groups(), (B{false, true, false, false}));
  EXPECT_EQ(Timers(), (B{true, false}));
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("暂停播放MIDI"));
  const int paused = f.midiplay->Position();
  soundcard::Advance(44100);
  EXPECT_EQ(f.midiplay->Position(), paused);

  f.Tbtmidiplay->click();  // continues from the paused position
  soundcard::Advance(22050);
  EXPECT_NEAR(f.midiplay->Position(), paused + 500, 20);

  f.miditimesec->setText(QStringLiteral("7"));
  f.btstop->click();
  EXPECT_EQ(Groups(), (B{true, true, false, false}));
  EXPECT_EQ(Timers(), (B{false, false}));
  EXPECT_EQ(f.miditimesec->text(), QStringLiteral("0"));
  EXPECT_EQ(f.pbar->value(), 0);
  EXPECT_EQ(f.midiplay->Position(), 0);
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("就绪"));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MidiGroup, TickFrequencyRoundsHalvesToEvenAndRecordFollowsTheWavName) {
  const int lengths[] = {4, 15, 25, 35};
  const int ticks[] = {0, 2, 2, 4};
  wavname = dir.filePath(QStringLiteral("take.wav"));
  for (int i = 0; i < 4; ++i) {
    Browse(Write(QStringLiteral("s%1.mid").arg(i), Song(std::uint32_t(lengths[i]))));
    EXPECT_EQ(Form1->pbar->maximum(), lengths[i]);
    EXPECT_EQ(Form1->pbar->tickInterval(), ticks[i]) << lengths[i];
  }
  EXPECT_TRUE(Form1->btrec->isEnabled());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(MidiGroup, PlayTimeLabelsRollOverAtSixtySeconds) {
  TForm1& f = *Form1;
  for (int i = 0; i < 59; ++i) f.Timer2Timer();
  EXPECT_EQ(f.miditimemin->text(), QStringLiteral("0"));
  EXPECT_EQ(f.miditimesec->text(), QStringLiteral("59"));
  f.Timer2Timer();
  EXPECT_EQ(f.miditimemin->text(), QStringLiteral("1"));
  EXPECT_EQ(f.miditimesec->text(), QStringLiteral("0"));
  for (int i = 0; i < 61; ++i) f.Timer2Timer();
  EXPECT_EQ(f.miditimemin->text(), QStringLiteral("2"));
  EXPECT_EQ(f.miditimesec->text(), QStringLiteral("1"));
}

TEST_F(MidiGroup, TheEndCheckStopsAndRewindsAndPlayAfterTheEndStartsAgain) {
  TForm1& f = *Form1;
  Browse(Write(QStringLiteral("short.mid"), Song(300)));
  f.btmidiplay->click();
  soundcard::Advance(4410);
  f.Timer1Timer();  // not at the end: only the bar moves
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_NEAR(f.pbar->value(), 100, 20);
  soundcard::Advance(44100);
  EXPECT_EQ(f.midiplay->Position(), f.midiplay->Length());
  recording = true;  // without "当MIDI结束时停止" the recording goes on
  f.Timer1Timer();
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_EQ(Groups(), (B{true, true, false, false}));
  EXPECT_EQ(f.pbar->value(), 0);
  EXPECT_EQ(f.midiplay->Position(), 0);
  EXPECT_TRUE(recording);

  // Played to the end and left there, a play rewinds first.
  f.btmidiplay->click();
  soundcard::Advance(44100);
  ASSERT_EQ(f.midiplay->Position(), f.midiplay->Length());
  f.midiplay->Play();
  soundcard::Advance(4410);
  EXPECT_NEAR(f.midiplay->Position(), 100, 20);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MidiGroup, AFailedOpenShowsTheTextKeepsTheNewNameAndLeavesNoDeviceOpen) {
  TForm1& f = *Form1;
  Browse(Write(QStringLiteral("good.mid"), Song(1000)));
  const MCIDEVICEID first = f.midiplay->DeviceID();
  ASSERT_NE(first, 0u);
  // A second file closes the first device before it opens.
  Browse(Write(QStringLiteral("second.mid"), Song(2000)));
  EXPECT_NE(f.midiplay->DeviceID(), first);
  EXPECT_EQ(f.pbar->maximum(), 2000);

  const QString bad = Write(QStringLiteral("readme.mid"), {'n', 'o', 't', 'e', 's'});
  Browse(bad);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], QStringLiteral("指定的文件不是有效的 MIDI 文件。\n文件：%1").arg(bad));
  EXPECT_EQ(f.Efilename->text(), bad);
  EXPECT_EQ(f.midiplay->DeviceID(), 0u);
  EXPECT_EQ(Groups(), (B{true, true, false, false}));  // the groups keep their state
  f.btmidiplay->click();
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors[1], QStringLiteral("没有打开的 MCI 设备"));

  // A cancelled dialog changes nothing.
  answers.clear();
  f.btbrowse->click();
  EXPECT_EQ(f.Efilename->text(), bad);
  EXPECT_EQ(errors.size(), 2);
}

TEST_F(MidiGroup, TheMediaPlayerChecksForADeviceAndKnowsItsCapabilities) {
  TMediaPlayer player;
  EXPECT_THROW(player.Play(), EMCIDeviceError);
  EXPECT_THROW(player.Length(), EMCIDeviceError);
  EXPECT_EQ(player.Position(), 0);  // no check: answered by the service's error
  player.FileName = Write(QStringLiteral("caps.mid"), Song(500));
  player.Open();
  EXPECT_TRUE(player.CanPlay());
  EXPECT_FALSE(player.CanRecord());
  EXPECT_FALSE(player.CanEject());
  EXPECT_FALSE(player.HasVideo());
  EXPECT_EQ(player.DeviceTypeCaps(), MCI_DEVTYPE_SEQUENCER);
  EXPECT_EQ(player.Mode(), mpStopped);
  try {
    TMediaPlayer other;
    other.FileName = dir.filePath(QStringLiteral("nowhere.mid"));
    other.Open();
    FAIL();
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), "找不到指定的文件。请确认路径和文件名是否正确。");
  }
}

}  // namespace
