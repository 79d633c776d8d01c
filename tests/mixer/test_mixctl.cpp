// The slider and the check box bound to mixer controls: range and steps,
// reading without writing back, writing the user's changes, disabled
// bindings, list items, change notices, and the card's mix following.
#include <QMouseEvent>
#include <cmath>
#include <memory>

#include "mixer/MMMixCtl.h"
#include "mixer_fixture.h"

using namespace mixtest;

namespace {

class MixCtl : public MixerTest {
 protected:
  void Bind(TMMComponentType type) {
    line = std::make_unique<TMMAudioLine>();
    line->SetMixer(&mixer);
    line->SetComponentType(type);
    volume = std::make_unique<TMMVolumeControl>();
    volume->SetAudioLine(line.get());
    mute = std::make_unique<TMMMixerControl>();
    mute->SetControlType(ctMute);
    mute->SetAudioLine(line.get());
  }
  TMMMixerDevice mixer;
  std::unique_ptr<TMMAudioLine> line;
  std::unique_ptr<TMMVolumeControl> volume;
  std::unique_ptr<TMMMixerControl> mute;
};

TEST_F(MixCtl, StepsZeroGiveThirtyThreePositionsAndReadValuesAreNotWrittenBack) {
  Install(TwoDestinations(true, true));
  Bind(ctSrcWaveOut);
  const DWORD id = DWORD(volume->ControlId());
  // 1000 is not on a step: shown as position 0, but must stay 1000.
  Set(id, {1000, 1000});
  TMMMixerSlider slider;
  EXPECT_FALSE(slider.isEnabled());
  int changes = 0;
  slider.OnChange = [&](QObject*) { ++changes; };
  slider.SetControl(volume.get());
  EXPECT_TRUE(slider.isEnabled());
  EXPECT_EQ(slider.Min(), 0);
  EXPECT_EQ(slider.Max(), 32);
  EXPECT_DOUBLE_EQ(double(slider.Step()), 2047.96875);
  EXPECT_EQ(slider.Position(), 0);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{1000, 1000}));

  // Position 16 writes 32767.5 rounded to even, to both channels.
  slider.SetPosition(16);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{32768, 32768}));
  EXPECT_GT(changes, 0);
  // Reading 32768 back gives position 16 again.
  slider.UpdateAll();
  EXPECT_EQ(slider.Position(), 16);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{32768, 32768}));

  // With chLeft only the left channel moves.
  slider.SetChannel(chLeft);
  slider.SetPosition(32);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{65535, 32768}));
}

TEST_F(MixCtl, AChangeElsewhereReachesTheBoundSliderWithinOneMessageRound) {
  Install(TwoDestinations(true, true));
  Bind(ctSrcWaveOut);
  TMMMixerSlider slider;
  slider.SetControl(volume.get());
  mixer.SetActive(true);
  TMMVolumeControl other;
  other.SetAudioLine(line.get());
  other.SetSigned(8192);  // 4 steps
  EXPECT_EQ(slider.Position(), 32);  // the notice is still queued
  ProcessMessages();
  EXPECT_EQ(slider.Position(), 4);
  Set(DWORD(volume->ControlId()), {61440, 61440});  // 30 steps, straight through the mixer
  ProcessMessages();
  EXPECT_EQ(slider.Position(), 30);
  // Showing it wrote nothing back: no further notice, value as set.
  ProcessMessages();
  EXPECT_EQ(Get(DWORD(volume->ControlId()), 2), (std::vector<LONG>{61440, 61440}));
}

TEST_F(MixCtl, AMissingMicrophoneDisablesTheCheckBoxAndTheSlider) {
  Install(TwoDestinations(false));
  Bind(ctSrcMicrophone);
  TMMMixerCheckBox box;
  box.SetAutoCaption(false);
  box.setText(QString::fromUtf8("静音麦克风的声音输出"));
  box.setChecked(true);
  box.SetControl(mute.get());
  TMMMixerSlider slider;
  slider.SetPosition(7);
  slider.SetControl(volume.get());
  EXPECT_FALSE(box.isEnabled());
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(box.text(), QString::fromUtf8("静音麦克风的声音输出"));
  EXPECT_FALSE(slider.isEnabled());
  EXPECT_EQ(slider.Min(), 0);
  EXPECT_EQ(slider.Max(), 2);
  EXPECT_EQ(slider.Position(), 1);
  // The user cannot reach them, but a programmatic change writes nothing.
  box.setChecked(false);
  slider.SetPosition(2);
  EXPECT_EQ(slider.Position(), 2);
}

TEST_F(MixCtl, ADisabledControlShowsItsValueAndTakesNoWrites) {
  std::vector<MixerDesc> table = TwoDestinations(true, true);
  table[0].destinations[0].sources[0].controls[0].flags |= MIXERCONTROL_CONTROLF_DISABLED;
  Install(table);
  Bind(ctSrcWaveOut);
  EXPECT_FALSE(volume->IsEnabled());
  TMMMixerSlider slider;
  slider.SetControl(volume.get());
  EXPECT_FALSE(slider.isEnabled());
  EXPECT_EQ(slider.Max(), 2);
  EXPECT_EQ(slider.Position(), 1);
  slider.SetPosition(2);
  EXPECT_EQ(Get(DWORD(volume->ControlId()), 2), (std::vector<LONG>{65535, 65535}));
  EXPECT_EQ(slider.Position(), 1);  // put back from the mixer's side
}

TEST_F(MixCtl, ControlsOfTheWrongClassAreRefusedAndTheOldBindingStays) {
  Bind(ctDstSpeakers);
  TMMMixerSlider slider;
  slider.SetControl(volume.get());
  try {
    slider.SetControl(mute.get());
    FAIL();
  } catch (const EMMMixerControlsError& e) {
    EXPECT_STREQ(e.what(), "Invalid control class");
  }
  EXPECT_EQ(slider.Control(), volume.get());
  TMMMixerCheckBox box;
  EXPECT_THROW(box.SetControl(volume.get()), EMMMixerControlsError);
  EXPECT_EQ(box.Control(), nullptr);
  // A bound control that goes leaves the slider unbound and disabled.
  volume.reset();
  EXPECT_EQ(slider.Control(), nullptr);
  EXPECT_FALSE(slider.isEnabled());
}

TEST_F(MixCtl, TheCheckBoxShowsAndWritesTheMuteAndTakesItsCaption) {
  Bind(ctSrcMicrophone);  // the speakers' monitor, muted
  const DWORD id = DWORD(mute->ControlId());
  TMMMixerCheckBox box;
  int clicks = 0;
  box.OnClick = [&](QObject*) { ++clicks; };
  box.SetControl(mute.get());
  EXPECT_TRUE(box.isEnabled());
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(box.text(), "Mute");
  box.SetShort(false);
  EXPECT_EQ(box.text(), "Microphone Mute");
  EXPECT_EQ(Get(id, 1), (std::vector<LONG>{1}));
  box.click();
  EXPECT_FALSE(box.isChecked());
  EXPECT_EQ(Get(id, 1), (std::vector<LONG>{0}));
  EXPECT_GE(clicks, 1);
  // A disabled control (the user's wish) reads but never writes.
  box.SetEnabled(false);
  EXPECT_FALSE(box.isEnabled());
}

TEST_F(MixCtl, AnItemLineChoosesTheMuxItemOfThatLine) {
  Install(TwoDestinations());
  Bind(ctDstWaveIn);
  TMMMixerControl mux;
  mux.SetControlType(ctMux);
  mux.SetAudioLine(line.get());
  TMMAudioLine lineIn;
  lineIn.SetMixer(&mixer);
  lineIn.SetLineId(TMMLineId(SourceLineId(1, 1)));
  TMMMixerCheckBox box;
  box.SetControl(&mux);
  EXPECT_FALSE(box.isEnabled());  // a list needs an item
  box.SetItemLine(&lineIn);
  EXPECT_EQ(box.Item(), 1);
  EXPECT_TRUE(box.isEnabled());
  EXPECT_EQ(box.text(), "Line In");
  EXPECT_FALSE(box.isChecked());
  box.click();
  EXPECT_EQ(Get(DWORD(mux.ControlId()), 1, 2), (std::vector<LONG>{0, 1}));
  // The line re-bound elsewhere: the item follows.
  lineIn.SetLineId(TMMLineId(SourceLineId(1, 0)));
  EXPECT_EQ(box.Item(), 0);
  EXPECT_EQ(box.text(), "Microphone");
  EXPECT_FALSE(box.isChecked());
}

TEST_F(MixCtl, MovingTheBoundSliderChangesWhatTheCardMixes) {
  SetMicrophoneTestSignal();
  Bind(ctSrcMicrophone);  // the speakers' monitor
  mute->SetBoolean(false);
  TMMMixerSlider slider;
  slider.resize(200, 33);
  slider.SetControl(volume.get());
  ASSERT_EQ(slider.Max(), 65535);
  slider.SetPosition(16384);

  EnableMixTap(Mix::Playback, 441);
  const std::uint64_t start = ClockFrames();
  Advance(441);
  const std::vector<float> tap = MixTap(Mix::Playback);
  ASSERT_EQ(tap.size(), 882u);
  double peak = 0;
  for (std::size_t i = 0; i < 441; ++i)
    for (unsigned ch = 0; ch < 2; ++ch) {
      const double expected = TestSignalSample(start + i, ch) * 16384.0 / 65535.0;
      ASSERT_NEAR(tap[2 * i + ch], expected, 1e-6) << i;
      peak = std::max(peak, std::fabs(expected));
    }
  ASSERT_GT(peak, 0.05);

  // A click near the left end of the track (the user's move) lowers it.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 16), QPointF(40, 16), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&slider, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(40, 16), QPointF(40, 16), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&slider, &release);
  EXPECT_LT(slider.Position(), 16384);
  EXPECT_GT(slider.Position(), 0);
  const double gain = double(slider.Position()) / 65535.0;
  EnableMixTap(Mix::Playback, 441);
  const std::uint64_t again = ClockFrames();
  Advance(441);
  const std::vector<float> quiet = MixTap(Mix::Playback);
  for (std::size_t i = 0; i < 441; ++i)
    ASSERT_NEAR(quiet[2 * i], TestSignalSample(again + i, 0) * gain, 1e-6) << i;
}

}  // namespace
