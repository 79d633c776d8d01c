// The main window: command groups, hints, layout, dialogs and images.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <functional>

#include "app/dialogs.h"
#include "app/icons.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "audio/MMConect.h"
#include "controls/MMLevel.h"
#include "forms_fixture.h"

namespace {

struct Group {
  const char* name;
  std::function<void(bool)> setter;
  QToolButton* TForm1::*speed;
  QToolButton* TForm1::*tool;
  QAction* TForm1::*item;
  bool buttonsEnabled;
  bool itemEnabled;
  QKeySequence shortcut;
};

// The eleven command groups with their state at start-up.
const std::vector<Group>& Groups() {
  static const std::vector<Group> groups = {
      {"browse MIDI", [](bool b) { Form1->btbrowsemap(b); }, &TForm1::btbrowse, &TForm1::tbtbrowse,
       &TForm1::nbtbrowse, true, false, QKeySequence("Ctrl+Alt+O")},
      {"play MIDI", btmidiplaymap, &TForm1::btmidiplay, &TForm1::Tbtmidiplay, &TForm1::nbtmidiplay, false, false,
       QKeySequence("Ctrl+P")},
      {"pause MIDI", btpausemap, &TForm1::btpause, &TForm1::Tbtpause, &TForm1::Nbtpause, false, false,
       QKeySequence("Ctrl+F")},
      {"stop MIDI", btstopmap, &TForm1::btstop, &TForm1::Tbtstop, &TForm1::Nbtstop, false, false,
       QKeySequence("Ctrl+Alt+S")},
      {"new WAV", btnewmap, &TForm1::btnew, &TForm1::Tbtnew, &TForm1::nbtnew, true, true, QKeySequence("Ctrl+N")},
      {"open WAV", btwopenmap, &TForm1::btwopen, &TForm1::Tbtwopen, &TForm1::Nbtwopen, true, true,
       QKeySequence("Ctrl+O")},
      {"record", btrecmap, &TForm1::btrec, &TForm1::Tbtrec, &TForm1::Nbtrec, false, false, QKeySequence("F2")},
      {"play WAV", btwplaymap, &TForm1::btwplay, &TForm1::Tbtwplay, &TForm1::Nbtwplay, false, false,
       QKeySequence("F3")},
      {"stop and save", btwstopmap, &TForm1::btwstop, &TForm1::Tbtwstop, &TForm1::Nbtwstop, false, false,
       QKeySequence("F4")},
      {"delete WAV", btdelmap, &TForm1::btdel, &TForm1::Tbtdel, &TForm1::Nbtdel, false, false, QKeySequence()},
      {"save as MP3", btsavemap, &TForm1::btsave, &TForm1::Tbtsave, &TForm1::Nbtsave, false, false,
       QKeySequence("Ctrl+S")},
  };
  return groups;
}

using MainWindowTest = FormsTest;

void Enter(QWidget* w) {
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(w, &enter);
}

void Leave(QWidget* w) {
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(w, &leave);
}

}  // namespace

TEST_F(MainWindowTest, CommandGroupsStartAsTheStoredLayoutHasThem) {
  for (const Group& g : Groups()) {
    SCOPED_TRACE(g.name);
    EXPECT_EQ((Form1->*g.speed)->isEnabled(), g.buttonsEnabled);
    EXPECT_EQ((Form1->*g.tool)->isEnabled(), g.buttonsEnabled);
    EXPECT_EQ((Form1->*g.item)->isEnabled(), g.itemEnabled);
    EXPECT_EQ((Form1->*g.item)->shortcut(), g.shortcut);
  }
  // Commands outside the groups are always available.
  for (QToolButton* b : {Form1->ToolButton2, Form1->ToolButton5, Form1->ToolButton6, Form1->ToolButton7,
                         Form1->ToolButton8})
    EXPECT_TRUE(b->isEnabled());
  for (QAction* a : {Form1->showconfig, Form1->help, Form1->website, Form1->email, Form1->Tunelark1, Form1->N5})
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(MainWindowTest, EachSetterSetsItsThreeMembersAndNoOthers) {
  for (const Group& g : Groups()) {
    SCOPED_TRACE(g.name);
    for (bool state : {true, false, true}) {
      g.setter(state);
      EXPECT_EQ((Form1->*g.speed)->isEnabled(), state);
      EXPECT_EQ((Form1->*g.tool)->isEnabled(), state);
      EXPECT_EQ((Form1->*g.item)->isEnabled(), state);
    }
    g.setter(false);
    for (const Group& other : Groups())
      if (&other != &g) other.setter(true);
    EXPECT_FALSE((Form1->*g.speed)->isEnabled());
    EXPECT_FALSE((Form1->*g.tool)->isEnabled());
    EXPECT_FALSE((Form1->*g.item)->isEnabled());
  }
}

TEST_F(MainWindowTest, HintOfTheControlUnderThePointerGoesToPanelZero) {
  QCursor::setPos(0, 0);
  EXPECT_EQ(Form1->Status->PanelText(1), "就绪");
  Enter(Form1->btrec);  // disabled controls show their hint too
  EXPECT_EQ(Form1->Status->PanelText(0), "开始录音");
  Leave(Form1->btrec);
  EXPECT_EQ(Form1->Status->PanelText(0), "");
  Enter(Form1->tbtbrowse);
  EXPECT_EQ(Form1->Status->PanelText(0), "浏览文件...");
  Enter(Form1->MMLevel2);
  EXPECT_EQ(Form1->Status->PanelText(0), "右电平");
  Enter(Form1->Status);
  EXPECT_EQ(Form1->Status->PanelText(0), "状态栏");
  // A menu item under the pointer.
  Form1->F1->popup(Form1->mapToGlobal(QPoint(0, 0)));
  Form1->F1->setActiveAction(Form1->Nbtwopen);
  EXPECT_EQ(Form1->Status->PanelText(0), "打开WAV");
  Form1->F1->hide();
  // Hints never go to the status text.
  EXPECT_EQ(Form1->Status->PanelText(1), "就绪");
}

TEST_F(MainWindowTest, NoTooltipIsShown) {
  Form1->btnew->setToolTip("tooltip");
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), Form1->btnew->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(Form1->btnew, &help);
  EXPECT_FALSE(QToolTip::isVisible());
}

// The layout as the user sees it: a window of fixed size whose client area
// (below the menu) is stacked from the tool bar, the panel and the status
// bar, each as wide as the window and nothing cut off; on the panel the
// accompaniment group with the two meters to its right (left meter first),
// and below it the recording and volume groups side by side; no group or
// meter covers another, and every control lies inside its group.
TEST_F(MainWindowTest, TheBandsAndGroupsFitTogetherWithNothingCutOff) {
  Form1->show();
  EXPECT_EQ(Form1->minimumSize(), Form1->maximumSize());
  QWidget* client = Form1->centralWidget();
  EXPECT_EQ(client->height() + Form1->MainMenu1->height(), Form1->height());
  EXPECT_EQ(client->width(), Form1->width());
  int y = 0;
  for (QWidget* band : {static_cast<QWidget*>(Form1->ToolBar1), static_cast<QWidget*>(Form1->Panel1),
                        static_cast<QWidget*>(Form1->Status)}) {
    EXPECT_EQ(band->geometry(), QRect(0, y, client->width(), band->height())) << band->metaObject()->className();
    EXPECT_GT(band->height(), 0);
    y += band->height();
  }
  EXPECT_EQ(y, client->height());
  // The hint panel leaves room for the status text.
  EXPECT_LT(Form1->Status->PanelRect(0).width(), Form1->Status->width() - 100);

  const QRect accompaniment = Form1->GroupBox1->geometry(), recording = Form1->GroupBox2->geometry(),
              volume = Form1->GroupBox3->geometry(), left = Form1->MMLevel1->geometry(),
              right = Form1->MMLevel2->geometry();
  for (const QRect& r : {accompaniment, recording, volume, left, right})
    EXPECT_TRUE(Form1->Panel1->rect().contains(r)) << r.x() << "," << r.y();
  EXPECT_LT(accompaniment.right(), left.left());
  EXPECT_LT(left.right(), right.left());
  EXPECT_EQ(left.size(), right.size());
  EXPECT_GT(left.height(), 4 * left.width());  // upright bars
  EXPECT_LT(accompaniment.bottom(), std::min(recording.top(), volume.top()));
  EXPECT_LT(std::max(left.bottom(), right.bottom()), std::min(recording.top(), volume.top()));
  EXPECT_LT(recording.right(), volume.left());
  // The window's own size, as the user sees it.
  EXPECT_EQ(Form1->size(), QSize(537, 364 + Form1->MainMenu1->height()));
  // Every control of a group lies inside its group box.
  for (QGroupBox* box : {Form1->GroupBox1, Form1->GroupBox2, Form1->GroupBox3})
    for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      EXPECT_TRUE(box->rect().contains(child->geometry())) << box->title().toStdString();
}

// The same layout from the user's side: what a click at a point of the window
// would land on, found by position rather than read back from the geometry
// the window gave each part. The points are in the client area below the
// menu: the tool bar along the top, the accompaniment group with the two
// meters (left one first) at its right, the recording group below left, the
// volume group below right, the status bar along the bottom.
TEST_F(MainWindowTest, EachPartIsFoundWhereTheUserSeesIt) {
  Form1->show();
  const int top = Form1->MainMenu1->height();
  auto at = [&](int x, int y) { return Form1->childAt(x, top + y); };
  auto in = [](QWidget* found, QWidget* part) { return found && (found == part || part->isAncestorOf(found)); };
  EXPECT_TRUE(in(at(4, 4), Form1->ToolBar1));
  EXPECT_TRUE(in(at(530, 20), Form1->ToolBar1));
  EXPECT_TRUE(in(at(30, 60), Form1->GroupBox1));
  EXPECT_TRUE(in(at(489, 100), Form1->MMLevel1));
  EXPECT_TRUE(in(at(512, 100), Form1->MMLevel2));
  EXPECT_FALSE(in(at(489, 100), Form1->GroupBox1));  // the meters are not covered by the group
  EXPECT_TRUE(in(at(30, 200), Form1->GroupBox2));
  EXPECT_TRUE(in(at(260, 300), Form1->GroupBox2));
  EXPECT_TRUE(in(at(300, 200), Form1->GroupBox3));
  EXPECT_TRUE(in(at(520, 300), Form1->GroupBox3));
  EXPECT_TRUE(in(at(10, 355), Form1->Status));
  EXPECT_TRUE(in(at(530, 355), Form1->Status));
}

TEST_F(MainWindowTest, LevelMetersShowLeftAndRightAndTheConnectorFeedsThem) {
  for (TMMLevel* level : {Form1->MMLevel1, Form1->MMLevel2}) {
    EXPECT_EQ(level->parentWidget(), Form1->Panel1);
    EXPECT_EQ(level->Kind(), lkVertical);
    EXPECT_EQ(level->Bevel().BevelOuter, bvLowered);
    EXPECT_EQ(level->Bevel().TotalWidth(), 1);
    EXPECT_EQ(level->Bar1Color(), clYellow);
    EXPECT_EQ(level->Bar2Color(), clYellow);
    EXPECT_EQ(level->Bar3Color(), clRed);
    EXPECT_EQ(level->Inactive1Color(), clBlack);
    EXPECT_EQ(level->Inactive3Color(), clBlack);
    EXPECT_EQ(level->BitLength(), b16Bit);
    EXPECT_EQ(level->Mode(), mStereo);
    EXPECT_EQ(level->SpotCount(), 53);
  }
  EXPECT_EQ(Form1->MMLevel1->Channel(), chLeft);
  EXPECT_EQ(Form1->MMLevel2->Channel(), chRight);
  EXPECT_EQ(Form1->MMLevel1->statusTip(), "左电平");
  ASSERT_NE(Form1->connect, nullptr);
  EXPECT_EQ(Form1->connect->parent(), Form1);
  EXPECT_EQ(Form1->connect->Level1(), Form1->MMLevel1);
  EXPECT_EQ(Form1->connect->Level2(), Form1->MMLevel2);
  EXPECT_FALSE(TMMConnector::EnterIdle());
  EXPECT_TRUE(Form1->connect->Enabled());
  EXPECT_TRUE(Form1->connect->RealTime());
}

TEST_F(MainWindowTest, FormCreateSetsTheDialogFoldersBesideTheProgram) {
  const QString dir = QCoreApplication::applicationDirPath() + "/";
  ASSERT_FALSE(QDir(dir + "wave").exists());  // set even though they do not exist
  EXPECT_EQ(Form1->Openwav->InitialDir, dir + "wave");
  EXPECT_EQ(Form1->newwav->InitialDir, dir + "wave");
  EXPECT_EQ(Form1->openmidi->InitialDir, dir + "midi");
  EXPECT_FALSE(recording);
}

TEST_F(MainWindowTest, DialogsAreConfiguredForTheirCommands) {
  struct Expected {
    TFileDialog* dialog;
    QString title;
    QStringList filters;
    QString suffix;
    QFileDialog::AcceptMode mode;
    QFileDialog::FileMode fileMode;
    bool confirmOverwrite;
  };
  const Expected dialogs[] = {
      {Form1->openmidi.get(), "打开MIDI", {"MIDI FILES(*.mid)", "WAV FILES(*.wav)", "MP3 FILES(*.mp3)"}, "",
       QFileDialog::AcceptOpen, QFileDialog::AnyFile, false},
      {Form1->Openwav.get(), "", {"wave files(*.wav)"}, "", QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
       false},
      // The recording asks before it replaces a take: no second question here.
      {Form1->newwav.get(), "新建WAV", {"WAVE FILES(*.wav)"}, "wav", QFileDialog::AcceptSave, QFileDialog::AnyFile,
       false},
      {Form1->SaveMP3.get(), "另存为MP3", {"MP3 FILES(*.mp3)"}, "mp3", QFileDialog::AcceptSave,
       QFileDialog::AnyFile, true},
      {Form1->Savewav.get(), "WAV另存为", {"WAVE FILES (*.wav)"}, "", QFileDialog::AcceptSave, QFileDialog::AnyFile,
       false},
  };
  for (const Expected& e : dialogs) {
    SCOPED_TRACE(e.filters.join(",").toStdString());
    const auto dialog = e.dialog->CreateDialog();
    if (!e.title.isEmpty()) {
      EXPECT_EQ(dialog->windowTitle(), e.title);
    }
    EXPECT_EQ(dialog->nameFilters(), e.filters);
    EXPECT_EQ(dialog->defaultSuffix(), e.suffix);
    EXPECT_EQ(dialog->acceptMode(), e.mode);
    EXPECT_EQ(dialog->fileMode(), e.fileMode);
    if (e.mode == QFileDialog::AcceptSave) {
      EXPECT_EQ(dialog->testOption(QFileDialog::DontConfirmOverwrite), !e.confirmOverwrite);
    }
    EXPECT_EQ(dialog->parentWidget(), Form1);
  }
  EXPECT_EQ(Form1->newwav->FileName, "newwave.wav");
}

TEST(FileDialogs, FiltersAndStartFolders) {
  EXPECT_EQ(QtNameFilters("MIDI FILES(*.mid)|*.mid|WAV FILES(*.wav)|*.wav"),
            (QStringList{"MIDI FILES(*.mid)", "WAV FILES(*.wav)"}));
  EXPECT_EQ(QtNameFilters("WAVE FILES|*.wav"), QStringList{"WAVE FILES (*.wav)"});
  EXPECT_EQ(QtNameFilters("Sound|*.wav;*.mp3"), QStringList{"Sound (*.wav *.mp3)"});
  EXPECT_EQ(QtNameFilters(""), QStringList{});

  TSaveDialog dialog(nullptr);
  dialog.InitialDir = QDir::tempPath() + "/tunelark-missing-folder";
  dialog.FileName = "newwave.wav";
  EXPECT_EQ(dialog.StartDirectory(), QDir::currentPath());  // a missing folder is not created
  dialog.InitialDir = QDir::tempPath();
  EXPECT_EQ(dialog.StartDirectory(), QDir::tempPath());
  dialog.FileName = QDir::rootPath() + "chosen.wav";  // after a choice: its folder
  EXPECT_EQ(QDir(dialog.StartDirectory()), QDir::root());
}

TEST(Imagebar, HoldsFourteenDistinctImagesOf16x16) {
  const QList<QPixmap> images = MakeImagebar();
  ASSERT_EQ(images.size(), imgCount);
  QSet<QByteArray> distinct;
  for (const QPixmap& image : images) {
    EXPECT_EQ(image.size(), QSize(16, 16));
    const QImage pixels = image.toImage();
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += qAlpha(pixels.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 20);
    distinct.insert(QByteArray(reinterpret_cast<const char*>(pixels.constBits()), pixels.sizeInBytes()));
  }
  EXPECT_EQ(distinct.size(), imgCount);
}
