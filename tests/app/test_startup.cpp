// Start-up: the five windows, the end of the program, fonts and the error box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Tunelark.h"
#include "app/about.h"
#include "app/config.h"
#include "app/fonts.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/savemp3.h"
#include "app/vol.h"
#include "platform/winmsg/winmsg.h"
#include "score/aubiolib.h"
#include "forms_fixture.h"

namespace {

// Records every top-level widget in the order its construction begins (Qt
// sends QEvent::Create from the QWidget constructor).
class WindowCreationLog : public QObject {
 public:
  WindowCreationLog() { qApp->installEventFilter(this); }
  ~WindowCreationLog() override { qApp->removeEventFilter(this); }
  std::vector<QObject*> windows;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Create && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
      windows.push_back(watched);
    return false;
  }
};

// Index of a window in the log, or -1.
int IndexOf(const std::vector<QObject*>& log, QObject* window) {
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i] == window) return int(i);
  return -1;
}

// Runs the event loop as the program does; ends it with 99 after 5 s so that
// a window that fails to end the program fails the test instead of hanging.
int RunLoopWithWatchdog() {
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(5000);
  return QApplication::exec();
}

}  // namespace

TEST(StartUp, CreatesTheFiveWindowsInOrderAndShowsOnlyTheMainWindow) {
  WindowCreationLog log;
  CreateForms();
  const std::vector<QObject*> order = {Form1, Form2, AboutBox, Form3, Form4};
  int previous = -1;
  for (QObject* window : order) {
    ASSERT_NE(window, nullptr);
    const int index = IndexOf(log.windows, window);
    EXPECT_GT(index, previous) << window->metaObject()->className();
    previous = index;
  }
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_FALSE(Form2->isVisible());
  EXPECT_FALSE(AboutBox->isVisible());
  EXPECT_FALSE(Form3->isVisible());
  EXPECT_FALSE(Form4->isVisible());
  EXPECT_EQ(QApplication::applicationName(), "Tunelark");
  DestroyForms();
  EXPECT_EQ(Form1, nullptr);
  EXPECT_EQ(Form4, nullptr);
}

// Whether the pitch library is mapped into this process.
bool PitchLibraryMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("libaubio") != std::string::npos) return true;
  return false;
}

// The pitch library, with the codec libraries it brings, is no part of
// showing the window: it is loaded on a helper thread once the window has
// been painted (before, the dynamic loader spent most of the start-up on
// it).
TEST(StartUp, LoadsThePitchLibraryOnlyOnceTheWindowIsPainted) {
  if (score::AubioLoaded()) GTEST_SKIP() << "an earlier test of this process scored a take";
  EXPECT_FALSE(PitchLibraryMapped());
  CreateForms();
  EXPECT_FALSE(PitchLibraryMapped());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
  EXPECT_TRUE(QTest::qWaitFor([] { return score::AubioLoaded(); }, 10000));
  EXPECT_TRUE(PitchLibraryMapped());
  EXPECT_TRUE(Form1->isVisible());
  DestroyForms();
}

TEST_F(FormsTest, SecondaryWindowsHaveTheirCaptionsAndFixedSizes) {
  struct Expected {
    QWidget* window;
    const char* caption;
    QSize size;
  };
  const Expected windows[] = {
      {Form2, "Tunelark 设置", {288, 188}},
      {AboutBox, "关于", {244, 254}},
      {Form4, "高级音量控制", {291, 196}},
  };
  for (const Expected& e : windows) {
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(e.window->windowTitle(), QString::fromUtf8(e.caption));
    EXPECT_EQ(e.window->minimumSize(), e.size);
    EXPECT_EQ(e.window->maximumSize(), e.size);
  }
  EXPECT_FALSE(Form2->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(AboutBox->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(Form4->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(Form1->windowTitle(), "Quillmoor - Tunelark V1.6");
}

// Closing the main window ends the program even while a secondary window is
// open: Ctrl+X ("退出") and the window's close box alike.
TEST_F(FormsTest, CtrlXClosesTheMainWindowAndEndsTheLoop) {
  Form2->show();
  AboutBox->show();
  Form1->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
  QTimer::singleShot(0, [] { QTest::keyClick(Form1, Qt::Key_X, Qt::ControlModifier); });
  EXPECT_EQ(RunLoopWithWatchdog(), 0);
  EXPECT_FALSE(Form1->isVisible());
  EXPECT_TRUE(ApplicationTerminated());
}

TEST_F(FormsTest, CloseBoxEndsTheLoop) {
  Form4->show();
  QTimer::singleShot(0, [] { Form1->close(); });
  EXPECT_EQ(RunLoopWithWatchdog(), 0);
}

TEST_F(FormsTest, WindowsUseACjkFontThatHasTheChineseTexts) {
  for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2),
                          static_cast<QWidget*>(AboutBox), static_cast<QWidget*>(Form4)}) {
    SCOPED_TRACE(window->metaObject()->className());
    const QFontMetrics metrics(window->font());
    for (QChar c : QStringLiteral("录音伴奏设置关于")) EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString();
    EXPECT_EQ(QFontInfo(window->font()).pointSize(), 9);
  }
  EXPECT_EQ(SimSunFont().families().value(0), "SimSun");
}

TEST(HandlerErrors, AreReportedWithTheirTextAndTheProgramGoesOn) {
  QStringList reported;
  SetHandlerErrorReporter([&](const QString& text) { reported << text; });
  bool before = false, after = false;
  RunHandler([&] {
    before = true;
    throw std::runtime_error("WaveInOpen:\n\rno device");
  });
  RunHandler([&] { after = true; });
  // Errors escaping the multimedia layer's window procedures too.
  ApplicationHandleException(std::make_exception_ptr(std::runtime_error("Unable to open device")));
  SetHandlerErrorReporter({});
  EXPECT_TRUE(before);
  EXPECT_TRUE(after);
  // The components' own texts word for word and then in the window's
  // language; others as they are.
  EXPECT_EQ(reported, (QStringList{"WaveInOpen:\n\rno device", "Unable to open device\n无法打开设备"}));
}
