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
// - cmThread: on the engine's worker thread TMMWaveOutThread;
// - cmCallback: refused on this platform (see SetCallBackMode).
#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "audio/MMAlloc.h"
#include "audio/MMDSPObj.h"
#include "platform/mmsystem.h"

// Errors of the output engine; raised by TMMWaveOut::Error after OnError.
class EMMWaveOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The engine's texts.
namespace waveoutmsg {
inline constexpr const char* kPropertyWhileOpen = "Change to property while device was open";
inline constexpr const char* kInvalidDeviceId = "Invalid DeviceID";
inline constexpr const char* kNoHeaderMemory = "Unable to allocate memory for wave header";
inline constexpr const char* kCantPlayFormat = "The actual device can''t play this format";
inline constexpr const char* kUnableToStart = "Unable to start device";
inline constexpr const char* kFillError = "Error filling wave buffer";
inline constexpr const char* kUnknownError = "Specified error number is out of range (unknown error)";
inline constexpr const char* kNoThread = "Could not create thread";
inline constexpr const char* kInvalidFormat = "Invalid wave format";
inline constexpr const char* kNoDevice = "No wave audio playing device found";
inline constexpr const char* kUnableToOpen = "Unable to open device";
inline constexpr const char* kUnableToClose = "Unable to close device";
inline constexpr const char* kCallbackCaption = "TMMWaveOut";
inline constexpr const char* kCallbackWarning =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95";
}  // namespace waveoutmsg

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

class TMMWaveOutThread;

class TMMWaveOut : public TMMCustomWaveOutComponent {
  Q_OBJECT
 public:
  explicit TMMWaveOut(QObject* AOwner = nullptr);
  ~TMMWaveOut() override;

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
  [[noreturn]] virtual void Error(const std::string& Message);

  // True when device `Id` exists and accepts `Format`.
  bool QueryDevice(TMMDeviceId Id, const WAVEFORMATEX* Format) const;
  TMMWaveOutState State() const { return FState.load(); }
  // Device samples heard since the open or the last reset of the device.
  std::int64_t GetDevicePosition();

  // ---- properties
  void SetNumBuffers(int Value) override;
  int GetNumBuffers() const override { return FNumBuffers; }
  void SetDeviceID(TMMDeviceId Value) override;
  TMMDeviceId GetDeviceID() const override { return FDeviceID; }
  // Read-only: writes are ignored.
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return FProductName; }
  // cmCallback would run the buffer handling on the card's thread; it is
  // refused with a message box and the mode stays as it was.
  void SetCallBackMode(TMMCBMode Value) override;
  TMMCBMode GetCallBackMode() const override { return FCallBackMode; }
  void SetBufferSize(int Value) override;
  int GetBufferSize() const override;
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
  std::int64_t BytesPlayed() const { return FBytesPlayed.load(); }
  // GetPosition as it was taken by the last Stop.
  std::int64_t PositionAtStop() const { return FPositionAtStop; }

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

  // Messages of the hidden window.
  static constexpr UINT kStopMessage = 0x8001;  // end-of-play stop (wParam: device handle)

 private:
  friend class TMMWaveOutThread;

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
  void ReleaseBuffers();
  void FinishStop();
  // Waits in rounds of 10 ms until `done` holds or `rounds` ran out.
  bool WaitRounds(int rounds, const std::function<bool()>& done, bool pump);
  void CheckClosedForProperty();
  [[noreturn]] void DeviceError(const char* prefix, MMRESULT result);
  void FireError();
  // Inside a catch block: fires OnError unless Error already did, runs
  // `cleanup` and raises the exception again.
  [[noreturn]] void Failed(const std::function<void()>& cleanup);
  void Fire(const TNotifyEvent& event);
  void StartThread();
  void EndThread();
  bool ThreadMode() const { return FCallBackMode == cmThread; }

  HWND FHandle = nullptr;
  TMMDeviceId FDeviceID = 0;
  std::atomic<HWAVEOUT> FWaveOutHandle{nullptr};
  std::atomic<TMMWaveOutState> FState{wosClosed};
  std::array<PMMBufferHeader, 500> FBuffers{};
  int FBufIndex = 0;
  TMMCBMode FCallBackMode = cmWindow;
  MMRESULT FLastError = MMSYSERR_NOERROR;
  UINT FNumDevs = 0;
  WAVEOUTCAPS FWaveOutCaps{};
  std::string FProductName;
  UINT FDriverVersion = 0;

  std::atomic<int> FInHandler{0};
  std::atomic<bool> FStopAfterDrain{false};
  bool FClosePending = false;
  std::atomic<bool> FStopRequested{false};
  bool FClosing = false;
  std::atomic<bool> FResetInProgress{false};
  std::atomic<bool> FStopPosted{false};
  bool FLooping = false;
  WORD FLoopCount = 0;
  LONG FLoopsLeft = 0;

  std::atomic<std::int64_t> FLoopOrigin{0};
  std::int64_t FAccumulated = 0;
  DWORD FLastReading = 0;
  DWORD FWrapCount = 0;
  DWORD FWrapAmount = 0;
  std::atomic<std::int64_t> FBytesPlayed{0};
  bool FMoreBuffers = false;
  int FNumBuffers = 10;
  int FBuffersUsed = 0;
  std::atomic<int> FQueued{0};
  // Buffers queued whose return has not been handled yet. The end of the
  // data is reached when the last of them has been handled, not when the
  // driver has returned them all: returned buffers wait in a queue (the
  // window's or the worker's) and each must still reach the chain and
  // OnBufferReady before the stop, which drops the notices left.
  std::atomic<int> FUnhandled{0};
  // Counts the runs (a stop or a reset ends one); notices of the worker
  // thread carry the run they belong to.
  std::atomic<std::uint32_t> FRun{0};
  // Device samples queued since the device position last started at 0.
  std::atomic<std::uint64_t> FSamplesQueued{0};
  // The ring has drained at the end of the data; the stop waits for the
  // device to let out what it still holds (a converting device reports a
  // buffer done while its converter still holds the last of the sound).
  bool FDraining = false;

  TMMTimeFormats FTimeFormat = tfByte;
  bool FShowHourGlass = true;
  std::int64_t FPositionAtStop = 0;
  bool FMapped = false;
  TMMAllocator FAllocator;
  TThreadPriority FPriority = tpHigher;
  std::atomic<bool> FThreadFailed{false};
  std::unique_ptr<TMMWaveOutThread> FThread;
  // Guards the pause and, in cmThread mode, keeps the main thread's
  // operations and the worker's buffer handling apart. A handler of the
  // worker's buffer events must not wait for the main thread (with
  // SynchronizeCall) while the main thread may be inside an operation. The
  // worker only tries it, so that it can give up waiting when told to quit.
  std::recursive_mutex FCritSect;
};
