// Mixer line access for the volume panel: TAudio scans the first mixer once
// at creation into a list of lines with their volume, mute and peak-meter
// controls, lists destinations and lines by name, and reads and writes a
// line's left and right volume and its mute. It never raises: operations
// report failure by their result and keep the text in ErrorMessage.
//
// TAudio also carries a small wave recorder and player of its own; this
// program never starts them, so only their settings and buffers exist.
#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/MMDSPObj.h"
#include "platform/mmsystem.h"
#include "platform/soundcard/soundcard.h"

namespace audiomsg {
inline constexpr const char* kVersion = "4.1 (32bit)";
inline constexpr const char* kVolumeGet = "Volume GetControlError in Mixer";
inline constexpr const char* kMuteGet = "Mute GetControlError in Mixer";
inline constexpr const char* kVolumeSet = "Volume SetControlError in Mixer";
inline constexpr const char* kMuteSet = "Mute SetControlError in Mixer";
inline constexpr const char* kNoFormatMemory = "Not enough memory to allocate WaveFormat";
inline constexpr const char* kNoHeaderMemory = "Not enough memory to allocate WaveHeader";
inline constexpr const char* kNoBufferMemory = "Not enough memory to allocate Wave Buffer";
}  // namespace audiomsg

// The identifier that stands for "no such control" in a line record.
constexpr std::uint32_t kNoMixControl = 0xFFFF;
// Line record flags.
constexpr std::uint16_t kMixNoMute = 0x80;
constexpr std::uint16_t kMixMonoVolume = 0x40;

// One mixer line; the first record of a chain stands for the mixer itself.
struct TMixDetails {
  std::int16_t destination = -1;  // -1 in the root record
  std::int16_t line = -1;         // 0 = the destination line, 1.. its sources; -1 in the root
  std::string name;               // the line's full name; the product name in the root
  std::uint32_t volumeControl = kNoMixControl;
  std::uint32_t muteControl = kNoMixControl;
  std::uint32_t meterControl = kNoMixControl;
  std::uint16_t leftAtScan = 0;
  std::uint16_t rightAtScan = 0;
  std::uint8_t meterChannels = 0;
  std::uint16_t flags = 0;
  bool muteAtScan = false;
  bool mono = false;
  bool speakers = false;
  bool hasControls = false;
  TMixDetails* next = nullptr;
};

class TAudio;

// The mixer part of TAudio.
class TMixerSettings {
 public:
  explicit TMixerSettings(TAudio* owner);
  ~TMixerSettings();
  TMixerSettings(const TMixerSettings&) = delete;
  TMixerSettings& operator=(const TMixerSettings&) = delete;

  // The shared result list: each call clears, refills and returns it.
  const QStringList& GetDestinations();
  const QStringList& GetLines(std::int16_t destination);
  // Out values are written only as far as the operation got: flags (the
  // low byte of the record's flags), then left and right, then mute.
  bool GetVolume(std::int16_t destination, std::int16_t line, std::uint8_t& flags, bool& mute,
                 std::uint16_t& right, std::uint16_t& left);
  bool SetVolume(std::int16_t destination, std::int16_t line, std::uint16_t left, std::uint16_t right,
                 bool mute);

  bool Opened() const { return FOpened; }
  int MixerDeviceID() const { return FMixerDeviceID; }
  HMIXER Handle() const { return FHandle; }
  HWND Window() const { return FWindow; }
  // The first record of the line list (the root), or nullptr.
  const TMixDetails* Lines() const { return FFirst; }

 private:
  friend class TAudio;
  bool ScanMixer(int device);
  void AddLine(const MIXERLINE& ml, bool speakers);
  TMixDetails* Append(std::unique_ptr<TMixDetails> record);
  TMixDetails* Find(std::int16_t destination, std::int16_t line) const;
  void ClearLines();
  bool ReadValues(std::uint32_t control, DWORD channels, std::vector<LONG>& values);
  bool WriteValues(std::uint32_t control, std::vector<LONG>& values);
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HMIXEROBJ Obj() const { return reinterpret_cast<HMIXEROBJ>(FHandle); }

  TAudio* FOwner;
  HMIXER FHandle = nullptr;
  HWND FWindow = nullptr;
  bool FOpened = false;
  int FMixerDeviceID = 0;
  TMixDetails* FFirst = nullptr;
  TMixDetails* FLast = nullptr;
  QStringList FList;
};

enum TBPS : int { _8, _16 };
enum TChannels : int { Mono, Stereo };

// The wave settings of TAudio's own recorder or player and the buffers
// prepared for them (never queued to a device by this program).
class TWaveSettings {
 public:
  TWaveSettings(TAudio* owner, bool input);
  virtual ~TWaveSettings();
  TWaveSettings(const TWaveSettings&) = delete;
  TWaveSettings& operator=(const TWaveSettings&) = delete;

  TBPS BitsPerSample() const { return FBits; }
  void SetBitsPerSample(TBPS value);
  TChannels Channels() const { return FChannels; }
  void SetChannels(TChannels value);
  std::uint32_t SampleRate() const { return FRate; }
  void SetSampleRate(std::uint32_t value);

  const WAVEFORMATEX* Format() const { return FFormat.get(); }
  int BufferCount() const { return int(FHeaders.size()); }
  const WAVEHDR* Header(int i) const { return &FHeaders[std::size_t(i)]->header; }
  std::size_t SecondBufferSize(int i) const { return FHeaders[std::size_t(i)]->second.size(); }
  HWND Window() const { return FWindow; }
  bool IsOpen() const { return FWaveIn || FWaveOut; }

  // Frees and prepares the format and the four headers with their buffers;
  // false with TAudio's ErrorMessage set when memory runs out.
  bool AllocateBuffers();
  void FreeBuffers();
  // Stops and closes the device, if open.
  void StopAndClose();

  std::uint16_t FNoSamples = 8192;

 protected:
  // Applied to the other one too unless TAudio's SeparateCtrls is set.
  void Changed(void (TWaveSettings::*apply)(int), int value);
  void ApplyBits(int v) { FBits = TBPS(v); }
  void ApplyChannels(int v) { FChannels = TChannels(v); }
  void ApplyRate(int v) { FRate = std::uint32_t(v); }

  TAudio* FOwner;

 private:
  struct Buffer {
    WAVEHDR header{};
    std::vector<char> data;
    std::vector<char> second;
  };
  bool FInput;
  TBPS FBits = _8;
  TChannels FChannels = Mono;
  std::uint32_t FRate = 11025;
  std::unique_ptr<WAVEFORMATEX> FFormat;
  std::vector<std::unique_ptr<Buffer>> FHeaders;
  HWND FWindow = nullptr;
  HWAVEIN FWaveIn = nullptr;
  HWAVEOUT FWaveOut = nullptr;
};

class TPlayer : public TWaveSettings {
 public:
  explicit TPlayer(TAudio* owner) : TWaveSettings(owner, false) {}
};

class TRecorder : public TWaveSettings {
 public:
  explicit TRecorder(TAudio* owner) : TWaveSettings(owner, true) {}
  std::uint16_t NoSamples() const { return FNoSamples; }
  void SetNoSamples(std::uint16_t value);
  bool SplitChannels = false;
  std::uint16_t TrigLevel = 0;
  bool Triggered = false;
};

class TAudio : public TMMComponent {
  Q_OBJECT
 public:
  using TMixerChangeEvent = std::function<void(QObject* Sender, std::int16_t Destination, std::int16_t Source)>;

  explicit TAudio(QObject* AOwner = nullptr);
  ~TAudio() override;

  int AudioDeviceID() const { return FAudioDeviceID; }
  // 10 or more is stored as -1; a change reallocates the buffers.
  void SetAudioDeviceID(int value);
  int MixerDeviceID() const { return FMixer->MixerDeviceID(); }
  bool SeparateCtrls = false;
  TPlayer& Player() { return *FPlayer; }
  TRecorder& Recorder() { return *FRecorder; }
  const std::string& Version() const { return FVersion; }
  // Read-only: any value written sets it back.
  void SetVersion(const std::string&) { FVersion = audiomsg::kVersion; }
  TMixerSettings& Mixer() { return *FMixer; }
  HWND Window() const { return FWindow; }

  // The text of the last failure of any operation; empty at first.
  std::string ErrorMessage;

  // Frees and reallocates the recorder's buffers (when a wave input device
  // exists) and then the player's (when a wave output device exists).
  void AllocateBuffers();

  TNotifyEvent OnRecord, OnBufferPlayed, OnPlayed;
  TMixerChangeEvent OnMixerChange;

 private:
  friend class TWaveSettings;
  int FAudioDeviceID = -1;
  std::string FVersion = audiomsg::kVersion;
  HWND FWindow = nullptr;
  std::unique_ptr<TRecorder> FRecorder;
  std::unique_ptr<TPlayer> FPlayer;
  std::unique_ptr<TMixerSettings> FMixer;
};
