// The wave player: plays a WAVE file through the wave output engine.
//
// The player is one chain component for its users but owns a private chain:
//   wave file component -> ADPCM converter -> PCM converter -> output engine
//   -> the player -> the player's Output.
// Every buffer the engine has played comes out of the player's Output (the
// connector that feeds the level meters). All operations and events run on
// the main thread (the engine runs in cmWindow mode unless told otherwise).
//
// Positions are in TimeFormat units. While playing, GetPosition is the
// position being heard; Wave()->GetPosition() is the read position, which is
// ahead of it by up to the sound queued at the engine (NumBuffers x
// BufferSize bytes).
#pragma once

#include <cstdint>
#include <stdexcept>

#include "audio/MMACMCvt.h"
#include "audio/MMDSPObj.h"
#include "audio/MMPCMCvt.h"
#include "audio/MMWavOut.h"
#include "wavefile/MMWaveFile.h"

class TMMWavePlayer : public TMMDSPComponent {
  Q_OBJECT
 public:
  explicit TMMWavePlayer(QObject* AOwner = nullptr);
  ~TMMWavePlayer() override;

  // ---- operations
  // Plays Wave from the player's position (from 0 when that is at the end).
  // Does nothing while playing or when the wave is empty. Raises
  // EMMWaveError "Invalid wave file..." for compressed data that neither
  // converter can decode, and the engine's and the wave's errors unchanged.
  void Start();
  // Stops at once and closes the device.
  void Stop();
  // While playing: the position heard (engine position + start offset),
  // else Wave's position.
  std::int32_t GetPosition();
  // Moves the position; while the device is open the queued sound is
  // dropped and playback goes on from the new position.
  void SetPosition(std::int32_t Value);
  TMMWaveOutState State() const { return FWaveOut->State(); }

  // ---- properties
  TMMWave* Wave() const { return FWaveFile->Wave(); }
  // Copies `Value` into Wave.
  void SetWave(const TMMWave* Value) { FWaveFile->SetWave(Value); }
  int GetBufferSize() const override { return FWaveOut->GetBufferSize(); }
  void SetBufferSize(int Value) override { FWaveOut->SetBufferSize(Value); }
  int NumBuffers() const { return FWaveOut->GetNumBuffers(); }
  void SetNumBuffers(int Value) { FWaveOut->SetNumBuffers(Value); }
  TMMDeviceId DeviceID() const { return FWaveOut->GetDeviceID(); }
  void SetDeviceID(TMMDeviceId Value) { FWaveOut->SetDeviceID(Value); }
  std::string ProductName() const { return FWaveOut->GetProductName(); }
  TMMCBMode CallBackMode() const { return FWaveOut->GetCallBackMode(); }
  void SetCallBackMode(TMMCBMode Value) { FWaveOut->SetCallBackMode(Value); }
  bool Looping() const { return FWaveOut->Looping(); }
  void SetLooping(bool Value) { FWaveOut->SetLooping(Value); }
  WORD LoopCount() const { return FWaveOut->LoopCount(); }
  void SetLoopCount(WORD Value) { FWaveOut->SetLoopCount(Value); }
  // Written to the engine and to Wave, read from the engine.
  TMMTimeFormats TimeFormat() const { return FWaveOut->TimeFormat(); }
  void SetTimeFormat(TMMTimeFormats Value);
  // False: a stopped player keeps the position reached and the next Start
  // goes on from there.
  bool ResetPosition() const { return FResetPosition; }
  void SetResetPosition(bool Value) { FResetPosition = Value; }
  // Enables both converters; raises std::runtime_error "Change to property
  // while device was open" while the device is open.
  bool AutoConvert() const { return FAutoConvert; }
  void SetAutoConvert(bool Value);

  // ---- the private chain (for the main window's diagnostics and tests)
  TMMWaveFile* WaveFile() const { return FWaveFile; }
  TMMADPCMConverter* ADPCMConverter() const { return FADPCM; }
  TMMPCMConverter* PCMConverter() const { return FPCM; }
  TMMWaveOut* WaveOut() const { return FWaveOut; }

  // ---- events
  TNotifyEvent OnStart, OnStop, OnPause, OnRestart, OnChange;
  // Every played buffer, before it leaves through Output.
  TMMBufferEvent OnData;

 private:
  void Fire(const TNotifyEvent& event);
  // Wave changed (another file or none): stop, then tell the user.
  void WaveChanging();
  // The wave's format has gone down the chain: choose the converter.
  void WaveFormatSettled();
  bool Playing() const { return (FWaveOut->State() & wosPlaying) != 0; }

  std::int32_t FStartOffset = 0;
  std::int32_t FSavedPosition = -1;
  bool FInternalChange = false;
  bool FResetPosition = true;
  bool FAutoConvert = true;
  TMMWaveFile* FWaveFile = nullptr;
  TMMADPCMConverter* FADPCM = nullptr;
  TMMPCMConverter* FPCM = nullptr;
  TMMWaveOut* FWaveOut = nullptr;
};
