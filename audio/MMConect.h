// The connector: a passive chain component at the end of a recording or
// playback chain that feeds displays (the level meters) from the audio
// passing through it.
//
// Every buffer that reaches it (BufferReady when pushed, BufferLoad when
// pulled) is copied into the connector's capture buffer with the time of the
// capture. A pump of posted messages on the main thread then hands the
// displays one block of that copy after another, each block when its time
// within the buffer has come (Synchronize), so the level moves as the sound
// plays rather than once per buffer. The blocks of a buffer that the pump has
// not shown when the next one comes on the main thread are shown first.
//
// Displays sit in slots by kind: two level meters, two needle meters, two
// oscilloscopes, two lights, four spectra and two spectrograms. Any display
// offering TMMDisplayClient's four calls fits any slot; this program only
// fills the two level slots.
//
// Threads: linking, properties, the life-cycle notices and the pump run on
// the main thread. CaptureData runs on the thread that delivers buffers (the
// main thread in cmWindow mode), the pause tick on the tick service's thread.
// The capture buffer, the read positions and the time stamp are guarded by
// the connector's lock; the displays are called with it held, from the main
// thread (or from the delivering thread with RealTime off).
#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "audio/MMDSPObj.h"
#include "audio/MMDisplay.h"
#include "audio/MMTimer.h"

class EMMConnectorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The framework's error for a timer that cannot be had.
class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace connectormsg {
inline constexpr const char* kPropertyWhileOpen = "Change to property while device was open";
inline constexpr const char* kNoTimers = "Not enough timers available";
}  // namespace connectormsg

// The pump's messages, posted to its hidden window.
constexpr UINT MM_CONNECTOR_START = 0xB1F5;    // a connector starts being fed
constexpr UINT MM_CONNECTOR_REFRESH = 0xB1F6;  // refresh asked for off the main thread
constexpr UINT MM_CONNECTOR_STEP = 0xB1F7;     // one pump step

enum TMMDisplayKind : int { dkLevel, dkMeter, dkOscope, dkLight, dkSpectrum, dkSpectrogram };
constexpr int MMDisplayKinds = 6;

// The display slots, grouped by kind.
enum TMMDisplaySlot : int {
  dsLevel1, dsLevel2,
  dsMeter1, dsMeter2,
  dsOscope1, dsOscope2,
  dsLight1, dsLight2,
  dsSpectrum1, dsSpectrum2, dsSpectrum3, dsSpectrum4,
  dsSpectrogram1, dsSpectrogram2,
};
constexpr int MMDisplaySlots = 14;
TMMDisplayKind MMSlotKind(TMMDisplaySlot slot);

// The microsecond clock of the capture time stamps; tests may replace it
// (nullptr restores the performance counter).
using TMMMicroClock = std::int64_t (*)();
void MMConnectorSetClock(TMMMicroClock clock);
std::int64_t MMConnectorNow();

class TMMConnector : public TMMDSPComponent {
  Q_OBJECT
 public:
  explicit TMMConnector(QObject* AOwner = nullptr);
  ~TMMConnector() override;

  // ---- published properties
  bool Enabled() const { return FEnabled.load(); }
  void SetEnabled(bool Value);
  bool AutoConvert() const { return FAutoConvert; }
  void SetAutoConvert(bool Value) { FAutoConvert = Value; }
  bool AutoTrigger() const { return FAutoTrigger; }
  void SetAutoTrigger(bool Value);
  bool Synchronize() const { return FSynchronize; }
  void SetSynchronize(bool Value) { FSynchronize = Value; }
  int Speed() const { return FSpeed; }
  void SetSpeed(int Value);  // 1..5000
  TMMTriggerMode TriggerMode() const { return FTriggerMode; }
  void SetTriggerMode(TMMTriggerMode Value) { FTriggerMode = Value; }
  int TriggerLevel() const { return FTriggerLevel; }
  void SetTriggerLevel(int Value) { FTriggerLevel = Value; }
  bool RefreshOnStop() const { return FRefreshOnStop; }
  void SetRefreshOnStop(bool Value) { FRefreshOnStop = Value; }
  bool RealTime() const { return FRealTime; }
  // Raises EMMConnectorError while the chain is open.
  void SetRealTime(bool Value);
  // One value for all connectors.
  static bool EnterIdle();
  static void SetEnterIdle(bool Value);
  TNotifyEvent OnTrigger;  // oscilloscope trigger (no oscilloscope here)

  // Display slots. Setting a slot to the display its partner slot of the
  // same kind holds is ignored (the four spectrum slots only ignore the
  // display they already hold).
  TMMDisplayClient* Display(TMMDisplaySlot Slot) const { return FDisplays[std::size_t(Slot)]; }
  void SetDisplay(TMMDisplaySlot Slot, TMMDisplayClient* Value);
  TMMDisplayClient* Level1() const { return Display(dsLevel1); }
  TMMDisplayClient* Level2() const { return Display(dsLevel2); }
  void SetLevel1(TMMDisplayClient* Value) { SetDisplay(dsLevel1, Value); }
  void SetLevel2(TMMDisplayClient* Value) { SetDisplay(dsLevel2, Value); }

  // ---- feeding
  // Copies at most the buffer size of `Count` bytes as the data to show and
  // time-stamps it. Nothing when disabled, paused, without a PCM data path
  // or without data. With RealTime off and AutoTrigger on, refreshes at once.
  void CaptureData(const void* Data, int Count);
  // One pass: each kind with data left shows its next block if it is due.
  void Refresh();
  // For a connector that is not auto-triggered: one Refresh now on the main
  // thread, else through the pump's window.
  void RequestRefresh();

  // ---- chain
  void SetWaveFormat(const WAVEFORMATEX* Format) override;
  void Started() override;
  void Paused() override;
  void Restarted() override;
  void Stopped() override;
  void PositionReset() override;
  void BufferReady(PMMBufferHeader lpWaveHdr) override;
  void BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) override;
  void SetDesigning(bool value) override;

  // ---- state (read-only)
  bool Running() const { return FRunning.load(); }
  bool Active() const { return FActive.load(); }
  bool PauseTimerRunning() const { return FPauseTimer != nullptr; }
  int CapturedBytes() const;
  int CaptureCapacity() const { return FCapacity; }
  int RefreshCount(TMMDisplayKind Kind) const;
  const WAVEFORMATEX& DisplayFormat() const { return FDisplayFormat; }
  // The pump, shared by all connectors.
  static int ActiveCount();
  static int RegisteredCount();
  static HWND PumpWindow();
  static bool IdleHandlerInstalled();
  // Pump steps taken since the program started.
  static std::uint64_t PumpSteps();

 private:
  struct KindState {
    int readPos = 0;
    bool dirty = false;
    int refreshes = 0;
  };

  void UpdateDisplayFormats();
  void PauseTick();
  void StopPauseTimer();
  void MarkAllDirty();  // under FLock
  // Hands the kind's displays the block at `at` (under FLock).
  void ShowBlockAt(TMMDisplayKind kind, int at);
  // Shows every whole block of the captured data that is still to be shown,
  // due or not (under FLock).
  void ShowRemainingBlocks();
  void LeavePump();
  void JoinPump();
  bool HasDisplay(TMMDisplayKind kind) const;
  int StepOf(TMMDisplayKind kind) const;
  void DisplayRemoved(QObject* object);
  bool CanRefresh() const;
  // Microseconds until the next block of any kind is due (0: now), or -1
  // when nothing is left to show.
  std::int64_t NextBlockIn(std::int64_t now) const;

  friend struct ConnectorPump;

  mutable std::mutex FLock;
  PMMTimerClient FPauseTimer = nullptr;
  std::atomic<bool> FEnabled{true};
  bool FAutoConvert = true;
  bool FAutoTrigger = true;
  bool FSynchronize = true;
  int FSpeed = 5000;
  TMMTriggerMode FTriggerMode = tmNone;
  int FTriggerLevel = 0;
  bool FRefreshOnStop = true;
  bool FRealTime = true;

  BYTE FSilence = 0;
  std::atomic<bool> FRunning{false};  // written on the main thread
  std::atomic<bool> FActive{false};
  bool FCounted = false;  // counts in the pump's active count
  std::atomic<bool> FPausedFeed{false};
  WAVEFORMATEX FDisplayFormat{};
  int FCapacity = 0;
  int FCaptured = 0;                 // under FLock
  std::vector<std::uint8_t> FBuffer;  // the capture buffer
  std::uint8_t* FData = nullptr;      // what the displays read, or nullptr
  std::atomic<int> FPending{0};      // refresh requests posted, not yet handled
  std::array<TMMDisplayClient*, MMDisplaySlots> FDisplays{};
  std::array<QObject*, MMDisplaySlots> FDisplayObjects{};
  std::array<QMetaObject::Connection, MMDisplaySlots> FDisplayWatch{};
  std::array<KindState, MMDisplayKinds> FKinds{};  // under FLock
  std::int64_t FStamp = 0;                          // under FLock; microseconds
  std::uint64_t FSerial = 0;                        // tells this connector's messages apart
};
