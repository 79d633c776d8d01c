// The wave output engine: plays the data its chain delivers on one sound-card
// playback device.
//
// The engine opens the device for the format that reaches it through its
// Input, keeps a ring of NumBuffers buffers queued at the driver and fills
// each one by pulling data up its chain with BufferLoad. Every buffer the
// driver hands back is pushed down the chain with BufferReady (so displays see
// what is being heard), refilled and queued again. When the chain reports the
// end of its data the ring drains and the engine stops itself once the last
// queued sample has been heard.
//
// Threads. Every public operation runs on the main thread. The driver's
// callback (the sound card's thread) only flips the open/closed flags, counts
// returned buffers and forwards them; the buffer handling itself
// (ProcessBuffer: delivery, refill, re-queue) runs by CallBackMode:
// - cmWindow (the program's mode): on the main thread, from a message posted
//   to the engine's hidden window;
// - cmThread: on the engine's worker thread (TMMEngineWorker), under the
//   engine's lock;
// - cmCallback: refused on this platform (see SetCallBackMode).
#pragma once

#include <QObject>
#include <stdexcept>

#include "audio/MMEngine.h"

// Errors of the output engine; raised by TMMWaveOut::Error after OnError.
struct EMMWaveOutError : std::runtime_error { using std::runtime_error::runtime_error; };

// State flags of the engine (a set).
enum TMMWaveOutStates : unsigned { wosClosed = 1, wosOpen = 2, wosPlaying = 4, wosPaused = 8 };
using TMMWaveOutState = unsigned;

// The operations every wave output component offers.
class TMMCustomWaveOutComponent : public TMMCustomSoundComponent {
  Q_OBJECT
 public:
  using TMMCustomSoundComponent::TMMCustomSoundComponent;

  // Position of the sound being heard since Start, in the TimeFormat.
  virtual std::int64_t GetPosition() = 0;
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void Reset() = 0;
  virtual void Start() = 0;
  virtual void Pause() = 0;
  virtual void Restart() = 0;
  virtual void Stop() = 0;
};

// The state of one playing run, reset as a whole by Start. Buffers are
// handled (ProcessBuffer) on the main thread, or on the worker under the
// engine's lock in cmThread mode; the card's thread runs the driver's
// callback; the main thread runs the operations.
struct TMMWaveOutRun {
  // Counts the runs (a stop or a reset ends one); the worker's notices carry
  // the run they belong to. Written by the main thread; read by the card's
  // thread and the worker.
  TMMSharedValue<std::uint32_t> Number{0};
  // Buffers at the driver. Written by ProcessBuffer's thread and the main
  // thread (queueing) and the card's thread (returns); read by all three.
  TMMSharedValue<int> Queued{0};
  // Buffers queued whose return has not been handled yet. The end of the
  // data is reached when the last of them has been handled, not when the
  // driver has returned them all: returned buffers wait in a queue (the
  // window's or the worker's) and each must still reach the chain and
  // OnBufferReady before the stop, which drops the notices left. Written and
  // read by ProcessBuffer's thread and the main thread.
  TMMSharedValue<int> Unhandled{0};
  // Buffer handlings under way. Written by ProcessBuffer's thread; read by
  // the main thread's Stop.
  TMMSharedValue<int> InHandler{0};
  // Device samples queued since the device position last started at 0.
  // Written by ProcessBuffer's thread and the main thread; read by both.
  TMMSharedValue<std::uint64_t> SamplesQueued{0};
  // Bytes the driver has handed back since Start. Written by ProcessBuffer's
  // thread; read by any.
  TMMSharedValue<std::int64_t> BytesPlayed{0};
  // The device position where the running loop began. Written by
  // ProcessBuffer's thread; read by the main thread.
  TMMSharedValue<std::int64_t> LoopOrigin{0};
  // A stop, a reset or the pause of a secondary device is handing the
  // buffers back. Written by the main thread, ProcessBuffer's thread and (the
  // reset's end) the card's thread; read by all three.
  TMMSharedValue<bool> ResetInProgress{false};
  // The slot of the next buffer to come back. ProcessBuffer's thread (and
  // the main thread between runs).
  int BufIndex = 0;
  // The device position read by ProcessBuffer and the wraps of its counter;
  // the position accumulated over pauses of a secondary device. Guarded by
  // the engine's lock.
  std::int64_t Accumulated = 0;
  DWORD LastReading = 0;
  DWORD WrapCount = 0;
  DWORD WrapAmount = 0;
  LONG LoopsLeft = 0;
};

// The output engine's legal state changes (TMMEngineState). Draining: the
// ring has drained at the end of the data and the stop waits for the device
// to let out what it still holds (a converting device reports a buffer done
// while its converter still holds the last of the sound).
constexpr bool MMWaveOutTransitionLegal(TMMEngineState From, TMMEngineState To) {
  using enum TMMEngineState;
  switch (From) {
    // Start; Stop of a paused engine without a run; Close.
    case Stopped: return To == Starting || To == Stopping || To == Closing;
    // The ring is filled; a failure stops and closes.
    case Starting: return To == Running || To == Stopping || To == Closing;
    // The end of the data; Stop, inside a buffer's handling or not; Close.
    case Running: return To == Draining || To == StopDeferred || To == Stopping || To == Closing;
    // The device has let the rest out (or Stop); Close.
    case Draining: return To == Stopping || To == Closing;
    // The stop message (or another Stop) completes it; Close meanwhile.
    case StopDeferred: return To == Stopping || To == Closing;
    // Done; deferred again by a handling under way (then a waiting close
    // stays waiting); Close meanwhile.
    case Stopping: return To == Stopped || To == StopDeferred || To == CloseDeferred || To == Closing;
    // The stop completes, then the close; or Close again once no handling
    // is under way.
    case CloseDeferred: return To == Stopping || To == Closing;
    // Closed (or failed); the stop inside it is deferred.
    case Closing: return To == Stopped || To == CloseDeferred;
  }
  return false;
}

class TMMWaveOut : public TMMCustomWaveOutComponent {
  Q_OBJECT
 public:
  explicit TMMWaveOut(QObject* AOwner = nullptr);
  ~TMMWaveOut() override;
  // An engine on the device reached through `Calls` (a test's failing device).
  TMMWaveOut(QObject* AOwner, TMMWaveOutFunctions Calls);

  // ---- operations (main thread). All but Close raise EMMWaveOutError after
  // firing OnError; Start and Pause open the device first when it is closed.
  std::int64_t GetPosition() override;
  void Open() override;
  // Never raises: failures are reported through OnError only.
  void Close() override;
  // Drops the queued sound and refills the ring from the chain's current
  // position (the player moves the position this way while playing).
  void Reset() override;
  void Start() override;
  void Pause() override;
  void Restart() override;
  void Stop() override;
  // Fires OnError, then raises EMMWaveOutError with `Message`.
  [[noreturn]] virtual void Error(const std::string& Message) {
    FireError();
    throw EMMWaveOutError(Message);
  }

  // True when device `Id` exists and accepts `Format`.
  bool QueryDevice(TMMDeviceId Id, const WAVEFORMATEX* Format) const;
  TMMWaveOutState State() const { return FState.load(); }
  // Where the start, stop and close sequences are.
  TMMEngineState RunState() const { return FRunState.Get(); }
  // Device samples heard since the open or the last reset of the device.
  std::int64_t GetDevicePosition();

  // ---- properties
  int GetNumBuffers() const override { return FNumBuffers; }
  TMMDeviceId GetDeviceID() const override { return FDeviceID; }
  std::string GetProductName() const override { return FProductName; }
  TMMCBMode GetCallBackMode() const override { return FCallBackMode; }
  void SetNumBuffers(int Value) override;
  void SetDeviceID(TMMDeviceId Value) override;
  // Read-only: writes are ignored.
  void SetProductName(const std::string&) override {}
  // cmCallback would run the buffer handling on the card's thread; it is
  // refused with a message box and the mode stays as it was.
  void SetCallBackMode(TMMCBMode Value) override;
  void SetBufferSize(int Value) override;
  TMMTimeFormats TimeFormat() const { return FTimeFormat; }
  void SetTimeFormat(TMMTimeFormats Value) { FTimeFormat = Value; }
  bool Looping() const { return FLooping; }
  void SetLooping(bool Value);
  WORD LoopCount() const { return FLoopCount; }
  void SetLoopCount(WORD Value);
  bool ShowHourGlass() const { return FShowHourGlass; }
  void SetShowHourGlass(bool Value) { FShowHourGlass = Value; }
  bool Mapped() const { return FMapped; }
  void SetMapped(bool Value) { FMapped = Value; }
  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Value);
  UINT DriverVersion() const { return FDriverVersion; }
  MMRESULT LastError() const { return FLastError; }
  // Bytes the driver has handed back since Start.
  std::int64_t BytesPlayed() const { return FRun.BytesPlayed.load(); }
  // GetPosition as it was taken by the last Stop.
  std::int64_t PositionAtStop() const { return FPositionAtStop; }
  // The worker waits for an operation of the main thread to end.
  bool WorkerWaiting() { return FLock.Waiting() > 0; }

  // ---- chain
  // A new format closes the device first.
  void SetWaveFormat(const WAVEFORMATEX* Format) override;
  // The engine's own life-cycle notices run its operations.
  void Opened() override { Open(); }
  void Closed() override { Close(); }
  void Started() override { Start(); }
  void Paused() override { Pause(); }
  void Restarted() override { Restart(); }
  void Stopped() override { Stop(); }
  // Played buffers leave through the base behaviour in ProcessBuffer; a
  // buffer pushed into the engine from upstream goes nowhere.
  void BufferReady(PMMBufferHeader) override {}
  // Prepares the buffer for a load and pulls it from the chain; afterwards
  // the driver plays exactly the loaded bytes.
  void BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) override;

  // ---- events (see the threads above for where the buffer events run)
  TNotifyEvent OnError, OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose, OnLooping;
  // Every buffer just before it is queued at the driver.
  TMMBufferEvent OnBufferFilled;

  // Messages of the hidden window: the deferred or end-of-play stop
  // (wParam: device handle).
  static constexpr UINT kStopMessage = 0x8001;
  // From the card once the device let out the end of the data (wParam: device handle).
  static constexpr UINT kDrainedMessage = 0x8004;

 private:
  // Driver callback (CALLBACK_FUNCTION), on the card's thread or inside the
  // waveOut call that caused it. Only flags, counting and forwarding.
  static void WaveOutFunc(void* hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                          DWORD_PTR dwParam2) noexcept;
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // One played buffer: deliver it, refill and re-queue it, detect the end.
  void ProcessBuffer(PWaveHdr lpwh);
  void EndOfDelivery();
  // The end of the data has drained from the ring: stop once the device has
  // let out every queued sample.
  void CheckDrained();
  bool DeviceDrained();
  // Fills the ring from slot 0 as far as the chain has data, taking and
  // preparing a block for every empty slot; returns the number queued.
  int FillRing();
  int LoadBuffer(PMMBufferHeader H);
  void QueueBuffer(PMMBufferHeader H);
  void ReadDevicePosition();
  void UnprepareHeaders();
  void FinishStop(bool CloseAfter);
  void CheckClosedForProperty();
  [[noreturn]] void DeviceError(const char* prefix, MMRESULT result);
  void FireError();
  // Runs `body`; an exception fires OnError (unless Error did already) and
  // then `recover`, and is raised again.
  template <typename Body, typename Recover>
  void Guarded(Body body, Recover recover) {
    MMGuarded<EMMWaveOutError>(body, [this] { FireError(); }, recover);
  }
  void Fire(const TNotifyEvent& event);
  // The worker's handling of one returned buffer.
  bool HandleNotice(const TMMEngineNotice& notice, const std::atomic<bool>& quit);
  void StartThread();
  void EndThread();
  bool ThreadMode() const { return FCallBackMode == cmThread; }

  TMMWaveOutFunctions FCalls;
  HWND FWindow = nullptr;
  TMMDeviceId FDeviceID = 0;
  std::atomic<HWAVEOUT> FDevice{nullptr};
  std::atomic<TMMWaveOutState> FState{wosClosed};
  TMMBufferRing FBuffers;
  TMMCBMode FCallBackMode = cmWindow;
  MMRESULT FLastError = MMSYSERR_NOERROR;
  UINT FNumDevs = 0;
  WAVEOUTCAPS FWaveOutCaps{};
  std::string FProductName;
  UINT FDriverVersion = 0;

  // Where the start, stop and close sequences are (see TMMEngineState).
  TMMEngineStateMachine FRunState{"TMMWaveOut", MMWaveOutTransitionLegal};
  bool FLooping = false;
  WORD FLoopCount = 0;
  bool FMoreBuffers = false;
  int FNumBuffers = 10;
  int FBuffersUsed = 0;
  TMMWaveOutRun FRun;

  TMMTimeFormats FTimeFormat = tfByte;
  bool FShowHourGlass = true;
  std::int64_t FPositionAtStop = 0;
  bool FMapped = false;
  TThreadPriority FPriority = tpHigher;
  // What made the worker fail, closed and reported on the main thread.
  TMMEngineFailure FThreadFailure;
  std::unique_ptr<TMMEngineWorker> FThread;
  // Guards the pause and, in cmThread mode, keeps the main thread's
  // operations and the worker's buffer handling apart. A handler of the
  // worker's buffer events must not wait for the main thread (with
  // SynchronizeCall) while the main thread may be inside an operation.
  TMMEngineLock FLock;
};
