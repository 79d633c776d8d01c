#include "mixer/MMDevice.h"

#include <cstdio>
#include <cstring>

#include "platform/soundcard/soundcard.h"

std::string MMErrorText(MMRESULT result) {
  char text[256] = {};
  if (mixerGetErrorText(result, text, sizeof text) == MMSYSERR_NOERROR && text[0]) return text;
  char fallback[64];
  std::snprintf(fallback, sizeof fallback, "MMSystem error: %u", unsigned(result));
  return fallback;
}

void MMCheckResult(MMRESULT result) {
  if (result != MMSYSERR_NOERROR) throw EMMMCIError(result, MMErrorText(result));
}

namespace {

// The identity fields every kind's capability record starts with.
template <typename Caps>
TMMDeviceCaps FromCaps(const Caps& c) {
  TMMDeviceCaps r;
  r.ManufacturerId = c.wMid;
  r.ProductId = c.wPid;
  r.VerMajor = BYTE((c.vDriverVersion >> 8) & 0xFF);
  r.VerMinor = BYTE(c.vDriverVersion & 0xFF);
  r.ProductName.assign(c.szPname, strnlen(c.szPname, sizeof c.szPname));
  return r;
}

template <typename Caps, typename Query>
MMRESULT QueryCaps(Query query, UINT_PTR id, TMMDeviceCaps* out) {
  Caps c{};
  const MMRESULT r = query(id, &c, UINT(sizeof c));
  if (r == MMSYSERR_NOERROR && out) *out = FromCaps(c);
  return r;
}

MMRESULT KindCaps(TMMDeviceType kind, UINT_PTR id, TMMDeviceCaps* out) {
  switch (kind) {
    case dtMidiIn: return QueryCaps<MIDIINCAPS>(&midiInGetDevCaps, id, out);
    case dtMidiOut: return QueryCaps<MIDIOUTCAPS>(&midiOutGetDevCaps, id, out);
    case dtWaveIn:
      return QueryCaps<WAVEINCAPS>([](UINT_PTR i, WAVEINCAPS* c, UINT s) { return waveInGetDevCaps(UINT(i), c, s); },
                                   id, out);
    case dtWaveOut:
      return QueryCaps<WAVEOUTCAPS>(
          [](UINT_PTR i, WAVEOUTCAPS* c, UINT s) { return waveOutGetDevCaps(UINT(i), c, s); }, id, out);
    case dtAux: return QueryCaps<AUXCAPS>(&auxGetDevCaps, id, out);
    case dtMixer: return QueryCaps<MIXERCAPS>(&mixerGetDevCaps, id, out);
  }
  return MMSYSERR_BADDEVICEID;
}

}  // namespace

TMMCustomAudioDevice::TMMCustomAudioDevice(QObject* AOwner, TMMDeviceType kind)
    : TMMComponent(AOwner), FDeviceType(kind) {
  try {
    ReadCaps();
  } catch (const EMMMCIError&) {
    FDeviceId = InvalidId;
    ReadCaps();
  }
}

TMMCustomAudioDevice::~TMMCustomAudioDevice() { Destroying(); }

int TMMCustomAudioDevice::DeviceCount() const {
  switch (FDeviceType) {
    case dtMidiIn: return int(midiInGetNumDevs());
    case dtMidiOut: return int(midiOutGetNumDevs());
    case dtWaveIn: return int(waveInGetNumDevs());
    case dtWaveOut: return int(waveOutGetNumDevs());
    case dtAux: return int(auxGetNumDevs());
    case dtMixer: return int(mixerGetNumDevs());
  }
  return 0;
}

bool TMMCustomAudioDevice::IsValid() const { return DeviceCount() >= 1 && FDeviceId != InvalidId; }

void TMMCustomAudioDevice::ReadCaps() {
  TMMDeviceCaps caps;
  if (IsValid()) MMCheckResult(KindCaps(FDeviceType, UINT_PTR(UINT(FDeviceId)), &caps));
  FDeviceCaps = caps;
}

bool TMMCustomAudioDevice::Mapper() const {
  const MMRESULT r = KindCaps(FDeviceType, UINT_PTR(UINT(-1)), nullptr);
  if (r == MMSYSERR_BADDEVICEID || r == MMSYSERR_INVALHANDLE) return false;
  MMCheckResult(r);
  return true;
}

void TMMCustomAudioDevice::SetDeviceId(TMMDeviceId value) {
  if (value != 0 && value != MapperId && value != InvalidId && (value < 0 || value >= DeviceCount()))
    throw EMMDeviceError(mmdevmsg::kIdOutOfRange);
  if (value == FDeviceId) return;
  const bool wasActive = FOpen;
  Close();
  FDeviceId = value;
  DeviceChanged();
  if (wasActive) Open();
}

void TMMCustomAudioDevice::SetActive(bool value) {
  if (InState(csLoading)) {
    FStoredActive = value;
    return;
  }
  Close();
  if (value) Open();
}

void TMMCustomAudioDevice::Loaded() {
  TMMComponent::Loaded();
  DeviceChanged();
  if (FStoredActive) SetActive(true);
}

void TMMCustomAudioDevice::DeviceChanged() {
  ReadCaps();
  Changed();
}

void TMMCustomAudioDevice::Changed() {
  TMMDeviceChange notice;
  FObservable.NotifyObservers(&notice);
  if (OnChange) OnChange(this);
}
