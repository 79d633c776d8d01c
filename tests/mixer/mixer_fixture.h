// Shared pieces of the mixer tests: an application object, a fixture on the
// card's stepped clock that restores the default mixer table, test tables
// and direct reads and writes of control values through the mixer calls.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <string>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/mixerdesc.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"
#include "tests/common/mixer_probe.h"
#include "tests/common/test_application.h"

namespace mixtest {

using namespace soundcard;

inline QApplication& App() { return testapp::Application("test_mixer"); }

using mixprobe::Line;

// Destination 0 "Speakers" with three sources: "Wave Out", a mono "Mono In"
// with a volume but no mute, and "Aux" without any control; destination 1
// "Recording" with two sources, "Microphone" and "Line In", and a MUX over
// them. Volume controls have 32 steps (Steps 0) where `coarse` is set.
inline std::vector<MixerDesc> TwoDestinations(bool withMicrophone = true, bool coarse = false) {
  auto vol = [&](const std::string& name) {
    ControlDesc c = VolumeControl(name);
    if (coarse) c.steps = 0;
    return c;
  };
  MixerDesc m;
  m.name = "Test Mixer";
  DestinationDesc speakers;
  speakers.line = Line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
                       {vol("Speakers"), MuteControl("Speakers", false)});
  speakers.sources = {
      Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out", 2, {vol("Wave Out"), MuteControl("Wave Out", false)}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Mono In", 1, {vol("Mono In")}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux", 2, {}),
  };
  DestinationDesc recording;
  const std::string first = withMicrophone ? "Microphone" : "CD Audio";
  recording.line = Line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2,
                        {vol("Recording"), ListControl(MIXERCONTROL_CONTROLTYPE_MUX, "Source", {first, "Line In"})});
  recording.sources = {
      Line(withMicrophone ? MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE : MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, first,
           2, {vol(first), MuteControl(first, false)}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2, {vol("Line In"), MuteControl("Line In", false)}),
  };
  m.destinations = {speakers, recording};
  return {m};
}

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    SelectClock(Clock::Stepped);
    ResetCard();
    SetMicrophoneSilence();
  }
  void TearDown() override {
    probe.Close();
    ProcessMessages();
    ResetCard();
  }
  // Installs a table; the probe opens its first mixer when next used.
  void Install(std::vector<MixerDesc> mixers) {
    probe.Close();
    InstallMixers(std::move(mixers));
  }
  DWORD ControlOf(DWORD lineId, DWORD type) { return probe.Control(lineId, type); }
  std::vector<LONG> Get(DWORD control, DWORD channels, DWORD items = 0) {
    return probe.Get(control, channels, items);
  }
  void Set(DWORD control, std::vector<LONG> v, DWORD items = 0) { probe.Set(control, std::move(v), items); }

  mixprobe::MixerProbe probe;
};

}  // namespace mixtest
