// The mixer device component.
#include "mixer/MMMixer.h"

#include <cstring>

#include "mixer/MMMixRequests.h"
#include "platform/winmsg/winmsg.h"

namespace {

// The mixer object flag of a followed device's kind.
DWORD ObjectFlagOf(TMMDeviceType kind) {
  switch (kind) {
    case dtMidiIn: return MIXER_OBJECTF_MIDIIN;
    case dtMidiOut: return MIXER_OBJECTF_MIDIOUT;
    case dtWaveIn: return MIXER_OBJECTF_WAVEIN;
    case dtWaveOut: return MIXER_OBJECTF_WAVEOUT;
    case dtAux: return MIXER_OBJECTF_AUX;
    case dtMixer: return MIXER_OBJECTF_MIXER;
  }
  return MIXER_OBJECTF_MIXER;
}

bool Tolerated(MMRESULT r, std::initializer_list<MMRESULT> codes) {
  if (r == MMSYSERR_NOERROR) return true;
  for (MMRESULT c : codes)
    if (r == c) return false;
  MMCheckResult(r);
  return false;
}

}  // namespace

TMMMixerDevice::TMMMixerDevice(QObject* AOwner) : TMMCustomAudioDevice(AOwner, dtMixer) {
  FDeviceObserver.OnNotify = [this](TMMObserver*, TMMMixerChange*) { DeviceChanged(); };
}

TMMMixerDevice::~TMMMixerDevice() {
  Destroying();
  Close();
}

void TMMMixerDevice::SetDevice(TMMCustomAudioDevice* value) {
  if (qobject_cast<TMMMixerDevice*>(value)) throw EMMMixerDeviceError(mixermsg::kMixerReferencesMixer);
  if (value == FDevice.get()) return;
  const bool wasActive = FOpen;
  Close();
  MoveObserver(FDeviceObserver, value ? value->Observable() : nullptr);
  FDevice.Set(this, value, [this] {
    if (!InState(csDestroying)) DeviceChanged();
  });
  DeviceChanged();
  if (wasActive) Open();
}

void TMMMixerDevice::DeviceChanged() {
  if (InState(csLoading)) return;
  if (TMMCustomAudioDevice* dev = FDevice.get()) {
    // A followed device without a valid id has no mixer either.
    TMMDeviceId id = InvalidId;
    if (dev->IsValid()) {
      UINT mixer = 0;
      const MMRESULT r = mixerGetID(reinterpret_cast<HMIXEROBJ>(UINT_PTR(UINT(dev->DeviceId()))), &mixer,
                                    ObjectFlagOf(dev->DeviceType()));
      if (Tolerated(r, {MMSYSERR_NODRIVER})) id = mixer == UINT(-1) ? InvalidId : TMMDeviceId(mixer);
    }
    StoreDeviceId(id);
  }
  TMMCustomAudioDevice::DeviceChanged();
}

void TMMMixerDevice::Changed() {
  TMMDeviceChange notice;
  FLineObservable.NotifyObservers(&notice);
  TMMCustomAudioDevice::Changed();
}

int TMMMixerDevice::Destinations() {
  if (!IsValid()) return 0;
  MIXERCAPS caps{};
  MMCheckResult(mixerGetDevCaps(UINT_PTR(MixerId()), &caps, sizeof caps));
  return int(caps.cDestinations);
}

void TMMMixerDevice::Open() {
  if (FOpen) return;
  if (!IsValid()) throw EMMMixerDeviceError(mixermsg::kDeviceNotValid);
  FWindow = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WndProc(w, m, wp, lp); });
  HMIXER h = nullptr;
  if (mixerOpen(&h, UINT_PTR(UINT(DeviceId())), DWORD_PTR(FWindow), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    // Not passed on: the device simply stays closed.
    DeallocateHWnd(FWindow);
    FWindow = nullptr;
    return;
  }
  FHandle = h;
  FOpen = true;
}

void TMMMixerDevice::Close() {
  if (FHandle) mixerClose(FHandle);
  FHandle = nullptr;
  if (FWindow) DeallocateHWnd(FWindow);
  FWindow = nullptr;
  FOpen = false;
}

LRESULT TMMMixerDevice::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if ((msg != MM_MIXM_LINE_CHANGE && msg != MM_MIXM_CONTROL_CHANGE) || !FHandle ||
      wParam != WPARAM(FHandle))
    return DefWindowProc(wnd, msg, wParam, lParam);
  try {
    if (msg == MM_MIXM_LINE_CHANGE)
      LineChange(TMMLineId(lParam));
    else
      ControlChange(TMMControlId(lParam));
  } catch (...) {
    ApplicationHandleException(std::current_exception());
  }
  return 0;
}

void TMMMixerDevice::LineChange(TMMLineId LineId) {
  TMMLineChange notice(LineId);
  FLineObservable.NotifyObservers(&notice);
  if (OnLineChange) OnLineChange(this, LineId);
}

void TMMMixerDevice::ControlChange(TMMControlId CtlId) {
  MIXERCONTROL mc{};
  DWORD line = 0;
  const TMMLineId lineId = GetControlById(DWORD(CtlId), mc, &line) ? TMMLineId(line) : badLineId;
  TMMControlChange notice(lineId, CtlId);
  FLineObservable.NotifyObservers(&notice);
  if (OnControlChange) OnControlChange(this, lineId, CtlId);
}

UINT TMMMixerDevice::MixerId() {
  if (!FHandle) return UINT(DeviceId());
  UINT id = 0;
  MMCheckResult(mixerGetID(reinterpret_cast<HMIXEROBJ>(FHandle), &id, MIXER_OBJECTF_HMIXER));
  if (TMMDeviceId(id) != DeviceId()) {
    StoreDeviceId(TMMDeviceId(id));
    Changed();
  }
  return id;
}

HMIXEROBJ TMMMixerDevice::Obj() { return reinterpret_cast<HMIXEROBJ>(UINT_PTR(MixerId())); }

bool TMMMixerDevice::GetLineInfo(MIXERLINE& ml, DWORD how) {
  ml.cbStruct = sizeof ml;
  const MMRESULT r = mixerGetLineInfo(Obj(), &ml, how | MIXER_OBJECTF_MIXER);
  return Tolerated(r, {MIXERR_INVALLINE, MMSYSERR_NODRIVER, MMSYSERR_INVALPARAM});
}

bool TMMMixerDevice::GetControlByType(DWORD lineId, DWORD typeValue, MIXERCONTROL& mc) {
  MIXERLINECONTROLS lc = MixerControlsRequest(1, &mc);
  lc.dwLineID = lineId;
  lc.dwControlType = typeValue;
  const MMRESULT r = mixerGetLineControls(Obj(), &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_MIXER);
  return Tolerated(r, {MIXERR_INVALCONTROL, MIXERR_INVALLINE, MMSYSERR_NODRIVER});
}

bool TMMMixerDevice::GetControlById(DWORD ctlId, MIXERCONTROL& mc, DWORD* lineId) {
  MIXERLINECONTROLS lc = MixerControlsRequest(1, &mc);
  lc.dwControlID = ctlId;
  const MMRESULT r = mixerGetLineControls(Obj(), &lc, MIXER_GETLINECONTROLSF_ONEBYID | MIXER_OBJECTF_MIXER);
  if (!Tolerated(r, {MIXERR_INVALCONTROL, MIXERR_INVALLINE, MMSYSERR_NODRIVER})) return false;
  if (lineId) *lineId = lc.dwLineID;
  return true;
}

void TMMMixerDevice::GetDetails(DWORD ctlId, DWORD channels, DWORD items, std::vector<LONG>& block) {
  block.assign(std::size_t(std::max<DWORD>(channels, 1)) * std::max<DWORD>(items, 1), 0);
  MIXERCONTROLDETAILS d = MixerDetailsRequest(ctlId, channels, items, sizeof(LONG), block.data());
  MMCheckResult(mixerGetControlDetails(Obj(), &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_MIXER));
}

void TMMMixerDevice::SetDetails(DWORD ctlId, DWORD channels, DWORD items, std::vector<LONG>& block) {
  MIXERCONTROLDETAILS d = MixerDetailsRequest(ctlId, channels, items, sizeof(LONG), block.data());
  MMCheckResult(mixerSetControlDetails(Obj(), &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_MIXER));
}

std::vector<MIXERCONTROLDETAILS_LISTTEXT> TMMMixerDevice::GetListTexts(DWORD ctlId, DWORD channels, DWORD items) {
  std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(std::size_t(std::max<DWORD>(channels, 1)) *
                                                  std::max<DWORD>(items, 1));
  MIXERCONTROLDETAILS d =
      MixerDetailsRequest(ctlId, channels, items, sizeof(MIXERCONTROLDETAILS_LISTTEXT), texts.data());
  MMCheckResult(mixerGetControlDetails(Obj(), &d, MIXER_GETCONTROLDETAILSF_LISTTEXT | MIXER_OBJECTF_MIXER));
  return texts;
}
