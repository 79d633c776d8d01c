// The enumerations and device ids that every audio component shares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// ---------------------------------------------------------------- enumerations
// The ordinals are the stored values; names and order are fixed.
enum TMMMode : int { mMono, mStereo, mMultiChannel };  // nChannels = ordinal + 1
enum TMMBits : int { b8Bit, b16Bit };                  // wBitsPerSample = (ordinal + 1) * 8
enum TMMChannel : int { chBoth, chLeft, chRight };
enum TMMTimeFormats : int { tfMillisecond, tfByte, tfSample };
enum TMMCBMode : int { cmWindow, cmCallback, cmThread };
enum TMMTriggerMode : int { tmNone, tmUpFlank, tmDownFlank };

// ---------------------------------------------------------------- device ids
using TMMDeviceId = std::int32_t;
constexpr TMMDeviceId MapperId = -1;   // the system's wave mapper
constexpr TMMDeviceId InvalidId = -2;  // no valid device selected

// Stored form of a device id: "MapperId", "InvalidId" or a plain integer.
std::string DeviceIdToIdent(TMMDeviceId id);
// Reads the stored form back; nullopt for text that is neither.
std::optional<TMMDeviceId> IdentToDeviceId(std::string_view text);
