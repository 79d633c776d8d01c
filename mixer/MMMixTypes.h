// The mixer components' enumerations with their platform values, the line
// and control records they publish, their errors and the stored forms of
// the "none" ids.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mixer/MMDevice.h"
#include "platform/mmsystem.h"

using TMMLineId = std::int32_t;
using TMMControlId = std::int32_t;
using TMMItemIndex = std::int32_t;
constexpr TMMLineId badLineId = -1;
constexpr TMMControlId badControlId = -1;
constexpr TMMItemIndex NoItem = -1;

// Stored forms: -1 is written as "badLineId", "badControlId" or "NoItem"
// (read back case-insensitively), anything else as a plain integer.
std::string LineIdToIdent(TMMLineId id);
std::optional<TMMLineId> IdentToLineId(std::string_view text);
std::string ControlIdToIdent(TMMControlId id);
std::optional<TMMControlId> IdentToControlId(std::string_view text);
std::string ItemIndexToIdent(TMMItemIndex item);
std::optional<TMMItemIndex> IdentToItemIndex(std::string_view text);

class EMMMixerDeviceError : public EMMDeviceError {
 public:
  using EMMDeviceError::EMMDeviceError;
};
// The mixer service reported something the components have no name for.
class EMMMixerServiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EMMMixerControlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace mixermsg {
inline constexpr const char* kMixerReferencesMixer = "Mixer can't reference mixer";
inline constexpr const char* kDeviceNotValid = "Device not valid";
inline constexpr const char* kTargetToMixer = "Can't target to mixer";
inline constexpr const char* kDestLineNotLine = "DestLine should be TMMAudioLine";
inline constexpr const char* kUndefinedComponentType = "Undefined API component type";
inline constexpr const char* kUndefinedControlClass = "Undefined API control class";
inline constexpr const char* kMixerRequired = "Mixer required for this operation";
inline constexpr const char* kControlNotValid = "Control not valid";
inline constexpr const char* kItemOutOfRange = "Item index out of range";
inline constexpr const char* kItemInfoNonMultiple = "Item info requested from non-multiple control";
}  // namespace mixermsg

enum TMMComponentType : int {
  ctDstDigital, ctDstHeadPhones, ctDstLine, ctDstMonitor, ctDstSpeakers, ctDstTelephone,
  ctDstUndefined, ctDstVoiceIn, ctDstWaveIn, ctSrcAnalog, ctSrcAux, ctSrcCD, ctSrcDigital,
  ctSrcLine, ctSrcMicrophone, ctSrcPCSpeaker, ctSrcSynthesizer, ctSrcTelephone, ctSrcUndefined,
  ctSrcWaveOut,
};
// MIXERLINE_COMPONENTTYPE_ value of a name, and the name of a value.
DWORD ComponentTypeValue(TMMComponentType t);
std::optional<TMMComponentType> ComponentTypeOf(DWORD value);

enum TMMControlType : std::uint8_t {
  ctCustom, ctBass, ctEqualizer, ctFader, ctTreble, ctVolume, ctMixer, ctMultipleSelect, ctMux,
  ctSingleSelect, ctBooleanMeter, ctPeakMeter, ctSignerMeter, ctUnsignedMeter, ctDecibels,
  ctPercent, ctSigned, ctUnsigned, ctPan, ctQSoundPan, ctSlider, ctBoolean, ctButton, ctLoudness,
  ctMono, ctMute, ctOnOff, ctStereoEnh, ctMicroTime, ctMilliTime,
};
DWORD ControlTypeValue(TMMControlType t);
std::optional<TMMControlType> ControlTypeOf(DWORD value);

enum TMMControlClass : int { ccCustom, ccFader, ccList, ccMeter, ccNumber, ccSlider, ccSwitch, ccTime };
// The class of a control type's value (its top four bits); nullopt when
// those bits name no class.
std::optional<TMMControlClass> ControlClassOf(DWORD typeValue);

// Sets as bit masks of the platform's flags they stand for.
enum TMMLineFlag : DWORD {
  cfActive = MIXERLINE_LINEF_ACTIVE,
  cfDisconnected = MIXERLINE_LINEF_DISCONNECTED,
  cfSource = MIXERLINE_LINEF_SOURCE,
};
using TMMLineFlags = DWORD;
enum TMMControlFlag : DWORD {
  cfDisabled = MIXERCONTROL_CONTROLF_DISABLED,
  cfMultiple = MIXERCONTROL_CONTROLF_MULTIPLE,
  cfUniform = MIXERCONTROL_CONTROLF_UNIFORM,
};
using TMMControlFlags = DWORD;

struct TMMLineInfo {
  TMMLineFlags Flags = 0;
  int Channels = 0;
  int Connections = 0;
  int Controls = 0;
  std::string ShortName;  // up to 16 characters
  std::string Name;       // up to 64 characters
  void Clear() { *this = TMMLineInfo{}; }
};

struct TMMControlInfo {
  TMMControlFlags Flags = 0;
  TMMItemIndex MultipleItems = 0;
  std::string ShortName;
  std::string Name;
  std::int32_t MinValue = 0;
  std::int32_t MaxValue = 0;
  std::int32_t Steps = 0;
  void Clear() { *this = TMMControlInfo{}; }
};
