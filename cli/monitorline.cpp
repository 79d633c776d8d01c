#include "cli/monitorline.h"

#include "cli/options.h"
#include "cli/texts.h"
#include "mixer/MMMixRequests.h"
#include "platform/mmsystem.h"
#include "platform/soundcard/soundcard.h"

namespace cli {

namespace {

HMIXEROBJ FirstMixer() { return reinterpret_cast<HMIXEROBJ>(UINT_PTR(0)); }

[[noreturn]] void Refused() {
  throw ECliFailure(Tr("the sound card's mixer has no microphone line in the speakers that can be turned on",
                       "声卡的混音器中没有可以打开的扬声器麦克风线路"));
}

// The line id of the microphone among the speakers' sources.
DWORD SpeakersMicrophone() {
  MIXERLINE speakers{};
  speakers.cbStruct = sizeof speakers;
  speakers.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  if (mixerGetLineInfo(FirstMixer(), &speakers, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_MIXER) !=
      MMSYSERR_NOERROR)
    Refused();
  for (DWORD source = 0; source < speakers.cConnections; ++source) {
    MIXERLINE line{};
    line.cbStruct = sizeof line;
    line.dwDestination = speakers.dwDestination;
    line.dwSource = source;
    if (mixerGetLineInfo(FirstMixer(), &line, MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_MIXER) ==
            MMSYSERR_NOERROR &&
        line.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
      return line.dwLineID;
  }
  Refused();
}

bool FindControl(DWORD lineId, DWORD type, MIXERCONTROL& control) {
  MIXERLINECONTROLS request = MixerControlsRequest(1, &control);
  request.dwLineID = lineId;
  request.dwControlType = type;
  control.cbStruct = sizeof control;
  return mixerGetLineControls(FirstMixer(), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_MIXER) ==
         MMSYSERR_NOERROR;
}

// One value for every channel (the call writes a one-channel request to all).
void SetValue(const MIXERCONTROL& control, LONG value) {
  MIXERCONTROLDETAILS request = MixerDetailsRequest(control.dwControlID, 1, 0, sizeof value, &value);
  if (mixerSetControlDetails(FirstMixer(), &request, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_MIXER) !=
      MMSYSERR_NOERROR)
    Refused();
}

}  // namespace

void OpenMonitorLine() {
  const DWORD microphone = SpeakersMicrophone();
  MIXERCONTROL mute{}, volume{};
  if (!FindControl(microphone, MIXERCONTROL_CONTROLTYPE_MUTE, mute)) Refused();
  if (FindControl(microphone, MIXERCONTROL_CONTROLTYPE_VOLUME, volume))
    SetValue(volume, LONG(volume.Bounds.s2.dwMaximum));
  SetValue(mute, 0);
}

}  // namespace cli
