// What the two wave engines share in reporting failures: their texts,
// the message a failed worker thread sends, the raise of a failed device
// call, the guarded run of an operation and the refusal of cmCallback.
#pragma once

#include <string>

#include "audio/MMDSPObj.h"
#include "audio/MMDeviceCalls.h"
#include "platform/mmsystem.h"

namespace enginemsg {
inline constexpr const char* kPropertyWhileOpen = "Change to property while device was open";
inline constexpr const char* kInvalidDeviceId = "Invalid DeviceID";
inline constexpr const char* kNoHeaderMemory = "Unable to allocate memory for wave header";
inline constexpr const char* kUnknownError = "Specified error number is out of range (unknown error)";
inline constexpr const char* kNoThread = "Could not create thread";
inline constexpr const char* kInvalidFormat = "Invalid wave format";
inline constexpr const char* kUnableToOpen = "Unable to open device";
inline constexpr const char* kUnableToClose = "Unable to close device";
inline constexpr const char* kCallbackWarning =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95";
}  // namespace enginemsg

// The input engine's texts, the shared ones included.
namespace waveinmsg {
using namespace enginemsg;
inline constexpr const char* kCantRecordFormat = "The actual device can''t record this format";
inline constexpr const char* kNoDevice = "No wave audio recording device found";
inline constexpr const char* kCallbackCaption = "TMMWaveIn";
}  // namespace waveinmsg

// The output engine's texts, the shared ones included.
namespace waveoutmsg {
using namespace enginemsg;
inline constexpr const char* kCantPlayFormat = "The actual device can''t play this format";
inline constexpr const char* kUnableToStart = "Unable to start device";
inline constexpr const char* kFillError = "Error filling wave buffer";
inline constexpr const char* kNoDevice = "No wave audio playing device found";
inline constexpr const char* kCallbackCaption = "TMMWaveOut";
}  // namespace waveoutmsg

// Sent to an engine's window by its failed worker thread (wParam: the device
// handle): the main thread closes the device and reports.
constexpr UINT MM_ENGINE_THREADFAIL = 0x8003;

// A device call answered `result`: `engine.Error` fires OnError and raises
// Exception with `prefix` and the device's text (raised here too should an
// override of Error return).
template <typename Exception, typename Engine, typename Calls>
[[noreturn]] void MMDeviceFailed(Engine& engine, const Calls& calls, const char* prefix, MMRESULT result) {
  const std::string message = prefix + MMDeviceErrorText(calls, result, enginemsg::kUnknownError);
  engine.Error(message);
  throw Exception(message);
}

// Runs `body`. On an exception fires OnError through `fireError` (unless it
// is the engine's own Exception: Error told OnError already), then runs
// `recover` and raises the exception again.
template <typename Exception, typename Body, typename FireError, typename Recover>
void MMGuarded(Body&& body, FireError&& fireError, Recover&& recover) {
  try {
    body();
  } catch (const Exception&) {
    recover();
    throw;
  } catch (...) {
    fireError();
    recover();
    throw;
  }
}

// Whether an engine takes callback mode `mode`. cmCallback would run its
// buffer handling, file writes included, on the card's thread: it is refused
// with a warning (a message box in a GUI) under the engine's `caption`.
bool MMAcceptCallbackMode(TMMCBMode mode, const char* caption);
