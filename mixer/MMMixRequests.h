// The request records of the mixer calls, filled in one place for the
// mixer components and TAudio alike.
#pragma once

#include "platform/mmsystem.h"

// A value or list-text transfer of `channels` x `items` elements of
// `elementSize` bytes at `data` (items 0 for a control without items).
inline MIXERCONTROLDETAILS MixerDetailsRequest(DWORD ctlId, DWORD channels, DWORD items, DWORD elementSize,
                                               void* data) {
  MIXERCONTROLDETAILS d{};
  d.cbStruct = sizeof d;
  d.dwControlID = ctlId;
  d.cChannels = channels;
  d.cMultipleItems = items;
  d.cbDetails = elementSize;
  d.paDetails = data;
  return d;
}

// A query for `count` controls into `controls`: the caller sets dwLineID,
// dwControlID or dwControlType as the query's flag needs.
inline MIXERLINECONTROLS MixerControlsRequest(DWORD count, MIXERCONTROL* controls) {
  MIXERLINECONTROLS lc{};
  lc.cbStruct = sizeof lc;
  lc.cControls = count;
  lc.cbmxctrl = sizeof(MIXERCONTROL);
  lc.pamxctrl = controls;
  return lc;
}
