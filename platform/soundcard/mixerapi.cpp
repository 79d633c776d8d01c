// The mixer functions over the card's mixer table.
#include <algorithm>
#include <cstring>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/inspection.h"
#include "platform/soundcard/soundcard.h"

using namespace soundcard;

namespace soundcard {

MMRESULT ResolveMixer(Engine& e, HMIXEROBJ obj, DWORD flags, UINT* mixerId) {
  const std::size_t count = e.table->count();
  const auto id = UINT(reinterpret_cast<UINT_PTR>(obj));
  switch (flags & MIXER_OBJECTF_TYPEMASK) {
    case MIXER_OBJECTF_MIXER:
      if (id >= count) return MMSYSERR_BADDEVICEID;
      *mixerId = id;
      return MMSYSERR_NOERROR;
    case MIXER_OBJECTF_HMIXER: {
      auto* h = static_cast<HMIXER>(obj);
      if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
      if (h->mixerId >= count) return MMSYSERR_NODRIVER;
      *mixerId = h->mixerId;
      return MMSYSERR_NOERROR;
    }
    case MIXER_OBJECTF_WAVEOUT:
    case MIXER_OBJECTF_WAVEIN:
      if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
      break;
    case MIXER_OBJECTF_HWAVEOUT:
      if (!e.isOpen(static_cast<HWAVEOUT>(obj))) return MMSYSERR_INVALHANDLE;
      break;
    case MIXER_OBJECTF_HWAVEIN:
      if (!e.isOpen(static_cast<HWAVEIN>(obj))) return MMSYSERR_INVALHANDLE;
      break;
    case MIXER_OBJECTF_MIDIOUT:
    case MIXER_OBJECTF_MIDIIN:
    case MIXER_OBJECTF_AUX:
    case MIXER_OBJECTF_HMIDIOUT:
    case MIXER_OBJECTF_HMIDIIN:
      // No such devices here, so no mixer for them.
      return MMSYSERR_NODRIVER;
    default:
      return MMSYSERR_INVALFLAG;
  }
  // The card's wave devices belong to the first mixer.
  if (count == 0) return MMSYSERR_NODRIVER;
  *mixerId = 0;
  return MMSYSERR_NOERROR;
}

}  // namespace soundcard

namespace {

// Callers may state the records' sizes as the 32-bit system had them
// instead of sizeof here; any record at least that large is taken.
constexpr DWORD kMixerLineSize = 168;
constexpr DWORD kLineControlsSize = 24;
constexpr DWORD kDetailsSize = 24;

template <std::size_t N>
void copyString(char (&dst)[N], const std::string& src) {
  std::strncpy(dst, src.c_str(), N - 1);
  dst[N - 1] = 0;
}

// The device a line's target names: the card's wave devices, or nothing.
void fillTarget(MIXERLINE* ml, DWORD type) {
  ml->Target.dwType = type;
  ml->Target.dwDeviceID = 0;
  ml->Target.wMid = 0;
  ml->Target.wPid = 0;
  ml->Target.vDriverVersion = 0;
  ml->Target.szPname[0] = 0;
  if (type == MIXERLINE_TARGETTYPE_WAVEOUT || type == MIXERLINE_TARGETTYPE_WAVEIN) {
    ml->Target.wMid = kCardMid;
    ml->Target.wPid = type == MIXERLINE_TARGETTYPE_WAVEOUT ? kWaveOutPid : kWaveInPid;
    ml->Target.vDriverVersion = kCardDriverVersion;
    copyString(ml->Target.szPname, kCardName);
  }
}

void fillLine(const MixLine& line, MIXERLINE* ml) {
  const DWORD size = ml->cbStruct;
  std::memset(ml, 0, sizeof(MIXERLINE));
  ml->cbStruct = size;
  ml->dwDestination = line.destination;
  ml->dwSource = line.source < 0 ? 0 : DWORD(line.source);
  ml->dwLineID = line.id;
  ml->fdwLine = line.desc.flags;
  ml->dwComponentType = line.desc.componentType;
  ml->cChannels = line.desc.channels;
  ml->cConnections = line.connections;
  ml->cControls = DWORD(line.controls.size());
  copyString(ml->szShortName, line.desc.shortName);
  copyString(ml->szName, line.desc.name);
  fillTarget(ml, line.desc.targetType);
}

void fillControl(const MixControl& c, MIXERCONTROL* mc) {
  std::memset(mc, 0, sizeof(MIXERCONTROL));
  mc->cbStruct = sizeof(MIXERCONTROL);
  mc->dwControlID = c.id;
  mc->dwControlType = c.desc.type;
  mc->fdwControl = c.desc.flags;
  mc->cMultipleItems = c.items;
  copyString(mc->szShortName, c.desc.shortName);
  copyString(mc->szName, c.desc.name);
  mc->Bounds.s1.lMinimum = c.desc.minimum;
  mc->Bounds.s1.lMaximum = c.desc.maximum;
  mc->Metrics.cSteps = c.desc.steps;
}

bool targetMatches(const MixLine& line, const MIXERLINE& query) {
  if (line.desc.targetType != query.Target.dwType) return false;
  MIXERLINE mine{};
  fillTarget(&mine, line.desc.targetType);
  return mine.Target.wMid == query.Target.wMid && mine.Target.wPid == query.Target.wPid &&
         mine.Target.vDriverVersion == query.Target.vDriverVersion &&
         std::strncmp(mine.Target.szPname, query.Target.szPname, MAXPNAMELEN) == 0;
}

bool isBooleanUnits(DWORD type) {
  return (type & 0x000F0000) == MIXERCONTROL_CT_UNITS_BOOLEAN;
}

// Checks a value transfer's shape against the control; on success tells how
// many channels the caller's block holds per item.
MMRESULT checkShape(const MixControl& c, const MIXERCONTROLDETAILS& d, DWORD* channels) {
  const DWORD lineChannels = std::max<DWORD>(1, c.line->desc.channels);
  if (d.cChannels == 0 ||
      (d.cChannels != 1 && d.cChannels != c.channels && d.cChannels != lineChannels))
    return MMSYSERR_INVALPARAM;
  if (d.cMultipleItems != c.items) return MMSYSERR_INVALPARAM;
  if (!d.paDetails || d.cbDetails < sizeof(LONG)) return MMSYSERR_INVALPARAM;
  *channels = d.cChannels;
  return MMSYSERR_NOERROR;
}

LONG readValue(const MixControl& c, DWORD item, DWORD channel, DWORD requested) {
  if (c.isMeter()) {
    if (c.desc.type != MIXERCONTROL_CONTROLTYPE_PEAKMETER) return 0;
    const int left = c.line->peak[0].load(std::memory_order_relaxed);
    const int right = c.line->peak[1].load(std::memory_order_relaxed);
    if (requested == 1) return c.line->desc.channels == 1 ? left : std::max(left, right);
    return channel == 0 ? left : right;
  }
  const DWORD base = item * c.channels;
  if (requested == 1 && c.channels > 1) {
    LONG v = c.values[base].load();
    for (DWORD k = 1; k < c.channels; ++k) v = std::max(v, c.values[base + k].load());
    return v;
  }
  return c.values[base + std::min(channel, c.channels - 1)].load();
}

LONG* element(const MIXERCONTROLDETAILS& d, std::size_t index) {
  return reinterpret_cast<LONG*>(static_cast<char*>(d.paDetails) + index * d.cbDetails);
}

struct Found {
  Engine& e;
  InspectionLock guard;
  MixMixer* mixer = nullptr;
  UINT id = 0;
  MMRESULT result = MMSYSERR_NOERROR;

  Found(HMIXEROBJ obj, DWORD flags) : e(Engine::instance()), guard(e.lock) {
    result = ResolveMixer(e, obj, flags, &id);
    if (result == MMSYSERR_NOERROR) mixer = e.table->mixer(id);
  }
};

}  // namespace

UINT mixerGetNumDevs() {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  return UINT(e.table->count());
}

MMRESULT mixerGetDevCaps(UINT_PTR uMxId, MIXERCAPS* caps, UINT size) {
  if (!caps) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  UINT id = UINT(uMxId);
  if (auto* h = reinterpret_cast<HMIXER>(uMxId); e.isOpen(h)) id = h->mixerId;
  const MixMixer* m = e.table->mixer(id);
  if (!m) return MMSYSERR_BADDEVICEID;
  MIXERCAPS c{};
  c.wMid = m->desc.mid;
  c.wPid = m->desc.pid;
  c.vDriverVersion = m->desc.driverVersion;
  copyString(c.szPname, m->desc.name);
  c.fdwSupport = 0;
  c.cDestinations = DWORD(m->destinations.size());
  std::memcpy(caps, &c, std::min<std::size_t>(size, sizeof(c)));
  return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(HMIXER* phmx, UINT_PTR uMxId, DWORD_PTR target, DWORD_PTR instance, DWORD flags) {
  Callback cb;
  if (MMRESULT r = ParseCallback(target, instance, flags, &cb)) return r;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  UINT id = 0;
  const DWORD kind = flags & MIXER_OBJECTF_TYPEMASK;
  if (MMRESULT r = ResolveMixer(e, reinterpret_cast<HMIXEROBJ>(uMxId), kind, &id)) return r;
  if (!phmx) return MMSYSERR_INVALPARAM;
  auto* h = new MixerHandle{id, cb};
  e.mixers.push_back(h);
  *phmx = h;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER h) {
  Engine& e = Engine::instance();
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    e.mixers.erase(std::find(e.mixers.begin(), e.mixers.end(), h));
  }
  delete h;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetID(HMIXEROBJ obj, UINT* puMxId, DWORD flags) {
  if (!puMxId) return MMSYSERR_INVALPARAM;
  Found f(obj, flags);
  if (f.result) return f.result;
  *puMxId = f.id;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfo(HMIXEROBJ obj, MIXERLINE* ml, DWORD flags) {
  if (!ml || ml->cbStruct < kMixerLineSize) return MMSYSERR_INVALPARAM;
  Found f(obj, flags);
  if (f.result) return f.result;
  const MixMixer& m = *f.mixer;
  const MixLine* line = nullptr;
  switch (flags & MIXER_GETLINEINFOF_QUERYMASK) {
    case MIXER_GETLINEINFOF_DESTINATION: line = m.line(ml->dwDestination, -1); break;
    case MIXER_GETLINEINFOF_SOURCE:
      if (ml->dwSource > 0xFFFF) return MIXERR_INVALLINE;
      line = m.line(ml->dwDestination, int(ml->dwSource));
      break;
    case MIXER_GETLINEINFOF_LINEID: line = m.lineById(ml->dwLineID); break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
      for (const auto& l : m.lines)
        if (l->desc.componentType == ml->dwComponentType) {
          line = l.get();
          break;
        }
      break;
    case MIXER_GETLINEINFOF_TARGETTYPE:
      if (ml->Target.dwType == MIXERLINE_TARGETTYPE_UNDEFINED) return MIXERR_INVALLINE;
      for (const auto& l : m.lines)
        if (targetMatches(*l, *ml)) {
          line = l.get();
          break;
        }
      break;
    default: return MMSYSERR_INVALFLAG;
  }
  if (!line) return MIXERR_INVALLINE;
  fillLine(*line, ml);
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControls(HMIXEROBJ obj, MIXERLINECONTROLS* lc, DWORD flags) {
  if (!lc || lc->cbStruct < kLineControlsSize) return MMSYSERR_INVALPARAM;
  if (!lc->pamxctrl || lc->cbmxctrl < sizeof(MIXERCONTROL)) return MMSYSERR_INVALPARAM;
  Found f(obj, flags);
  if (f.result) return f.result;
  const MixMixer& m = *f.mixer;
  auto out = [&](std::size_t i) {
    return reinterpret_cast<MIXERCONTROL*>(reinterpret_cast<char*>(lc->pamxctrl) + i * lc->cbmxctrl);
  };
  switch (flags & MIXER_GETLINECONTROLSF_QUERYMASK) {
    case MIXER_GETLINECONTROLSF_ALL: {
      const MixLine* line = m.lineById(lc->dwLineID);
      if (!line) return MIXERR_INVALLINE;
      if (lc->cControls == 0 || lc->cControls != line->controls.size()) return MMSYSERR_INVALPARAM;
      for (std::size_t i = 0; i < line->controls.size(); ++i) fillControl(*line->controls[i], out(i));
      return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYID: {
      const MixControl* c = m.controlById(lc->dwControlID);
      if (!c) return MIXERR_INVALCONTROL;
      fillControl(*c, out(0));
      lc->dwLineID = c->line->id;
      return MMSYSERR_NOERROR;
    }
    case MIXER_GETLINECONTROLSF_ONEBYTYPE: {
      const MixLine* line = m.lineById(lc->dwLineID);
      if (!line) return MIXERR_INVALLINE;
      for (const MixControl* c : line->controls)
        if (c->desc.type == lc->dwControlType) {
          fillControl(*c, out(0));
          return MMSYSERR_NOERROR;
        }
      return MIXERR_INVALCONTROL;
    }
    default: return MMSYSERR_INVALFLAG;
  }
}

MMRESULT mixerGetControlDetails(HMIXEROBJ obj, MIXERCONTROLDETAILS* d, DWORD flags) {
  if (!d || d->cbStruct < kDetailsSize) return MMSYSERR_INVALPARAM;
  Found f(obj, flags);
  if (f.result) return f.result;
  const MixControl* c = f.mixer->controlById(d->dwControlID);
  if (!c) return MIXERR_INVALCONTROL;
  const DWORD items = std::max<DWORD>(1, c->items);
  switch (flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) {
    case MIXER_GETCONTROLDETAILSF_VALUE: {
      DWORD channels = 0;
      if (MMRESULT r = checkShape(*c, *d, &channels)) return r;
      for (DWORD i = 0; i < items; ++i)
        for (DWORD k = 0; k < channels; ++k)
          *element(*d, i * channels + k) = readValue(*c, i, k, channels);
      return MMSYSERR_NOERROR;
    }
    case MIXER_GETCONTROLDETAILSF_LISTTEXT: {
      if (c->items == 0 || d->cMultipleItems != c->items) return MMSYSERR_INVALPARAM;
      if (!d->paDetails || d->cbDetails < sizeof(MIXERCONTROLDETAILS_LISTTEXT))
        return MMSYSERR_INVALPARAM;
      const DWORD channels = std::clamp<DWORD>(d->cChannels, 1, c->channels);
      for (DWORD k = 0; k < channels; ++k)
        for (DWORD i = 0; i < c->items; ++i) {
          auto* t = reinterpret_cast<MIXERCONTROLDETAILS_LISTTEXT*>(
              static_cast<char*>(d->paDetails) + (i * channels + k) * d->cbDetails);
          t->dwParam1 = c->itemLineIds[i];
          t->dwParam2 = c->itemTypes[i];
          copyString(t->szName, c->desc.items[i]);
        }
      return MMSYSERR_NOERROR;
    }
    default: return MMSYSERR_INVALFLAG;
  }
}

MMRESULT mixerSetControlDetails(HMIXEROBJ obj, MIXERCONTROLDETAILS* d, DWORD flags) {
  if (!d || d->cbStruct < kDetailsSize) return MMSYSERR_INVALPARAM;
  NoteList notes;
  {
    Found f(obj, flags);
    if (f.result) return f.result;
    const MixControl* c = f.mixer->controlById(d->dwControlID);
    if (!c) return MIXERR_INVALCONTROL;
    if ((flags & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
      return MMSYSERR_NOTSUPPORTED;
    if (c->isMeter()) return MMSYSERR_NOTSUPPORTED;
    DWORD channels = 0;
    if (MMRESULT r = checkShape(*c, *d, &channels)) return r;
    bool changed = false;
    const DWORD items = std::max<DWORD>(1, c->items);
    for (DWORD i = 0; i < items; ++i) {
      for (DWORD k = 0; k < channels; ++k) {
        LONG v = *element(*d, i * channels + k);
        v = isBooleanUnits(c->desc.type) ? (v != 0 ? 1 : 0)
                                         : std::clamp(v, c->desc.minimum, c->desc.maximum);
        // A one-channel value sets every channel of the item.
        const DWORD first = channels == 1 ? 0 : k;
        const DWORD last = channels == 1 ? c->channels : std::min(k + 1, c->channels);
        for (DWORD ch = first; ch < last; ++ch)
          if (c->values[i * c->channels + ch].exchange(v) != v) changed = true;
      }
    }
    if (changed)
      for (MixerHandle* h : f.e.mixers)
        if (h->mixerId == f.id) notes.add(h->callback, h, MM_MIXM_CONTROL_CHANGE, c->id);
  }
  notes.call();
  return MMSYSERR_NOERROR;
}
