// The settings window: its pages and controls, the quality buttons and the
// recorder's rate (a change refused while recording), closing that only
// hides, the device sheets, and the mixer page on the card's mixer.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstring>
#include <functional>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/config.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/properties.h"
#include "forms_fixture.h"
#include "mixer/MMMixCtl.h"
#include "mixer/MMMixer.h"
#include "mixer_probe.h"
#include "recplay/MMWRec.h"

using namespace probe;
using V = std::vector<LONG>;

namespace {

class Settings : public FormsTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    SelectClock(Clock::Stepped);
    ResetCard();
    FormsTest::SetUp();
    SetHandlerErrorReporter([this](const QString& text) { errors << text; });
  }
  void TearDown() override {
    Form1->wavrec->Stop();
    FormsTest::TearDown();
    mixer.Close();
    SetHandlerErrorReporter({});
    ResetCard();
  }
  // Which quality button is checked: "h", "m", "l", or "" for none.
  static QString Quality() {
    return Form2->qh->isChecked() ? "h" : Form2->qm->isChecked() ? "m" : Form2->ql->isChecked() ? "l" : "";
  }
  // Records a second into `name` and returns the sample rate in its header.
  std::uint32_t RecordASecond(const QString& name) {
    Form1->wavrec->SetFileName(dir.filePath(name).toStdString());
    Form1->wavrec->Start();
    AdvanceAndPump(44100);
    Form1->wavrec->Stop();
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray head = f.read(28);
    if (head.size() < 28) return 0;
    std::uint32_t rate = 0;
    std::memcpy(&rate, head.constData() + 24, 4);
    return rate;
  }

  QTemporaryDir dir;
  QStringList errors;
  MixerProbe mixer;
};

// The title of the next modal dialog, which is then cancelled.
QString TitleOfNextModal(const std::function<void()>& open) {
  QString title;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      title = modal->windowTitle();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
  });
  poll.start(20);
  open();
  return title;
}

}  // namespace

TEST_F(Settings, PagesControlsAndTheirStartingStates) {
  TForm2& f = *Form2;
  EXPECT_EQ(f.PageControl1->geometry(), QRect(8, 8, 273, 169));
  ASSERT_EQ(f.PageControl1->count(), 6);
  EXPECT_EQ(f.PageControl1->tabText(0), "WAV 录制");
  EXPECT_EQ(f.PageControl1->tabText(1), "MIDI播放");
  EXPECT_EQ(f.PageControl1->tabText(2), "音量控制");
  EXPECT_EQ(f.PageControl1->tabText(3), "语言");
  struct Placed {
    QWidget* control;
    int page;
    const char* text;
  };
  const Placed controls[] = {
      {f.Label1, 0, "新建WAV质量:"}, {f.qh, 0, "高"},      {f.qm, 0, "中"},
      {f.ql, 0, "低"},                {f.Label19, 0, "录音设备:"}, {f.BitBtn1, 0, "选择设备..."},
      {f.recstop, 0, "当MIDI结束时停止"}, {f.nomidi, 0, "不必有MIDI即可录音"},
      {f.Label2, 1, "播放设备:"},     {f.Button1, 1, "选择设备..."},
      {f.MMMixerCheckBox1, 2, "静音麦克风的声音输出"}, {f.Label3, 2, "音量:"},
      {f.MMMixerSlider1, 2, nullptr},  {f.Label4, 2, "系统总音量:"}, {f.MMMixerSlider2, 2, nullptr},
  };
  for (const Placed& c : controls) {
    SCOPED_TRACE(c.text ? c.text : "slider");
    QWidget* page = f.PageControl1->widget(c.page);
    EXPECT_EQ(c.control->parentWidget(), page);
    EXPECT_FALSE(c.control->isHidden());
    EXPECT_TRUE(QRect(QPoint(0, 0), page->size()).contains(c.control->geometry()));
    if (auto* label = qobject_cast<QLabel*>(c.control)) {
      EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(c.control)) {
      EXPECT_EQ(button->text(), QString::fromUtf8(c.text));
    }
  }
  EXPECT_EQ(Quality(), "h");
  EXPECT_FALSE(f.recstop->isChecked());
  EXPECT_FALSE(f.nomidi->isChecked());
  EXPECT_FALSE(f.MMMixerCheckBox1->AutoCaption());
  EXPECT_EQ(f.MMMixerSlider1->ThumbHeight(), 15);
  EXPECT_EQ(f.MMMixerSlider2->ThumbHeight(), 15);
  EXPECT_EQ(f.MMPro->Title, "选择录音设备");
  EXPECT_EQ(f.MMPro->Sheets, psAudio);
  EXPECT_EQ(f.MMPro2->Title, "MIDI播放设备");
  EXPECT_EQ(f.MMPro2->Sheets, psMidi);

  // F5 (and the tool button) shows it without blocking the main window.
  Form1->showconfig->trigger();
  EXPECT_TRUE(f.isVisible());
  EXPECT_FALSE(f.isModal());
}

TEST_F(Settings, QualitySetsTheRecorderRateForTheNextRecording) {
  QTest::mouseClick(Form2->ql, Qt::LeftButton);
  EXPECT_EQ(Form1->wavrec->SampleRate(), 11025);
  EXPECT_EQ(RecordASecond("low.wav"), 11025u);
  Form2->qm->click();
  EXPECT_EQ(Form1->wavrec->SampleRate(), 22050);
  Form2->qh->click();
  EXPECT_EQ(Form1->wavrec->SampleRate(), 44100);
  EXPECT_EQ(RecordASecond("high.wav"), 44100u);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Settings, AQualityRefusedWhileRecordingLeavesTheButtonsOnTheRateInEffect) {
  Form2->qh->click();
  Form1->wavrec->SetFileName(dir.filePath("take.wav").toStdString());
  Form1->wavrec->Start();
  ASSERT_TRUE(Form1->wavrec->State() & wisRecording);
  Form2->ql->click();
  // The recorder's refusal word for word, then in the window's language.
  EXPECT_EQ(errors, QStringList{"Change to property while device was open\n设备打开时不能修改此属性"});
  EXPECT_EQ(Form1->wavrec->SampleRate(), 44100);
  EXPECT_EQ(Quality(), "h");
  Form1->wavrec->Stop();
  // Once the recording is over the change is taken.
  Form2->ql->click();
  EXPECT_EQ(Form1->wavrec->SampleRate(), 11025);
  EXPECT_EQ(Quality(), "l");
  // A rate that none of the buttons stands for leaves them all unchecked.
  Form2->ShowQuality(8000);
  EXPECT_EQ(Quality(), "");
}

TEST_F(Settings, ClosingOnlyHidesAndTheSwitchesKeepTheirStates) {
  Form2->show();
  Form2->recstop->setChecked(true);
  Form2->nomidi->setChecked(true);
  Form2->ql->click();
  TForm2* before = Form2;
  EXPECT_FALSE(Form2->close());  // refused
  EXPECT_FALSE(Form2->isVisible());
  Form1->showconfigClick();
  EXPECT_EQ(Form2, before);
  EXPECT_TRUE(Form2->isVisible());
  EXPECT_TRUE(Form2->recstop->isChecked());
  EXPECT_TRUE(Form2->nomidi->isChecked());
  EXPECT_EQ(Quality(), "l");
}

TEST_F(Settings, TheDeviceButtonsShowTheirSheetsWithTheirTitles) {
  EXPECT_EQ(TitleOfNextModal([] { Form2->BitBtn1->click(); }), "选择录音设备");
  EXPECT_EQ(TitleOfNextModal([] { Form2->Button1->click(); }), "MIDI播放设备");
  // Sheets this system does not have show nothing.
  TMMProperties video(Form2);
  video.Sheets = psVideo;
  EXPECT_FALSE(video.Execute());
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Settings, TheMixerPageMovesTheMicrophoneMuteAndVolumeAndTheMasterVolume) {
  TForm2& f = *Form2;
  // The card's first microphone line is the speakers' (the monitor), muted
  // out of the box; the stored "checked" is replaced by the mixer's value
  // all the same.
  const DWORD monitor = SourceLineId(0, 2);
  const DWORD speakers = DestinationLineId(0);
  EXPECT_EQ(f.MMAudiomic->LineId(), TMMLineId(monitor));
  EXPECT_EQ(f.MMAudiov->LineId(), TMMLineId(speakers));
  EXPECT_TRUE(f.MMMixerCheckBox1->isEnabled());
  EXPECT_TRUE(f.MMMixerCheckBox1->isChecked());
  EXPECT_EQ(f.MMMixerCheckBox1->text(), "静音麦克风的声音输出");
  QTest::mouseClick(f.MMMixerCheckBox1, Qt::LeftButton);
  EXPECT_FALSE(mixer.Muted(monitor));
  QTest::mouseClick(f.MMMixerCheckBox1, Qt::LeftButton);
  EXPECT_TRUE(mixer.Muted(monitor));

  // The sliders read the full volumes; the keys move them and write.
  ASSERT_TRUE(f.MMMixerSlider1->isEnabled());
  EXPECT_EQ(f.MMMixerSlider1->Position(), f.MMMixerSlider1->Max());
  const V fullVolume{65535, 65535};
  f.MMMixerSlider1->setFocus();
  QTest::keyClick(f.MMMixerSlider1, Qt::Key_PageDown);
  const LONG mic = mixer.Volume(monitor)[0];
  EXPECT_LT(mic, 65535);
  EXPECT_EQ(mixer.Volume(monitor), (V{mic, mic}));
  EXPECT_EQ(mixer.Volume(speakers), fullVolume);

  ASSERT_TRUE(f.MMMixerSlider2->isEnabled());
  QTest::keyClick(f.MMMixerSlider2, Qt::Key_Left);
  const LONG master = mixer.Volume(speakers)[0];
  EXPECT_LT(master, 65535);
  EXPECT_EQ(mixer.Volume(speakers), (V{master, master}));
  EXPECT_EQ(mixer.Volume(monitor)[0], mic);
  // The recording mix's microphone is not the one this page sets.
  EXPECT_EQ(mixer.Volume(SourceLineId(1, 0)), fullVolume);
  EXPECT_TRUE(errors.isEmpty());
}
