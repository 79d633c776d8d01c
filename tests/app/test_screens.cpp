// Pictures of every window as the user sees it, for a look by eye, in each
// language (folders zh/ and en/). Runs only when TUNELARK_SCREENSHOTS names
// a folder, best under a real X server:
//   TUNELARK_SCREENSHOTS=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a
//     -s "-screen 0 1024x768x24" build/tests/app/test_app --gtest_filter='Screens.*'
#include <gtest/gtest.h>

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include "app/about.h"
#include "app/config.h"
#include "app/main.h"
#include "app/properties.h"
#include "app/vol.h"
#include "forms_fixture.h"
#include "platform/devicesheet/devicedialog.h"
#include "platform/devicesheet/latencypanel.h"
#include "platform/language/language.h"
#include "platform/devicesheet/soundfontdialog.h"
#include "platform/soundcard/calibration.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"

namespace {

class Screens : public FormsTest {
 protected:
  void SetUp() override {
    folder = qEnvironmentVariable("TUNELARK_SCREENSHOTS");
    if (folder.isEmpty()) GTEST_SKIP() << "TUNELARK_SCREENSHOTS is not set";
    FormsTest::SetUp();
  }
  void TearDown() override {
    FormsTest::TearDown();
    UseLanguage("zh");
  }
  // The windows anew in the language `code`, and the folder for its shots.
  void UseLanguage(const char* code) {
    DestroyForms();
    language::Choose(QString::fromLatin1(code));
    InitialiseApplication(*qApp);
    CreateForms();
    shots = QDir(folder).filePath(QString::fromLatin1(code));
    QDir().mkpath(shots);
  }
  void Shoot(QWidget* window, const QString& name) {
    window->show();
    window->raise();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(300);
    EXPECT_TRUE(window->grab().save(QDir(shots).filePath(name + ".png")));
  }
  void ShootEveryWindow();
  QString folder;
  QString shots;
};

}  // namespace

TEST_F(Screens, EveryWindow) {
  for (const char* code : {"zh", "en"}) {
    SCOPED_TRACE(code);
    UseLanguage(code);
    ShootEveryWindow();
  }
}

void Screens::ShootEveryWindow() {
  Shoot(Form1, "main");
  int n = 0;
  for (QMenu* menu : {Form1->F1, Form1->MIDI1, Form1->N1, Form1->N2}) {
    menu->popup(Form1->mapToGlobal(QPoint(0, Form1->MainMenu1->height())));
    QTest::qWait(300);
    EXPECT_TRUE(menu->grab().save(QDir(shots).filePath(QStringLiteral("main-menu-%1.png").arg(++n))));
    menu->hide();
  }
  for (int page = 0; page < Form2->PageControl1->count(); ++page) {
    Form2->PageControl1->setCurrentIndex(page);
    Shoot(Form2, QStringLiteral("settings-%1").arg(page + 1));
  }
  Form2->hide();
  Shoot(Form4, "advanced-volume");
  Form4->hide();
  Shoot(AboutBox, "about");
  AboutBox->hide();
  soundcard::DeviceDialog sheet(Form2, Form2->MMPro->Title);
  Shoot(&sheet, "device-sheet");
  // After a measurement on a virtual device with a 120 ms round trip, and
  // after one that heard nothing.
  for (const double ms : {120.0, 0.0}) {
    soundcard::SetSimulatedRoundTripMs(ms);
    sheet.latency()->measure();
    // Stepped or running, the card finishes the measurement.
    soundcard::Advance(soundcard::ClickPlan::kTotal);
    for (int i = 0; i < 200 && !sheet.latency()->poll(); ++i) QTest::qWait(50);
    Shoot(&sheet, ms > 0 ? "device-sheet-measured" : "device-sheet-nothing-heard");
  }
  sheet.hide();
  sequencer::SoundfontDialog soundfonts(Form2, Form2->MMPro2->Title);
  Shoot(&soundfonts, "soundfont-sheet");
  soundfonts.hide();
  if (QScreen* screen = Form1->screen()) {
    EXPECT_TRUE(screen->grabWindow(0).save(QDir(shots).filePath("screen.png")));
  }
}
