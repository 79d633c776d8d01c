#include "audio/MMConect.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "audio/MMConectPump.h"
#include "platform/winmsg/mmtimer.h"
#include "platform/winmsg/winmsg.h"

// ---------------------------------------------------------------- slots and clock

namespace {

struct KindSlots {
  int first;
  int count;
};
constexpr std::array<KindSlots, MMDisplayKinds> kKindSlots{{{0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 4}, {12, 2}}};

std::atomic<TMMMicroClock> gClock{nullptr};

std::int64_t PerformanceMicroseconds() {
  std::int64_t frequency = 0, counter = 0;
  if (QueryPerformanceFrequency(&frequency) && frequency > 0 &&
      frequency <= std::numeric_limits<std::uint32_t>::max() && QueryPerformanceCounter(&counter))
    return counter / frequency * 1000000 + counter % frequency * 1000000 / frequency;
  return std::int64_t(timeGetTime()) * 1000;
}

}  // namespace

TMMDisplayKind MMSlotKind(TMMDisplaySlot slot) {
  for (int k = MMDisplayKinds - 1; k >= 0; --k)
    if (int(slot) >= kKindSlots[std::size_t(k)].first) return TMMDisplayKind(k);
  return dkLevel;
}

void MMConnectorSetClock(TMMMicroClock clock) { gClock = clock; }

std::int64_t MMConnectorNow() {
  const TMMMicroClock clock = gClock.load();
  return clock ? clock() : PerformanceMicroseconds();
}

// ---------------------------------------------------------------- TMMConnector

TMMConnector::TMMConnector(QObject* AOwner) : TMMDSPComponent(AOwner) {
  PublishInput();
  PublishOutput();
  // The pump's sleeps rely on a fine system timer.
  timeBeginPeriod(1);
  ConnectorPump::Get().Register(this);
}

TMMConnector::~TMMConnector() {
  Destroying();
  Stopped();
  StopPauseTimer();
  timeEndPeriod(1);
  for (auto& watch : FDisplayWatch) QObject::disconnect(watch);
  // Messages still queued for this connector are ignored by their serial;
  // the pump's step stays for the other connectors.
  ConnectorPump::Get().Unregister(this);
}

void TMMConnector::SetDesigning(bool value) {
  TMMDSPComponent::SetDesigning(value);
  if (!value) ConnectorPump::Get().Register(this);
}

// ---------------------------------------------------------------- properties

void TMMConnector::SetEnabled(bool Value) {
  if (Value == FEnabled.load()) return;
  FEnabled = Value;
  if (!Value) {
    LeavePump();
    for (TMMDisplayClient* d : FDisplays)
      if (d) d->ClearDisplay();
  } else if (FRunning && FRealTime) {
    JoinPump();
  }
}

void TMMConnector::SetAutoTrigger(bool Value) {
  if (Value == FAutoTrigger) return;
  FAutoTrigger = Value;
  ConnectorPump& pump = ConnectorPump::Get();
  if (!Value) {
    // Leaves the pump but stays active, so RequestRefresh works.
    if (FCounted) {
      FCounted = false;
      if (--pump.activeCount <= 0) pump.idleHandler = false;
    }
  } else if (FRunning && FEnabled && FRealTime) {
    JoinPump();
  }
}

void TMMConnector::SetSpeed(int Value) {
  FSpeed = std::clamp(Value, 1, 5000);
  ConnectorPump::Get().RecomputeSpeed();
}

void TMMConnector::SetRealTime(bool Value) {
  if (Value == FRealTime) return;
  if (FOpened) throw EMMConnectorError(connectormsg::kPropertyWhileOpen);
  FRealTime = Value;
}

bool TMMConnector::EnterIdle() { return ConnectorPump::Get().enterIdle; }

void TMMConnector::SetEnterIdle(bool Value) { ConnectorPump::Get().enterIdle = Value; }

int TMMConnector::ActiveCount() { return ConnectorPump::Get().activeCount; }

int TMMConnector::RegisteredCount() { return int(ConnectorPump::Get().connectors.size()); }

HWND TMMConnector::PumpWindow() { return ConnectorPump::Get().window; }

bool TMMConnector::IdleHandlerInstalled() { return ConnectorPump::Get().idleHandler; }

std::uint64_t TMMConnector::PumpSteps() { return ConnectorPump::Get().steps; }

int TMMConnector::CapturedBytes() const {
  std::lock_guard guard(FLock);
  return FCaptured;
}

int TMMConnector::RefreshCount(TMMDisplayKind Kind) const {
  std::lock_guard guard(FLock);
  return FKinds[std::size_t(Kind)].refreshes;
}

// ---------------------------------------------------------------- displays

void TMMConnector::SetDisplay(TMMDisplaySlot Slot, TMMDisplayClient* Value) {
  const auto s = std::size_t(Slot);
  const TMMDisplayKind kind = MMSlotKind(Slot);
  if (Value == FDisplays[s]) return;
  if (Value && kind != dkSpectrum && FDisplays[s ^ 1u] == Value) return;
  QObject::disconnect(FDisplayWatch[s]);
  {
    std::lock_guard guard(FLock);
    FDisplays[s] = Value;
    FDisplayObjects[s] = Value ? Value->DisplayObject() : nullptr;
    FKinds[std::size_t(kind)].dirty = false;
  }
  if (!Value) return;
  // The removal notice of a display: its slot is cleared before it goes.
  if (QObject* object = FDisplayObjects[s])
    FDisplayWatch[s] = QObject::connect(object, &QObject::destroyed, this, [this](QObject* o) { DisplayRemoved(o); });
  UpdateDisplayFormats();
}

void TMMConnector::DisplayRemoved(QObject* object) {
  for (std::size_t s = 0; s < FDisplays.size(); ++s) {
    if (FDisplayObjects[s] != object) continue;
    QObject::disconnect(FDisplayWatch[s]);
    std::lock_guard guard(FLock);
    FDisplays[s] = nullptr;
    FDisplayObjects[s] = nullptr;
  }
}

bool TMMConnector::HasDisplay(TMMDisplayKind kind) const {
  const KindSlots range = kKindSlots[std::size_t(kind)];
  for (int i = 0; i < range.count; ++i)
    if (FDisplays[std::size_t(range.first + i)]) return true;
  return false;
}

// The larger block of the kind's displays (an empty slot counts 0).
int TMMConnector::StepOf(TMMDisplayKind kind) const {
  const KindSlots range = kKindSlots[std::size_t(kind)];
  int step = 0;
  for (int i = 0; i < range.count; ++i)
    if (TMMDisplayClient* d = FDisplays[std::size_t(range.first + i)]) step = std::max(step, d->DataBlockSize());
  return step;
}

void TMMConnector::MarkAllDirty() {
  for (int k = 0; k < MMDisplayKinds; ++k) {
    if (!HasDisplay(TMMDisplayKind(k))) continue;
    FKinds[std::size_t(k)].dirty = true;
    FKinds[std::size_t(k)].readPos = 0;
  }
}

// Gives every display the format it will be fed in. Only PCM input has one:
// no converter is offered for other formats, so their displays stay unfed.
void TMMConnector::UpdateDisplayFormats() {
  if (!FPWaveFormat) return;
  WAVEFORMATEX format;
  if (FRunning) {
    format = FDisplayFormat;
  } else if (FPWaveFormat->wFormatTag == WAVE_FORMAT_PCM) {
    format = *FPWaveFormat;
    format.cbSize = 0;
  } else {
    return;
  }
  FSilence = pcmSilenceByte(&format);
  for (TMMDisplayClient* d : FDisplays)
    if (d) d->SetDisplayFormat(&format);
}

// ---------------------------------------------------------------- the pump side

void TMMConnector::JoinPump() {
  ConnectorPump& pump = ConnectorPump::Get();
  if (FAutoTrigger && pump.enterIdle) pump.idleHandler = true;
  if (pump.window) PostMessage(pump.window, MM_CONNECTOR_START, WPARAM(FSerial), reinterpret_cast<LPARAM>(this));
}

void TMMConnector::LeavePump() {
  ConnectorPump& pump = ConnectorPump::Get();
  FActive = false;
  if (FCounted) {
    FCounted = false;
    if (--pump.activeCount <= 0) pump.idleHandler = false;
  }
}

bool TMMConnector::CanRefresh() const { return FEnabled && (FActive || (!FRealTime && FRunning)); }

void TMMConnector::Refresh() {
  if (!CanRefresh()) return;
  std::lock_guard guard(FLock);
  if (!FData) return;
  const std::int64_t now = MMConnectorNow();
  const std::int64_t rate = FDisplayFormat.nAvgBytesPerSec;
  for (int k = 0; k < MMDisplayKinds; ++k) {
    KindState& state = FKinds[std::size_t(k)];
    if (!state.dirty) continue;
    const int step = StepOf(TMMDisplayKind(k));
    if (step <= 0) {
      state.dirty = false;
      continue;
    }
    // A block is due once its place in the buffer has been played.
    if (FSynchronize && rate > 0 && now - FStamp < std::int64_t(state.readPos) * 1000000 / rate) continue;
    const int at = state.readPos;
    state.readPos = at + step;
    if (at + step > FCaptured) {
      state.dirty = false;  // this buffer is used up
      continue;
    }
    ShowBlockAt(TMMDisplayKind(k), at);
  }
}

void TMMConnector::ShowBlockAt(TMMDisplayKind kind, int at) {
  const KindSlots range = kKindSlots[std::size_t(kind)];
  for (int i = 0; i < range.count; ++i)
    if (TMMDisplayClient* d = FDisplays[std::size_t(range.first + i)]) d->ShowBlock(FData + at);
  ++FKinds[std::size_t(kind)].refreshes;
}

void TMMConnector::ShowRemainingBlocks() {
  for (int k = 0; k < MMDisplayKinds; ++k) {
    KindState& state = FKinds[std::size_t(k)];
    if (!state.dirty) continue;
    state.dirty = false;
    const int step = StepOf(TMMDisplayKind(k));
    if (step <= 0) continue;
    for (; state.readPos + step <= FCaptured; state.readPos += step) ShowBlockAt(TMMDisplayKind(k), state.readPos);
  }
}

std::int64_t TMMConnector::NextBlockIn(std::int64_t now) const {
  std::lock_guard guard(FLock);
  if (!FData) return -1;
  const std::int64_t rate = FDisplayFormat.nAvgBytesPerSec;
  std::int64_t next = -1;
  for (const KindState& state : FKinds) {
    if (!state.dirty) continue;
    std::int64_t wait = 0;  // also a used-up buffer: the next pass clears it
    if (FSynchronize && rate > 0)
      wait = std::max<std::int64_t>(FStamp + std::int64_t(state.readPos) * 1000000 / rate - now, 0);
    if (next < 0 || wait < next) next = wait;
  }
  return next;
}

void TMMConnector::RequestRefresh() {
  if (!FEnabled || FAutoTrigger || FPending > 0 || !(FActive || (!FRealTime && FRunning))) return;
  if (IsMainThread()) {
    Refresh();
    return;
  }
  ++FPending;
  if (HWND window = ConnectorPump::Get().window)
    PostMessage(window, MM_CONNECTOR_REFRESH, WPARAM(FSerial), reinterpret_cast<LPARAM>(this));
}

// ---------------------------------------------------------------- capture

void TMMConnector::CaptureData(const void* Data, int Count) {
  if (!FEnabled || FPausedFeed || !Data) return;
  const std::int64_t stamp = MMConnectorNow();
  // The pump may not have reached the end of the last buffer (a step comes
  // about once per screen refresh, and buffers can come in bursts): its
  // blocks are played by now, so they are shown before the data goes.
  const bool showRest = FAutoTrigger && FActive && FRealTime && IsMainThread();
  std::exception_ptr failed;  // of a display, reported once the lock is released
  {
    std::lock_guard guard(FLock);
    if (!FData) return;
    const int bytes = std::min(Count, FCapacity);
    if (bytes <= 0) return;
    if (showRest) {
      try {
        ShowRemainingBlocks();
      } catch (...) {
        failed = std::current_exception();
      }
    }
    std::memcpy(FData, Data, std::size_t(bytes));
    FCaptured = bytes;
    FStamp = stamp;
    MarkAllDirty();
  }
  // As the pump does: the error goes to the application, the capture stands.
  if (failed) ApplicationHandleException(failed);
  if (!FRealTime && FAutoTrigger)
    Refresh();
  else
    ConnectorPump::Get().Kick();
}

void TMMConnector::BufferReady(PMMBufferHeader lpWaveHdr) {
  PMMBufferHeader shown = lpWaveHdr;
  // In playback the output engine links the buffer being heard.
  if (FSynchronize && lpWaveHdr->LinkedHeader && lpWaveHdr->LinkedHeader->dwBytesRecorded > 0)
    shown = lpWaveHdr->LinkedHeader;
  CaptureData(shown->lpData, int(std::min<DWORD>(shown->dwBytesRecorded, DWORD(std::numeric_limits<int>::max()))));
  TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMConnector::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
  CaptureData(lpWaveHdr->lpData,
              int(std::min<DWORD>(lpWaveHdr->dwBytesRecorded, DWORD(std::numeric_limits<int>::max()))));
}

// ---------------------------------------------------------------- life cycle

void TMMConnector::SetWaveFormat(const WAVEFORMATEX* Format) {
  TMMDSPComponent::SetWaveFormat(Format);
  if (CanPushFormat()) UpdateDisplayFormats();
}

void TMMConnector::Started() {
  TMMDSPComponent::Started();
  if (InState(csDesigning) || !FPWaveFormat || FRunning) return;
  if (FPWaveFormat->wFormatTag == WAVE_FORMAT_PCM) {
    FDisplayFormat = *FPWaveFormat;
    FDisplayFormat.cbSize = 0;
    FCapacity = std::max(GetBufferSize(), 0);
  } else {
    FDisplayFormat = {};
    FCapacity = 0;  // no converter for non-PCM input: the displays stay unfed
  }
  {
    std::lock_guard guard(FLock);
    FBuffer.assign(std::size_t(FCapacity), pcmSilenceByte(&FDisplayFormat));
    FData = FCapacity > 0 ? FBuffer.data() : nullptr;
    FCaptured = 0;
    FKinds = {};
  }
  if (!FData) return;
  ConnectorPump::Get().RecomputeSpeed();
  FRunning = true;
  UpdateDisplayFormats();
  if (FEnabled && FRealTime) JoinPump();
}

void TMMConnector::Paused() {
  TMMDSPComponent::Paused();
  if (InState(csDesigning) || !FRunning || FPausedFeed) return;
  FPausedFeed = true;
  {
    std::lock_guard guard(FLock);
    std::memset(FData, FSilence, std::size_t(FCapacity));
    // The whole area is silence now, also when no buffer came before.
    FCaptured = FCapacity;
  }
  if (!FRealTime) return;
  const int bytes = GetBufferSize();
  const int interval = bytes > 8191 ? MMTimerPeriod : int(std::max<std::int64_t>(pcmBytesToTime(FPWaveFormat, bytes), 0));
  FPauseTimer = MMTimerSubscribe(
      interval, false, [](PMMTimerClient, void* owner) { static_cast<TMMConnector*>(owner)->PauseTick(); }, this);
  if (!FPauseTimer) throw EOutOfResources(connectormsg::kNoTimers);
}

// On the tick service's thread: show the silent capture area again.
void TMMConnector::PauseTick() {
  const std::int64_t now = MMConnectorNow();
  std::lock_guard guard(FLock);
  FStamp = now;
  MarkAllDirty();
  ConnectorPump::Get().Kick();
}

void TMMConnector::StopPauseTimer() {
  // Never under FLock: the tick takes FLock while the service holds its lock.
  if (!FPauseTimer) return;
  MMTimerUnsubscribe(FPauseTimer);
  FPauseTimer = nullptr;
}

void TMMConnector::Restarted() {
  TMMDSPComponent::Restarted();
  FPausedFeed = false;
  StopPauseTimer();
}

void TMMConnector::PositionReset() {
  TMMDSPComponent::PositionReset();
  if (!FRunning) return;
  std::lock_guard guard(FLock);
  if (FData) std::memset(FData, FSilence, std::size_t(FCapacity));
}

void TMMConnector::Stopped() {
  if (!InState(csDesigning) && FRunning) {
    FRunning = false;
    LeavePump();
    FPausedFeed = false;
    StopPauseTimer();
    {
      std::lock_guard guard(FLock);
      FData = nullptr;
      std::vector<std::uint8_t>().swap(FBuffer);
      FCapacity = 0;
      FCaptured = 0;
      for (KindState& k : FKinds) k.dirty = false;  // the counts stay readable until the next start
    }
    FDisplayFormat = {};
    if (FRefreshOnStop)
      for (TMMDisplayClient* d : FDisplays)
        if (d) d->ClearDisplay();
  }
  TMMDSPComponent::Stopped();
}
