// The media control service: devices opened by file name and driven by
// commands (open, close, status, play, seek, stop, set, capabilities), in
// the shape of the multimedia command interface.
//
// Two device types exist:
// - "sequencer": Standard MIDI files (.mid, .midi, .kar, .rmi), rendered by
//   FluidSynth into the sound card's "SW Synth" line on the card's thread.
// - "waveaudio": everything libsndfile reads (WAV, MP3, FLAC, Ogg, ...),
//   decoded on a helper thread and played through a wave-out handle of the
//   card ("Wave Out" line).
// Without MCI_OPEN_TYPE the device type is chosen from the file's content,
// and from its extension when the content says nothing.
//
// Waiting and notifying: every command completes before it returns, except
// MCI_PLAY, which starts playing and returns at once. With MCI_NOTIFY the
// callback window (dwCallback of the parameter record) receives
// MM_MCINOTIFY (wParam: MCI_NOTIFY_SUCCESSFUL, _SUPERSEDED, _ABORTED or
// _FAILURE; lParam: the device id) when the command completes; for
// MCI_PLAY that is when playing reaches its end or is interrupted.
//
// Time: positions and lengths are in milliseconds (the only time format).
// When playing reaches the end, the position equals the length exactly and
// the mode is MCI_MODE_STOP.
//
// Threads: commands may come from any thread; the program sends them from
// the main thread. No command waits for the sound card's clock, so they
// behave the same on a card stepped by a test.
#pragma once

#include <cstdint>

#include "platform/mmsystem.h"

using MCIERROR = DWORD;
using MCIDEVICEID = UINT;

// MCI_CLOSE to this id closes every open device.
constexpr MCIDEVICEID MCI_ALL_DEVICE_ID = 0xFFFF;

// ---------------------------------------------------------------- commands
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;
constexpr UINT MCI_SEEK = 0x0807;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_PAUSE = 0x0809;
constexpr UINT MCI_GETDEVCAPS = 0x080B;
constexpr UINT MCI_SET = 0x080D;
constexpr UINT MCI_STATUS = 0x0814;
constexpr UINT MCI_RESUME = 0x0855;

// ---------------------------------------------------------------- flags
constexpr DWORD MCI_NOTIFY = 0x00000001;
constexpr DWORD MCI_WAIT = 0x00000002;
constexpr DWORD MCI_FROM = 0x00000004;
constexpr DWORD MCI_TO = 0x00000008;
constexpr DWORD MCI_TRACK = 0x00000010;
constexpr DWORD MCI_OPEN_SHAREABLE = 0x00000100;
constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
constexpr DWORD MCI_OPEN_ALIAS = 0x00000400;
constexpr DWORD MCI_OPEN_ELEMENT_ID = 0x00000800;
constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
constexpr DWORD MCI_OPEN_TYPE = 0x00002000;
constexpr DWORD MCI_SEEK_TO_START = 0x00000100;
constexpr DWORD MCI_SEEK_TO_END = 0x00000200;
constexpr DWORD MCI_STATUS_ITEM = 0x00000100;
constexpr DWORD MCI_STATUS_START = 0x00000200;
constexpr DWORD MCI_GETDEVCAPS_ITEM = 0x00000100;
constexpr DWORD MCI_SET_TIME_FORMAT = 0x00000400;

// ---------------------------------------------------------------- items
constexpr DWORD MCI_STATUS_LENGTH = 0x00000001;
constexpr DWORD MCI_STATUS_POSITION = 0x00000002;
constexpr DWORD MCI_STATUS_NUMBER_OF_TRACKS = 0x00000003;
constexpr DWORD MCI_STATUS_MODE = 0x00000004;
constexpr DWORD MCI_STATUS_MEDIA_PRESENT = 0x00000005;
constexpr DWORD MCI_STATUS_TIME_FORMAT = 0x00000006;
constexpr DWORD MCI_STATUS_READY = 0x00000007;
constexpr DWORD MCI_STATUS_CURRENT_TRACK = 0x00000008;

constexpr DWORD MCI_GETDEVCAPS_CAN_RECORD = 0x00000001;
constexpr DWORD MCI_GETDEVCAPS_HAS_AUDIO = 0x00000002;
constexpr DWORD MCI_GETDEVCAPS_HAS_VIDEO = 0x00000003;
constexpr DWORD MCI_GETDEVCAPS_DEVICE_TYPE = 0x00000004;
constexpr DWORD MCI_GETDEVCAPS_USES_FILES = 0x00000005;
constexpr DWORD MCI_GETDEVCAPS_COMPOUND_DEVICE = 0x00000006;
constexpr DWORD MCI_GETDEVCAPS_CAN_EJECT = 0x00000007;
constexpr DWORD MCI_GETDEVCAPS_CAN_PLAY = 0x00000008;
constexpr DWORD MCI_GETDEVCAPS_CAN_SAVE = 0x00000009;

// Modes (MCI_STATUS_MODE).
constexpr DWORD MCI_MODE_NOT_READY = 524;
constexpr DWORD MCI_MODE_STOP = 525;
constexpr DWORD MCI_MODE_PLAY = 526;
constexpr DWORD MCI_MODE_RECORD = 527;
constexpr DWORD MCI_MODE_SEEK = 528;
constexpr DWORD MCI_MODE_PAUSE = 529;
constexpr DWORD MCI_MODE_OPEN = 530;

// Device types (MCI_GETDEVCAPS_DEVICE_TYPE, MCI_OPEN_TYPE_ID).
constexpr DWORD MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
constexpr DWORD MCI_DEVTYPE_SEQUENCER = 523;

// Time formats.
constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;

constexpr DWORD MCI_TRUE = 1;
constexpr DWORD MCI_FALSE = 0;

// ---------------------------------------------------------------- notification
constexpr UINT MM_MCINOTIFY = 0x3B9;
constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 0x0001;
constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 0x0002;
constexpr WPARAM MCI_NOTIFY_ABORTED = 0x0004;
constexpr WPARAM MCI_NOTIFY_FAILURE = 0x0008;

// ---------------------------------------------------------------- errors
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = MCIERR_BASE + 10;
constexpr MCIERROR MCIERR_BAD_INTEGER = MCIERR_BASE + 14;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = MCIERR_BASE + 25;
constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
constexpr MCIERROR MCIERR_WAVE_OUTPUTSINUSE = MCIERR_BASE + 64;
constexpr MCIERROR MCIERR_WAVE_OUTPUTSUNSUITABLE = MCIERR_BASE + 70;
constexpr MCIERROR MCIERR_SEQ_PORT_INUSE = MCIERR_BASE + 81;
constexpr MCIERROR MCIERR_SEQ_NOMIDIPRESENT = MCIERR_BASE + 87;
constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
// The devices' own errors.
constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = MCIERR_BASE + 256;
constexpr MCIERROR MCIERR_SEQ_NOT_MIDI = MCIERR_CUSTOM_DRIVER_BASE + 0;  // not a Standard MIDI file
constexpr MCIERROR MCIERR_SEQ_NO_NOTES = MCIERR_CUSTOM_DRIVER_BASE + 1;  // a MIDI file without notes
constexpr MCIERROR MCIERR_SEQ_TRUNCATED = MCIERR_CUSTOM_DRIVER_BASE + 2; // a track runs past the file's end

// ---------------------------------------------------------------- records
struct MCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;  // HWND for MCI_NOTIFY
};

// lpstrDeviceType, lpstrElementName and lpstrAlias are UTF-8 texts.
struct MCI_OPEN_PARMS {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;  // set by MCI_OPEN
  const char* lpstrDeviceType;
  const char* lpstrElementName;
  const char* lpstrAlias;
};

struct MCI_PLAY_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwFrom;
  DWORD dwTo;
};

struct MCI_SEEK_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTo;
};

struct MCI_STATUS_PARMS {
  DWORD_PTR dwCallback;
  DWORD_PTR dwReturn;
  DWORD dwItem;
  DWORD dwTrack;
};

struct MCI_SET_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTimeFormat;
  DWORD dwAudio;
};

struct MCI_GETDEVCAPS_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwReturn;
  DWORD dwItem;
};

// ---------------------------------------------------------------- calls
// Sends a command to a device. `param` points to the command's record (a
// DWORD_PTR so that every record passes through one signature). Returns 0
// or an MCIERR_ code.
MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param);
// Copies the text of an error code (UTF-8, at most cchText - 1 bytes, cut
// at a character boundary): Chinese, or English after
// mciUseEnglishTexts(true). Returns false, with an empty text, for a code
// without text.
BOOL mciGetErrorString(MCIERROR error, char* text, UINT cchText);
// The language of the service's texts for the rest of the process (main
// thread, before the first command); Chinese unless chosen otherwise.
void mciUseEnglishTexts(bool english);
bool mciEnglishTexts();
