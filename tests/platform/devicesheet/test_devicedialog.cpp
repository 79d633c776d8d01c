// The device sheet lists the virtual device and applies a choice; the
// start-up choice follows TUNELARK_AUDIO.
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include "../soundcard/cardtest.h"
#include "platform/soundcard/calibration.h"
#include "platform/devicesheet/devicedialog.h"
#include "platform/soundcard/latency.h"
#include "platform/devicesheet/latencypanel.h"

using namespace cardtest;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_devicesheet";
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

// The recording side's correction: measured on the virtual device's
// simulated round trip, proposed in the box, applied and remembered; the
// window keeps working while the card runs the measurement.
TEST_F(DeviceSheet, MeasuresTheRoundTripProposesTheCorrectionAndRemembersIt) {
  soundcard::DeviceDialog dialog;
  soundcard::LatencyPanel* panel = dialog.latency();
  auto* form = dialog.findChild<QFormLayout*>();
  ASSERT_TRUE(form);
  auto* label = qobject_cast<QLabel*>(form->labelForField(panel));
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), QString::fromUtf8("延迟补偿（毫秒）"));
  EXPECT_EQ(panel->measureButton()->text(), QString::fromUtf8("自动测量…"));

  // The device reports its 120 ms itself: a wrong correction of -20 ms
  // gives way to the proposed 0.
  soundcard::SetSimulatedRoundTripMs(120);
  soundcard::SetLatencyOffsetMs(-20);
  soundcard::DeviceDialog second;
  panel = second.latency();
  EXPECT_EQ(panel->offsetBox()->value(), -20) << "the box starts at the card's correction";
  panel->measureButton()->click();
  EXPECT_FALSE(panel->measureButton()->isEnabled());
  EXPECT_FALSE(panel->poll());
  soundcard::Advance(soundcard::ClickPlan::kTotal);
  EXPECT_TRUE(panel->poll());
  EXPECT_TRUE(panel->measureButton()->isEnabled());
  EXPECT_EQ(panel->offsetBox()->value(), 0) << "measured 120 ms, reported 120 ms";
  EXPECT_TRUE(panel->status()->text().contains(QStringLiteral("120.0"))) << panel->status()->text().toStdString();

  // Nothing heard: the box keeps its value and the sheet says what to do.
  soundcard::SetSimulatedRoundTripMs(0);
  panel->offsetBox()->setValue(35);
  panel->measure();
  soundcard::Advance(soundcard::ClickPlan::kTotal);
  EXPECT_TRUE(panel->poll());
  EXPECT_EQ(panel->offsetBox()->value(), 35);
  EXPECT_EQ(panel->status()->text(), QString::fromUtf8(soundcard::NoClickHeardText()));

  const QString virtualName = QString::fromUtf8(soundcard::VirtualDeviceName());
  for (QComboBox* box : second.findChildren<QComboBox*>()) box->setCurrentIndex(box->findData(virtualName));
  second.apply();
  EXPECT_EQ(soundcard::LatencyOffsetMs(), 35);
  int remembered = 0;
  ASSERT_TRUE(soundcard::RememberedLatencyOffsetMs(&remembered));
  EXPECT_EQ(remembered, 35);
  soundcard::SelectClock(soundcard::Clock::Stepped);
  EXPECT_EQ(soundcard::LatencyOffsetMs(), 35) << "a new clock keeps the correction";
}

TEST_F(DeviceSheet, ClosingTheSheetDuringAMeasurementEndsIt) {
  {
    soundcard::DeviceDialog dialog;
    dialog.latency()->measure();
    soundcard::Advance(441);
  }
  EXPECT_TRUE(soundcard::StartCalibration()) << "the card is free for the next one";
  soundcard::CancelCalibration();
}

}  // namespace
