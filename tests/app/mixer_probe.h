// Small test topologies for the windows' mixer components, and the probe
// that reads and writes the card's mixer controls beside them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/mixerdesc.h"
#include "platform/soundcard/soundcard.h"
#include "tests/common/mixer_probe.h"

namespace probe {

using namespace soundcard;

using mixprobe::Line;
using mixprobe::MixerProbe;
using mixprobe::VolMute;

// Destination 0 "Speakers" with "Wave Out", a mono "Mono In" with a volume
// but no mute, and "Aux" without controls; destination 1 "Recording" with
// "Microphone" and "Line In".
inline std::vector<MixerDesc> OddLines() {
  MixerDesc m;
  m.name = "Odd Mixer";
  DestinationDesc speakers;
  speakers.line = Line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 2, VolMute("Speakers"));
  speakers.sources = {
      Line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out", 2, VolMute("Wave Out")),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Mono In", 1, {VolumeControl("Mono In")}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux", 2, {}),
  };
  DestinationDesc recording;
  recording.line = Line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", 2, {VolumeControl("Recording")});
  recording.sources = {
      Line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 2,
           {VolumeControl("Microphone"), MuteControl("Microphone", true)}),
      Line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 2, VolMute("Line In")),
  };
  m.destinations = {speakers, recording};
  return {m};
}

}  // namespace probe
