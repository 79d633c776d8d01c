// The settings window's effects sheet: what was chosen in an earlier run
// shown and handed to the card at start-up, the user's changes remembered
// and handed to the card at once, stored values out of range read as the
// defaults.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "app/config.h"
#include "app/effectsettings.h"
#include "forms_fixture.h"
#include "own_settings.h"
#include "platform/soundcard/cardcontrol.h"

namespace {

using soundcard::MonitorEffects;
using soundcard::Reverb;

QSettings Stored() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Effects")); }

class EffectsSheet : public FormsTest {
 protected:
  void SetUp() override {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMonitorEffects({});
    // Chosen in an earlier run.
    QSettings s = Stored();
    s.setValue(QStringLiteral("echo"), true);
    s.setValue(QStringLiteral("echoDelayMs"), 320);
    s.setValue(QStringLiteral("echoFeedback"), 40);
    s.setValue(QStringLiteral("echoLevel"), 70);
    s.setValue(QStringLiteral("reverb"), QStringLiteral("plate"));
    s.setValue(QStringLiteral("reverbLevel"), 20);
    s.setValue(QStringLiteral("recorded"), true);
    s.sync();
    FormsTest::SetUp();
  }
  void TearDown() override {
    FormsTest::TearDown();
    soundcard::SetMonitorEffects({});
    soundcard::ResetCard();
  }
  OwnSettings settings;
};

}  // namespace

TEST_F(EffectsSheet, TheSheetShowsTheStoredEffectsAndEveryChangeIsStoredAndReachesTheCard) {
  TForm2& f = *Form2;
  ASSERT_EQ(f.PageControl1->count(), 6);
  EXPECT_EQ(f.PageControl1->tabText(5), QStringLiteral("效果"));
  EXPECT_EQ(f.PageControl1->widget(5), f.TabSheet6);
  // On the card from the start, the window not yet shown.
  const MonitorEffects earlier{320, 40, 70, Reverb::Plate, 20, true};
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), earlier);
  EXPECT_TRUE(f.EchoBox->isChecked());
  EXPECT_EQ(f.EchoDelay->value(), 320);
  EXPECT_EQ(f.EchoFeedback->value(), 40);
  EXPECT_EQ(f.EchoLevel->value(), 70);
  QStringList presets;
  for (int i = 0; i < f.ReverbBox->count(); ++i) presets << f.ReverbBox->itemText(i);
  EXPECT_EQ(presets, QStringList({"关", "房间", "大厅", "板式"}));
  EXPECT_EQ(f.ReverbBox->currentText(), QStringLiteral("板式"));
  EXPECT_EQ(f.ReverbLevel->value(), 20);
  EXPECT_TRUE(f.RecordEffectsBox->isChecked());

  f.PageControl1->setCurrentIndex(5);
  f.show();
  EXPECT_EQ(f.Label10->text(), QStringLiteral("回声音量"));
  EXPECT_EQ(f.Label12->text(), QStringLiteral("混响音量"));

  // Echo off: none on the card, its controls idle, its delay kept.
  QTest::mouseClick(f.EchoBox, Qt::LeftButton);
  EXPECT_EQ(soundcard::CurrentMonitorEffects().echoMs, 0);
  EXPECT_FALSE(f.EchoDelay->isEnabled());
  EXPECT_FALSE(f.EchoLevel->isEnabled());
  f.ReverbBox->setCurrentIndex(2);
  emit f.ReverbBox->activated(2);
  f.ReverbLevel->setFocus();
  f.ReverbLevel->selectAll();
  QTest::keyClicks(f.ReverbLevel, QStringLiteral("65"));
  QTest::mouseClick(f.RecordEffectsBox, Qt::LeftButton);
  const MonitorEffects changed{0, 40, 70, Reverb::Hall, 65, false};
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), changed);
  EXPECT_EQ(MonitorEffectsSetting(), changed);
  // Reverb off too: nothing left to record.
  f.ReverbBox->setCurrentIndex(0);
  emit f.ReverbBox->activated(0);
  EXPECT_FALSE(f.RecordEffectsBox->isEnabled());
  EXPECT_FALSE(f.ReverbLevel->isEnabled());
  EXPECT_EQ(soundcard::CurrentMonitorEffects().reverb, Reverb::Off);
  // Echo on again, at the delay it had; then the longest delay.
  QTest::mouseClick(f.EchoBox, Qt::LeftButton);
  EXPECT_EQ(soundcard::CurrentMonitorEffects().echoMs, 320);
  f.EchoDelay->setValue(1000);
  const MonitorEffects last{1000, 40, 70, Reverb::Off, 65, false};
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), last);

  // The next start: the window shows the last choice and the card has it.
  soundcard::SetMonitorEffects({});
  TForm2 next;
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), last);
  EXPECT_EQ(next.EchoDelay->value(), 1000);
  EXPECT_EQ(next.ReverbBox->currentText(), QStringLiteral("关"));
  EXPECT_FALSE(next.RecordEffectsBox->isChecked());

  // Values edited out of range, and a preset by a name nobody knows.
  QSettings s = Stored();
  s.setValue(QStringLiteral("echoDelayMs"), 20);
  s.setValue(QStringLiteral("echoFeedback"), 95);
  s.setValue(QStringLiteral("echoLevel"), QStringLiteral("loud"));
  s.setValue(QStringLiteral("reverb"), QStringLiteral("cathedral"));
  s.setValue(QStringLiteral("reverbLevel"), -3);
  s.sync();
  const MonitorEffects defaults;
  EXPECT_EQ(MonitorEffectsSetting(), (MonitorEffects{250, defaults.echoFeedback, defaults.echoLevel, Reverb::Off,
                                                     defaults.reverbLevel, false}));
}
