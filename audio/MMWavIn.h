// The wave input engine: records from one sound-card device and pushes every
// filled buffer down its chain.
//
// The engine opens the device for the PCM format built from Mode, BitLength
// and SampleRate, keeps a ring of NumBuffers buffers queued at the driver and
// delivers each buffer the driver returns with BufferReady, re-queuing it as
// soon as the delivery has returned.
//
// Threads. Every public operation runs on the main thread. The driver's
// callback (the sound card's thread) only sets the open/closed flags and
// forwards returned buffers; the buffer handling (ProcessBuffer: delivery
// down the chain, re-queue) runs by CallBackMode:
// - cmWindow (the program's mode): on the main thread, from MM_WIM_DATA
//   posted to the engine's hidden window;
// - cmThread: on the engine's worker thread (TMMEngineWorker);
// - cmCallback: refused on this platform (see SetCallBackMode).
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "audio/MMEngine.h"

// Errors of the input engine; raised by TMMCustomWaveIn::Error after OnError.
struct EMMWaveInError : std::runtime_error { using std::runtime_error::runtime_error; };

// State flags of the engine (a set).
enum TMMWaveInStates : unsigned { wisClosed = 1, wisOpen = 2, wisRecording = 4, wisPaused = 8 };
using TMMWaveInState = unsigned;

// The state of one recording run, reset as a whole by Start. Buffers are
// handled on ProcessBuffer's thread (the main thread, or the worker in
// cmThread mode); the main thread runs the operations.
struct TMMWaveInRun {
  // Buffers at the driver. Written by the main thread (queueing, Stop) and
  // ProcessBuffer's thread (re-queueing, returns); read by both.
  TMMSharedValue<int> Queued{0};
  // Deliveries under way. Written by ProcessBuffer's thread; read by the
  // main thread's Stop.
  TMMSharedValue<int> Deliveries{0};
  // Bytes delivered since Start. Written by ProcessBuffer's thread; read by
  // any.
  TMMSharedValue<std::int64_t> BytesRecorded{0};
  // The device's reset is handing buffers back (until Queued reaches 0).
  // Written by the main thread (Stop) and ProcessBuffer's thread; read by
  // both.
  TMMSharedValue<bool> ResetInProgress{false};
};

// The input engine's legal state changes (TMMEngineState; it never drains).
constexpr bool MMWaveInTransitionLegal(TMMEngineState From, TMMEngineState To) {
  using enum TMMEngineState;
  switch (From) {
    // Start; Stop of a paused engine without a run; Close.
    case Stopped: return To == Starting || To == Stopping || To == Closing;
    // The buffers are queued; a failure stops and closes.
    case Starting: return To == Running || To == Stopping || To == Closing;
    // Stop, inside a delivery or not; Close.
    case Running: return To == StopDeferred || To == Stopping || To == Closing;
    // The stop message (or another Stop) completes it; Close meanwhile.
    case StopDeferred: return To == Stopping || To == Closing;
    // Done; deferred again by a delivery under way (then a waiting close
    // stays waiting); Close meanwhile.
    case Stopping: return To == Stopped || To == StopDeferred || To == CloseDeferred || To == Closing;
    // The stop completes, then the close; or Close again once no delivery
    // is under way.
    case CloseDeferred: return To == Stopping || To == Closing;
    // Closed (or failed); the stop inside it is deferred.
    case Closing: return To == Stopped || To == CloseDeferred;
    case Draining: return false;
  }
  return false;
}

class TMMCustomWaveIn : public TMMCustomSoundComponent {
  Q_OBJECT
 public:
  static constexpr int kMaxBuffers = TMMBufferRing::kMaxBuffers;

  // An engine on the device reached through `Calls` (the card's, or a
  // test's failing device); it reads the device count, selects device 0 and
  // builds the format.
  TMMCustomWaveIn(QObject* AOwner, TMMWaveInFunctions Calls);
  ~TMMCustomWaveIn() override;

  // ---- the base's abstract slots
  void SetNumBuffers(int Value) override;
  int GetNumBuffers() const override { return FNumBuffers; }
  void SetDeviceID(TMMDeviceId Value) override;
  TMMDeviceId GetDeviceID() const override { return FDeviceID; }
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return FProductName; }
  void SetCallBackMode(TMMCBMode Value) override;
  TMMCBMode GetCallBackMode() const override { return FCallBackMode; }

  // ---- own operations, in slot order
  // Fires OnError and raises EMMWaveInError with `Message`.
  [[noreturn]] virtual void Error(const std::string& Message) {
    FireError();
    throw EMMWaveInError(Message);
  }
  virtual void Open();
  // Never raises; failures reach OnError only.
  virtual void Close();
  virtual void Start();
  virtual void Pause();
  virtual void Restart();
  virtual void Stop();

  // Whether device `Id` can record `Format` (capability bits included).
  bool QueryDevice(TMMDeviceId Id, const WAVEFORMATEX* Format);

  // ---- chain overrides. The life-cycle notices are the sound component's:
  // Open, Start, Pause, Restart, Stop and Close spread them at fixed points.
  void SetWaveFormat(const WAVEFORMATEX* Format) override;
  void SetBufferSize(int Value) override;
  // Counts the bytes against the recording limit (trimming the buffer that
  // crosses it), then sends the buffer down the chain. Runs where
  // ProcessBuffer runs. With the voice on, the buffer's voice is taken from
  // the device first, trimmed alike and given to OnVoice once the buffer
  // has been down the chain.
  void BufferReady(PMMBufferHeader lpWaveHdr) override;

  // The voice: the microphone alone, as the device's recording destination
  // takes it, for the same frames as each buffer. Wanted or not is taken at
  // Open; VoiceOn says whether the open device gives it.
  bool WantsVoice() const { return FWantsVoice; }
  void SetWantsVoice(bool Value) { FWantsVoice = Value; }
  bool VoiceOn() const { return FVoiceOn; }
  // Each delivered buffer's voice (the buffer's size after the limit), in
  // the engine's format, where BufferReady runs.
  std::function<void(const std::uint8_t* bytes, std::size_t size)> OnVoice;

  // ---- published properties
  TMMMode Mode() const { return FMode; }
  void SetMode(TMMMode Value);
  TMMBits BitLength() const { return FBitLength; }
  void SetBitLength(TMMBits Value);
  int SampleRate() const { return FSampleRate; }
  void SetSampleRate(int Value);
  TMMTimeFormats TimeFormat() const { return FTimeFormat; }
  void SetTimeFormat(TMMTimeFormats Value);
  std::int32_t MaxRecordTime() const { return FMaxRecordTime; }
  void SetMaxRecordTime(std::int32_t Value);
  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Value) { FPriority = Value; }
  std::string ProductName() const { return FProductName; }
  TMMWaveInState State() const { return FState.load(); }
  // Where the start, stop and close sequences are.
  TMMEngineState RunState() const { return FRunState.Get(); }
  UINT NumDevs() const { return FNumDevs; }
  // The device's position in samples when the last buffer was re-queued.
  std::int64_t DevicePosition() const { return FSamplePosition.load(); }
  // Bytes delivered since Start (after the limit's trim).
  std::int64_t BytesRecorded() const { return FRun.BytesRecorded.load(); }
  // The recording limit in bytes.
  std::int64_t RecordLimit() const { return FRecordLimit; }
  // The open device's handle; null while closed.
  HWAVEIN Handle() const { return FDevice.load(); }
  UINT DriverVersion() const { return FDriverVersion; }

  TNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

  // Buffer handling of one returned buffer (see the threads above).
  void ProcessBuffer(PMMBufferHeader H);

  // Message of the hidden window: the deferred stop (wParam: device handle).
  static constexpr UINT kStopMessage = 0x8002;

 private:
  // The driver's callback (sound card thread, or the caller of stop/reset).
  static void DriverCallback(void* hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2) noexcept;
  LRESULT WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  void CheckClosed();
  void BuildFormat();
  void ComputeLimit();
  std::int64_t LimitInBytes(TMMTimeFormats Format) const;
  [[noreturn]] void DeviceError(const char* Prefix, MMRESULT Result);
  void AllocateBuffers();
  void PrepareHeaders();
  void UnprepareHeaders();
  void AddBuffer(PMMBufferHeader H);
  void GetDevicePosition();
  void StartThread();
  void EndThread();
  void FireError();
  // The stop's state changes: it begins (inside a close the state stays
  // Closing), it waits for a delivery to unwind, it is done.
  void EnterStop();
  void DeferStop(bool CloseAfter);
  // Runs `body`; an exception fires OnError (unless Error did already) and
  // then `recover`, and is raised again.
  template <typename Body, typename Recover>
  void Guarded(Body body, Recover recover) {
    MMGuarded<EMMWaveInError>(body, [this] { FireError(); }, recover);
  }
  // The worker's handling of one returned buffer.
  bool HandleNotice(const TMMEngineNotice& Notice);
  // The device's voice for the open handle (after the buffers are made).
  void EnableVoice();
  // Takes the voice of `Bytes` recorded bytes into FVoice (silence where
  // the device has less); DropVoice skips it (a buffer not delivered).
  void TakeVoice(DWORD Bytes);
  void DropVoice(DWORD Bytes);

  TMMWaveInFunctions FCalls;
  HWND FWindow = nullptr;
  TMMDeviceId FDeviceID = 0;
  std::atomic<HWAVEIN> FDevice{nullptr};
  std::atomic<TMMWaveInState> FState{wisClosed};
  TMMBufferRing FBuffers;
  TMMCBMode FCallBackMode = cmWindow;
  MMRESULT FLastResult = 0;
  UINT FNumDevs = 0;
  WAVEINCAPS FCaps{};
  std::string FProductName = waveinmsg::kNoDevice;
  UINT FDriverVersion = 0;
  TMMWaveInRun FRun;
  // Where the start, stop and close sequences are (see TMMEngineState).
  TMMEngineStateMachine FRunState{"TMMWaveIn", MMWaveInTransitionLegal};
  int FNumBuffers = 10;
  TMMTimeFormats FTimeFormat = tfByte;
  TMMMode FMode = mMono;
  TMMBits FBitLength = b8Bit;
  int FSampleRate = 11025;
  std::int32_t FMaxRecordTime = -1;
  std::int64_t FRecordLimit = INT32_MAX;
  std::atomic<std::int64_t> FSamplePosition{0};
  std::unique_ptr<TMMEngineWorker> FThread;
  // What made the worker fail; the worker drops the notices left then.
  TMMEngineFailure FThreadFailure;
  // Guards the queued count and the stop/reset sequence against the worker
  // thread; recursive because a driver may return buffers from inside the
  // stop and reset calls.
  TMMEngineLock FLock;
  TThreadPriority FPriority = tpHigher;
  bool FWantsVoice = false;
  bool FVoiceOn = false;        // set at Open, cleared at Close (main thread)
  std::vector<std::uint8_t> FVoice;  // one buffer's voice, sized at Open
};

class TMMWaveIn : public TMMCustomWaveIn {
  Q_OBJECT
 public:
  explicit TMMWaveIn(QObject* AOwner = nullptr);
  // An engine on the device reached through `Calls` (a test's failing device).
  TMMWaveIn(QObject* AOwner, TMMWaveInFunctions Calls);
};
