#include "mixer/Audio.h"

#include <cstring>
#include <new>

#include "mixer/MMMixRequests.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

// ---------------------------------------------------------------- TAudio

TAudio::TAudio(QObject* AOwner) : TMMComponent(AOwner) {
  FRecorder = std::make_unique<TRecorder>(this);
  FPlayer = std::make_unique<TPlayer>(this);
  FWindow = AllocateHWnd(&DefWindowProc);
  FMixer = std::make_unique<TMixerSettings>(this);
  ErrorMessage.clear();
  AllocateBuffers();
}

TAudio::~TAudio() {
  Destroying();
  FPlayer->StopAndClose();
  FRecorder->StopAndClose();
  FMixer.reset();
  FPlayer.reset();
  FRecorder.reset();
  if (FWindow) DeallocateHWnd(FWindow);
}

void TAudio::SetAudioDeviceID(int value) {
  if (value >= 10) value = -1;
  if (value == FAudioDeviceID) return;
  FAudioDeviceID = value;
  AllocateBuffers();
}

void TAudio::AllocateBuffers() {
  FRecorder->FreeBuffers();
  FPlayer->FreeBuffers();
  if (waveInGetNumDevs() == 0 || !FRecorder->AllocateBuffers()) return;
  if (waveOutGetNumDevs() > 0) FPlayer->AllocateBuffers();
}

// ---------------------------------------------------------------- recorder and player

TWaveSettings::TWaveSettings(TAudio* owner, bool input) : FOwner(owner), FInput(input) {
  FWindow = AllocateHWnd(&DefWindowProc);
}

TWaveSettings::~TWaveSettings() {
  StopAndClose();
  FreeBuffers();
  if (FWindow) DeallocateHWnd(FWindow);
}

void TWaveSettings::StopAndClose() {
  if (FWaveIn) {
    waveInReset(FWaveIn);
    waveInClose(FWaveIn);
    FWaveIn = nullptr;
  }
  if (FWaveOut) {
    waveOutReset(FWaveOut);
    waveOutClose(FWaveOut);
    FWaveOut = nullptr;
  }
}

void TWaveSettings::FreeBuffers() {
  FHeaders.clear();
  FFormat.reset();
}

bool TWaveSettings::AllocateBuffers() {
  FreeBuffers();
  try {
    FFormat = std::make_unique<WAVEFORMATEX>();
  } catch (const std::bad_alloc&) {
    FOwner->ErrorMessage = audiomsg::kNoFormatMemory;
    return false;
  }
  WAVEFORMATEX& f = *FFormat;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = WORD(FChannels == Stereo ? 2 : 1);
  f.nSamplesPerSec = FRate;
  f.wBitsPerSample = WORD(FBits == _16 ? 16 : 8);
  f.nBlockAlign = WORD(f.nChannels * f.wBitsPerSample / 8);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  f.cbSize = 0;
  const std::size_t bytes = std::size_t(FNoSamples) * f.nBlockAlign;
  for (int i = 0; i < 4; ++i) {
    std::unique_ptr<Buffer> b;
    try {
      b = std::make_unique<Buffer>();
    } catch (const std::bad_alloc&) {
      FOwner->ErrorMessage = audiomsg::kNoHeaderMemory;
      return false;
    }
    try {
      b->data.resize(bytes);
      b->second.resize(bytes / 2);
    } catch (const std::bad_alloc&) {
      FOwner->ErrorMessage = audiomsg::kNoBufferMemory;
      return false;
    }
    b->header.lpData = b->data.data();
    b->header.dwBufferLength = DWORD(bytes);
    FHeaders.push_back(std::move(b));
  }
  return true;
}

void TWaveSettings::Changed(void (TWaveSettings::*apply)(int), int value) {
  (this->*apply)(value);
  if (!FOwner->SeparateCtrls) {
    TWaveSettings* other = FInput ? static_cast<TWaveSettings*>(FOwner->FPlayer.get())
                                  : static_cast<TWaveSettings*>(FOwner->FRecorder.get());
    if (other) (other->*apply)(value);
  }
  FOwner->AllocateBuffers();
}

void TWaveSettings::SetBitsPerSample(TBPS value) {
  if (value != FBits) Changed(&TWaveSettings::ApplyBits, value);
}

void TWaveSettings::SetChannels(TChannels value) {
  if (value != FChannels) Changed(&TWaveSettings::ApplyChannels, value);
}

void TWaveSettings::SetSampleRate(std::uint32_t value) {
  if (value != FRate) Changed(&TWaveSettings::ApplyRate, int(value));
}

void TRecorder::SetNoSamples(std::uint16_t value) {
  if (value == FNoSamples) return;
  FNoSamples = value;
  FOwner->AllocateBuffers();
}

// ---------------------------------------------------------------- mixer part

TMixerSettings::TMixerSettings(TAudio* owner) : FOwner(owner) {
  FWindow = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WndProc(w, m, wp, lp); });
  FOpened = ScanMixer(FMixerDeviceID);
}

TMixerSettings::~TMixerSettings() {
  if (FHandle) mixerClose(FHandle);
  FHandle = nullptr;
  ClearLines();
  if (FWindow) DeallocateHWnd(FWindow);
}

void TMixerSettings::ClearLines() {
  while (FFirst) {
    TMixDetails* next = FFirst->next;
    delete FFirst;
    FFirst = next;
  }
  FLast = nullptr;
}

TMixDetails* TMixerSettings::Append(std::unique_ptr<TMixDetails> record) {
  TMixDetails* r = record.release();
  if (FLast)
    FLast->next = r;
  else
    FFirst = r;
  FLast = r;
  return r;
}

TMixDetails* TMixerSettings::Find(std::int16_t destination, std::int16_t line) const {
  for (TMixDetails* r = FFirst; r; r = r->next)
    if (r->destination == destination && r->line == line) return r;
  return nullptr;
}

bool TMixerSettings::ScanMixer(int device) {
  ClearLines();
  if (mixerGetNumDevs() == 0) return false;
  MIXERCAPS caps{};
  mixerGetDevCaps(UINT_PTR(UINT(device)), &caps, sizeof caps);
  // A rescan must not leak the handle of the previous one.
  if (FHandle) mixerClose(FHandle);
  FHandle = nullptr;
  if (mixerOpen(&FHandle, UINT_PTR(UINT(device)), DWORD_PTR(FWindow), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    FHandle = nullptr;
    return false;
  }
  auto root = std::make_unique<TMixDetails>();
  root->name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
  Append(std::move(root));
  if (caps.cDestinations == 0) return false;
  for (DWORD d = 0; d < caps.cDestinations; ++d) {
    MIXERLINE dest{};
    dest.cbStruct = sizeof dest;
    dest.dwDestination = d;
    if (mixerGetLineInfo(Obj(), &dest, MIXER_GETLINEINFOF_DESTINATION | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
      return false;
    const bool speakers = dest.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    AddLine(dest, speakers);
    for (DWORD s = 0; s < dest.cConnections; ++s) {
      MIXERLINE src{};
      src.cbStruct = sizeof src;
      src.dwDestination = d;
      src.dwSource = s;
      if (mixerGetLineInfo(Obj(), &src, MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
        return false;
      AddLine(src, speakers);
    }
  }
  return true;
}

void TMixerSettings::AddLine(const MIXERLINE& ml, bool speakers) {
  auto record = std::make_unique<TMixDetails>();
  record->destination = std::int16_t(ml.dwDestination);
  record->line = FLast && FLast->destination == record->destination ? std::int16_t(FLast->line + 1) : 0;
  record->name.assign(ml.szName, strnlen(ml.szName, sizeof ml.szName));
  record->flags = kMixNoMute;
  record->speakers = speakers;
  TMixDetails* r = Append(std::move(record));
  if (ml.cControls == 0) return;

  std::vector<MIXERCONTROL> controls(ml.cControls);
  MIXERLINECONTROLS lc = MixerControlsRequest(ml.cControls, controls.data());
  lc.dwLineID = ml.dwLineID;
  if (mixerGetLineControls(Obj(), &lc, MIXER_GETLINECONTROLSF_ALL | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
    return;
  const DWORD channels = ml.cChannels;
  std::vector<LONG> values;
  for (const MIXERCONTROL& c : controls) {
    switch (c.dwControlType) {
      case MIXERCONTROL_CONTROLTYPE_VOLUME:
        if (!ReadValues(c.dwControlID, channels, values)) break;
        r->volumeControl = c.dwControlID;
        r->leftAtScan = std::uint16_t(values[0]);
        if (channels == 1) {
          r->mono = true;
          r->flags |= kMixMonoVolume;
        } else {
          r->rightAtScan = std::uint16_t(values[1]);
        }
        r->hasControls = true;
        break;
      case MIXERCONTROL_CONTROLTYPE_MUTE:
        if (!ReadValues(c.dwControlID, 1, values) || r->muteControl != kNoMixControl) break;
        r->muteControl = c.dwControlID;
        r->muteAtScan = values[0] != 0;
        r->hasControls = true;
        r->flags &= std::uint16_t(~kMixNoMute);
        break;
      case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
        if (!ReadValues(c.dwControlID, channels, values)) break;
        r->meterControl = c.dwControlID;
        r->meterChannels = channels == 1 ? 1 : 2;
        break;
      default: break;
    }
  }
}

bool TMixerSettings::ReadValues(std::uint32_t control, DWORD channels, std::vector<LONG>& values) {
  // At least two values, so that a line's first and second channel can be
  // read whatever it reported.
  values.assign(std::max<DWORD>(channels, 2), 0);
  MIXERCONTROLDETAILS d = MixerDetailsRequest(control, channels, 0, sizeof(LONG), values.data());
  return mixerGetControlDetails(Obj(), &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) ==
         MMSYSERR_NOERROR;
}

bool TMixerSettings::WriteValues(std::uint32_t control, std::vector<LONG>& values) {
  MIXERCONTROLDETAILS d = MixerDetailsRequest(control, DWORD(values.size()), 0, sizeof(LONG), values.data());
  return mixerSetControlDetails(Obj(), &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) ==
         MMSYSERR_NOERROR;
}

const QStringList& TMixerSettings::GetDestinations() {
  FList.clear();
  if (!FOpened) return FList;
  for (const TMixDetails* r = FFirst; r; r = r->next) {
    if (r->line != 0 || r->destination < 0) continue;
    while (FList.size() < r->destination) FList.append(QString());
    FList.insert(r->destination, QString::fromStdString(r->name));
  }
  return FList;
}

const QStringList& TMixerSettings::GetLines(std::int16_t destination) {
  FList.clear();
  if (!FOpened) return FList;
  for (const TMixDetails* r = FFirst->next; r; r = r->next) {
    if (r->destination != destination) continue;
    while (FList.size() < r->line) FList.append(QString());
    FList.insert(r->line, r->hasControls ? QString::fromStdString(r->name) : QString());
  }
  return FList;
}

bool TMixerSettings::GetVolume(std::int16_t destination, std::int16_t line, std::uint8_t& flags, bool& mute,
                               std::uint16_t& right, std::uint16_t& left) {
  const TMixDetails* r = FOpened ? Find(destination, line) : nullptr;
  if (!r) return false;
  flags = std::uint8_t(r->flags & 0xFF);
  std::vector<LONG> values;
  // A line without a volume (or mute) control fails as a failed read would,
  // without asking the mixer for a control that is not there.
  if (r->volumeControl == kNoMixControl || !ReadValues(r->volumeControl, r->mono ? 1 : 2, values)) {
    FOwner->ErrorMessage = audiomsg::kVolumeGet;
    return false;
  }
  left = std::uint16_t(values[0]);
  right = std::uint16_t(r->mono ? values[0] : values[1]);
  if (r->muteControl == kNoMixControl || !ReadValues(r->muteControl, 1, values)) {
    FOwner->ErrorMessage = audiomsg::kMuteGet;
    return false;
  }
  mute = values[0] != 0;
  return true;
}

bool TMixerSettings::SetVolume(std::int16_t destination, std::int16_t line, std::uint16_t left,
                               std::uint16_t right, bool mute) {
  const TMixDetails* r = FOpened ? Find(destination, line) : nullptr;
  if (!r) return false;
  if (r->volumeControl != kNoMixControl) {
    std::vector<LONG> values = r->mono ? std::vector<LONG>{left} : std::vector<LONG>{left, right};
    if (!WriteValues(r->volumeControl, values)) {
      FOwner->ErrorMessage = audiomsg::kVolumeSet;
      return false;
    }
  }
  if (r->muteControl != kNoMixControl) {
    std::vector<LONG> values{mute ? 1 : 0};
    if (!WriteValues(r->muteControl, values)) {
      FOwner->ErrorMessage = audiomsg::kMuteSet;
      return false;
    }
  }
  return true;
}

LRESULT TMixerSettings::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != MM_MIXM_CONTROL_CHANGE) return DefWindowProc(wnd, msg, wParam, lParam);
  if (!FOwner->OnMixerChange || !FOpened) return 0;
  const auto control = std::uint32_t(lParam);
  for (const TMixDetails* r = FFirst; r; r = r->next)
    if (r->volumeControl == control || r->muteControl == control) {
      FOwner->OnMixerChange(FOwner, r->destination, r->line);
      break;
    }
  return 0;
}
