// Help, web, mail and about: the pages opened from the program's folder,
// the pages themselves, the menu shortcuts whatever has the focus, the
// hints of disabled menu items, and the about box with its picture.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QXmlStreamReader>

#include "app/about.h"
#include "app/clicklabel.h"
#include "app/main.h"
#include "app/opener.h"
#include "app/statusbar.h"
#include "forms_fixture.h"

namespace {

class Help : public FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    SetUrlOpener([this](const QUrl& url) { opened << url; });
    Form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
  }
  void TearDown() override {
    SetUrlOpener({});
    QDir::setCurrent(startDir);
    FormsTest::TearDown();
  }
  QList<QUrl> opened;
  QString startDir = QDir::currentPath();
};

QString ProgramFolderPage(const QString& page) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help/") + page);
}

}  // namespace

TEST_F(Help, F1AndTheNoteOpenThePagesBesideTheProgramWhateverTheCurrentFolder) {
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
  QTest::keyClick(Form1, Qt::Key_F1);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(ProgramFolderPage("index.htm")));
  EXPECT_EQ(Form1->Label6->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseClick(Form1->Label6, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[1], QUrl::fromLocalFile(ProgramFolderPage("faq.htm")));
  Form1->ToolButton5->click();
  EXPECT_EQ(opened.value(2), opened[0]);
}

TEST_F(Help, WebAndMailOpenTheMakersAddresses) {
  Form1->ToolButton6->click();
  Form1->ToolButton7->click();
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[0].scheme(), "http");
  EXPECT_EQ(opened[0].host(), QString::fromLatin1(maker::kWebSiteShown));
  EXPECT_EQ(opened[1].scheme(), "mailto");
  EXPECT_EQ(opened[1].path(), QString::fromLatin1(maker::kMailAddress));
}

// The read-only MIDI file edit has the focus from start-up; select-all and
// end-of-line must not swallow the menu's Ctrl+A and Ctrl+E.
TEST_F(Help, MenuShortcutsWinOverTheFocusedReadOnlyEdit) {
  Form1->Efilename->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), Form1->Efilename);
  QTest::keyClick(Form1->Efilename, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(AboutBox->isVisible());
  EXPECT_FALSE(AboutBox->isModal());
  EXPECT_TRUE(Form1->Efilename->selectedText().isEmpty());
  AboutBox->hide();
  Form1->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
  Form1->ewavfile->setFocus();
  QTest::keyClick(Form1->ewavfile, Qt::Key_E, Qt::ControlModifier);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0].scheme(), "mailto");
  // A key the menu does not use still reaches the edit.
  Form1->Efilename->setFocus();
  Form1->Efilename->setCursorPosition(0);
  QTest::keyClick(Form1->Efilename, Qt::Key_End);
  EXPECT_EQ(Form1->Efilename->cursorPosition(), Form1->Efilename->text().size());
}

TEST_F(Help, ADisabledMenuItemShowsItsHintInPanelZero) {
  QMenu* menu = Form1->F1;
  menu->popup(Form1->mapToGlobal(QPoint(0, 0)));
  ASSERT_FALSE(Form1->nbtbrowse->isEnabled());
  for (QAction* item : {Form1->nbtbrowse, Form1->Nbtsave}) {
    const QPoint at = menu->actionGeometry(item).center();
    QMouseEvent move(QEvent::MouseMove, at, menu->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(menu, &move);
    QCoreApplication::processEvents();
    EXPECT_EQ(Form1->Status->PanelText(0), item->statusTip());
  }
  menu->hide();
  EXPECT_EQ(Form1->Status->PanelText(1), "就绪");
}

TEST_F(Help, ThePagesAreInstalledBesideTheProgramAsWellFormedChineseHtml) {
  struct Page {
    const char* name;
    QStringList mustSay;
  };
  const Page pages[] = {
      {"index.htm", {"开始录音", "停止并保存", "另存为MP3", "新建WAV质量", "当MIDI结束时停止", "不必有MIDI即可录音"}},
      {"faq.htm", {"放/录", "录音", "静音", "软件合成器", "选择设备..."}},
      // The English pages use the English window's words.
      {"en/index.htm", {"Start recording", "Stop and save", "Save as MP3", "Quality", "Stop when the MIDI ends",
                        "Record without a MIDI file"}},
      {"en/faq.htm", {"Mix", "Recording", "Mute", "SW Synth", "Devices..."}},
  };
  for (const Page& page : pages) {
    SCOPED_TRACE(page.name);
    for (const QString& dir : {QStringLiteral(TUNELARK_PROGRAM_DIR), QCoreApplication::applicationDirPath()}) {
      QFile file(QDir(dir).filePath(QStringLiteral("help/") + page.name));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
      const QByteArray bytes = file.readAll();
      QXmlStreamReader xml(bytes);
      QStringList links;
      QString title;
      while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"a")
          links << xml.attributes().value("href").toString().section('#', 0, 0);
        if (xml.isStartElement() && xml.name() == u"title") title = xml.readElementText();
      }
      EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " line " << xml.lineNumber();
      EXPECT_TRUE(title.contains(QStringLiteral("Tunelark")));
      const QString text = QString::fromUtf8(bytes);
      EXPECT_TRUE(text.contains(QStringLiteral("<meta charset=\"utf-8\"")));
      for (const QString& phrase : page.mustSay) EXPECT_TRUE(text.contains(phrase)) << phrase.toStdString();
      if (QString::fromLatin1(page.name).startsWith(QLatin1String("en/"))) {
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")))) << "Chinese text";
      }
      for (const QString& link : links) {
        if (!link.isEmpty()) {
          EXPECT_TRUE(QFileInfo(file).dir().exists(link)) << link.toStdString();
        }
      }
    }
  }
}

TEST_F(Help, TheAboutBoxShowsItsPictureIconAndTheMakersLines) {
  EXPECT_TRUE(QImageReader::supportedImageFormats().contains("jpeg"));
  QImageReader reader(QString::fromLatin1(kAboutPicture));
  EXPECT_EQ(reader.format(), "jpeg");
  const QImage picture = reader.read();
  ASSERT_FALSE(picture.isNull()) << reader.errorString().toStdString();
  EXPECT_EQ(picture.size(), QSize(150, 110));

  TAboutBox& a = *AboutBox;
  EXPECT_EQ(a.Image1->geometry(), QRect(48, 8, 150, 110));
  EXPECT_EQ(a.Image1->pixmap().size(), QSize(150, 110));
  EXPECT_EQ(a.Image2->geometry(), QRect(176, 96, 32, 32));
  EXPECT_FALSE(a.Image2->pixmap().isNull());
  struct Line {
    QLabel* label;
    QPoint at;
    const char* starts;
  };
  for (const Line& l : {Line{a.ProductName, {16, 136}, "名称:Tunelark"}, Line{a.Version, {144, 136}, "版本:V1.6"},
                        Line{a.Copyright, {16, 152}, "版权:Quillmoor出品"}, Line{a.Label1, {16, 168}, "公司网站:"},
                        Line{a.Label2, {16, 184}, "作者信箱:"}, Line{a.Label3, {16, 200}, "地址:"}}) {
    SCOPED_TRACE(l.starts);
    EXPECT_EQ(l.label->pos(), l.at);
    EXPECT_TRUE(l.label->text().startsWith(QString::fromUtf8(l.starts)));
    EXPECT_LE(l.label->geometry().right(), 244);
  }
  EXPECT_TRUE(a.Label1->text().endsWith(QString::fromLatin1(maker::kWebSiteShown)));
  EXPECT_TRUE(a.Label2->text().endsWith(QString::fromLatin1(maker::kMailAddress)));
  EXPECT_EQ(a.OKButton->geometry(), QRect(87, 220, 75, 25));
  // Where the user sees them: the picture at the top, the icon over its
  // lower right corner, the button centred below the text lines.
  a.show();
  EXPECT_EQ(a.childAt(60, 20), a.Image1);
  EXPECT_EQ(a.childAt(190, 110), a.Image2);
  EXPECT_EQ(a.childAt(124, 232), a.OKButton);
  EXPECT_EQ(a.childAt(20, 232), nullptr);
  a.hide();
  EXPECT_EQ(a.OKButton->text(), "确定");
  EXPECT_TRUE(a.OKButton->isDefault());

  Form1->ToolButton8->click();
  EXPECT_TRUE(a.isVisible());
  Form1->Tunelark1Click();  // a second call only brings it up again
  EXPECT_TRUE(a.isVisible());
  a.OKButton->click();
  EXPECT_FALSE(a.isVisible());
  EXPECT_EQ(AboutBox, &a);
}
