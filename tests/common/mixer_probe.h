// Test helpers beside the mixer components: direct reads and writes of the
// first mixer's control values through the mixer calls, and lines for small
// test tables.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/soundcard/mixerdesc.h"
#include "platform/soundcard/soundcard.h"

namespace mixprobe {

// A handle on the first mixer, opened on demand; Close() before the mixer
// table is replaced.
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
  // Values of `channels` channels of each of `items` items (0: no items).
  std::vector<LONG> Get(DWORD control, DWORD channels, DWORD items = 0) {
    std::vector<LONG> v(channels * std::max<DWORD>(items, 1), -7);
    MIXERCONTROLDETAILS d = Details(control, channels, items, v);
    EXPECT_EQ(mixerGetControlDetails(Obj(), &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    return v;
  }
  void Set(DWORD control, std::vector<LONG> v, DWORD items = 0) {
    MIXERCONTROLDETAILS d = Details(control, DWORD(v.size() / std::max<DWORD>(items, 1)), items, v);
    ASSERT_EQ(mixerSetControlDetails(Obj(), &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
  }
  // Left and right volume of a line, and its mute.
  std::vector<LONG> Volume(DWORD lineId, DWORD channels = 2) {
    return Get(Control(lineId, MIXERCONTROL_CONTROLTYPE_VOLUME), channels);
  }
  bool Muted(DWORD lineId) { return Get(Control(lineId, MIXERCONTROL_CONTROLTYPE_MUTE), 1)[0] != 0; }

 private:
  static MIXERCONTROLDETAILS Details(DWORD control, DWORD channels, DWORD items, std::vector<LONG>& v) {
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = channels;
    d.cMultipleItems = items;
    d.cbDetails = sizeof(LONG);
    d.paDetails = v.data();
    return d;
  }
  HMIXEROBJ Obj() {
    if (!handle_) {
      EXPECT_EQ(mixerOpen(&handle_, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    }
    return reinterpret_cast<HMIXEROBJ>(handle_);
  }
  HMIXER handle_ = nullptr;
};

inline soundcard::LineDesc Line(DWORD type, const std::string& name, DWORD channels,
                                std::vector<soundcard::ControlDesc> controls) {
  soundcard::LineDesc l;
  l.componentType = type;
  l.name = name;
  l.shortName = name.substr(0, 15);
  l.channels = channels;
  l.controls = std::move(controls);
  return l;
}

// A volume and an unmuted mute control for line `name`.
inline std::vector<soundcard::ControlDesc> VolMute(const std::string& name) {
  return {soundcard::VolumeControl(name), soundcard::MuteControl(name, false)};
}

}  // namespace mixprobe
