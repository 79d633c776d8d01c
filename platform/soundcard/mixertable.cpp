#include "platform/soundcard/mixertable.h"

#include <algorithm>
#include <cmath>

namespace soundcard {

namespace {

bool isListType(DWORD type) {
  return (type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_LIST;
}

// Single-select lists (MUX, SINGLESELECT) have the sub-class bits clear.
bool isSingleSelect(DWORD type) { return isListType(type) && (type & 0x0F000000) == 0; }

LONG defaultValue(const ControlDesc& desc, DWORD item) {
  const DWORD cls = desc.type & MIXERCONTROL_CT_CLASS_MASK;
  if (isListType(desc.type)) return isSingleSelect(desc.type) ? (item == 0 ? 1 : 0) : 1;
  if (cls == MIXERCONTROL_CT_CLASS_FADER) return desc.maximum;
  if (cls == MIXERCONTROL_CT_CLASS_SWITCH || cls == MIXERCONTROL_CT_CLASS_METER) return 0;
  return desc.minimum;
}

std::unique_ptr<MixControl> buildControl(const ControlDesc& desc, MixLine* line, DWORD id) {
  auto c = std::make_unique<MixControl>();
  c->id = id;
  c->desc = desc;
  c->line = line;
  c->items = DWORD(desc.items.size());
  if (c->items) c->desc.flags |= MIXERCONTROL_CONTROLF_MULTIPLE;
  const bool uniform = (c->desc.flags & MIXERCONTROL_CONTROLF_UNIFORM) != 0;
  c->channels = uniform ? 1 : std::max<DWORD>(1, line->desc.channels);
  const DWORD n = c->valueCount();
  c->values = std::make_unique<std::atomic<LONG>[]>(n);
  for (DWORD i = 0; i < n; ++i) {
    const LONG v = i < desc.initial.size() ? desc.initial[i] : defaultValue(desc, i / c->channels);
    c->values[i].store(v, std::memory_order_relaxed);
  }
  return c;
}

// Item lists name lines of their destination: resolve them to line ids.
void resolveItems(MixMixer& m) {
  for (auto& c : m.controls) {
    c->itemLineIds.assign(c->items, 0xFFFFFFFF);
    c->itemTypes.assign(c->items, 0);
    MixLine* dest = m.destinations[c->line->destination];
    for (DWORD i = 0; i < c->items; ++i) {
      std::vector<MixLine*> candidates = dest->sources;
      candidates.insert(candidates.begin(), dest);
      for (MixLine* l : candidates) {
        if (l->desc.name == c->desc.items[i]) {
          c->itemLineIds[i] = l->id;
          c->itemTypes[i] = l->desc.componentType;
          break;
        }
      }
    }
  }
}

std::unique_ptr<MixMixer> buildMixer(const MixerDesc& desc) {
  auto m = std::make_unique<MixMixer>();
  m->desc = desc;
  DWORD nextControl = 1;
  auto addLine = [&](const LineDesc& ls, DWORD d, int s) {
    auto line = std::make_unique<MixLine>();
    line->id = s < 0 ? DestinationLineId(d) : SourceLineId(d, DWORD(s));
    line->destination = d;
    line->source = s;
    line->desc = ls;
    if (s >= 0) line->desc.flags |= MIXERLINE_LINEF_SOURCE;
    for (const ControlDesc& cs : ls.controls) {
      m->controls.push_back(buildControl(cs, line.get(), nextControl++));
      MixControl* c = m->controls.back().get();
      line->controls.push_back(c);
      if (c->desc.type == MIXERCONTROL_CONTROLTYPE_VOLUME && !line->volume) line->volume = c;
      if (c->desc.type == MIXERCONTROL_CONTROLTYPE_MUTE && !line->mute) line->mute = c;
      if (isListType(c->desc.type) && c->items && !line->list) line->list = c;
    }
    MixLine* raw = line.get();
    m->lines.push_back(std::move(line));
    return raw;
  };
  for (DWORD d = 0; d < desc.destinations.size(); ++d) {
    const DestinationDesc& ds = desc.destinations[d];
    MixLine* dest = addLine(ds.line, d, -1);
    dest->connections = DWORD(ds.sources.size());
    m->destinations.push_back(dest);
    for (std::size_t s = 0; s < ds.sources.size(); ++s)
      dest->sources.push_back(addLine(ds.sources[s], d, int(s)));
  }
  resolveItems(*m);
  return m;
}

const float* signalOf(const MixLine& line, const MixInputs& in) {
  switch (line.desc.componentType) {
    case MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT: return in.waveOut;
    case MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER: return in.synth;
    case MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE: return in.microphone;
    default: return nullptr;
  }
}

// Whether the destination's item list lets `source` through; a source the
// list does not name always passes.
bool selected(const MixLine& dest, const MixLine& source) {
  const MixControl* list = dest.list;
  if (!list) return true;
  for (DWORD i = 0; i < list->items; ++i) {
    if (list->itemLineIds[i] != source.id) continue;
    for (DWORD ch = 0; ch < list->channels; ++ch)
      if (list->values[i * list->channels + ch].load(std::memory_order_relaxed) != 0) return true;
    return false;
  }
  return true;
}

void storePeak(MixLine& line, const float* buf, std::uint32_t frames) {
  float peak[2] = {0.0f, 0.0f};
  for (std::uint32_t i = 0; i < frames; ++i) {
    peak[0] = std::max(peak[0], std::fabs(buf[2 * i]));
    peak[1] = std::max(peak[1], std::fabs(buf[2 * i + 1]));
  }
  for (int ch = 0; ch < 2; ++ch)
    line.peak[ch].store(int(std::min(peak[ch] * 32767.0f + 0.5f, 32767.0f)),
                        std::memory_order_relaxed);
}

}  // namespace

MixLine* MixMixer::line(DWORD destination, int source) const {
  if (destination >= destinations.size()) return nullptr;
  MixLine* dest = destinations[destination];
  if (source < 0) return dest;
  return std::size_t(source) < dest->sources.size() ? dest->sources[source] : nullptr;
}

MixLine* MixMixer::lineById(DWORD id) const {
  for (const auto& l : lines)
    if (l->id == id) return l.get();
  return nullptr;
}

MixControl* MixMixer::controlById(DWORD id) const {
  for (const auto& c : controls)
    if (c->id == id) return c.get();
  return nullptr;
}

MixerTable::MixerTable(std::vector<MixerDesc> descs) {
  for (const MixerDesc& desc : descs) mixers_.push_back(buildMixer(desc));
  if (mixers_.empty()) return;
  for (MixLine* dest : mixers_[0]->destinations) {
    const DWORD type = dest->desc.componentType;
    if (type == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS && !playback_) playback_ = dest;
    if (type == MIXERLINE_COMPONENTTYPE_DST_WAVEIN && !recording_) recording_ = dest;
  }
}

std::array<float, 2> MixerTable::lineGain(const MixLine& line) {
  std::array<float, 2> gain{1.0f, 1.0f};
  if (const MixControl* vol = line.volume) {
    const double lo = vol->desc.minimum;
    const double range = double(vol->desc.maximum) - lo;
    for (int ch = 0; ch < 2; ++ch) {
      const DWORD at = std::min<DWORD>(DWORD(ch), vol->channels - 1);
      const double v = vol->values[at].load(std::memory_order_relaxed);
      gain[ch] = range > 0 ? float(std::clamp((v - lo) / range, 0.0, 1.0)) : 1.0f;
    }
  }
  if (const MixControl* mute = line.mute) {
    for (DWORD i = 0; i < mute->valueCount(); ++i)
      if (mute->values[i].load(std::memory_order_relaxed) != 0) return {0.0f, 0.0f};
  }
  return gain;
}

void MixerTable::mixDestination(const MixLine* dest, const MixInputs& in, float* out,
                                std::uint32_t frames, float* microphones) const {
  std::fill(out, out + 2 * frames, 0.0f);
  if (microphones) std::fill(microphones, microphones + 2 * frames, 0.0f);
  if (!dest) return;
  float part[2 * 4096];
  for (MixLine* src : dest->sources) {
    const float* signal = signalOf(*src, in);
    const std::array<float, 2> g = lineGain(*src);
    if (!signal || !selected(*dest, *src) || (g[0] == 0.0f && g[1] == 0.0f)) {
      src->peak[0].store(0, std::memory_order_relaxed);
      src->peak[1].store(0, std::memory_order_relaxed);
      continue;
    }
    for (std::uint32_t i = 0; i < frames; ++i) {
      part[2 * i] = signal[2 * i] * g[0];
      part[2 * i + 1] = signal[2 * i + 1] * g[1];
    }
    storePeak(*src, part, frames);
    for (std::uint32_t i = 0; i < 2 * frames; ++i) out[i] += part[i];
    if (microphones && src->desc.componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) {
      if (in.voiceMicrophone && in.voiceMicrophone != signal) {
        for (std::uint32_t i = 0; i < frames; ++i) {
          microphones[2 * i] += in.voiceMicrophone[2 * i] * g[0];
          microphones[2 * i + 1] += in.voiceMicrophone[2 * i + 1] * g[1];
        }
      } else {
        for (std::uint32_t i = 0; i < 2 * frames; ++i) microphones[i] += part[i];
      }
    }
  }
  const std::array<float, 2> g = lineGain(*dest);
  if (g[0] != 1.0f || g[1] != 1.0f) {
    for (std::uint32_t i = 0; i < frames; ++i) {
      out[2 * i] *= g[0];
      out[2 * i + 1] *= g[1];
      if (microphones) {
        microphones[2 * i] *= g[0];
        microphones[2 * i + 1] *= g[1];
      }
    }
  }
  storePeak(*const_cast<MixLine*>(dest), out, frames);
}

void MixerTable::mix(const MixInputs& playbackInputs, const MixInputs& recordingInputs,
                     float* playback, float* recording, std::uint32_t frames, float* voice) const {
  mixDestination(playback_, playbackInputs, playback, frames, nullptr);
  mixDestination(recording_, recordingInputs, recording, frames, voice);
}

// ---------------------------------------------------------------- table makers

ControlDesc VolumeControl(const std::string& lineName) {
  ControlDesc c;
  c.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
  c.shortName = "Volume";
  c.name = lineName + " Volume";
  c.minimum = 0;
  c.maximum = 65535;
  c.steps = 65535;
  return c;
}

ControlDesc MuteControl(const std::string& lineName, bool muted) {
  ControlDesc c;
  c.type = MIXERCONTROL_CONTROLTYPE_MUTE;
  c.shortName = "Mute";
  c.name = lineName + " Mute";
  c.flags = MIXERCONTROL_CONTROLF_UNIFORM;
  c.minimum = 0;
  c.maximum = 1;
  c.steps = 0;
  c.initial = {muted ? 1 : 0};
  return c;
}

ControlDesc PeakMeterControl(const std::string& lineName) {
  ControlDesc c;
  c.type = MIXERCONTROL_CONTROLTYPE_PEAKMETER;
  c.shortName = "Peak";
  c.name = lineName + " Peak";
  c.minimum = -32768;
  c.maximum = 32767;
  c.steps = 0;
  return c;
}

ControlDesc ListControl(DWORD type, const std::string& name, std::vector<std::string> items) {
  ControlDesc c;
  c.type = type;
  c.shortName = name.substr(0, MIXER_SHORT_NAME_CHARS - 1);
  c.name = name;
  c.flags = MIXERCONTROL_CONTROLF_UNIFORM;
  c.minimum = 0;
  c.maximum = 1;
  c.steps = 0;
  c.items = std::move(items);
  return c;
}

std::vector<MixerDesc> DefaultMixers() {
  auto line = [](DWORD type, const std::string& name, const std::string& shortName,
                 DWORD target, bool muted) {
    LineDesc l;
    l.componentType = type;
    l.name = name;
    l.shortName = shortName;
    l.channels = 2;
    l.targetType = target;
    l.controls = {VolumeControl(name), MuteControl(name, muted), PeakMeterControl(name)};
    return l;
  };
  const DWORD none = MIXERLINE_TARGETTYPE_UNDEFINED;
  MixerDesc m;
  DestinationDesc speakers;
  speakers.line = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", "Speakers", none, false);
  speakers.sources = {
      line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out", "Wave Out",
           MIXERLINE_TARGETTYPE_WAVEOUT, false),
      line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "SW Synth", "SW Synth", none, false),
      line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", "Mic", none, true),
  };
  DestinationDesc recording;
  recording.line = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", "Recording",
                        MIXERLINE_TARGETTYPE_WAVEIN, false);
  recording.sources = {
      line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", "Mic", none, false),
      line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "SW Synth", "SW Synth", none, false),
      line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave Out", "Wave Out",
           MIXERLINE_TARGETTYPE_WAVEOUT, false),
  };
  m.destinations = {speakers, recording};
  return {m};
}

}  // namespace soundcard
