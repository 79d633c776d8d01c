// The mixer topology as data: mixers, their destinations, the source lines
// of each destination and the controls of each line. The card builds its
// mixer services from such a table; tests install their own tables.
#pragma once

#include <string>
#include <vector>

#include "platform/mmsystem.h"

namespace soundcard {

struct ControlDesc {
  DWORD type = MIXERCONTROL_CONTROLTYPE_VOLUME;  // MIXERCONTROL_CONTROLTYPE_*
  std::string shortName;
  std::string name;
  // MIXERCONTROL_CONTROLF_UNIFORM / _DISABLED; _MULTIPLE is added by the
  // card when `items` is not empty.
  DWORD flags = 0;
  LONG minimum = 0;
  LONG maximum = 65535;
  DWORD steps = 65535;
  // Items of a multiple-item control (MUX, MIXER, SINGLESELECT, ...). An
  // item naming a line of the same destination (by full name) gets that
  // line's id as dwParam1 and its component type as dwParam2, and gates
  // whether that line reaches the destination's mix.
  std::vector<std::string> items;
  // Initial values, item by item, each item holding its channels. Empty:
  // volumes at maximum, switches off, the first item of a single-select
  // list on, every item of a multiple-select list on.
  std::vector<LONG> initial;
};

struct LineDesc {
  DWORD componentType = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
  std::string shortName;
  std::string name;
  DWORD channels = 2;
  DWORD flags = MIXERLINE_LINEF_ACTIVE;  // the card adds LINEF_SOURCE to sources
  DWORD targetType = MIXERLINE_TARGETTYPE_UNDEFINED;
  std::vector<ControlDesc> controls;
};

struct DestinationDesc {
  LineDesc line;
  std::vector<LineDesc> sources;
};

struct MixerDesc {
  std::string name = "Tunelark Mixer";
  WORD mid = 1;
  WORD pid = 1;
  UINT driverVersion = 0x0106;
  std::vector<DestinationDesc> destinations;
};

// Control makers for tables.
ControlDesc VolumeControl(const std::string& lineName);
ControlDesc MuteControl(const std::string& lineName, bool muted);
ControlDesc PeakMeterControl(const std::string& lineName);
// A multiple-item list control whose items name lines of its destination.
ControlDesc ListControl(DWORD type, const std::string& name, std::vector<std::string> items);

// The card's own mixer: destination 0 "Speakers" (DST_SPEAKERS) with
// "Wave Out", "SW Synth" and "Microphone" (muted: the monitor); destination
// 1 "Recording" (DST_WAVEIN) with "Microphone", "SW Synth" and "Wave Out".
// Every line is stereo with a volume, a mute and a peak meter.
std::vector<MixerDesc> DefaultMixers();

// Line ids: destination d has id d; source s of destination d has id
// ((s + 1) << 16) | d. Control ids count from 1 through the whole mixer in
// table order (destination line, then its sources, each line's controls in
// order).
constexpr DWORD DestinationLineId(DWORD destination) { return destination; }
constexpr DWORD SourceLineId(DWORD destination, DWORD source) {
  return ((source + 1) << 16) | destination;
}

}  // namespace soundcard
