// The wave recorder: records the sound card into a WAV file through a small
// chain of its own, engine -> wave file component -> recorder -> Output.
//
// The recorder forwards the device settings to its wave input engine and the
// file settings to its wave file component, and turns their events into its
// own. Every recorded buffer reaches OnData first, then the file, then the
// recorder's Output, all on the thread that delivers the engine's buffers
// (the main thread in cmWindow mode).
#pragma once

#include <QObject>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/MMDSPObj.h"
#include "audio/MMWavIn.h"
#include "wavefile/MMWave.h"

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

  // ---- stored form: the engine's format, kept only when it is not PCM
  bool StoresWaveFormatEx() const;
  std::vector<std::uint8_t> WriteWaveFormatEx() const;
  void ReadWaveFormatEx(const std::vector<std::uint8_t>& Data);

  // ---- chain
  void SetWaveFormat(const WAVEFORMATEX* Format) override;

  // The owned parts (for tests and the main window's wiring).
  TMMWaveIn* WaveIn() const { return FWaveIn; }
  TMMWaveFile* WaveFile() const { return FWaveFile; }

 private:
  void WaveChanging();
  void WaveChanged();
  bool Quiet() const { return InState(csDestroying); }

  bool FFormatGuard = false;
  TMMWaveIn* FWaveIn = nullptr;
  TMMWaveFile* FWaveFile = nullptr;
};
