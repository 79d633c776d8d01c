// The sound-card calls the wave engines make, as tables of functions that a
// test can replace to run an engine against a failing device, and the shared
// reading of their answers: error texts, capabilities, positions and the done
// flag of a buffer the card's thread writes.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "audio/MMDSPObj.h"
#include "platform/mmsystem.h"

// The calls both directions make on a handle of type Handle.
template <typename Handle, typename Caps>
struct TMMDeviceCalls {
  std::function<UINT()> GetNumDevs;
  std::function<MMRESULT(UINT, Caps*, UINT)> GetDevCaps;
  std::function<MMRESULT(MMRESULT, char*, UINT)> GetErrorText;
  std::function<MMRESULT(Handle*, UINT, const WAVEFORMATEX*, DWORD_PTR, DWORD_PTR, DWORD)> Open;
  std::function<MMRESULT(Handle)> Close;
  std::function<MMRESULT(Handle, WAVEHDR*, UINT)> PrepareHeader;
  std::function<MMRESULT(Handle, WAVEHDR*, UINT)> UnprepareHeader;
  std::function<MMRESULT(Handle)> Reset;
  std::function<MMRESULT(Handle, MMTIME*, UINT)> GetPosition;
  std::function<MMRESULT(Handle, UINT*)> GetID;
};

struct TMMWaveInFunctions : TMMDeviceCalls<HWAVEIN, WAVEINCAPS> {
  std::function<MMRESULT(HWAVEIN, WAVEHDR*, UINT)> AddBuffer;
  std::function<MMRESULT(HWAVEIN)> Start;
  std::function<MMRESULT(HWAVEIN)> Stop;
  // The microphone alone beside the recording (the card's voice ring).
  std::function<MMRESULT(HWAVEIN, DWORD)> EnableVoice;
  std::function<MMRESULT(HWAVEIN, void*, DWORD, DWORD*)> ReadVoice;
};

struct TMMWaveOutFunctions : TMMDeviceCalls<HWAVEOUT, WAVEOUTCAPS> {
  std::function<MMRESULT(HWAVEOUT, WAVEHDR*, UINT)> Write;
  std::function<MMRESULT(HWAVEOUT)> Pause;
  std::function<MMRESULT(HWAVEOUT)> Restart;
  // Arms the handle to send a message once everything queued was heard.
  std::function<MMRESULT(HWAVEOUT, UINT)> NotifyDrained;
};

// The tables bound to the sound card.
TMMWaveInFunctions MMWaveInDeviceCalls();
TMMWaveOutFunctions MMWaveOutDeviceCalls();

// Whether `id` is the mapper or one of `numDevs` devices.
inline bool MMDeviceIdInRange(TMMDeviceId id, UINT numDevs) {
  return id >= MapperId && id < static_cast<TMMDeviceId>(numDevs);
}

// The device's text for `result`; `unknown` when it has none.
template <typename Handle, typename Caps>
std::string MMDeviceErrorText(const TMMDeviceCalls<Handle, Caps>& calls, MMRESULT result, const char* unknown) {
  char text[MAXERRORLENGTH] = {};
  if (!calls.GetErrorText || calls.GetErrorText(result, text, MAXERRORLENGTH - 1) != MMSYSERR_NOERROR || !text[0])
    return unknown;
  return std::string(text, strnlen(text, MAXERRORLENGTH - 1));
}

// Selects device `id` when `valid`: its capabilities, name and driver
// version (the name `noDevice` and version 0 when it is not valid or does
// not answer). Returns the device's answer.
template <typename Handle, typename Caps>
MMRESULT MMSelectDevice(const TMMDeviceCalls<Handle, Caps>& calls, bool valid, TMMDeviceId id, Caps& caps,
                        std::string& productName, UINT& driverVersion, const char* noDevice) {
  productName = noDevice;
  driverVersion = 0;
  if (!valid) return MMSYSERR_BADDEVICEID;
  Caps read{};
  const MMRESULT r = calls.GetDevCaps ? calls.GetDevCaps(UINT(id), &read, sizeof read) : MMSYSERR_NOTSUPPORTED;
  if (r != MMSYSERR_NOERROR) return r;
  caps = read;
  productName.assign(read.szPname, strnlen(read.szPname, sizeof read.szPname));
  driverVersion = read.vDriverVersion;
  return r;
}

// The handle's position in samples of `format` (a device that answers in
// bytes is converted). Returns the device's answer.
template <typename Handle, typename Caps>
MMRESULT MMReadSamplePosition(const TMMDeviceCalls<Handle, Caps>& calls, Handle handle, const WAVEFORMATEX* format,
                              std::int64_t& samples) {
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  const MMRESULT r = calls.GetPosition(handle, &t, sizeof t);
  if (r != MMSYSERR_NOERROR) return r;
  if (t.wType == TIME_SAMPLES)
    samples = t.u.sample;
  else
    samples = std::max<std::int64_t>(0, pcmBytesToSamples(format, std::int64_t{t.u.cb}));
  return r;
}

// Whether capability bits `formats` (WAVE_FORMAT_1M08 ...) allow the PCM
// `format`. Formats outside the capability rows are allowed.
bool MMCapsAllowFormat(DWORD formats, const WAVEFORMATEX& format);

// Whether the card has handed the buffer back. The card's thread writes the
// flags, so they are read as an atomic.
inline bool MMBufferDone(WAVEHDR* header) {
  return (std::atomic_ref<DWORD>(header->dwFlags).load(std::memory_order_acquire) & WHDR_DONE) != 0;
}

// Spins up to `polls` reads for the done flag (a buffer still with the card
// is handed back by a reset on the card's thread). False when it never came.
inline bool MMAwaitBufferDone(WAVEHDR* header, int polls = 65000) {
  for (int i = 0; i < polls && !MMBufferDone(header); ++i) {
  }
  return MMBufferDone(header);
}
