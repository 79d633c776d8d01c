// The waveform audio and mixer services of the software sound card.
//
// One card (wave input device 0, wave output device 0, mixer 0) runs inside
// the process at 44100 Hz stereo. Device 0 and WAVE_MAPPER both name it; any
// other device id is refused with MMSYSERR_BADDEVICEID.
//
// Threads: every call may be made from any thread, but the callers of this
// program make them from the main thread. None of them waits for the card's
// clock: stop and reset return their buffers before they return, so they work
// the same whether the card runs in real time or is stepped by a test.
//
// Notifications:
// - CALLBACK_FUNCTION: MM_WIM_OPEN/MM_WOM_OPEN and the CLOSE messages are
//   called from inside the open and close calls; MM_WIM_DATA and MM_WOM_DONE
//   of buffers the card filled or played are called on the card's thread;
//   those returned by waveInStop, waveInReset and waveOutReset are called on
//   the calling thread before the call returns.
// - CALLBACK_WINDOW: every message is posted (PostMessage) with the device
//   handle as wParam and the WAVEHDR* as lParam. While the message queue is
//   full the card's thread holds its messages back (and the buffers behind
//   them stay queued) rather than grow the queue.
// WHDR_DONE is set, and WHDR_INQUEUE cleared, before a buffer's message is
// sent. A buffer's messages arrive in the order the buffers were queued.
#pragma once

#include <cstdint>

#include "platform/mmsystem.h"

// ---------------------------------------------------------------- additions
using UINT_PTR = std::uintptr_t;

// Object kinds of the mixer calls besides those of mmsystem.h.
constexpr DWORD MIXER_OBJECTF_MIDIOUT = 0x30000000;
constexpr DWORD MIXER_OBJECTF_MIDIIN = 0x40000000;
constexpr DWORD MIXER_OBJECTF_AUX = 0x50000000;
constexpr DWORD MIXER_OBJECTF_HWAVEOUT = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_WAVEOUT;
constexpr DWORD MIXER_OBJECTF_HWAVEIN = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_WAVEIN;
constexpr DWORD MIXER_OBJECTF_HMIDIOUT = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIDIOUT;
constexpr DWORD MIXER_OBJECTF_HMIDIIN = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIDIIN;
constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;

// A mixer object: a mixer id or HMIXER (or a wave device id or handle, as
// the MIXER_OBJECTF_ flags say) passed through one pointer-sized value.
using HMIXEROBJ = void*;

constexpr UINT MIDI_MAPPER = UINT(-1);

struct MIDIOUTCAPS {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  char szPname[MAXPNAMELEN];
  WORD wTechnology;
  WORD wVoices;
  WORD wNotes;
  WORD wChannelMask;
  DWORD dwSupport;
};

struct MIDIINCAPS {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  char szPname[MAXPNAMELEN];
  DWORD dwSupport;
};

struct AUXCAPS {
  WORD wMid;
  WORD wPid;
  UINT vDriverVersion;
  char szPname[MAXPNAMELEN];
  WORD wTechnology;
  WORD wReserved1;
  DWORD dwSupport;
};

// ---------------------------------------------------------------- wave input
UINT waveInGetNumDevs();
MMRESULT waveInGetDevCaps(UINT uDeviceID, WAVEINCAPS* pwic, UINT cbwic);
// Copies the text of a wave result code (at most cchText - 1 characters);
// MMSYSERR_BADERRNUM for a code without text.
MMRESULT waveInGetErrorText(MMRESULT mmrError, char* pszText, UINT cchText);
// fdwOpen: CALLBACK_NULL, CALLBACK_FUNCTION (dwCallback = WAVECALLBACK,
// dwInstance passed back) or CALLBACK_WINDOW (dwCallback = HWND), optionally
// with WAVE_FORMAT_QUERY (only checks the format; phwi may be null).
MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
// WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
// Stops recording; the buffer being filled, if it holds any bytes, is
// returned at once; empty queued buffers stay queued.
MMRESULT waveInStop(HWAVEIN hwi);
// Stops recording and returns every queued buffer, marked done; the
// position goes back to 0.
MMRESULT waveInReset(HWAVEIN hwi);
// TIME_SAMPLES or TIME_BYTES of data written into buffers since the open or
// the last reset; other units are answered in TIME_BYTES.
MMRESULT waveInGetPosition(HWAVEIN hwi, MMTIME* pmmt, UINT cbmmt);
MMRESULT waveInGetID(HWAVEIN hwi, UINT* puDeviceID);

// The card frame (soundcard::ClockFrames) whose sound is the start of what
// `h` recorded since the open or the last reset: the frame its position 0
// stands for. At another rate than the card's, frame n of the handle
// stands for card frame start + n * 44100 / rate. MMSYSERR_NOTENABLED until
// the card has recorded for the handle.
MMRESULT waveInGetStartFrame(HWAVEIN h, std::uint64_t* clockFrame);

// The voice: beside the recording mix, the handle keeps the microphone as
// the "Recording" destination takes it (its microphone lines' volume and
// mute, the destination's volume; never delayed, no accompaniment) in the
// handle's format, converted exactly like the mix, so its frames are the
// frames stored into the buffers, in order. waveInEnableVoice allocates a
// ring of `ringBytes` (rounded down to whole frames; at least one) on the
// calling thread; it is refused (WAVERR_STILLPLAYING) once the handle has
// started. Enabling again starts an empty ring.
MMRESULT waveInEnableVoice(HWAVEIN h, DWORD ringBytes);
// Takes up to `bytes` (rounded down to whole frames) of the voice, in the
// order recorded, into `dst` (null: skips them); `*read` tells how many.
// The voice of a buffer is in the ring once the buffer is returned, also
// by waveInStop and waveInReset; it stays there until read. One reader at a
// time (the wave-in component reads on whichever thread handles its
// buffers), and never while waveInEnableVoice or waveInClose runs: they
// replace and free the ring.
// MMSYSERR_NOTENABLED without the voice.
MMRESULT waveInReadVoice(HWAVEIN h, void* dst, DWORD bytes, DWORD* read);

// ---------------------------------------------------------------- wave output
UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPS* pwoc, UINT cbwoc);
MMRESULT waveOutGetErrorTextA(MMRESULT mmrError, char* pszText, UINT cchText);
inline MMRESULT waveOutGetDevCaps(UINT id, WAVEOUTCAPS* caps, UINT size) {
  return waveOutGetDevCapsA(id, caps, size);
}
inline MMRESULT waveOutGetErrorText(MMRESULT code, char* text, UINT size) {
  return waveOutGetErrorTextA(code, text, size);
}
// As waveInOpen; WAVE_MAPPED is accepted. A new device plays at once (it is
// not paused) and starts with position 0.
MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutClose(HWAVEOUT hwo);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Queues dwBufferLength bytes (rounded down to whole blocks) for playing.
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutPause(HWAVEOUT hwo);
MMRESULT waveOutRestart(HWAVEOUT hwo);
// Returns every queued buffer, marked done; the position goes back to 0;
// a paused device stays paused.
MMRESULT waveOutReset(HWAVEOUT hwo);
// Samples (or bytes) of the handle's format that have reached the speakers
// mix since the open or the last reset.
MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* pmmt, UINT cbmmt);
MMRESULT waveOutGetID(HWAVEOUT hwo, UINT* puDeviceID);

// Arms `h` to send `msg` (wParam: the handle) once to its callback, the way
// it sends MM_WOM_DONE, when its queue is empty and everything it held has
// gone into the mix; a paused handle waits. 0 disarms; waveOutReset disarms.
MMRESULT waveOutNotifyDrained(HWAVEOUT h, UINT msg);

// ---------------------------------------------------------------- mixer
UINT mixerGetNumDevs();
// uMxId: a mixer id (or an HMIXER cast to an integer).
MMRESULT mixerGetDevCaps(UINT_PTR uMxId, MIXERCAPS* pmxcaps, UINT cbmxcaps);
// fdwOpen: CALLBACK_NULL or CALLBACK_WINDOW (dwCallback = HWND), plus the
// MIXER_OBJECTF_ kind of uMxId. Every window that opened a mixer receives
// MM_MIXM_CONTROL_CHANGE (wParam = its HMIXER, lParam = control id) when a
// control value of that mixer changes.
MMRESULT mixerOpen(HMIXER* phmx, UINT_PTR uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen);
MMRESULT mixerClose(HMIXER hmx);
MMRESULT mixerGetID(HMIXEROBJ hmxobj, UINT* puMxId, DWORD fdwId);
// fdwInfo: MIXER_GETLINEINFOF_DESTINATION, _SOURCE, _LINEID,
// _COMPONENTTYPE or _TARGETTYPE, plus the object kind.
MMRESULT mixerGetLineInfo(HMIXEROBJ hmxobj, MIXERLINE* pmxl, DWORD fdwInfo);
// fdwControls: MIXER_GETLINECONTROLSF_ALL, _ONEBYID or _ONEBYTYPE.
MMRESULT mixerGetLineControls(HMIXEROBJ hmxobj, MIXERLINECONTROLS* pmxlc, DWORD fdwControls);
// Values (MIXER_GETCONTROLDETAILSF_VALUE, 4-byte elements, item by item,
// each item holding its channels) or list texts (_LISTTEXT, one
// MIXERCONTROLDETAILS_LISTTEXT per item). A one-channel request on a
// several-channel control reads the largest channel value and writes every
// channel.
MMRESULT mixerGetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerGetErrorText(MMRESULT mmrError, char* pszText, UINT cchText);

// ---------------------------------------------------------------- other kinds
// The machine has no MIDI or auxiliary devices: counts are 0 and the
// capability queries answer MMSYSERR_BADDEVICEID (also for the mappers).
UINT midiInGetNumDevs();
UINT midiOutGetNumDevs();
UINT auxGetNumDevs();
MMRESULT midiInGetDevCaps(UINT_PTR uDeviceID, MIDIINCAPS* pmic, UINT cbmic);
MMRESULT midiOutGetDevCaps(UINT_PTR uDeviceID, MIDIOUTCAPS* pmoc, UINT cbmoc);
MMRESULT auxGetDevCaps(UINT_PTR uDeviceID, AUXCAPS* pac, UINT cbac);
