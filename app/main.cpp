#include "app/main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/clicklabel.h"
#include "app/datadir.h"
#include "app/fonts.h"
#include "app/formstyle.h"
#include "app/handlers.h"
#include "app/icons.h"
#include "app/levelmeter.h"
#include "app/statusbar.h"
#include "app/volpanel.h"
#include "audio/MMConect.h"
#include "controls/MMLevel.h"
#include "mixer/Audio.h"
#include "recplay/MMTakeRecorder.h"
#include "recplay/MMWPlay.h"
#include "recplay/MMWRec.h"
#include "score/session.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/winmsg/winmsg.h"

TForm1* Form1 = nullptr;
QString wavname;
bool recording = false;

namespace {

// Client area of the main window below the menu bar, and its three bands.
constexpr int kClientWidth = 537;
constexpr int kClientHeight = 364;
constexpr int kToolBarHeight = 33;
constexpr int kPanelHeight = 312;
constexpr int kStatusHeight = 19;
// Size of a speed button and of a tool button.
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;

QToolButton* AddSpeedButton(QWidget* parent, const QPixmap& image, const QString& hint, bool enabled, int x,
                            int y) {
  auto* button = new QToolButton(parent);
  button->setEnabled(enabled);
  button->setIcon(image);
  button->setIconSize(QSize(16, 16));
  button->setStatusTip(hint);
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(x, y, kButtonWidth, kButtonHeight);
  return button;
}

QLineEdit* AddReadOnlyEdit(QWidget* parent, const QString& text, const QRect& geometry) {
  auto* edit = new QLineEdit(text, parent);
  edit->setReadOnly(true);
  edit->setGeometry(geometry);
  return edit;
}

// A "time" line: caption, minutes label, "分", seconds label, "秒".
void AddTimeLine(QWidget* parent, const QString& caption, int x, int y, QLabel*& minutes, QLabel*& seconds) {
  AddLabel(parent, caption, x, y);
  minutes = new QLabel(QStringLiteral("0"), parent);
  minutes->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  minutes->setGeometry(x + 58, y, 20, 17);
  AddLabel(parent, QCoreApplication::translate("TForm1", "分"), x + 80, y);
  seconds = new QLabel(QStringLiteral("0"), parent);
  seconds->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  seconds->setGeometry(x + 96, y, 20, 17);
  AddLabel(parent, QCoreApplication::translate("TForm1", "秒"), x + 118, y);
}

// A vertical level meter of 17 x 108 with a lowered bevel, yellow bar and
// black unlit spots, reading one channel of 16-bit stereo.
TMMLevel* AddLevel(QWidget* parent, const QString& hint, int x, int y, TMMChannel channel) {
  auto* level = new TMMLevel(parent);
  level->setGeometry(x, y, 17, 108);
  level->SetHint(hint);
  SetUpWindowMeter(*level, channel);
  return level;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Quillmoor - Tunelark V1.6"));
  setWindowIcon(ProgramIcon());
  setFont(SimSunFont());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  Imagebar = MakeImagebar();

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  CreateMenu();
  CreateToolBar(client);
  Panel1 = new QFrame(client);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setGeometry(0, kToolBarHeight, kClientWidth, kPanelHeight);
  CreateMidiGroup();
  CreateWavGroup();
  Audio1 = CreatePanelAudio(this);
  CreateVolumeGroup();
  MMLevel1 = AddLevel(Panel1, tr("左电平"), 480, 13, chLeft);
  MMLevel2 = AddLevel(Panel1, tr("右电平"), 504, 13, chRight);
  CreateRecorderAndPlayer();
  connect = new TMMConnector(this);
  TMMConnector::SetEnterIdle(false);
  connect->SetInput(wavrec);
  connect->SetLevel1(MMLevel1);
  connect->SetLevel2(MMLevel2);
  CreateStatusBar(client);
  CreateTimers();
  CreateDialogs();
  midiplay = new TMediaPlayer(this);
  midiplay->Visible = false;
  midiplay->DeviceType = dtAutoSelect;
  midiplay->AutoOpen = false;
  midiplay->AutoRewind = true;
  BindCommands();

  // Not resizable: the window is as large as the menu bar and the client.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  CentreOnScreen(this);

  qApp->installEventFilter(this);
  RunHandler([this] { FormCreate(); });
}

TForm1::~TForm1() {
  RunHandler([this] { FormDestroy(); });
  qApp->removeEventFilter(this);
  if (wavrec) wavrec->OnVoice = nullptr;  // the session goes before the recorder
}

// The program's recorder (the settings window changes the rate) and player.
void TForm1::CreateRecorderAndPlayer() {
  wavrec = new TMMWaveRecorder(this);
  ConfigureTakeRecorder(*wavrec);
  wavrec->OnStop = [this](QObject*) { RecorderStopped(); };

  wavplay = new TMMWavePlayer(this);
  wavplay->Wave()->SetTimeFormat(tfByte);
  wavplay->SetBufferSize(3048);
  wavplay->SetNumBuffers(20);
  wavplay->SetDeviceID(MapperId);
  wavplay->SetTimeFormat(tfByte);
  wavplay->SetCallBackMode(cmWindow);
  wavplay->SetLooping(false);
  wavplay->SetLoopCount(0);
}

void TForm1::CreateMenu() {
  MainMenu1 = menuBar();
  auto item = [this](QMenu* menu, const QString& caption, const QString& hint, int image, const QKeySequence& key,
                     bool enabled) {
    QAction* action = menu->addAction(caption);
    action->setStatusTip(hint);
    if (image >= 0) action->setIcon(Imagebar[image]);
    action->setShortcut(key);
    action->setEnabled(enabled);
    return action;
  };
  const QKeySequence none;

  F1 = MainMenu1->addMenu(tr("文件(&F)"));
  nbtnew = item(F1, tr("新建WAV"), tr("新建WAV"), imgNewWav, QKeySequence(Qt::CTRL | Qt::Key_N), true);
  Nbtwopen = item(F1, tr("打开WAV"), tr("打开WAV"), imgOpenWav, QKeySequence(Qt::CTRL | Qt::Key_O), true);
  Nbtsave = item(F1, tr("另存为MP3..."), tr("另存为MP3..."), imgSaveMp3,
                 QKeySequence(Qt::CTRL | Qt::Key_S), false);
  Nbtdel = item(F1, tr("删除此WAV"), QString(), imgDelete, none, false);
  N3 = F1->addSeparator();
  N3->setEnabled(false);
  nbtbrowse = item(F1, tr("打开MIDI"), tr("浏览文件..."), imgBrowseMidi,
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O), false);
  N4 = F1->addSeparator();
  showconfig = item(F1, tr("设置选项"), tr("设置Tunelark"), imgSettings, QKeySequence(Qt::Key_F5), true);
  N6 = F1->addSeparator();
  N5 = item(F1, tr("退出"), QString(), -1, QKeySequence(Qt::CTRL | Qt::Key_X), true);

  MIDI1 = MainMenu1->addMenu(tr("MIDI控制(&M)"));
  nbtmidiplay = item(MIDI1, tr("播放"), tr("播放MIDI"), imgPlay, QKeySequence(Qt::CTRL | Qt::Key_P), false);
  Nbtpause = item(MIDI1, tr("暂停"), tr("暂停播放"), imgPause, QKeySequence(Qt::CTRL | Qt::Key_F), false);
  Nbtstop = item(MIDI1, tr("停止"), tr("停止播放"), imgStop,
                 QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S), false);
  MIDI1->addSeparator();
  Nkeyup = item(MIDI1, tr("升调"), tr("伴奏升高一个半音"), -1, QKeySequence(Qt::CTRL | Qt::Key_Up), false);
  Nkeydown = item(MIDI1, tr("降调"), tr("伴奏降低一个半音"), -1, QKeySequence(Qt::CTRL | Qt::Key_Down), false);
  Nfaster = item(MIDI1, tr("加快"), tr("伴奏加快%1%").arg(kTempoStep), -1, QKeySequence(Qt::CTRL | Qt::Key_Right),
                 false);
  Nslower = item(MIDI1, tr("减慢"), tr("伴奏减慢%1%").arg(kTempoStep), -1, QKeySequence(Qt::CTRL | Qt::Key_Left),
                 false);
  Noriginal = item(MIDI1, tr("原调原速"), tr("伴奏恢复原来的调和速度"), -1, QKeySequence(Qt::CTRL | Qt::Key_0),
                   false);
  MIDI1->addSeparator();
  Nlyrics = item(MIDI1, tr("显示歌词"), tr("显示歌词窗口"), -1, QKeySequence(Qt::CTRL | Qt::Key_L), true);

  N1 = MainMenu1->addMenu(tr("录音控制(&R)"));
  Nbtrec = item(N1, tr("开始录音"), tr("开始录音"), imgRecord, QKeySequence(Qt::Key_F2), false);
  Nbtwplay = item(N1, tr("播放声音"), tr("播放WAV"), imgPlay, QKeySequence(Qt::Key_F3), false);
  Nbtwstop = item(N1, tr("停止"), tr("停止并保存"), imgStop, QKeySequence(Qt::Key_F4), false);

  N2 = MainMenu1->addMenu(tr("帮助(&H)"));
  help = item(N2, tr("帮助内容"), QString(), imgHelp, QKeySequence(Qt::Key_F1), true);
  website = item(N2, tr("公司网站"), QString(), imgWeb, QKeySequence(Qt::CTRL | Qt::Key_W), true);
  email = item(N2, tr("作者信箱"), QString(), imgMail, QKeySequence(Qt::CTRL | Qt::Key_E), true);
  N10 = N2->addSeparator();
  Tunelark1 = item(N2, tr("关于..."), QString(), imgAbout, QKeySequence(Qt::CTRL | Qt::Key_A), true);
}

void TForm1::CreateToolBar(QWidget* client) {
  ToolBar1 = new QToolBar(client);
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar1->setContentsMargins(2, 2, 2, 2);
  ToolBar1->setGeometry(0, 0, kClientWidth, kToolBarHeight);
  auto button = [this](int image, const QString& hint, bool enabled) {
    auto* b = new QToolButton(ToolBar1);
    b->setIcon(Imagebar[image]);
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(true);  // flat until the pointer is over it
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setStatusTip(hint);
    b->setEnabled(enabled);
    ToolBar1->addWidget(b);
    return b;
  };
  Tbtnew = button(imgNewWav, tr("新建WAV"), true);
  Tbtwopen = button(imgOpenWav, tr("打开WAV"), true);
  Tbtsave = button(imgSaveMp3, tr("另存为MP3..."), false);
  Tbtdel = button(imgDelete, QString(), false);
  tbtbrowse = button(imgBrowseMidi, tr("浏览文件..."), true);
  ToolBar1->addSeparator();
  Tbtmidiplay = button(imgPlay, tr("播放MIDI"), false);
  Tbtpause = button(imgPause, tr("暂停播放"), false);
  Tbtstop = button(imgStop, tr("停止播放"), false);
  ToolBar1->addSeparator();
  Tbtrec = button(imgRecord, tr("开始录音"), false);
  Tbtwplay = button(imgPlay, tr("播放WAV"), false);
  Tbtwstop = button(imgStop, tr("停止并保存"), false);
  ToolBar1->addSeparator();
  ToolButton2 = button(imgSettings, tr("设置Tunelark"), true);
  ToolBar1->addSeparator();
  ToolButton5 = button(imgHelp, tr("帮助内容"), true);
  ToolButton6 = button(imgWeb, tr("公司网站"), true);
  ToolButton7 = button(imgMail, tr("作者信箱"), true);
  ToolButton8 = button(imgAbout, tr("关于"), true);
}

void TForm1::CreateMidiGroup() {
  GroupBox1 = new QGroupBox(tr("MIDI 伴奏"), Panel1);
  GroupBox1->setGeometry(10, 8, 455, 113);
  auto* picture = new QLabel(GroupBox1);
  picture->setPixmap(MidiGroupPicture());
  picture->setGeometry(12, 22, 32, 32);

  AddLabel(GroupBox1, tr("MIDI文件:"), 56, 24);
  Efilename = AddReadOnlyEdit(GroupBox1, tr("请打开一个MIDI文件"), QRect(116, 22, 286, 21));
  btbrowse = AddSpeedButton(GroupBox1, Imagebar[imgBrowseMidi], tr("浏览文件..."), true, 408, 21);

  AddTimeLine(GroupBox1, tr("播放时间:"), 56, 53, miditimemin, miditimesec);
  btmidiplay = AddSpeedButton(GroupBox1, Imagebar[imgPlay], tr("播放MIDI"), false, 360, 50);
  btpause = AddSpeedButton(GroupBox1, Imagebar[imgPause], tr("暂停播放"), false, 384, 50);
  btstop = AddSpeedButton(GroupBox1, Imagebar[imgStop], tr("停止播放"), false, 408, 50);

  AddLabel(GroupBox1, tr("播放进度:"), 56, 83);
  pbar = new QSlider(Qt::Horizontal, GroupBox1);
  pbar->setRange(0, 10);
  pbar->setTickPosition(QSlider::TicksBelow);
  pbar->setTickInterval(1);
  pbar->setEnabled(false);
  pbar->setGeometry(112, 78, 322, 28);
}

void TForm1::CreateWavGroup() {
  GroupBox2 = new QGroupBox(tr("WAV 录制"), Panel1);
  GroupBox2->setGeometry(8, 128, 265, 177);
  auto* picture = new QLabel(GroupBox2);
  picture->setPixmap(WavGroupPicture());
  picture->setGeometry(12, 20, 32, 32);

  struct Entry {
    QToolButton*& button;
    int image;
    const char* hint;
    bool enabled;
  };
  const Entry row[] = {
      {btnew, imgNewWav, QT_TR_NOOP("新建WAV"), true},
      {btwopen, imgOpenWav, QT_TR_NOOP("打开WAV"), true},
      {btrec, imgRecord, QT_TR_NOOP("开始录音"), false},
      {btwplay, imgPlay, QT_TR_NOOP("播放WAV"), false},
      {btwstop, imgStop, QT_TR_NOOP("停止并保存"), false},
      {btdel, imgDelete, QT_TR_NOOP("删除此文件"), false},
      {btsave, imgSaveMp3, QT_TR_NOOP("另存为MP3..."), false},
  };
  int x = 56;
  for (const Entry& e : row) {
    e.button = AddSpeedButton(GroupBox2, Imagebar[e.image], tr(e.hint), e.enabled, x, 25);
    x += 27;
  }

  AddLabel(GroupBox2, tr("WAV文件:"), 12, 63);
  ewavfile = AddReadOnlyEdit(GroupBox2, tr("请先新建一个WAV文件"), QRect(70, 61, 183, 21));
  AddTimeLine(GroupBox2, tr("录制时间:"), 12, 92, wavtimemin, wavtimesec);
  AddTimeLine(GroupBox2, tr("播放时间:"), 12, 118, wavptmin, wavptsec);
  AddLabel(GroupBox2, tr("文件大小:"), 12, 144);
  wavsize = AddLabel(GroupBox2, tr("未知"), 72, 144);
  // Room for any size ("106MB" and more), to the group's inner edge.
  wavsize->resize(GroupBox2->width() - 72 - 8, wavsize->height());
}

void TForm1::CreateVolumeGroup() {
  GroupBox3 = new QGroupBox(tr("音量控制"), Panel1);
  GroupBox3->setGeometry(276, 128, 253, 177);

  const TVolumeControls controls = BuildVolumeControls(this, GroupBox3, 16);
  // The icon opens the advanced volume window.
  Image2->setCursor(Qt::PointingHandCursor);
  Image2->setStatusTip(tr("高级音量控制"));
  VolPanel = std::make_unique<TVolumePanel>(Audio1, controls);

  // Two lines in 25 pixels, as in SimSun, whatever the CJK face's ascent.
  Label6 = new TClickLabel(
      tr("注意：如果录不到伴奏，请确保所有录音设备都不静音（如果还有疑问请点这里）"), GroupBox3);
  Label6->setWordWrap(true);
  Label6->SetLinePitch(13);
  Label6->setGeometry(8, 144, 241, 25);
  Label6->setCursor(Qt::PointingHandCursor);  // it opens the questions page
}

void TForm1::CreateStatusBar(QWidget* client) {
  Status = new TStatusBar(client);
  Status->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  Status->setStatusTip(tr("状态栏"));
  Status->AddPanel(400);
  Status->AddPanel(0);
  Status->SetPanelText(1, tr("就绪"));
}

void TForm1::CreateTimers() {
  auto timer = [this](int interval, void (TForm1::*handler)()) {
    auto* t = new QTimer(this);
    t->setInterval(interval);
    QObject::connect(t, &QTimer::timeout, this, HandlerSlot(this, handler));
    return t;
  };
  Timer1 = timer(200, &TForm1::Timer1Timer);
  Timer2 = timer(1000, &TForm1::Timer2Timer);
  Timer3 = timer(200, &TForm1::Timer3Timer);
  Timer4 = timer(1000, &TForm1::Timer4Timer);
  Timer5 = timer(1000, &TForm1::Timer5Timer);
  ScoreTimer = timer(100, &TForm1::FollowTakeScore);
}

void TForm1::CreateDialogs() {
  openmidi = std::make_unique<TOpenDialog>(this);
  openmidi->Title = tr("打开MIDI");
  openmidi->Filter = QStringLiteral("MIDI FILES(*.mid)|*.mid|WAV FILES(*.wav)|*.wav|MP3 FILES(*.mp3)|*.mp3");

  Openwav = std::make_unique<TOpenDialog>(this);
  Openwav->Filter = QStringLiteral("wave files(*.wav)|*.wav");
  Openwav->Options = ofPathMustExist | ofFileMustExist | ofHideReadOnly | ofEnableSizing;

  newwav = std::make_unique<TSaveDialog>(this);
  newwav->Title = tr("新建WAV");
  newwav->FileName = QStringLiteral("newwave.wav");
  newwav->Filter = QStringLiteral("WAVE FILES(*.wav)|*.wav");
  newwav->DefaultExt = QStringLiteral("wav");
  // No overwrite prompt: an existing file is not touched when it is named;
  // the recording asks before it replaces a take (one question, not two).
  newwav->Options = ofHideReadOnly | ofEnableSizing;

  SaveMP3 = std::make_unique<TSaveDialog>(this);
  SaveMP3->Title = tr("另存为MP3");
  SaveMP3->Filter = QStringLiteral("MP3 FILES(*.mp3)|*.mp3");
  SaveMP3->DefaultExt = QStringLiteral("mp3");
  SaveMP3->Options = ofOverwritePrompt | ofHideReadOnly | ofEnableSizing;

  Savewav = std::make_unique<TSaveDialog>(this);
  Savewav->Title = tr("WAV另存为");
  Savewav->Filter = QStringLiteral("WAVE FILES|*.wav");
}

void TForm1::BindCommands() {
  // One handler for the speed button, the tool button and the menu item.
  auto bind = [&](QToolButton* speed, QToolButton* tool, QAction* item, void (TForm1::*handler)()) {
    if (speed) QObject::connect(speed, &QToolButton::clicked, this, HandlerSlot(this, handler));
    if (tool) QObject::connect(tool, &QToolButton::clicked, this, HandlerSlot(this, handler));
    if (item) QObject::connect(item, &QAction::triggered, this, HandlerSlot(this, handler));
  };
  bind(btbrowse, tbtbrowse, nbtbrowse, &TForm1::btbrowseClick);
  bind(btmidiplay, Tbtmidiplay, nbtmidiplay, &TForm1::btmidiplayClick);
  bind(btpause, Tbtpause, Nbtpause, &TForm1::btpauseClick);
  bind(btstop, Tbtstop, Nbtstop, &TForm1::btstopClick);
  bind(btnew, Tbtnew, nbtnew, &TForm1::btnewClick);
  bind(btwopen, Tbtwopen, Nbtwopen, &TForm1::btwopenClick);
  bind(btrec, Tbtrec, Nbtrec, &TForm1::btrecClick);
  bind(btwplay, Tbtwplay, Nbtwplay, &TForm1::btwplayClick);
  bind(btwstop, Tbtwstop, Nbtwstop, &TForm1::btwstopClick);
  bind(btdel, Tbtdel, Nbtdel, &TForm1::btdelClick);
  bind(btsave, Tbtsave, Nbtsave, &TForm1::btsaveClick);
  bind(nullptr, ToolButton2, showconfig, &TForm1::showconfigClick);
  bind(nullptr, ToolButton5, help, &TForm1::helpClick);
  bind(nullptr, ToolButton6, website, &TForm1::websiteClick);
  bind(nullptr, ToolButton7, email, &TForm1::emailClick);
  bind(nullptr, ToolButton8, Tunelark1, &TForm1::Tunelark1Click);
  bind(nullptr, nullptr, N5, &TForm1::N5Click);
  bind(nullptr, nullptr, Nlyrics, &TForm1::showlyricsClick);
  bind(nullptr, nullptr, Nkeyup, &TForm1::keyupClick);
  bind(nullptr, nullptr, Nkeydown, &TForm1::keydownClick);
  bind(nullptr, nullptr, Nfaster, &TForm1::fasterClick);
  bind(nullptr, nullptr, Nslower, &TForm1::slowerClick);
  bind(nullptr, nullptr, Noriginal, &TForm1::originalClick);

  BindVolumeControls(this, VolPanel->Controls());
  QObject::connect(Label6, &TClickLabel::clicked, this, HandlerSlot(this, &TForm1::Label6Click));
  QObject::connect(Image2, &TClickLabel::clicked, this, HandlerSlot(this, &TForm1::Image2Click));
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) RunHandler([this] { FormActivate(); });
  return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) SetApplicationTerminated(true);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      return true;
    case QEvent::StatusTip:
      ShowHint(watched, static_cast<QStatusTipEvent*>(event)->tip());
      return true;
    case QEvent::ShortcutOverride:
      // A focused edit would take keys such as Ctrl+A (select all) or
      // Ctrl+E for itself; the main menu's shortcuts come first.
      if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this &&
          IsMenuShortcut(static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
      }
      return false;
    case QEvent::MouseMove:
      if (auto* menu = qobject_cast<QMenu*>(watched); menu && menu->parentWidget() == MainMenu1)
        ShowMenuItemHint(menu, static_cast<QMouseEvent*>(event)->position().toPoint());
      return false;
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

// A control without a hint of its own shows its parent's, up to its window.
// When the pointer leaves a control, Qt sends an empty hint: the hint then
// comes from what is under the pointer now.
void TForm1::ShowHint(QObject*, const QString& tip) {
  if (!Status) return;
  QString hint = tip;
  if (hint.isEmpty()) {
    for (QWidget* w = QApplication::widgetAt(QCursor::pos()); w; w = w->parentWidget()) {
      hint = w->statusTip();
      if (!hint.isEmpty() || w->isWindow()) break;
    }
  }
  Status->SetPanelText(0, hint);
}

bool TForm1::IsMenuShortcut(const QKeyEvent* key) const {
  const QKeySequence pressed(key->keyCombination());
  for (QAction* menu : MainMenu1->actions())
    if (menu->menu())
      for (QAction* item : menu->menu()->actions())
        if (item->isEnabled() && !item->shortcut().isEmpty() && item->shortcut() == pressed) return true;
  return false;
}

// Qt shows the hints of enabled menu items only; a disabled item under the
// pointer shows its own (or none) once the menu has handled the move.
void TForm1::ShowMenuItemHint(QMenu* menu, const QPoint& pos) {
  QAction* item = menu->actionAt(pos);
  if (item && item->isEnabled()) return;
  const QString hint = item ? item->statusTip() : QString();
  QMetaObject::invokeMethod(
      this, [this, menu, hint] {
        if (Status && menu->isVisible()) Status->SetPanelText(0, hint);
      },
      Qt::QueuedConnection);
}

void TForm1::btbrowsemap(bool enabled) {
  btbrowse->setEnabled(enabled);
  tbtbrowse->setEnabled(enabled);
  nbtbrowse->setEnabled(enabled);
}

void TForm1::FormCreate() {
  // The dialogs open in the folders "wave" and "midi" beside the program
  // (installed: in share/tunelark, where the demo accompaniment is); they
  // are neither created nor checked here.
  Openwav->InitialDir = ProgramDataPath(QStringLiteral("wave"));
  openmidi->InitialDir = ProgramDataPath(QStringLiteral("midi"));
  newwav->InitialDir = ProgramDataPath(QStringLiteral("wave"));
  recording = false;
  midiplay->SetTimeFormat(tfMilliseconds);
  VolPanel->FormCreate();
}

void TForm1::N5Click() { close(); }



// --- Command group setters.

namespace {

void SetGroup(QToolButton* speed, QToolButton* tool, QAction* item, bool enabled) {
  speed->setEnabled(enabled);
  tool->setEnabled(enabled);
  item->setEnabled(enabled);
}

}  // namespace

void btmidiplaymap(bool enabled) { SetGroup(Form1->btmidiplay, Form1->Tbtmidiplay, Form1->nbtmidiplay, enabled); }
void btpausemap(bool enabled) { SetGroup(Form1->btpause, Form1->Tbtpause, Form1->Nbtpause, enabled); }
void btstopmap(bool enabled) { SetGroup(Form1->btstop, Form1->Tbtstop, Form1->Nbtstop, enabled); }
void btnewmap(bool enabled) { SetGroup(Form1->btnew, Form1->Tbtnew, Form1->nbtnew, enabled); }
void btwopenmap(bool enabled) { SetGroup(Form1->btwopen, Form1->Tbtwopen, Form1->Nbtwopen, enabled); }
void btrecmap(bool enabled) { SetGroup(Form1->btrec, Form1->Tbtrec, Form1->Nbtrec, enabled); }
void btwplaymap(bool enabled) { SetGroup(Form1->btwplay, Form1->Tbtwplay, Form1->Nbtwplay, enabled); }
void btwstopmap(bool enabled) { SetGroup(Form1->btwstop, Form1->Tbtwstop, Form1->Nbtwstop, enabled); }
void btdelmap(bool enabled) { SetGroup(Form1->btdel, Form1->Tbtdel, Form1->Nbtdel, enabled); }
void btsavemap(bool enabled) { SetGroup(Form1->btsave, Form1->Tbtsave, Form1->Nbtsave, enabled); }
