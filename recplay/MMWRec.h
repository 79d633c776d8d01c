// The wave recorder: records the sound card into a WAV file through a small
// chain of its own, engine -> wave file component -> recorder -> Output.
//
// The recorder forwards the device settings to its wave input engine and the
// file settings to its wave file component, and turns their events into its
// own. Every recorded buffer reaches OnData first, then the file, then the
// recorder's Output, all on the thread that delivers the engine's buffers
// (the main thread in cmWindow mode).
//
// Beside the take the recorder can keep the voice: the microphone alone,
// before the accompaniment is mixed in, as the card hands it out for the
// same frames as each buffer. With KeepVoice it goes into a second WAV file
// (VoiceFileName of the take) written by a wave file component of its own,
// exactly as the take is written.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/MMDSPObj.h"
#include "audio/MMWavIn.h"
#include "wavefile/MMWaveFile.h"

class EMMWaveRecorderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace recordermsg {
inline constexpr const char* kPropertyWhileOpen = "Change to property while device was open";
inline constexpr const char* kReadOnly = "This is a read-only property, please use SelectFormat.";
}  // namespace recordermsg

class TMMWaveRecorder : public TMMDSPComponent {
  Q_OBJECT
 public:
  explicit TMMWaveRecorder(QObject* AOwner = nullptr);
  ~TMMWaveRecorder() override;

  // Starts recording into Wave.FileName; nothing without a name or while
  // recording already.
  void Start();
  // Stops and closes the device, which finishes the file before returning.
  // Without a recording it only closes an open device.
  void Stop();
  // Where the next recording writes into an existing file (TimeFormat
  // units); ignored with OverwriteExisting. Refused while the device is open.
  void SetPosition(std::int32_t Position);
  void SetFileName(const std::string& Name);
  TMMWaveInState State() const { return FWaveIn->State(); }

  // ---- published properties
  TMMWave* Wave() const { return FWaveFile->Wave(); }
  void SetWave(const TMMWave* Value) { FWaveFile->SetWave(Value); }
  int GetBufferSize() const override;
  void SetBufferSize(int Value) override;
  int NumBuffers() const { return FWaveIn->GetNumBuffers(); }
  void SetNumBuffers(int Value) { FWaveIn->SetNumBuffers(Value); }
  TMMDeviceId DeviceID() const { return FWaveIn->GetDeviceID(); }
  void SetDeviceID(TMMDeviceId Value) { FWaveIn->SetDeviceID(Value); }
  TMMCBMode CallBackMode() const { return FWaveIn->GetCallBackMode(); }
  void SetCallBackMode(TMMCBMode Value) { FWaveIn->SetCallBackMode(Value); }
  std::int32_t MaxRecordTime() const { return FWaveIn->MaxRecordTime(); }
  void SetMaxRecordTime(std::int32_t Value) { FWaveIn->SetMaxRecordTime(Value); }
  TMMMode Mode() const { return FWaveIn->Mode(); }
  void SetMode(TMMMode Value) { FWaveIn->SetMode(Value); }
  TMMBits BitLength() const { return FWaveIn->BitLength(); }
  void SetBitLength(TMMBits Value) { FWaveIn->SetBitLength(Value); }
  int SampleRate() const { return FWaveIn->SampleRate(); }
  void SetSampleRate(int Value) { FWaveIn->SetSampleRate(Value); }
  std::string ProductName() const { return FWaveIn->ProductName(); }
  void SetProductName(const std::string&) {}
  TMMTimeFormats TimeFormat() const { return FWaveIn->TimeFormat(); }
  void SetTimeFormat(TMMTimeFormats Value);
  // "<format name> <details>", or "Unknown".
  std::string InputFormat() const;
  // Read-only: tells the user so and changes nothing.
  void SetInputFormat(const std::string& Value);
  bool OverwriteExisting() const { return FWaveFile->OverwriteExisting(); }
  void SetOverwriteExisting(bool Value) { FWaveFile->SetOverwriteExisting(Value); }

  TNotifyEvent OnStart, OnStop, OnPause, OnRestart, OnChange;
  TMMBufferEvent OnData;

  // The microphone alone, before the accompaniment is mixed in: each recorded buffer's voice (the same
  // frames as the take's buffer, after the time limit), in the take's format, on the thread that delivers
  // the buffers. Captured while KeepVoice() is on or OnVoice is set when recording starts.
  std::function<void(const std::uint8_t* bytes, std::size_t size)> OnVoice;
  // Whether a recording keeps its voice file (off by default). The file is
  // created when the recording starts, replacing an older WAV of that name,
  // with the take's format, first frame and length; a full disk stops the
  // take as the take's own file does, and both files stay valid. When it
  // cannot be created the take records all the same: VoiceError says why
  // and OnVoiceError tells it, once, as the recording starts.
  bool KeepVoice() const { return FKeepVoice; }
  void SetKeepVoice(bool keep) { FKeepVoice = keep; }
  // The voice file's name: VoiceFileName of the take's unless one is set
  // here (empty: back to that).
  std::string VoiceFile() const;
  void SetVoiceFile(const std::string& Name) { FVoiceName = Name; }
  // Why the last recording has no voice file though one was wanted (empty
  // when it has one or none was wanted).
  const std::string& VoiceError() const { return FVoiceError; }
  std::function<void(QObject* Sender, const std::string& Reason)> OnVoiceError;

  // ---- stored form: the engine's format, kept only when it is not PCM
  bool StoresWaveFormatEx() const;
  std::vector<std::uint8_t> WriteWaveFormatEx() const;
  void ReadWaveFormatEx(const std::vector<std::uint8_t>& Data);

  // ---- chain
  void SetWaveFormat(const WAVEFORMATEX* Format) override;

  // The owned parts (for tests and the main window's wiring).
  TMMWaveIn* WaveIn() const { return FWaveIn; }
  TMMWaveFile* WaveFile() const { return FWaveFile; }
  TMMWaveFile* VoiceWaveFile() const { return FVoiceFile; }

 private:
  void OpenVoiceFile();
  void WriteVoice(const std::uint8_t* Bytes, std::size_t Size);
  void CloseVoiceFile();
  void WaveChanging();
  void WaveChanged();
  bool Quiet() const { return InState(csDestroying); }

  bool FFormatGuard = false;
  TMMWaveIn* FWaveIn = nullptr;
  TMMWaveFile* FWaveFile = nullptr;
  TMMWaveFile* FVoiceFile = nullptr;  // fed by hand, outside the chain
  bool FKeepVoice = false;
  std::string FVoiceName;
  std::string FVoiceError;
};

// The voice file's name for a take: the take's name less a final ".wav" (of
// any case), plus ".voice.wav" ("a/take.wav" -> "a/take.voice.wav").
std::string VoiceFileName(const std::string& take);
