// The device sheet lists the virtual device and applies a choice; the
// start-up choice follows TUNELARK_AUDIO.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "cardtest.h"
#include "platform/soundcard/devicedialog.h"

using namespace cardtest;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_soundcard";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

class DeviceSheet : public CardTest {
 protected:
  void SetUp() override {
    CardTest::SetUp();
    App();
    ASSERT_TRUE(dir.isValid());
    // Keep the remembered choice away from the user's own settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  }
  QTemporaryDir dir;
};

TEST_F(DeviceSheet, ListsTheVirtualDeviceAndAppliesAndRemembersTheChoice) {
  soundcard::DeviceDialog dialog(nullptr, QStringLiteral("选择录音设备"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("选择录音设备"));
  auto boxes = dialog.findChildren<QComboBox*>();
  ASSERT_EQ(boxes.size(), 2);
  const QString virtualName = QString::fromUtf8(soundcard::VirtualDeviceName());
  for (QComboBox* box : boxes) {
    const int at = box->findData(virtualName);
    ASSERT_GE(at, 0);
    box->setCurrentIndex(at);
  }
  // The stepped clock shows as the virtual device.
  EXPECT_EQ(dialog.chosenOutput(), virtualName);
  dialog.apply();
  EXPECT_EQ(soundcard::ActiveClock(), soundcard::Clock::Virtual);
  std::string in, out;
  ASSERT_TRUE(soundcard::RememberedDevices(&in, &out));
  EXPECT_EQ(out, soundcard::VirtualDeviceName());
  soundcard::SelectClock(soundcard::Clock::Stepped);
}

TEST_F(DeviceSheet, AutomaticFollowsTheEnvironment) {
  setenv("TUNELARK_AUDIO", "virtual", 1);
  soundcard::SelectClock(soundcard::Clock::Automatic);
  EXPECT_EQ(soundcard::ActiveClock(), soundcard::Clock::Virtual);
  soundcard::SelectClock(soundcard::Clock::Stepped);
}

}  // namespace
