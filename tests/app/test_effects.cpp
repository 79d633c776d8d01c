// The settings window's effects sheet: what was chosen in an earlier run
// shown and handed to the card at start-up, the user's changes remembered
// and handed to the card at once, stored values out of range read as the
// defaults.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
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

void Store(std::initializer_list<std::pair<const char*, QVariant>> values) {
  QSettings s = Stored();
  for (const auto& [key, value] : values) s.setValue(QLatin1String(key), value);
}

class EffectsSheet : public FormsTest {
 protected:
  void SetUp() override {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMonitorEffects({});
    // Chosen in an earlier run.
    Store({{"echo", true}, {"echoDelayMs", 320}, {"echoFeedback", 40}, {"echoLevel", 70}, {"reverb", "plate"},
           {"reverbLevel", 20}, {"recorded", true}});
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
  // On the card from the start, the window not yet shown.
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), (MonitorEffects{320, 40, 70, Reverb::Plate, 20, true}));
  EXPECT_TRUE(f.EchoBox->isChecked());
  EXPECT_EQ(f.EchoDelay->value(), 320);
  EXPECT_EQ(f.EchoFeedback->value(), 40);
  EXPECT_EQ(f.EchoLevel->value(), 70);
  EXPECT_EQ(f.ReverbBox->currentText(), QStringLiteral("板式"));
  EXPECT_EQ(f.ReverbLevel->value(), 20);
  EXPECT_TRUE(f.RecordEffectsBox->isChecked());

  f.PageControl1->setCurrentIndex(5);
  f.show();
  // Echo off: none on the card, its controls idle, its delay kept.
  QTest::mouseClick(f.EchoBox, Qt::LeftButton);
  EXPECT_EQ(soundcard::CurrentMonitorEffects().echoMs, 0);
  EXPECT_FALSE(f.EchoDelay->isEnabled());
  f.ReverbBox->setCurrentIndex(2);
  emit f.ReverbBox->activated(2);
  f.ReverbLevel->setFocus();
  f.ReverbLevel->selectAll();
  QTest::keyClicks(f.ReverbLevel, QStringLiteral("65"));
  QTest::mouseClick(f.RecordEffectsBox, Qt::LeftButton);
  const MonitorEffects changed{0, 40, 70, Reverb::Hall, 65, false};
  EXPECT_EQ(soundcard::CurrentMonitorEffects(), changed);
  EXPECT_EQ(MonitorEffectsSetting(), changed);
  // Echo on again, at the delay it had.
  QTest::mouseClick(f.EchoBox, Qt::LeftButton);
  EXPECT_EQ(soundcard::CurrentMonitorEffects().echoMs, 320);
  EXPECT_EQ(MonitorEffectsSetting().echoMs, 320);

  // Values edited out of range, and a preset by a name nobody knows.
  Store({{"echoDelayMs", 20}, {"echoFeedback", 95}, {"echoLevel", "loud"}, {"reverb", "cathedral"},
         {"reverbLevel", -3}});
  const MonitorEffects defaults;
  EXPECT_EQ(MonitorEffectsSetting(),
            (MonitorEffects{250, defaults.echoFeedback, defaults.echoLevel, Reverb::Off, defaults.reverbLevel, false}));
}
