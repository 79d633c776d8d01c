#include "mixer/MMMixTypes.h"

#include <array>
#include <charconv>
#include <iterator>

namespace {

constexpr std::array<DWORD, 20> kComponentTypes = {
    MIXERLINE_COMPONENTTYPE_DST_DIGITAL,      MIXERLINE_COMPONENTTYPE_DST_HEADPHONES,
    MIXERLINE_COMPONENTTYPE_DST_LINE,         MIXERLINE_COMPONENTTYPE_DST_MONITOR,
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,     MIXERLINE_COMPONENTTYPE_DST_TELEPHONE,
    MIXERLINE_COMPONENTTYPE_DST_UNDEFINED,    MIXERLINE_COMPONENTTYPE_DST_VOICEIN,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN,       MIXERLINE_COMPONENTTYPE_SRC_ANALOG,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY,    MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
    MIXERLINE_COMPONENTTYPE_SRC_DIGITAL,      MIXERLINE_COMPONENTTYPE_SRC_LINE,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,   MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER,
    MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER,  MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE,
    MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED,    MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
};

constexpr std::array<DWORD, 30> kControlTypes = {
    MIXERCONTROL_CONTROLTYPE_CUSTOM,        MIXERCONTROL_CONTROLTYPE_BASS,
    MIXERCONTROL_CONTROLTYPE_EQUALIZER,     MIXERCONTROL_CONTROLTYPE_FADER,
    MIXERCONTROL_CONTROLTYPE_TREBLE,        MIXERCONTROL_CONTROLTYPE_VOLUME,
    MIXERCONTROL_CONTROLTYPE_MIXER,         MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT,
    MIXERCONTROL_CONTROLTYPE_MUX,           MIXERCONTROL_CONTROLTYPE_SINGLESELECT,
    MIXERCONTROL_CONTROLTYPE_BOOLEANMETER,  MIXERCONTROL_CONTROLTYPE_PEAKMETER,
    MIXERCONTROL_CONTROLTYPE_SIGNEDMETER,   MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER,
    MIXERCONTROL_CONTROLTYPE_DECIBELS,      MIXERCONTROL_CONTROLTYPE_PERCENT,
    MIXERCONTROL_CONTROLTYPE_SIGNED,        MIXERCONTROL_CONTROLTYPE_UNSIGNED,
    MIXERCONTROL_CONTROLTYPE_PAN,           MIXERCONTROL_CONTROLTYPE_QSOUNDPAN,
    MIXERCONTROL_CONTROLTYPE_SLIDER,        MIXERCONTROL_CONTROLTYPE_BOOLEAN,
    MIXERCONTROL_CONTROLTYPE_BUTTON,        MIXERCONTROL_CONTROLTYPE_LOUDNESS,
    MIXERCONTROL_CONTROLTYPE_MONO,          MIXERCONTROL_CONTROLTYPE_MUTE,
    MIXERCONTROL_CONTROLTYPE_ONOFF,         MIXERCONTROL_CONTROLTYPE_STEREOENH,
    0x60030000 /* MICROTIME */,             0x61030000 /* MILLITIME */,
};

constexpr std::array<DWORD, 8> kControlClasses = {
    MIXERCONTROL_CT_CLASS_CUSTOM, MIXERCONTROL_CT_CLASS_FADER,  MIXERCONTROL_CT_CLASS_LIST,
    MIXERCONTROL_CT_CLASS_METER,  MIXERCONTROL_CT_CLASS_NUMBER, MIXERCONTROL_CT_CLASS_SLIDER,
    MIXERCONTROL_CT_CLASS_SWITCH, MIXERCONTROL_CT_CLASS_TIME,
};

template <std::size_t N>
std::optional<int> IndexOf(const std::array<DWORD, N>& table, DWORD value) {
  for (std::size_t i = 0; i < N; ++i)
    if (table[i] == value) return int(i);
  return std::nullopt;
}

bool SameIdent(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string ToIdent(std::int32_t v, const char* none) { return v == -1 ? none : std::to_string(v); }

std::optional<std::int32_t> FromIdent(std::string_view text, const char* none) {
  if (SameIdent(text, none)) return -1;
  std::int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace

std::string LineIdToIdent(TMMLineId id) { return ToIdent(id, "badLineId"); }
std::optional<TMMLineId> IdentToLineId(std::string_view t) { return FromIdent(t, "badLineId"); }
std::string ControlIdToIdent(TMMControlId id) { return ToIdent(id, "badControlId"); }
std::optional<TMMControlId> IdentToControlId(std::string_view t) { return FromIdent(t, "badControlId"); }
std::string ItemIndexToIdent(TMMItemIndex item) { return ToIdent(item, "NoItem"); }
std::optional<TMMItemIndex> IdentToItemIndex(std::string_view t) { return FromIdent(t, "NoItem"); }

DWORD ComponentTypeValue(TMMComponentType t) { return kComponentTypes[std::size_t(t)]; }

std::optional<TMMComponentType> ComponentTypeOf(DWORD value) {
  if (auto i = IndexOf(kComponentTypes, value)) return TMMComponentType(*i);
  return std::nullopt;
}

DWORD ControlTypeValue(TMMControlType t) { return kControlTypes[std::size_t(t)]; }

std::optional<TMMControlType> ControlTypeOf(DWORD value) {
  if (auto i = IndexOf(kControlTypes, value)) return TMMControlType(*i);
  return std::nullopt;
}

std::optional<TMMControlClass> ControlClassOf(DWORD typeValue) {
  if (auto i = IndexOf(kControlClasses, typeValue & MIXERCONTROL_CT_CLASS_MASK)) return TMMControlClass(*i);
  return std::nullopt;
}
