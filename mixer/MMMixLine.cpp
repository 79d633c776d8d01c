// The audio line component.
#include <cstring>

#include "mixer/MMMixer.h"

namespace {

// Target type of a device kind.
DWORD TargetTypeOf(TMMDeviceType kind) {
  switch (kind) {
    case dtMidiIn: return MIXERLINE_TARGETTYPE_MIDIIN;
    case dtMidiOut: return MIXERLINE_TARGETTYPE_MIDIOUT;
    case dtWaveIn: return MIXERLINE_TARGETTYPE_WAVEIN;
    case dtWaveOut: return MIXERLINE_TARGETTYPE_WAVEOUT;
    case dtAux: return MIXERLINE_TARGETTYPE_AUX;
    case dtMixer: return MIXERLINE_TARGETTYPE_UNDEFINED;
  }
  return MIXERLINE_TARGETTYPE_UNDEFINED;
}

// Fills the target part of a query from a device's identity.
void FillTarget(MIXERLINE& ml, const TMMCustomAudioDevice& dev) {
  const TMMDeviceCaps& caps = dev.DeviceCaps();
  ml.Target.dwType = TargetTypeOf(dev.DeviceType());
  ml.Target.wMid = caps.ManufacturerId;
  ml.Target.wPid = caps.ProductId;
  ml.Target.vDriverVersion = (UINT(caps.VerMajor) << 8) | caps.VerMinor;
  std::strncpy(ml.Target.szPname, caps.ProductName.c_str(), MAXPNAMELEN - 1);
  ml.Target.szPname[MAXPNAMELEN - 1] = 0;
}

bool SameTarget(const MIXERLINE& a, const MIXERLINE& b) {
  return a.Target.dwType == b.Target.dwType && a.Target.wMid == b.Target.wMid &&
         a.Target.wPid == b.Target.wPid && a.Target.vDriverVersion == b.Target.vDriverVersion &&
         std::strncmp(a.Target.szPname, b.Target.szPname, MAXPNAMELEN) == 0;
}

}  // namespace

TMMAudioLine::TMMAudioLine(QObject* AOwner) : TMMComponent(AOwner) {
  FMixerObserver.OnNotify = [this](TMMObserver*, TMMMixerChange* d) { MixerNotice(d); };
  FTargetObserver.OnNotify = [this](TMMObserver*, TMMMixerChange*) { UpdateLine(); };
  FDestObserver.OnNotify = [this](TMMObserver*, TMMMixerChange* d) {
    if (!d || dynamic_cast<TMMLineIdChange*>(d)) UpdateLine();
  };
}

TMMAudioLine::~TMMAudioLine() { Destroying(); }

template <typename T>
void TMMAudioLine::Follow(TMMRef<T>& ref, T* value, TMMObserver& observer, TMMObservable* subject) {
  MoveObserver(observer, subject);
  // UpdateLine itself does nothing while this line is being destroyed.
  ref.Set(this, value, [this] { UpdateLine(); });
}

void TMMAudioLine::SetMixer(TMMMixerDevice* value) {
  if (value == FMixer.get()) return;
  Follow(FMixer, value, FMixerObserver, value ? value->LineObservable() : nullptr);
  UpdateLine();
}

void TMMAudioLine::SetLineId(TMMLineId value) {
  FBindMode = 0;
  FLineId = value;
  UpdateLine();
}

void TMMAudioLine::SetComponentType(TMMComponentType value) {
  FBindMode = 1;
  FComponentType = value;
  UpdateLine();
}

void TMMAudioLine::SetTarget(TMMCustomAudioDevice* value) {
  if (qobject_cast<TMMMixerDevice*>(value)) throw EMMMixerDeviceError(mixermsg::kTargetToMixer);
  FBindMode = 2;
  if (value != FTarget.get()) Follow(FTarget, value, FTargetObserver, value ? value->Observable() : nullptr);
  UpdateLine();
}

void TMMAudioLine::SetDestLine(QObject* value) {
  auto* line = qobject_cast<TMMAudioLine*>(value);
  if (value && !line) throw EMMMixerDeviceError(mixermsg::kDestLineNotLine);
  // A chain of destination lines that leads back here would re-bind in a
  // circle for ever; such an assignment is ignored.
  for (TMMAudioLine* l = line; l; l = l->DestLine())
    if (l == this) return;
  if (line != FDestLine.get()) Follow(FDestLine, line, FDestObserver, line ? &line->FControlObservable : nullptr);
  UpdateLine();
}

bool TMMAudioLine::IsUsable() const {
  TMMMixerDevice* m = FMixer.get();
  return m && m->IsValid() && FLineId != badLineId;
}

void TMMAudioLine::Loaded() {
  TMMComponent::Loaded();
  UpdateLine();
}

bool TMMAudioLine::LookUp(MIXERLINE& ml) {
  TMMMixerDevice* m = FMixer.get();
  std::memset(&ml, 0, sizeof ml);
  switch (FBindMode) {
    case 1:
      ml.dwComponentType = ComponentTypeValue(FComponentType);
      return m->GetLineInfo(ml, MIXER_GETLINEINFOF_COMPONENTTYPE);
    case 2:
      if (!FTarget) return false;
      FillTarget(ml, *FTarget.get());
      return m->GetLineInfo(ml, MIXER_GETLINEINFOF_TARGETTYPE);
    default:
      if (FLineId == badLineId) return false;
      ml.dwLineID = DWORD(FLineId);
      return m->GetLineInfo(ml, MIXER_GETLINEINFOF_LINEID);
  }
}

void TMMAudioLine::UpdateLine() {
  if (InState(csLoading | csDestroying)) return;
  FDestIndex = -1;
  TMMMixerDevice* m = FMixer.get();
  // Without a usable mixer the line keeps its last id; its controls find
  // the mixer missing.
  if (m && m->IsValid()) {
    MIXERLINE ml{};
    bool found = false;
    if (TMMAudioLine* dest = FDestLine.get())
      found = dest->Mixer() == m && dest->FindSource(this, &ml);
    else
      found = LookUp(ml);
    if (found) {
      const auto type = ComponentTypeOf(ml.dwComponentType);
      if (!type) throw EMMMixerServiceError(mixermsg::kUndefinedComponentType);
      FLineId = TMMLineId(ml.dwLineID);
      FComponentType = *type;
      FLineInfo.Flags = ml.fdwLine & (cfActive | cfDisconnected | cfSource);
      FLineInfo.Channels = int(ml.cChannels);
      FLineInfo.Connections = int(ml.cConnections);
      FLineInfo.Controls = int(ml.cControls);
      FLineInfo.ShortName.assign(ml.szShortName, strnlen(ml.szShortName, sizeof ml.szShortName));
      FLineInfo.Name.assign(ml.szName, strnlen(ml.szName, sizeof ml.szName));
      if (!(ml.fdwLine & MIXERLINE_LINEF_SOURCE)) FDestIndex = int(ml.dwDestination);
    } else {
      FLineId = badLineId;
      FLineInfo.Clear();
    }
  }
  LineIdChanged();
}

bool TMMAudioLine::FindSource(TMMAudioLine* query, MIXERLINE* found) {
  TMMMixerDevice* m = FMixer.get();
  if (!query || InState(csLoading) || !m || !m->IsValid() || FLineId == badLineId ||
      (FLineInfo.Flags & cfSource) || !query->Mixer() || !query->Mixer()->IsValid())
    return false;
  MIXERLINE ml{};
  if (!query->LookUp(ml)) return false;
  if (FLineId >= 0 && DWORD(FLineId) == ml.dwDestination) {
    if (found) *found = ml;
    return true;
  }
  if (query->FBindMode == 0) return false;
  MIXERLINE wanted{};
  if (query->FBindMode == 2) {
    if (!query->Target()) return false;
    FillTarget(wanted, *query->Target());
  }
  for (int s = 0; s < FLineInfo.Connections; ++s) {
    MIXERLINE src{};
    src.dwDestination = DWORD(FDestIndex < 0 ? FLineId : FDestIndex);
    src.dwSource = DWORD(s);
    if (!m->GetLineInfo(src, MIXER_GETLINEINFOF_SOURCE)) continue;
    const bool match = query->FBindMode == 1 ? src.dwComponentType == ComponentTypeValue(query->FComponentType)
                                             : SameTarget(src, wanted);
    if (match) {
      if (found) *found = src;
      return true;
    }
  }
  return false;
}

void TMMAudioLine::MixerNotice(TMMMixerChange* data) {
  if (auto* lc = dynamic_cast<TMMLineChange*>(data)) {
    if (lc->LineId == FLineId) LineChanged();
  } else if (auto* cc = dynamic_cast<TMMControlChange*>(data)) {
    if (cc->LineId == FLineId) ControlChanged(cc->CtlId);
  } else if (dynamic_cast<TMMDeviceChange*>(data)) {
    UpdateLine();
  }
}

void TMMAudioLine::LineChanged() {
  TMMLineChange notice(FLineId);
  FControlObservable.NotifyObservers(&notice);
  if (OnChange) OnChange(this);
}

void TMMAudioLine::LineIdChanged() {
  TMMLineIdChange notice;
  FControlObservable.NotifyObservers(&notice);
}

void TMMAudioLine::ControlChanged(TMMControlId CtlId) {
  TMMControlChange notice(FLineId, CtlId);
  FControlObservable.NotifyObservers(&notice);
  if (OnControlChange) OnControlChange(this, FLineId, CtlId);
}
