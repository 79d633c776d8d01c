#include "app/config.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>

#include "app/effectsettings.h"
#include "app/formstyle.h"
#include "app/handlers.h"
#include "app/lyricssettings.h"
#include "app/main.h"
#include "app/properties.h"
#include "app/scoresettings.h"
#include "mixer/MMMixCtl.h"
#include "mixer/MMMixer.h"
#include "platform/language/language.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/winmsg/winmsg.h"
#include "recplay/MMWRec.h"

TForm2* Form2 = nullptr;

namespace {

template <typename W>
W* Place(W* widget, int x, int y) {
  widget->move(x, y);
  widget->adjustSize();
  return widget;
}

QSpinBox* SpinBox(QWidget* page, int low, int high, const QString& suffix, int value, int width) {
  auto* box = new QSpinBox(page);
  box->setRange(low, high);
  box->setSuffix(suffix);
  box->setValue(value);
  box->resize(width, 22);
  return box;
}

// The right edge of the widest of `widgets`, plus a gap.
int After(std::initializer_list<QWidget*> widgets) {
  int right = 0;
  for (QWidget* w : widgets) right = std::max(right, w->x() + w->width());
  return right + 6;
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
  setWindowTitle(tr("Tunelark 设置"));
  SetUpFixedWindow(this, 288, 188, TBorderIcons::SystemMenu);
  PageControl1 = new QTabWidget(this);
  PageControl1->setGeometry(8, 8, 273, 169);
  CreateWavPage();
  CreateMidiPage();
  CreateMixerPage();
  CreateLanguagePage();
  CreateScorePage();
  CreateEffectsPage();
}

TForm2::~TForm2() = default;

void TForm2::CreateWavPage() {
  TabSheet1 = new QWidget;
  PageControl1->addTab(TabSheet1, tr("WAV 录制"));
  Label1 = AddLabel(TabSheet1, tr("新建WAV质量:"), 12, 14);
  qh = Place(new QRadioButton(tr("高"), TabSheet1), 100, 12);
  qm = Place(new QRadioButton(tr("中"), TabSheet1), 148, 12);
  ql = Place(new QRadioButton(tr("低"), TabSheet1), 196, 12);
  qh->setChecked(true);
  Label19 = AddLabel(TabSheet1, tr("录音设备:"), 12, 46);
  BitBtn1 = new QPushButton(tr("选择设备..."), TabSheet1);
  BitBtn1->setGeometry(100, 40, 89, 25);
  recstop = Place(new QCheckBox(tr("当MIDI结束时停止"), TabSheet1), 12, 78);
  nomidi = Place(new QCheckBox(tr("不必有MIDI即可录音"), TabSheet1), 12, 102);

  MMPro = new TMMProperties(this);
  MMPro->Title = tr("选择录音设备");
  MMPro->Sheets = psAudio;

  // The user's click, not a change by code: a reverted button runs nothing.
  connect(qh, &QRadioButton::clicked, this, HandlerSlot(this, &TForm2::qhClick));
  connect(qm, &QRadioButton::clicked, this, HandlerSlot(this, &TForm2::qmClick));
  connect(ql, &QRadioButton::clicked, this, HandlerSlot(this, &TForm2::qlClick));
  connect(BitBtn1, &QPushButton::clicked, this, HandlerSlot(this, &TForm2::BitBtn1Click));
}

void TForm2::CreateMidiPage() {
  TabSheet2 = new QWidget;
  PageControl1->addTab(TabSheet2, tr("MIDI播放"));
  Label2 = AddLabel(TabSheet2, tr("播放设备:"), 12, 18);
  Button1 = new QPushButton(tr("选择设备..."), TabSheet2);
  Button1->setGeometry(100, 12, 89, 25);

  MMPro2 = new TMMProperties(this);
  MMPro2->Title = tr("MIDI播放设备");
  MMPro2->Sheets = psMidi;
  connect(Button1, &QPushButton::clicked, this, HandlerSlot(this, &TForm2::Button1Click));

  LyricsLabel = AddLabel(TabSheet2, tr("歌词编码:"), 12, 56);
  LyricsCoding = new QComboBox(TabSheet2);
  LyricsCoding->setGeometry(100, 50, 150, 22);
  LyricsCoding->addItems({tr("自动检测"), QStringLiteral("UTF-8"), QStringLiteral("GB18030 (GBK)"),
                          QStringLiteral("Big5"), QStringLiteral("Shift-JIS"), QStringLiteral("Latin-1 (ISO-8859-1)")});
  LyricsCoding->setCurrentIndex(std::max(0, int(LyricsEncodings().indexOf(LyricsEncoding()))));
  // The user's choice, not a change by code.
  connect(LyricsCoding, &QComboBox::activated, this, HandlerSlot(this, &TForm2::LyricsEncodingChange));
}

void TForm2::LyricsEncodingChange() {
  const QString chosen = LyricsEncodings().value(LyricsCoding->currentIndex());
  if (chosen == LyricsEncoding()) return;
  RememberLyricsEncoding(chosen);
  if (Form1) Form1->ReadSongLyrics(false);
}

void TForm2::CreateMixerPage() {
  TabSheet3 = new QWidget;
  PageControl1->addTab(TabSheet3, tr("音量控制"));

  // The first mixer, not opened: values are read when the bindings are made
  // and written when the user moves a control.
  MMMixerDevice1 = new TMMMixerDevice(this);
  MMAudiomic = new TMMAudioLine(this);
  MMAudiomic->SetMixer(MMMixerDevice1);
  MMAudiomic->SetComponentType(ctSrcMicrophone);
  MMMixerControl1 = new TMMMixerControl(this);
  MMMixerControl1->SetAudioLine(MMAudiomic);
  MMMixerControl1->SetControlType(ctMute);
  MMVolumeControl1 = new TMMVolumeControl(this);
  MMVolumeControl1->SetAudioLine(MMAudiomic);
  MMAudiov = new TMMAudioLine(this);
  MMAudiov->SetMixer(MMMixerDevice1);
  MMAudiov->SetComponentType(ctDstSpeakers);
  MMVolumeControl2 = new TMMVolumeControl(this);
  MMVolumeControl2->SetAudioLine(MMAudiov);

  // The check box's stored state (checked) stands until the binding
  // replaces it with the mixer's value; the sliders take theirs likewise.
  MMMixerCheckBox1 = new TMMMixerCheckBox(TabSheet3);
  MMMixerCheckBox1->BeginLoading();
  MMMixerCheckBox1->setChecked(true);
  MMMixerCheckBox1->SetAutoCaption(false);
  MMMixerCheckBox1->setText(tr("静音麦克风的声音输出"));
  MMMixerCheckBox1->SetControl(MMMixerControl1);
  MMMixerCheckBox1->move(12, 12);
  MMMixerCheckBox1->adjustSize();

  Label3 = AddLabel(TabSheet3, tr("音量:"), 12, 46);
  MMMixerSlider1 = new TMMMixerSlider(TabSheet3);
  MMMixerSlider1->BeginLoading();
  MMMixerSlider1->SetThumbHeight(15);
  MMMixerSlider1->SetControl(MMVolumeControl1);
  MMMixerSlider1->setGeometry(88, 40, 160, 25);

  Label4 = AddLabel(TabSheet3, tr("系统总音量:"), 12, 82);
  MMMixerSlider2 = new TMMMixerSlider(TabSheet3);
  MMMixerSlider2->BeginLoading();
  MMMixerSlider2->SetThumbHeight(15);
  MMMixerSlider2->SetControl(MMVolumeControl2);
  MMMixerSlider2->setGeometry(88, 76, 160, 25);

  MMMixerCheckBox1->EndLoading();
  MMMixerSlider1->EndLoading();
  MMMixerSlider2->EndLoading();
}

void TForm2::CreateLanguagePage() {
  TabSheet4 = new QWidget;
  PageControl1->addTab(TabSheet4, tr("语言"));
  Label5 = AddLabel(TabSheet4, tr("界面语言:"), 12, 18);
  Language = new QComboBox(TabSheet4);
  Language->addItem(tr("跟随系统"), QString());
  Language->addItem(tr("中文"), QStringLiteral("zh"));
  Language->addItem(tr("英语"), QStringLiteral("en"));
  Language->setCurrentIndex(std::max(0, Language->findData(language::Saved())));
  Language->setGeometry(100, 14, 150, 21);
  Label6 = new QLabel(tr("重新启动 Tunelark 后使用新的语言。"), TabSheet4);
  Label6->setWordWrap(true);
  Label6->setGeometry(12, 48, 240, 34);
  connect(Language, &QComboBox::activated, this, HandlerSlot(this, &TForm2::LanguageChange));
}

void TForm2::LanguageChange() { language::Save(Language->currentData().toString()); }

void TForm2::CreateScorePage() {
  TabSheet5 = new QWidget;
  PageControl1->addTab(TabSheet5, tr("评分"));
  KeepVoiceBox = Place(new QCheckBox(tr("保留干声"), TabSheet5), 12, 14);
  KeepVoiceBox->setChecked(KeepVoice());
  Label7 = AddLabel(TabSheet5, tr("难度:"), 12, 50);
  DifficultyBox = new QComboBox(TabSheet5);
  // In the order of score::Difficulty.
  DifficultyBox->addItems({tr("容易"), tr("普通"), tr("困难")});
  DifficultyBox->setCurrentIndex(int(Difficulty()));
  DifficultyBox->setGeometry(100, 46, 150, 22);
  Label8 = AddLabel(TabSheet5, tr("旋律声道:"), 12, 84);
  ChannelBox = new QComboBox(TabSheet5);
  ChannelBox->addItem(tr("自动"));
  for (int channel = 1; channel <= 16; ++channel) ChannelBox->addItem(QString::number(channel));
  ChannelBox->setCurrentIndex(MelodyChannel() + 1);
  ChannelBox->setGeometry(100, 80, 150, 22);
  // The user's choices, not changes by code.
  connect(KeepVoiceBox, &QCheckBox::clicked, this, HandlerSlot(this, &TForm2::KeepVoiceClick));
  connect(DifficultyBox, &QComboBox::activated, this, HandlerSlot(this, &TForm2::DifficultyChange));
  connect(ChannelBox, &QComboBox::activated, this, HandlerSlot(this, &TForm2::ChannelChange));
}

void TForm2::KeepVoiceClick() { RememberKeepVoice(KeepVoiceBox->isChecked()); }

void TForm2::DifficultyChange() { RememberDifficulty(score::Difficulty(DifficultyBox->currentIndex())); }

void TForm2::ChannelChange() {
  const int channel = ChannelBox->currentIndex() - 1;
  if (channel == MelodyChannel()) return;
  RememberMelodyChannel(channel);
  emit MelodyChannelChanged();
  if (Form1) Form1->ReadSongMelody();
}

void TForm2::CreateEffectsPage() {
  TabSheet6 = new QWidget;
  PageControl1->addTab(TabSheet6, tr("效果"));
  const soundcard::MonitorEffects e = MonitorEffectsSetting();
  const QString percent = QStringLiteral(" %");
  // Three rows of two columns (the echo's delay, feedback and level; the
  // reverb and its level), placed by the texts' widths so that every
  // language fits the page; the switch for the take below.
  EchoBox = Place(new QCheckBox(tr("回声"), TabSheet6), 12, 12);
  EchoBox->setChecked(e.echoMs != 0);
  Label9 = AddLabel(TabSheet6, tr("反馈"), 12, 44);
  Label11 = AddLabel(TabSheet6, tr("混响"), 12, 76);
  EchoDelay = SpinBox(TabSheet6, soundcard::kMinEchoMs, soundcard::kMaxEchoMs, tr(" 毫秒"), EchoDelayMs(), 84);
  EchoDelay->setSingleStep(10);
  EchoFeedback = SpinBox(TabSheet6, 0, 90, percent, e.echoFeedback, 60);
  ReverbBox = new QComboBox(TabSheet6);
  // In the order of soundcard::Reverb.
  ReverbBox->addItems({tr("关"), tr("房间"), tr("大厅"), tr("板式")});
  ReverbBox->setCurrentIndex(int(e.reverb));
  ReverbBox->resize(60, 22);
  const int first = After({EchoBox, Label9, Label11});
  EchoDelay->move(first, 10);
  EchoFeedback->move(first, 40);
  ReverbBox->move(first, 72);

  Label10 = AddLabel(TabSheet6, tr("回声音量"), first + 66, 44);
  Label12 = AddLabel(TabSheet6, tr("混响音量"), first + 66, 76);
  const int second = After({Label10, Label12});
  EchoLevel = SpinBox(TabSheet6, 0, 100, percent, e.echoLevel, 56);
  EchoLevel->move(second, 40);
  ReverbLevel = SpinBox(TabSheet6, 0, 100, percent, e.reverbLevel, 56);
  ReverbLevel->move(second, 72);

  RecordEffectsBox = Place(new QCheckBox(tr("录入效果"), TabSheet6), 12, 108);
  RecordEffectsBox->setChecked(e.recorded);
  EnableEffectControls();
  // Only the user's changes run the handler (the values above are set
  // before the connections).
  for (QSpinBox* box : {EchoDelay, EchoFeedback, EchoLevel, ReverbLevel})
    connect(box, &QSpinBox::valueChanged, this, HandlerSlot(this, &TForm2::EffectsChange));
  connect(EchoBox, &QCheckBox::clicked, this, HandlerSlot(this, &TForm2::EffectsChange));
  connect(ReverbBox, &QComboBox::activated, this, HandlerSlot(this, &TForm2::EffectsChange));
  connect(RecordEffectsBox, &QCheckBox::clicked, this, HandlerSlot(this, &TForm2::EffectsChange));
  // The window is made at start-up: the card gets what was chosen last. A
  // reverb that cannot be set up is reported and the program starts anyway.
  RunHandler([this, &e] { ApplyMonitorEffects(e); });
}

void TForm2::EnableEffectControls() {
  const bool echo = EchoBox->isChecked();
  const bool reverb = ReverbBox->currentIndex() != int(soundcard::Reverb::Off);
  for (QWidget* w : std::initializer_list<QWidget*>{EchoDelay, Label9, EchoFeedback, Label10, EchoLevel})
    w->setEnabled(echo);
  Label12->setEnabled(reverb);
  ReverbLevel->setEnabled(reverb);
  RecordEffectsBox->setEnabled(echo || reverb);
}

void TForm2::EffectsChange() {
  soundcard::MonitorEffects e;
  e.echoMs = EchoBox->isChecked() ? EchoDelay->value() : 0;
  e.echoFeedback = EchoFeedback->value();
  e.echoLevel = EchoLevel->value();
  e.reverb = soundcard::Reverb(ReverbBox->currentIndex());
  e.reverbLevel = ReverbLevel->value();
  e.recorded = RecordEffectsBox->isChecked();
  ApplyMonitorEffects(e);
  // Remembered only once the card has taken it: a reverb that cannot be set
  // up is not tried again at every start.
  RememberMonitorEffects(e);
}

void TForm2::ApplyMonitorEffects(const soundcard::MonitorEffects& e) {
  try {
    soundcard::SetMonitorEffects(e);
  } catch (...) {
    // The card keeps its reverb: the sheet shows that one.
    ReverbBox->setCurrentIndex(int(soundcard::CurrentMonitorEffects().reverb));
    EnableEffectControls();
    throw;
  }
  EnableEffectControls();
}

void TForm2::SetQuality(int rate) {
  if (!Form1 || !Form1->wavrec) return;
  try {
    Form1->wavrec->SetSampleRate(rate);
  } catch (...) {
    // Refused while recording: show the quality the recorder keeps.
    ShowQuality(Form1->wavrec->SampleRate());
    throw;
  }
}

void TForm2::ShowQuality(int rate) {
  QRadioButton* button = rate == 44100 ? qh : rate == 22050 ? qm : rate == 11025 ? ql : nullptr;
  if (button) {
    button->setChecked(true);
    return;
  }
  for (QRadioButton* b : {qh, qm, ql}) {
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
  }
}

void TForm2::qhClick() { SetQuality(44100); }
void TForm2::qmClick() { SetQuality(22050); }
void TForm2::qlClick() { SetQuality(11025); }

void TForm2::BitBtn1Click() { MMPro->Execute(); }
void TForm2::Button1Click() { MMPro2->Execute(); }

void TForm2::closeEvent(QCloseEvent* event) {
  hide();
  // Once the main window has closed the program is ending: a refused close
  // would stop Qt from closing the other windows and keep the loop running.
  if (ApplicationTerminated())
    event->accept();
  else
    event->ignore();
}
