#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>

#include "app/savemp3.h"
#include "tests/mp3/Mp3TestFiles.h"

using namespace mp3test;

namespace {

class ProgressWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_savemp3";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
  }

  QTemporaryDir dir;
  TForm3 form;
  std::vector<int> barDuringRun;
  std::vector<bool> shownDuringRun;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // Watch the bar after the window's own handler has moved it.
    auto own = form.LameCoder1->OnProgress;
    form.LameCoder1->OnProgress = [this, own](QObject* s, WORD p) {
      own(s, p);
      barDuringRun.push_back(form.ProgressBar1->value());
      shownDuringRun.push_back(form.isVisible());
    };
  }
  QString Wav(const QString& name, const QByteArray& pcm) {
    WriteFile(dir.filePath(name), RecorderWav(44100, 2, 16, pcm));
    return dir.filePath(name);
  }
};

}  // namespace

TEST_F(ProgressWindow, Layout) {
  EXPECT_TRUE(form.isHidden());
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.size(), QSize(337, 57));
  EXPECT_EQ(form.font().pixelSize(), 12);
  EXPECT_EQ(form.ProgressBar1->geometry(), QRect(8, 8, 321, 25));
  EXPECT_EQ(form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1->maximum(), 100);
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  EXPECT_EQ(form.Label1->pos(), QPoint(8, 37));
  EXPECT_EQ(form.Label1->text(), QString("正在转MP3，请稍等..."));
  EXPECT_EQ(form.LameCoder1->DefaultExt(), ".mp3");

  form.show();
  const QPoint centre = form.screen()->availableGeometry().center();
  EXPECT_LE((form.geometry().center() - centre).manhattanLength(), 2);
  // The bar fills the window's width above the one line of text.
  EXPECT_EQ(form.childAt(10, 20), form.ProgressBar1);
  EXPECT_EQ(form.childAt(326, 20), form.ProgressBar1);
  EXPECT_EQ(form.childAt(12, 44), form.Label1);
  EXPECT_NE(form.childAt(2, 20), form.ProgressBar1);  // a margin, not the bar
  form.hide();
}

// Also for a recording without sound, which gives no progress at all.
TEST_F(ProgressWindow, FollowsTheRunThenResetsAndHides) {
  for (int seconds : {2, 0}) {
    barDuringRun.clear();
    const QString wav = Wav("take.wav", PcmBytes(Tone(44100, 2, 44100 * seconds, 440, 9000, 9000)));
    form.LameCoder1->SetInputFiles({wav});
    form.Convert(form.LameCoder1->OutputFiles());
    EXPECT_EQ(barDuringRun.empty(), seconds == 0);
    if (seconds) {
      EXPECT_EQ(barDuringRun.back(), 100);
    }
    EXPECT_TRUE(
        std::all_of(shownDuringRun.begin(), shownDuringRun.end(), [](bool v) { return v; }));
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("take.mp3")));
  }
}

// The error reaches the caller only after the window has reset and hidden,
// whether the input cannot be read or the output cannot be created.
TEST_F(ProgressWindow, FailedRunHidesBeforeTheErrorArrives) {
  const QString good = Wav("good.wav", PcmBytes(Tone(44100, 2, 44100, 440, 9000, 9000)));
  const std::vector<std::pair<QStringList, QStringList>> runs = {
      {{good, dir.filePath("missing.wav")}, {dir.filePath("good.mp3"), dir.filePath("m.mp3")}},
      {{good, good}, {dir.filePath("good.mp3"), dir.filePath("none/x.mp3")}},
  };
  for (const auto& [inputs, outputs] : runs) {
    form.ProgressBar1->setValue(37);
    form.LameCoder1->SetInputFiles(inputs);
    bool caught = false;
    try {
      form.Convert(outputs);
    } catch (const ELameError& e) {
      caught = true;
      EXPECT_TRUE(form.isHidden()) << e.what();
      EXPECT_EQ(form.ProgressBar1->value(), 0);
    }
    EXPECT_TRUE(caught);
  }
}

TEST_F(ProgressWindow, SecondCommandDuringARunIsIgnored) {
  const QString wav = Wav("a.wav", PcmBytes(Tone(44100, 2, 44100, 440, 9000, 9000)));
  form.LameCoder1->SetInputFiles({wav});
  auto watch = form.LameCoder1->OnProgress;
  bool nestedReturned = false;
  form.LameCoder1->OnProgress = [&](QObject* s, WORD p) {
    watch(s, p);
    if (barDuringRun.size() == 1) {
      form.Convert({dir.filePath("other.mp3")});
      nestedReturned = true;
    }
  };
  form.Convert(form.LameCoder1->OutputFiles());
  EXPECT_TRUE(nestedReturned);
  EXPECT_EQ(barDuringRun.back(), 100);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("other.mp3")));
}
