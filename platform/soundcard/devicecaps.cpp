// Device counts, capabilities and error texts of the card's services, and
// the answers of a machine without MIDI or auxiliary devices.
#include <algorithm>
#include <cstring>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/soundcard.h"

using namespace soundcard;

namespace {

template <typename Caps>
MMRESULT copyCaps(const Caps& caps, void* dst, UINT size) {
  if (!dst) return MMSYSERR_INVALPARAM;
  std::memcpy(dst, &caps, std::min<std::size_t>(size, sizeof(Caps)));
  return MMSYSERR_NOERROR;
}

void copyName(char (&dst)[MAXPNAMELEN], const char* name) {
  std::strncpy(dst, name, MAXPNAMELEN - 1);
  dst[MAXPNAMELEN - 1] = 0;
}

bool isCard(UINT_PTR id) { return id == 0 || UINT(id) == WAVE_MAPPER; }

constexpr DWORD kAllFormats = WAVE_FORMAT_1M08 | WAVE_FORMAT_1S08 | WAVE_FORMAT_1M16 |
                              WAVE_FORMAT_1S16 | WAVE_FORMAT_2M08 | WAVE_FORMAT_2S08 |
                              WAVE_FORMAT_2M16 | WAVE_FORMAT_2S16 | WAVE_FORMAT_4M08 |
                              WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16;

struct ErrorText {
  MMRESULT code;
  const char* text;
};

constexpr ErrorText kSystemTexts[] = {
    {MMSYSERR_NOERROR, "The specified command was carried out."},
    {MMSYSERR_ERROR, "Undefined external error."},
    {MMSYSERR_BADDEVICEID, "A device ID has been used that is out of range for your system."},
    {MMSYSERR_NOTENABLED, "The driver was not enabled."},
    {MMSYSERR_ALLOCATED,
     "The specified device is already in use.  Wait until it is free, and then try again."},
    {MMSYSERR_INVALHANDLE, "The specified device handle is invalid."},
    {MMSYSERR_NODRIVER, "There is no driver installed on your system."},
    {MMSYSERR_NOMEM,
     "There is not enough memory available for this task.  Quit one or more applications to "
     "increase available memory, and then try again."},
    {MMSYSERR_NOTSUPPORTED,
     "This function is not supported.  Use the Capabilities function to determine which "
     "functions and messages the driver supports."},
    {MMSYSERR_BADERRNUM, "An error number was specified that is not defined in the system."},
    {MMSYSERR_INVALFLAG, "An invalid flag was passed to a system function."},
    {MMSYSERR_INVALPARAM, "An invalid parameter was passed to a system function."},
    {MMSYSERR_HANDLEBUSY,
     "The specified device handle is being used by another thread.  Wait until it is free, "
     "and then try again."},
    {MMSYSERR_INVALIDALIAS, "The specified alias was not found."},
    {MMSYSERR_NODRIVERCB, "The driver did not generate a valid callback."},
};

constexpr ErrorText kWaveTexts[] = {
    {WAVERR_BADFORMAT,
     "The specified format is not supported or cannot be translated.  Use the Capabilities "
     "function to determine the supported formats."},
    {WAVERR_STILLPLAYING,
     "Cannot perform this operation while media data is still playing.  Reset the device, or "
     "wait until the data is finished playing."},
    {WAVERR_UNPREPARED,
     "The wave header was not prepared.  Use the Prepare function to prepare the header, and "
     "then try again."},
    {WAVERR_SYNC,
     "Cannot open the device without using the WAVE_ALLOWSYNC flag.  Use the flag, and then "
     "try again."},
    {WAVERR_SERVERLOST, "The sound server was lost: it closed the connection or stopped answering."},
};

constexpr ErrorText kMixerTexts[] = {
    {MIXERR_INVALLINE, "The specified mixer line is not valid for this mixer device."},
    {MIXERR_INVALCONTROL, "The specified mixer control is not valid for this mixer device."},
    {MIXERR_INVALVALUE, "The specified value is not valid for this mixer control."},
};

template <std::size_t N>
const char* lookup(const ErrorText (&table)[N], MMRESULT code) {
  for (const ErrorText& e : table)
    if (e.code == code) return e.text;
  return nullptr;
}

MMRESULT copyText(const char* text, char* dst, UINT size) {
  if (!text) return MMSYSERR_BADERRNUM;
  if (!dst || size == 0) return MMSYSERR_INVALPARAM;
  std::strncpy(dst, text, size - 1);
  dst[size - 1] = 0;
  return MMSYSERR_NOERROR;
}

const char* waveText(MMRESULT code) {
  const char* t = lookup(kSystemTexts, code);
  return t ? t : lookup(kWaveTexts, code);
}

}  // namespace

UINT waveInGetNumDevs() { return 1; }
UINT waveOutGetNumDevs() { return 1; }

MMRESULT waveInGetDevCaps(UINT id, WAVEINCAPS* caps, UINT size) {
  if (!isCard(id)) return MMSYSERR_BADDEVICEID;
  WAVEINCAPS c{};
  c.wMid = kCardMid;
  c.wPid = kWaveInPid;
  c.vDriverVersion = kCardDriverVersion;
  copyName(c.szPname, kCardName);
  c.dwFormats = kAllFormats;
  c.wChannels = 2;
  return copyCaps(c, caps, size);
}

MMRESULT waveOutGetDevCapsA(UINT id, WAVEOUTCAPS* caps, UINT size) {
  if (!isCard(id)) return MMSYSERR_BADDEVICEID;
  WAVEOUTCAPS c{};
  c.wMid = kCardMid;
  c.wPid = kWaveOutPid;
  c.vDriverVersion = kCardDriverVersion;
  copyName(c.szPname, kCardName);
  c.dwFormats = kAllFormats;
  c.wChannels = 2;
  c.dwSupport = WAVECAPS_SAMPLEACCURATE;
  return copyCaps(c, caps, size);
}

MMRESULT waveInGetErrorText(MMRESULT code, char* text, UINT size) {
  return copyText(waveText(code), text, size);
}

MMRESULT waveOutGetErrorTextA(MMRESULT code, char* text, UINT size) {
  return copyText(waveText(code), text, size);
}

MMRESULT mixerGetErrorText(MMRESULT code, char* text, UINT size) {
  const char* t = lookup(kSystemTexts, code);
  return copyText(t ? t : lookup(kMixerTexts, code), text, size);
}

UINT midiInGetNumDevs() { return 0; }
UINT midiOutGetNumDevs() { return 0; }
UINT auxGetNumDevs() { return 0; }
MMRESULT midiInGetDevCaps(UINT_PTR, MIDIINCAPS*, UINT) { return MMSYSERR_BADDEVICEID; }
MMRESULT midiOutGetDevCaps(UINT_PTR, MIDIOUTCAPS*, UINT) { return MMSYSERR_BADDEVICEID; }
MMRESULT auxGetDevCaps(UINT_PTR, AUXCAPS*, UINT) { return MMSYSERR_BADDEVICEID; }
