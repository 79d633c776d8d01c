// The window when its sound server goes away mid-take: the error is shown
// once, and the take is left as stop-and-save leaves it, finished and ready
// to be played, saved as MP3 or deleted.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QToolButton>

#include <cstring>

#include "app/config.h"
#include "app/main.h"
#include "platform/soundcard/engine.h"
#include "window_fixture.h"

TEST_F(WindowTest, ALostSoundServerEndsTheTakeWithAnErrorAndLeavesItUsable) {
  TForm1& f = *Form1;
  Form2->nomidi->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  answers << take;
  f.btnew->click();
  f.btrec->click();
  ASSERT_TRUE(f.btwstop->isEnabled());
  soundcard::AdvanceAndPump(44100);
  // What the sound server's clock does when its server goes away.
  soundcard::Engine::instance().hostLost();
  for (int i = 0; i < 10; ++i) {
    soundcard::AdvanceAndPump(441);
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
  EXPECT_TRUE(errors[0].contains(QStringLiteral("sound server was lost"))) << errors[0].toStdString();
  EXPECT_FALSE(recording);
  EXPECT_FALSE(f.btwstop->isEnabled());
  EXPECT_TRUE(f.btwplay->isEnabled());
  EXPECT_TRUE(f.btsave->isEnabled());
  EXPECT_TRUE(f.btdel->isEnabled());
  EXPECT_TRUE(f.btnew->isEnabled());
  EXPECT_TRUE(f.btrec->isEnabled());

  // A finished WAV of the second recorded.
  QFile file(take);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray b = file.readAll();
  ASSERT_GT(b.size(), 46);
  std::uint32_t riff = 0, data = 0;
  std::memcpy(&riff, b.constData() + 4, 4);
  std::memcpy(&data, b.constData() + 42, 4);
  EXPECT_EQ(riff, std::uint32_t(b.size() - 8));
  EXPECT_GE(data, 44100u * 4 * 9 / 10);
  EXPECT_LE(data, 44100u * 4 * 12 / 10);
}
