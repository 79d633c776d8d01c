// The command side of the media control service: the table of open
// devices, the choice of device type at open, and each command's checks.
#include "platform/sequencer/mci.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sequencer/mcidevice.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/sequencer/seqdevice.h"
#include "platform/sequencer/synth.h"
#include "platform/sequencer/wavedevice.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace {

using sequencer::MciDevice;

// Commands run one at a time; devices are never handed out.
std::recursive_mutex gLock;
std::map<MCIDEVICEID, std::unique_ptr<MciDevice>> gDevices;
MCIDEVICEID gNextId = 1;

enum class Kind { None, Sequencer, WaveAudio };

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

Kind KindFromName(const char* name) {
  const std::string n = Lower(name ? name : "");
  if (n == "sequencer") return Kind::Sequencer;
  if (n == "waveaudio") return Kind::WaveAudio;
  return Kind::None;
}

bool StartsLikeMidi(const std::string& path) {
  std::uint8_t head[16] = {};
  std::size_t n = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
  }
  return sequencer::LooksLikeMidi(head, n);
}

// The device an extension names, for a file whose content said nothing.
Kind KindFromExtension(const std::string& path) {
  const std::string ext = Lower(std::filesystem::path(path).extension().string());
  for (const char* e : {".mid", ".midi", ".kar", ".rmi", ".smf"})
    if (ext == e) return Kind::Sequencer;
  for (const char* e : {".wav", ".wave", ".mp3", ".mp2", ".flac", ".ogg", ".oga", ".opus", ".aif", ".aiff",
                        ".aifc", ".au", ".snd", ".w64", ".caf", ".wv", ".voc"})
    if (ext == e) return Kind::WaveAudio;
  return Kind::None;
}

void NotifySuccess(DWORD_PTR flags, DWORD_PTR param, MCIDEVICEID id) {
  if (!(flags & MCI_NOTIFY) || !param) return;
  const auto* p = reinterpret_cast<const MCI_GENERIC_PARMS*>(param);
  if (p->dwCallback) PostMessage(reinterpret_cast<HWND>(p->dwCallback), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, LPARAM(id));
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMS* p) {
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & (MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT_ID)) return MCIERR_UNSUPPORTED_FUNCTION;
  if (!(flags & MCI_OPEN_ELEMENT) || !p->lpstrElementName || !*p->lpstrElementName)
    return (flags & MCI_OPEN_TYPE) ? MCIERR_FILENAME_REQUIRED : MCIERR_MISSING_PARAMETER;
  const std::string path = p->lpstrElementName;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return MCIERR_FILE_NOT_FOUND;

  // Without a device type the file's content decides first: a MIDI header
  // means the sequencer, a file libsndfile reads means wave audio. Only when
  // the content says nothing does the extension choose, and the device then
  // reports why the file does not play.
  MCIERROR error = 0;
  std::unique_ptr<MciDevice> device;
  Kind kind = Kind::None;
  if (flags & MCI_OPEN_TYPE) {
    kind = KindFromName(p->lpstrDeviceType);
    if (kind == Kind::None) return MCIERR_INVALID_DEVICE_NAME;
  } else if (StartsLikeMidi(path)) {
    kind = Kind::Sequencer;
  } else {
    device = sequencer::WaveAudioDevice::Open(path, error);
    if (!device && error == MCIERR_INVALID_FILE) {
      // A wave-audio extension: the attempt above has said why already.
      kind = KindFromExtension(path);
      if (kind == Kind::None) return MCIERR_EXTENSION_NOT_FOUND;
      if (kind == Kind::WaveAudio) return error;
    }
  }
  if (kind == Kind::Sequencer)
    device = sequencer::SequencerDevice::Open(path, error);
  else if (kind == Kind::WaveAudio)
    device = sequencer::WaveAudioDevice::Open(path, error);
  if (!device) return error ? error : MCIERR_INTERNAL;
  const MCIDEVICEID id = gNextId++;
  if (gNextId == MCI_ALL_DEVICE_ID) gNextId = 1;
  gDevices[id] = std::move(device);
  p->wDeviceID = id;
  return 0;
}

MCIERROR Status(MciDevice& d, DWORD_PTR flags, MCI_STATUS_PARMS* p) {
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  switch (p->dwItem) {
    case MCI_STATUS_LENGTH: p->dwReturn = d.LengthMs(); return 0;
    case MCI_STATUS_POSITION: p->dwReturn = (flags & MCI_STATUS_START) ? 0 : d.PositionMs(); return 0;
    case MCI_STATUS_MODE: p->dwReturn = d.Mode(); return 0;
    case MCI_STATUS_READY: p->dwReturn = d.Ready() ? MCI_TRUE : MCI_FALSE; return 0;
    case MCI_STATUS_TIME_FORMAT: p->dwReturn = MCI_FORMAT_MILLISECONDS; return 0;
    case MCI_STATUS_MEDIA_PRESENT: p->dwReturn = MCI_TRUE; return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS:
    case MCI_STATUS_CURRENT_TRACK: p->dwReturn = 1; return 0;
    default: return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

MCIERROR Caps(MciDevice& d, DWORD_PTR flags, MCI_GETDEVCAPS_PARMS* p) {
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_GETDEVCAPS_ITEM)) return MCIERR_MISSING_PARAMETER;
  switch (p->dwItem) {
    case MCI_GETDEVCAPS_CAN_PLAY:
    case MCI_GETDEVCAPS_HAS_AUDIO:
    case MCI_GETDEVCAPS_USES_FILES:
    case MCI_GETDEVCAPS_COMPOUND_DEVICE: p->dwReturn = MCI_TRUE; return 0;
    case MCI_GETDEVCAPS_CAN_RECORD:
    case MCI_GETDEVCAPS_CAN_EJECT:
    case MCI_GETDEVCAPS_HAS_VIDEO:
    case MCI_GETDEVCAPS_CAN_SAVE: p->dwReturn = MCI_FALSE; return 0;
    case MCI_GETDEVCAPS_DEVICE_TYPE: p->dwReturn = d.DeviceType(); return 0;
    default: return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

MCIERROR Seek(MciDevice& d, DWORD_PTR flags, MCI_SEEK_PARMS* p) {
  const int how = int(bool(flags & MCI_SEEK_TO_START)) + int(bool(flags & MCI_SEEK_TO_END)) + int(bool(flags & MCI_TO));
  if (how == 0) return MCIERR_MISSING_PARAMETER;
  if (how > 1) return MCIERR_FLAGS_NOT_COMPATIBLE;
  if (flags & MCI_SEEK_TO_START) return d.Seek(0);
  if (flags & MCI_SEEK_TO_END) return d.Seek(d.LengthMs());
  if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (p->dwTo > d.LengthMs()) return MCIERR_OUTOFRANGE;
  return d.Seek(p->dwTo);
}

MCIERROR Play(MciDevice& d, MCIDEVICEID id, DWORD_PTR flags, MCI_PLAY_PARMS* p) {
  if ((flags & (MCI_FROM | MCI_TO)) && !p) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & MCI_TO) return MCIERR_UNSUPPORTED_FUNCTION;
  if (flags & MCI_FROM) {
    if (p->dwFrom > d.LengthMs()) return MCIERR_OUTOFRANGE;
    if (MCIERROR e = d.Seek(p->dwFrom)) return e;
  }
  HWND notify = nullptr;
  if ((flags & MCI_NOTIFY) && p) notify = reinterpret_cast<HWND>(p->dwCallback);
  return d.Play(notify, id);
}

MCIERROR Close(MCIDEVICEID id, DWORD_PTR flags, DWORD_PTR param) {
  if (id == MCI_ALL_DEVICE_ID) {
    gDevices.clear();
    return 0;
  }
  auto it = gDevices.find(id);
  if (it == gDevices.end()) return MCIERR_INVALID_DEVICE_ID;
  gDevices.erase(it);
  NotifySuccess(flags, param, id);
  return 0;
}

}  // namespace

MCIERROR mciSendCommand(MCIDEVICEID id, UINT message, DWORD_PTR flags, DWORD_PTR param) {
  std::lock_guard g(gLock);
  if (message == MCI_OPEN) {
    auto* p = reinterpret_cast<MCI_OPEN_PARMS*>(param);
    const MCIERROR e = Open(flags, p);
    if (!e) NotifySuccess(flags, param, p->wDeviceID);
    return e;
  }
  if (message == MCI_CLOSE) return Close(id, flags, param);
  auto it = gDevices.find(id);
  if (it == gDevices.end()) return MCIERR_INVALID_DEVICE_ID;
  MciDevice& d = *it->second;
  MCIERROR e = 0;
  switch (message) {
    case MCI_PLAY: return Play(d, id, flags, reinterpret_cast<MCI_PLAY_PARMS*>(param));
    case MCI_RESUME: return Play(d, id, flags, nullptr);
    case MCI_STOP:
    case MCI_PAUSE: e = d.Stop(); break;
    case MCI_SEEK: e = Seek(d, flags, reinterpret_cast<MCI_SEEK_PARMS*>(param)); break;
    case MCI_STATUS: e = Status(d, flags, reinterpret_cast<MCI_STATUS_PARMS*>(param)); break;
    case MCI_GETDEVCAPS: e = Caps(d, flags, reinterpret_cast<MCI_GETDEVCAPS_PARMS*>(param)); break;
    case MCI_SET: {
      auto* p = reinterpret_cast<MCI_SET_PARMS*>(param);
      if (flags & MCI_SET_TIME_FORMAT) {
        if (!p) return MCIERR_NULL_PARAMETER_BLOCK;
        if (p->dwTimeFormat != MCI_FORMAT_MILLISECONDS) return MCIERR_BAD_TIME_FORMAT;
      }
      break;
    }
    default: return MCIERR_UNRECOGNIZED_COMMAND;
  }
  if (!e) NotifySuccess(flags, param, id);
  return e;
}

namespace sequencer {

void StartSoundfontLoading() { Synth::instance().StartLoading(); }

std::string SoundfontInUse() { return Synth::instance().LoadedSoundfont(); }

bool WaitDevicesSettled(int timeoutMs) {
  std::lock_guard g(gLock);
  bool ok = true;
  for (auto& [id, device] : gDevices) {
    if (device->DeviceType() == MCI_DEVTYPE_SEQUENCER)
      ok = Synth::instance().WaitReady(timeoutMs) && ok;
    else
      ok = static_cast<WaveAudioDevice&>(*device).WaitFed(timeoutMs) && ok;
  }
  return ok;
}

bool Cue(MCIDEVICEID id) {
  std::lock_guard g(gLock);
  const auto it = gDevices.find(id);
  if (it == gDevices.end()) return false;
  it->second->Cue();
  return true;
}

bool AccompanimentEnd(MCIDEVICEID id, std::uint64_t& clockFrame) {
  std::lock_guard g(gLock);
  const auto it = gDevices.find(id);
  return it != gDevices.end() && it->second->EndClockFrame(clockFrame);
}

bool SetKeyTempo(MCIDEVICEID id, const KeyTempo& kt) {
  std::lock_guard g(gLock);
  const auto it = gDevices.find(id);
  if (it == gDevices.end()) return false;
  it->second->SetKeyTempo(kt.Clamped());
  return true;
}

KeyTempo KeyTempoOf(MCIDEVICEID id) {
  std::lock_guard g(gLock);
  const auto it = gDevices.find(id);
  return it == gDevices.end() ? KeyTempo{} : it->second->CurrentKeyTempo();
}

bool AccompanimentEndInTake(MCIDEVICEID id, HWAVEIN take, std::uint32_t rate, std::int64_t& frames) {
  std::uint64_t start = 0, end = 0;
  if (!take || waveInGetStartFrame(take, &start) != MMSYSERR_NOERROR || !AccompanimentEnd(id, end)) return false;
  if (soundcard::LatencyCompensation()) end += soundcard::RoundTripFrames();
  // Frame n of the take holds card frame start + n * 44100 / rate.
  const double cardFrames = double(std::int64_t(end) - std::int64_t(start));
  frames = std::llround(cardFrames * rate / soundcard::kSampleRate);
  return true;
}

}  // namespace sequencer
