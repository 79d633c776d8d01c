// Both interfaces walked window by window: every text a singer can read is
// a source text of the translation file (Chinese) or one of its
// translations (English), so nothing is left in the other language; the
// error box of a take that cannot be made says which file and why, in the
// interface's language; dialogs have a dialog's frame; the size label shows
// the whole size.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QXmlStreamReader>

#include "app/Tunelark.h"
#include "app/about.h"
#include "app/config.h"
#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/properties.h"
#include "app/savemp3.h"
#include "app/statusbar.h"
#include "app/vol.h"
#include "platform/devicesheet/devicedialog.h"
#include "platform/language/language.h"

namespace {

struct TTranslations {
  QSet<QString> sources;
  QSet<QString> translations;
};

TTranslations ReadTranslations() {
  TTranslations t;
  // Qt's own buttons, in Qt's translation.
  t.sources << QStringLiteral("确定") << QStringLiteral("取消");
  t.translations << QStringLiteral("OK") << QStringLiteral("Cancel");
  QFile file(QStringLiteral(TUNELARK_SOURCE_DIR "/translations/tunelark_en.ts"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QLatin1String("source")) t.sources << xml.readElementText();
    if (xml.name() == QLatin1String("translation")) t.translations << xml.readElementText();
  }
  return t;
}

// Whether `text` is one of `known`, allowing any value where a text has
// "%1", "%2"... and the "&" of a shortcut.
bool Known(const QString& text, const QSet<QString>& known) {
  if (known.contains(text)) return true;
  // A caption followed by the maker's address.
  static const QRegularExpression address(QStringLiteral("^(.+?)([A-Za-z0-9._-]+@\\S+|www\\.\\S+)$"));
  if (const QRegularExpressionMatch m = address.match(text); m.hasMatch()) return Known(m.captured(1), known);
  for (const QString& k : known) {
    if (!k.contains(QLatin1Char('%')) && !k.contains(QLatin1Char('&'))) continue;
    QString pattern = QRegularExpression::escape(k);
    pattern.replace(QRegularExpression(QStringLiteral("\\\\?%\\d")), QStringLiteral(".*"));
    if (QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'),
                           QRegularExpression::DotMatchesEverythingOption)
            .match(text)
            .hasMatch())
      return true;
  }
  return false;
}

// Texts that are names or numbers, the same in every language.
bool IsName(const QString& text) {
  static const QRegularExpression name(
      QStringLiteral("^(|[0-9.:%\\s]*|\\d+MB|Quillmoor - Tunelark V1\\.6|Tunelark|MIDI|SoundFont \\(.*\\))$"));
  return name.match(text).hasMatch();
}

void AddText(QStringList& texts, const QString& text) {
  if (!IsName(text.trimmed())) texts << text;
}

// Every text of a window a singer reads: captions, labels, hints, list
// items (but not the device lists, which are the system's names), tab and
// menu names.
QStringList WindowTexts(QWidget* window) {
  QStringList texts;
  AddText(texts, window->windowTitle());
  QList<QWidget*> widgets = window->findChildren<QWidget*>();
  widgets << window;
  for (QWidget* w : widgets) {
    AddText(texts, w->statusTip());
    AddText(texts, w->toolTip());
    if (auto* label = qobject_cast<QLabel*>(w)) AddText(texts, label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) AddText(texts, button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) AddText(texts, group->title());
    // A spin box's field holds its number: its suffix is the text.
    if (auto* spin = qobject_cast<QSpinBox*>(w)) AddText(texts, spin->suffix());
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !qobject_cast<QSpinBox*>(edit->parentWidget()))
      AddText(texts, edit->text());
    if (auto* tabs = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < tabs->count(); ++i) AddText(texts, tabs->tabText(i));
    if (auto* list = qobject_cast<QComboBox*>(w)) {
      // Device and encoding names are names; the first entry of those lists is a text.
      const bool names = qobject_cast<soundcard::DeviceDialog*>(list->window()) != nullptr ||
                         (Form2 && list == Form2->LyricsCoding);
      for (int i = 0; i < (names ? std::min(1, list->count()) : list->count()); ++i) AddText(texts, list->itemText(i));
    }
    if (auto* status = qobject_cast<TStatusBar*>(w)) AddText(texts, status->PanelText(1));
  }
  if (auto* main = qobject_cast<QMainWindow*>(window)) {
    for (QAction* menuAction : main->menuBar()->actions()) {
      AddText(texts, menuAction->text());
      if (!menuAction->menu()) continue;
      for (QAction* a : menuAction->menu()->actions()) {
        AddText(texts, a->text());
        AddText(texts, a->statusTip());
      }
    }
  }
  return texts;
}

bool HasChinese(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]"))); }

void UseLanguage(const char* code) {
  DestroyForms();
  language::Choose(QString::fromLatin1(code));
  InitialiseApplication(*qApp);
  CreateForms();
}

class Interface : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { UseLanguage(GetParam()); }
  void TearDown() override {
    SetHandlerErrorReporter({});
    TFileDialog::SetResponder({});
    language::Choose(QStringLiteral("zh"));
    InitialiseApplication(*qApp);
    DestroyForms();
  }
  bool Chinese() const { return QLatin1String(GetParam()) == QLatin1String("zh"); }
};

}  // namespace

TEST_P(Interface, EveryWindowIsInOneLanguage) {
  const TTranslations known = ReadTranslations();
  ASSERT_GT(known.sources.size(), 100);
  Form1->show();
  QTest::qWait(50);
  soundcard::DeviceDialog sheet(Form2, Form2->MMPro->Title);
  const QList<QWidget*> windows = {Form1, Form2, Form3, Form4, AboutBox, LyricsForm, &sheet};
  int walked = 0;
  for (QWidget* window : windows) {
    for (const QString& text : WindowTexts(window)) {
      ++walked;
      SCOPED_TRACE(window->metaObject()->className());
      if (Chinese()) {
        EXPECT_TRUE(Known(text, known.sources)) << "not a source text: " << text.toStdString();
      } else {
        EXPECT_FALSE(HasChinese(text)) << text.toStdString();
        EXPECT_TRUE(Known(text, known.translations)) << "not a translation: " << text.toStdString();
      }
    }
  }
  EXPECT_GT(walked, 100);
  // The mixer's lines by the names of the interface's language.
  QStringList lines;
  for (int i = 0; i < Form1->DestSel->count(); ++i) lines << Form1->DestSel->itemText(i);
  EXPECT_EQ(lines, Chinese() ? QStringList({QStringLiteral("扬声器"), QStringLiteral("录音")})
                             : QStringList({QStringLiteral("Speakers"), QStringLiteral("Recording")}));
}

TEST_P(Interface, ATakeThatCannotBeMadeNamesTheFileAndTheReason) {
  QStringList shown;
  SetHandlerErrorReporter([&](const QString& text) { shown << text; });
  const QString take = QStringLiteral("/proc/tunelark-take.wav");
  TFileDialog::SetResponder([&](TFileDialog& d) {
    d.FileName = take;
    d.Files = {take};
    return true;
  });
  RunHandler([] { Form1->btnewClick(); });
  ASSERT_EQ(shown.size(), 1);
  const QStringList lines = shown.first().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3) << shown.first().toStdString();
  EXPECT_TRUE(lines[2].contains(take)) << lines[2].toStdString();
  if (Chinese()) {
    EXPECT_EQ(lines[0], QStringLiteral("无法在文件夹“/proc”中写入录音。"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("无法创建文件 /proc/tunelark-take.wav："))) << lines[2].toStdString();
  } else {
    EXPECT_FALSE(HasChinese(shown.first())) << shown.first().toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("cannot create /proc/tunelark-take.wav: "))) << lines[2].toStdString();
  }
}

TEST_P(Interface, DialogsHaveADialogsFrameAndTheSizeLabelHoldsTheWholeSize) {
  for (QWidget* dialog : std::initializer_list<QWidget*>{Form2, AboutBox}) {
    EXPECT_EQ(dialog->windowType(), Qt::Dialog) << dialog->metaObject()->className();
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  }
  // The advanced volume window stays a window that can be minimised.
  EXPECT_EQ(Form4->windowType(), Qt::Window);
  // A ten-minute take at 44100 Hz is 106 MB; a long one has four digits.
  for (const char* size : {"106MB", "1060MB"}) {
    Form1->wavsize->setText(QString::fromLatin1(size));
    EXPECT_GE(Form1->wavsize->width(), Form1->wavsize->sizeHint().width()) << size;
  }
}

// The effects sheet, placed by its texts' widths, holds its controls whole
// and apart in every language within the settings window's fixed size.
TEST_P(Interface, TheEffectsSheetHoldsItsControlsWhole) {
  Form2->PageControl1->setCurrentWidget(Form2->TabSheet6);
  Form2->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form2));
  QWidget* page = Form2->TabSheet6;
  const QList<QWidget*> controls = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  EXPECT_EQ(controls.size(), 11);
  for (int a = 0; a < controls.size(); ++a) {
    const QRect at = controls[a]->geometry();
    EXPECT_TRUE(page->rect().contains(at)) << controls[a]->metaObject()->className() << " at " << at.x() << ","
                                           << at.y() << " " << at.width() << "x" << at.height();
    for (int b = 0; b < a; ++b)
      EXPECT_FALSE(at.intersects(controls[b]->geometry()))
          << controls[a]->metaObject()->className() << " over " << controls[b]->metaObject()->className();
  }
  Form2->hide();
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, Interface, ::testing::Values("zh", "en"),
                         [](const auto& info) { return std::string(info.param); });
