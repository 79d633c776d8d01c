// Reads and writes the card's mixer controls directly, beside the windows'
// own mixer components, and builds small test topologies.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/mixerdesc.h"
#include "platform/soundcard/soundcard.h"

namespace probe {

using namespace soundcard;

// A handle on the first mixer; opened on demand, closed by Close().
class MixerProbe {
 public:
  ~MixerProbe() { Close(); }
  void Close() {
    if (handle_) mixerClose(handle_);
    handle_ = nullptr;
  }
  // Id of the control of `type` on line `lineId`.
  DWORD Control(DWORD lineId, DWORD type) {
    MIXERCONTROL mc{};
    MIXERLINECONTROLS lc{};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = lineId;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof mc;
    lc.pamxctrl = &mc;
    EXPECT_EQ(mixerGetLineControls(Obj(), &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    return mc.dwControlID;
  }
  std::vector<LONG> Get(DWORD control, DWORD channels) {
    std::vector<LONG> v(channels, -7);
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = channels;
    d.cbDetails = sizeof(LONG);
    d.paDetails = v.data();
    EXPECT_EQ(mixerGetControlDetails(Obj(), &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    return v;
  }
  void Set(DWORD control, std::vector<LONG> v) {
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = DWORD(v.size());
    d.cbDetails = sizeof(LONG);
    d.paDetails = v.data();
    ASSERT_EQ(mixerSetControlDetails(Obj(), &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
  }
  // Left and right volume of a line, and its mute.
  std::vector<LONG> Volume(DWORD lineId, DWORD channels = 2) {
    return Get(Control(lineId, MIXERCONTROL_CONTROLTYPE_VOLUME), channels);
  }
  bool Muted(DWORD lineId) { return Get(Control(lineId, MIXERCONTROL_CONTROLTYPE_MUTE), 1)[0] != 0; }

 private:
  HMIXEROBJ Obj() {
    if (!handle_) {
      EXPECT_EQ(mixerOpen(&handle_, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    }
    return reinterpret_cast<HMIXEROBJ>(handle_);
  }
  HMIXER handle_ = nullptr;
};

inline LineDesc Line(DWORD type, const std::string& name, DWORD channels, std::vector<ControlDesc> controls) {
  LineDesc l;
  l.componentType = type;
  l.name = name;
  l.shortName = name.substr(0, 15);
  l.channels = channels;
  l.controls = std::move(controls);
  return l;
}

// Destination 0 "Speakers" with "Wave Out", a mono "Mono In" with a volume
// but no mute, and "Aux" without controls; destination 1 "Recording" with
// "Microphone" and "Line In".
inline std::vector<MixerDesc> OddLines() {
  MixerDesc m;
  m.name = "Odd Mixer";
  DestinationDesc speakers;
  speakers.line = Line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2,
                       {VolumeControl("Speakers"), MuteControl("Speakers", false)});
  speakers.sources = {
      Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out", 2,
           {VolumeControl("Wave Out"), MuteControl("Wave Out", false)}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Mono In", 1, {VolumeControl("Mono In")}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux", 2, {}),
  };
  DestinationDesc recording;
  recording.line = Line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2, {VolumeControl("Recording")});
  recording.sources = {
      Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 2,
           {VolumeControl("Microphone"), MuteControl("Microphone", true)}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2, {VolumeControl("Line In"), MuteControl("Line In", false)}),
  };
  m.destinations = {speakers, recording};
  return {m};
}

}  // namespace probe
