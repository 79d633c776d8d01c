#include "audio/MMWavOut.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>

#include "audio/MMNoticeQueue.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace {

constexpr const char* kOpenPrefix = "WaveOutOpen:\n\r";
constexpr const char* kClosePrefix = "WaveOutClose:\n\r";
constexpr const char* kWritePrefix = "WaveOutWrite:\n\r";
constexpr const char* kPausePrefix = "WaveOutPause:\n\r";
constexpr const char* kResetPrefix = "WaveOutReset:\n\r";
constexpr const char* kRestartPrefix = "WaveOutRestart:\n\r";
constexpr const char* kStartPrefix = "WaveOutStart:\n\r";
constexpr const char* kPositionPrefix = "WaveOutGetPosition:\n\r";
constexpr const char* kPreparePrefix = "WaveOutPrepareHeader:\n\r";
constexpr const char* kThreadPrefix = "WaveOut:\n\r";

constexpr int kMaxBuffers = 500;
// Sent by the worker thread when it failed: the main thread closes the device.
constexpr UINT kThreadFailedMessage = 0x8003;

// Shows the wait cursor for the lifetime of the guard (when asked and when
// there is a screen to show it on).
class HourGlass {
 public:
  explicit HourGlass(bool show) {
    if (show && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
      shown_ = true;
    }
  }
  ~HourGlass() { restore(); }
  void restore() {
    if (shown_) QGuiApplication::restoreOverrideCursor();
    shown_ = false;
  }

 private:
  bool shown_ = false;
};

int NiceValue(TThreadPriority p) {
  switch (p) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -15;
  }
  return 0;
}

}  // namespace

// ---------------------------------------------------------------- worker thread

// The worker of cmThread mode. The driver's callback posts the played buffers
// into a bounded lock-free queue (many producers, one consumer) and wakes the
// thread through an atomic; nothing on the card's thread blocks or allocates.
// The worker runs ProcessBuffer under the engine's lock, so the main thread's
// operations never overlap a buffer's handling. Every notice carries the run
// it belongs to: a stop or a reset starts a new run, and notices of an
// earlier one are dropped when they come up, so the main thread never has to
// wait for the worker to clear its queue.
class TMMWaveOutThread : public TMMDSPThread {
 public:
  explicit TMMWaveOutThread(TMMWaveOut* owner) : TMMDSPThread(owner), owner_(owner) {}
  // The loop uses the queue, the wake word and the ready signal to its very
  // last step (SignalReady), so it must have ended before they go; the base
  // destructor would join only after them.
  ~TMMWaveOutThread() override {
    Quit();
    WaitFor();
  }

  // Any thread; false when the queue is full.
  bool Post(UINT msg, WPARAM wParam, LPARAM lParam, std::uint32_t run) noexcept {
    if (!queue_.Push({msg, wParam, lParam, run})) return false;
    Wake();
    return true;
  }

  // Waits up to `ms` for the thread to report ready (started or ended).
  bool WaitReady(int ms) {
    std::unique_lock lock(readyMutex_);
    const bool ok = readyCond_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ready_; });
    ready_ = false;
    return ok;
  }
  void Quit() {
    quit_ = true;
    Wake();
  }
  void ApplyPriority(TThreadPriority p) {
    const pid_t tid = tid_.load();
    if (tid != 0) setpriority(PRIO_PROCESS, id_t(tid), NiceValue(p));  // raising may be refused; fine
  }

 protected:
  void Execute() override {
    tid_ = gettid();
    ApplyPriority(owner_->FPriority);
    SignalReady();
    for (;;) {
      const std::uint32_t seen = wake_.load();
      Notice msg;
      bool any = false;
      while (queue_.Pop(msg)) {
        any = true;
        if (!Handle(msg)) {
          SignalReady();
          return;
        }
      }
      if (quit_.load()) break;
      if (!any) wake_.wait(seen);
    }
    SignalReady();
  }

 private:
  struct Notice {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::uint32_t run = 0;
  };

  void Wake() noexcept {
    wake_.fetch_add(1);
    wake_.notify_one();
  }
  void SignalReady() {
    {
      std::lock_guard lock(readyMutex_);
      ready_ = true;
    }
    readyCond_.notify_all();
  }
  // False when the thread must end: it failed, or it was told to quit while
  // it waited for the engine.
  bool Handle(const Notice& msg) {
    if (msg.msg != MM_WOM_DONE) return true;
    try {
      // The main thread ends this thread from Close, which may run while it
      // holds the engine's lock (a Close from OnStop, fired under the lock by
      // Stop). Waiting for the lock must not outlast that quit: the notice
      // belongs to a run that is over then.
      std::unique_lock lock(owner_->FCritSect, std::defer_lock);
      while (!lock.try_lock()) {
        if (quit_.load()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (msg.run == owner_->FRun.load() && msg.wParam == WPARAM(owner_->FWaveOutHandle.load()) &&
          !owner_->FStopRequested)
        owner_->ProcessBuffer(reinterpret_cast<PWaveHdr>(msg.lParam));
      return true;
    } catch (...) {
      owner_->FThreadFailed = true;
      PostMessage(owner_->FHandle, kThreadFailedMessage, WPARAM(owner_->FWaveOutHandle.load()), 0);
      ApplicationHandleException(std::current_exception());
      return false;
    }
  }

  TMMWaveOut* owner_;
  MMNoticeQueue<Notice, 1024> queue_;  // more than the ring's 500 buffers
  std::atomic<std::uint32_t> wake_{0};
  std::atomic<bool> quit_{false};
  std::atomic<pid_t> tid_{0};
  std::mutex readyMutex_;
  std::condition_variable readyCond_;
  bool ready_ = false;
};

// ---------------------------------------------------------------- construction

TMMWaveOut::TMMWaveOut(QObject* AOwner) : TMMCustomWaveOutComponent(AOwner) {
  PublishInput();
  PublishOutput();
  FNumDevs = waveOutGetNumDevs();
  FProductName = waveoutmsg::kNoDevice;
  SetDeviceID(0);
}

TMMWaveOut::~TMMWaveOut() {
  Destroying();
  if (FWaveOutHandle.load() || (FState & wosOpen)) Close();
  EndThread();
  if (FHandle) DeallocateHWnd(FHandle);
  FHandle = nullptr;
  FAllocator.FreeAll();
}

// ---------------------------------------------------------------- errors and events

void TMMWaveOut::Error(const std::string& Message) {
  FireError();
  throw EMMWaveOutError(Message);
}

void TMMWaveOut::DeviceError(const char* prefix, MMRESULT result) {
  FLastError = result;
  char text[MAXERRORLENGTH] = {};
  std::string message = prefix;
  if (waveOutGetErrorTextA(result, text, sizeof text) == MMSYSERR_NOERROR)
    message += std::string(text, strnlen(text, 255));
  else
    message += waveoutmsg::kUnknownError;
  Error(message);
  throw EMMWaveOutError(message);  // not reached: Error raises
}

void TMMWaveOut::FireError() { Fire(OnError); }

void TMMWaveOut::Failed(const std::function<void()>& cleanup) {
  try {
    throw;
  } catch (const EMMWaveOutError&) {
    cleanup();  // Error has fired OnError already
    throw;
  } catch (...) {
    FireError();
    cleanup();
    throw;
  }
}

void TMMWaveOut::Fire(const TNotifyEvent& event) {
  if (event) event(this);
}

void TMMWaveOut::CheckClosedForProperty() {
  if ((FState & wosOpen) || FWaveOutHandle.load()) Error(waveoutmsg::kPropertyWhileOpen);
}

bool TMMWaveOut::WaitRounds(int rounds, const std::function<bool()>& done, bool pump) {
  for (int i = 0; i < rounds; ++i) {
    if (done()) return true;
    if (pump) {
      PumpMessagesFor(10);
      if (ApplicationTerminated()) break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return done();
}

// ---------------------------------------------------------------- properties

void TMMWaveOut::SetDeviceID(TMMDeviceId Value) {
  CheckClosedForProperty();
  FProductName = waveoutmsg::kNoDevice;
  FDriverVersion = 0;
  const bool valid = FNumDevs > 0 && Value >= -1 && Value < TMMDeviceId(FNumDevs);
  if (valid) {
    FLastError = waveOutGetDevCapsA(UINT(Value), &FWaveOutCaps, sizeof FWaveOutCaps);
    if (FLastError == MMSYSERR_NOERROR) {
      FProductName.assign(FWaveOutCaps.szPname, strnlen(FWaveOutCaps.szPname, MAXPNAMELEN));
      FDriverVersion = FWaveOutCaps.vDriverVersion;
    }
  }
  FDeviceID = valid ? Value : InvalidId;
}

void TMMWaveOut::SetNumBuffers(int Value) {
  if (Value == FNumBuffers || Value <= 1) return;
  CheckClosedForProperty();
  FNumBuffers = std::min(Value, kMaxBuffers);
}

void TMMWaveOut::SetBufferSize(int Value) {
  if (Value == FBufferSize) return;
  CheckClosedForProperty();
  FAllocator.FreeAll();
  TMMCustomWaveOutComponent::SetBufferSize(std::max(Value, 32));
}

int TMMWaveOut::GetBufferSize() const { return TMMCustomWaveOutComponent::GetBufferSize(); }

void TMMWaveOut::SetCallBackMode(TMMCBMode Value) {
  CheckClosedForProperty();
  if (Value != cmCallback) {
    FCallBackMode = Value;
    return;
  }
  // Buffer handling on the card's own thread would do file I/O there.
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    auto* box = new QMessageBox(QMessageBox::Warning, waveoutmsg::kCallbackCaption,
                                waveoutmsg::kCallbackWarning, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  } else {
    std::fprintf(stderr, "%s: %s\n", waveoutmsg::kCallbackCaption, waveoutmsg::kCallbackWarning);
  }
}

void TMMWaveOut::SetLooping(bool Value) {
  if (Value == FLooping) return;
  FLooping = Value;
  FLoopsLeft = FLoopCount;
}

void TMMWaveOut::SetLoopCount(WORD Value) {
  if (Value == FLoopCount) return;
  FLoopCount = Value;
  FLoopsLeft = Value;
}

void TMMWaveOut::SetPriority(TThreadPriority Value) {
  FPriority = Value;
  if (FThread) FThread->ApplyPriority(Value);
}

void TMMWaveOut::SetWaveFormat(const WAVEFORMATEX* Format) {
  Close();
  TMMCustomWaveOutComponent::SetWaveFormat(Format);
}

// ---------------------------------------------------------------- device

bool TMMWaveOut::QueryDevice(TMMDeviceId Id, const WAVEFORMATEX* Format) const {
  if (Id < -1 || Id >= TMMDeviceId(FNumDevs) || !Format) return false;
  return waveOutOpen(nullptr, UINT(Id), Format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

std::int64_t TMMWaveOut::GetDevicePosition() {
  const HWAVEOUT h = FWaveOutHandle.load();
  if (!h) return 0;
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  MMRESULT r = waveOutGetPosition(h, &t, sizeof t);
  if (r == MMSYSERR_NOERROR && t.wType == TIME_SAMPLES) return t.u.sample;
  t.wType = TIME_BYTES;
  r = waveOutGetPosition(h, &t, sizeof t);
  if (r != MMSYSERR_NOERROR) DeviceError(kPositionPrefix, r);
  return std::max<std::int64_t>(0, pcmBytesToSamples(FPWaveFormat, t.u.cb));
}

std::int64_t TMMWaveOut::GetPosition() {
  if (!FWaveOutHandle.load() || !FPWaveFormat || FClosePending) return 0;
  const std::int64_t samples = GetDevicePosition() + FAccumulated +
                               std::int64_t(FWrapCount) * std::int64_t(FWrapAmount) - FLoopOrigin.load();
  switch (FTimeFormat) {
    case tfSample: return samples;
    case tfByte: return pcmSamplesToBytes(FPWaveFormat, samples);
    case tfMillisecond:
      return FPWaveFormat->nSamplesPerSec ? samples * 1000 / std::int64_t(FPWaveFormat->nSamplesPerSec) : 0;
  }
  return samples;
}

void TMMWaveOut::ReadDevicePosition() {
  const DWORD now = DWORD(GetDevicePosition());
  // A counter that falls back by a large step has wrapped.
  if (now < FLastReading && FLastReading - now >= 0xFFFF) {
    FWrapAmount = FLastReading | 0xFFFFF;
    ++FWrapCount;
  }
  FLastReading = now;
}

// ---------------------------------------------------------------- open and close

void TMMWaveOut::Open() {
  if (FNumDevs == 0) Error(waveoutmsg::kNoDevice);
  if (FDeviceID == InvalidId) Error(waveoutmsg::kInvalidDeviceId);
  if (!FPWaveFormat) Error(std::string(kOpenPrefix) + waveoutmsg::kInvalidFormat);
  auto fail = [this] {
    FState = wosOpen;
    Close();
    FState = wosClosed;
  };
  try {
    if (FState & wosOpen) Close();
    if ((FState & wosOpen) || FClosing) return;
    FClosing = false;
    FResetInProgress = false;
    FStopRequested = false;
    FStopPosted = false;
    if (!QueryDevice(FDeviceID, FPWaveFormat)) Error(std::string(kOpenPrefix) + waveoutmsg::kCantPlayFormat);
    if (!FHandle)
      FHandle = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WndProc(w, m, wp, lp); });
    FWaveOutHandle = nullptr;
    FClosePending = false;

    TMMCustomSoundComponent::Opened();  // fixes the real buffer size along the chain
    if (ThreadMode()) StartThread();

    const DWORD flags = (FMapped && FDeviceID >= 0) ? WAVE_MAPPED : 0;
    HWAVEOUT h = nullptr;
    const MMRESULT r = waveOutOpen(&h, UINT(FDeviceID), FPWaveFormat, DWORD_PTR(&TMMWaveOut::WaveOutFunc),
                                   DWORD_PTR(this), flags | CALLBACK_FUNCTION);
    if (r != MMSYSERR_NOERROR) DeviceError(kOpenPrefix, r);
    FWaveOutHandle = h;
    if (!WaitRounds(500, [this] { return (FState & wosOpen) != 0; }, false))
      Error(std::string(kOpenPrefix) + waveoutmsg::kUnableToOpen);
    Fire(OnOpen);
  } catch (...) {
    Failed(fail);
  }
}

void TMMWaveOut::Close() {
  const bool open = (FState & wosOpen) != 0;
  if (!((open && !FClosing) || FClosePending)) return;
  bool timedOut = false;
  try {
    {
      std::lock_guard lock(FCritSect);
      FClosing = true;
      if (FState & (wosPlaying | wosPaused)) Stop();
      if (FStopAfterDrain) {
        // A buffer is being handled: the deferred stop completes the close.
        FClosePending = true;
        return;
      }
      FClosePending = false;
      if (const HWAVEOUT h = FWaveOutHandle.load()) {
        const MMRESULT r = waveOutClose(h);
        if (r != MMSYSERR_NOERROR) DeviceError(kClosePrefix, r);
        timedOut = !WaitRounds(500, [this] { return (FState & wosClosed) != 0; }, false);
        FPositionAtStop = 0;
        FWrapCount = FWrapAmount = 0;
      } else {
        FState = wosClosed;
      }
    }
    TMMCustomSoundComponent::Closed();
    EndThread();
    FWaveOutHandle = nullptr;
    FClosing = false;
    if (!InState(csDestroying)) Fire(OnClose);
    if (timedOut) Error(std::string(kClosePrefix) + waveoutmsg::kUnableToClose);
  } catch (const EMMWaveOutError&) {
    FClosing = false;
  } catch (...) {
    FireError();
    FClosing = false;
  }
}

void TMMWaveOut::StartThread() {
  if (FThread) return;
  FThreadFailed = false;
  FThread = std::make_unique<TMMWaveOutThread>(this);
  FThread->Resume();
  if (!FThread->WaitReady(5000)) {
    FThread.reset();
    Error(std::string(kThreadPrefix) + waveoutmsg::kNoThread);
  }
}

void TMMWaveOut::EndThread() {
  if (!FThread) return;
  FThread->Quit();
  FThread->WaitReady(5000);
  FThread.reset();  // joins
}

// ---------------------------------------------------------------- buffers

void TMMWaveOut::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  const DWORD capacity = DWORD(FRealBufferSize);
  lpWaveHdr->dwBufferLength = capacity;
  lpWaveHdr->dwBytesRecorded = 0;
  lpWaveHdr->LoopFlag = FLooping ? -1 : 0;
  if (FLooping) {
    lpWaveHdr->LoopCount = FLoopCount;
    lpWaveHdr->LoopsLeft = FLoopsLeft;
    lpWaveHdr->LoopMark = 0;
  }
  TMMCustomWaveOutComponent::BufferLoad(lpWaveHdr, MoreBuffers);
  // A chain cannot hand the driver more than the buffer holds.
  lpWaveHdr->dwBytesRecorded = std::min(lpWaveHdr->dwBytesRecorded, capacity);
  lpWaveHdr->dwBufferLength = lpWaveHdr->dwBytesRecorded;
  if (FLooping) FLoopsLeft = lpWaveHdr->LoopsLeft;
}

int TMMWaveOut::LoadBuffer(PMMBufferHeader H) {
  bool more = false;
  FMoreBuffers = false;
  BufferLoad(H, more);
  FMoreBuffers = more;
  const int loaded = int(H->dwBytesRecorded);
  if (loaded <= 0) FMoreBuffers = false;
  return loaded;
}

void TMMWaveOut::QueueBuffer(PMMBufferHeader H) {
  if (OnBufferFilled) OnBufferFilled(this, H);
  if (FStopRequested) return;
  H->dwFlags = (H->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
  H->SavedBytes = H->dwBytesRecorded;
  const DWORD align = FPWaveFormat && FPWaveFormat->nBlockAlign ? FPWaveFormat->nBlockAlign : 1;
  const std::uint64_t samples = H->dwBufferLength / align;
  // Counted before the write: the card may hand the buffer back before
  // waveOutWrite returns.
  ++FQueued;
  ++FUnhandled;
  FSamplesQueued += samples;
  const MMRESULT r = waveOutWrite(FWaveOutHandle.load(), H, sizeof(WAVEHDR));
  if (r != MMSYSERR_NOERROR) {
    --FQueued;
    --FUnhandled;
    FSamplesQueued -= samples;
    DeviceError(kWritePrefix, r);
  }
  H->dwBytesRecorded = H->SavedBytes;
}

int TMMWaveOut::FillRing() {
  const DWORD real = DWORD(FRealBufferSize);
  int queued = 0;
  FMoreBuffers = true;
  for (int i = 0; i < FNumBuffers && FMoreBuffers; ++i) {
    if (!FBuffers[i]) {
      // Start takes the blocks; a Reset after a short Start may reach slots
      // that never got one.
      void* block = FAllocator.GetBuffer(GPTR, MMBufferBlockSize(real));
      if (!block) Error(waveoutmsg::kNoHeaderMemory);
      FBuffers[i] = MMInitBufferHeader(block, real);
      const MMRESULT r = waveOutPrepareHeader(FWaveOutHandle.load(), FBuffers[i], sizeof(WAVEHDR));
      if (r != MMSYSERR_NOERROR) DeviceError(kPreparePrefix, r);
    }
    if (LoadBuffer(FBuffers[i]) < 1) break;
    const int before = FQueued.load();
    QueueBuffer(FBuffers[i]);
    if (FQueued.load() > before) ++queued;
  }
  return queued;
}

void TMMWaveOut::UnprepareHeaders() {
  const HWAVEOUT h = FWaveOutHandle.load();
  for (PMMBufferHeader H : FBuffers) {
    if (!H) continue;
    int polls = 0;
    while (!(H->dwFlags & WHDR_DONE) && polls < 65000) ++polls;
    if (!(H->dwFlags & WHDR_DONE)) H->dwFlags = WHDR_DONE;
    if (h) waveOutUnprepareHeader(h, H, sizeof(WAVEHDR));
  }
}

void TMMWaveOut::ReleaseBuffers() {
  for (PMMBufferHeader& H : FBuffers) {
    if (!H) continue;
    void* block = H;
    FAllocator.ReleaseBuffer(block);
    H = nullptr;
  }
}

// ---------------------------------------------------------------- start, pause, restart

void TMMWaveOut::Start() {
  if (!(FState & wosOpen)) Open();
  if (!(FState & wosOpen) || (FState & wosPlaying)) return;
  auto fail = [this] {
    FState |= wosPlaying;
    Close();
    FState = wosClosed;
  };
  try {
    std::lock_guard lock(FCritSect);
    FBytesPlayed = 0;
    FAccumulated = 0;
    FLastReading = 0;
    FWrapCount = FWrapAmount = 0;
    FLoopOrigin = 0;
    FLoopsLeft = FLoopCount;
    FInHandler = 0;
    FStopAfterDrain = false;
    FResetInProgress = false;
    FStopRequested = false;
    FStopPosted = false;
    FDraining = false;
    FBufIndex = 0;
    FQueued = 0;
    FUnhandled = 0;
    FSamplesQueued = 0;

    HourGlass hourglass(FShowHourGlass && std::int64_t(FBufferSize) * FNumBuffers > 100000);
    // Nothing may be heard before the ring is full.
    MMRESULT r = waveOutPause(FWaveOutHandle.load());
    if (r != MMSYSERR_NOERROR) DeviceError(kPausePrefix, r);
    TMMCustomSoundComponent::Started();  // the wave file seeks to its saved position
    FBuffersUsed = FillRing();
    FState |= wosPlaying;
    hourglass.restore();

    if (FBuffersUsed == 0) {
      TMMCustomSoundComponent::Stopped();
      Error(std::string(kStartPrefix) + waveoutmsg::kUnableToStart);
    }
    if (!(FState & wosPaused)) {
      r = waveOutRestart(FWaveOutHandle.load());
      if (r != MMSYSERR_NOERROR) DeviceError(kRestartPrefix, r);
    }
    Fire(OnStart);
  } catch (...) {
    Failed(fail);
  }
}

void TMMWaveOut::Pause() {
  if (!(FState & wosOpen)) Open();
  if (!(FState & wosOpen) || (FState & wosPaused)) return;
  try {
    std::lock_guard lock(FCritSect);
    if (FState & wosPlaying) {
      const HWAVEOUT h = FWaveOutHandle.load();
      MMRESULT r = waveOutPause(h);
      if (r != MMSYSERR_NOERROR) DeviceError(kPausePrefix, r);
      FState |= wosPaused;
      if (IsSecondary()) {
        // Fed by another device: what is queued now would be stale later.
        FAccumulated += GetDevicePosition();
        FResetInProgress = true;
        r = waveOutReset(h);
        if (r > MMSYSERR_NOERROR) DeviceError(kResetPrefix, r);
        FBufIndex = 0;
        FQueued = 0;
        FUnhandled = 0;
        FSamplesQueued = 0;
      }
    }
    FState |= wosPaused;
    TMMCustomSoundComponent::Paused();
    Fire(OnPause);
  } catch (...) {
    Failed([this] { Close(); });
  }
}

void TMMWaveOut::Restart() {
  if (!(FState & wosPlaying) || !(FState & wosPaused)) return;
  try {
    std::lock_guard lock(FCritSect);
    FResetInProgress = false;
    TMMCustomSoundComponent::Restarted();
    const MMRESULT r = waveOutRestart(FWaveOutHandle.load());
    if (r != MMSYSERR_NOERROR) DeviceError(kRestartPrefix, r);
    FState &= ~TMMWaveOutState(wosPaused);
    Fire(OnRestart);
  } catch (...) {
    Failed([this] { Close(); });
  }
}

void TMMWaveOut::Reset() {
  if (!(FState & (wosPlaying | wosPaused)) || FResetInProgress) return;
  try {
    std::lock_guard lock(FCritSect);
    const HWAVEOUT h = FWaveOutHandle.load();
    FResetInProgress = true;
    MMRESULT r = waveOutPause(h);
    if (r != MMSYSERR_NOERROR) DeviceError(kPausePrefix, r);
    // Notices of the buffers queued so far must not be taken for the refill.
    ++FRun;
    if (FCallBackMode == cmWindow && FHandle) RemovePendingMessages(FHandle, MM_WOM_DONE);
    r = waveOutReset(h);
    if (r > MMSYSERR_NOERROR) DeviceError(kResetPrefix, r);
    // The returning buffers end the reset; with nothing queued none return.
    WaitRounds(100, [this] { return !FResetInProgress || FQueued.load() <= 0; }, FCallBackMode == cmWindow);
    FResetInProgress = false;
    r = waveOutRestart(h);
    if (r != MMSYSERR_NOERROR) DeviceError(kRestartPrefix, r);
    r = waveOutPause(h);
    if (r != MMSYSERR_NOERROR) DeviceError(kPausePrefix, r);
    FBufIndex = 0;
    FQueued = 0;
    FUnhandled = 0;
    FSamplesQueued = 0;
    FAccumulated = 0;
    FLastReading = 0;
    FWrapCount = FWrapAmount = 0;
    FLoopOrigin = 0;
    TMMCustomSoundComponent::PositionReset();
    FBuffersUsed = FillRing();
    if (!(FState & wosPaused)) {
      r = waveOutRestart(h);
      if (r != MMSYSERR_NOERROR) DeviceError(kRestartPrefix, r);
    }
    if (FBuffersUsed == 0) Stop();
  } catch (...) {
    Failed([this] { Close(); });
  }
}

// ---------------------------------------------------------------- stop

void TMMWaveOut::Stop() {
  if (!(FState & (wosPlaying | wosPaused))) return;
  try {
    std::lock_guard lock(FCritSect);
    FStopRequested = true;
    FResetInProgress = true;
    FPositionAtStop = GetPosition();
    FWrapCount = FWrapAmount = 0;
    const MMRESULT r = waveOutReset(FWaveOutHandle.load());
    if (r > MMSYSERR_NOERROR) DeviceError(kResetPrefix, r);
    if (FInHandler.load() > 0) {
      // Called from inside a buffer's handling: finish once it has unwound.
      FStopAfterDrain = true;
      return;
    }
    FinishStop();
  } catch (...) {
    Failed([this] { Close(); });
  }
}

void TMMWaveOut::FinishStop() {
  FState &= ~TMMWaveOutState(wosPlaying | wosPaused);
  WaitRounds(500, [this] { return FQueued.load() <= 0; }, FCallBackMode == cmWindow);
  TMMCustomSoundComponent::Stopped();
  UnprepareHeaders();
  ReleaseBuffers();
  FBuffersUsed = 0;
  FQueued = 0;
  FUnhandled = 0;
  FSamplesQueued = 0;
  FBufIndex = 0;
  FStopAfterDrain = false;
  FDraining = false;
  ++FRun;
  if (FHandle && FCallBackMode == cmWindow) {
    // Notices of this run must not reach the next one.
    RemovePendingMessages(FHandle, MM_WOM_DONE);
    RemovePendingMessages(FHandle, kStopMessage);
  }
  if (!InState(csDestroying)) Fire(OnStop);
  if (FClosePending) Close();
}

bool TMMWaveOut::DeviceDrained() {
  if (!FWaveOutHandle.load() || !(FState & wosPlaying)) return true;
  const auto heard = DWORD(GetDevicePosition());
  const auto queued = DWORD(FSamplesQueued.load());
  return std::int32_t(queued - heard) <= 0;
}

void TMMWaveOut::CheckDrained() {
  if (DeviceDrained()) {
    FDraining = false;
    Stop();
    return;
  }
  // Look again once the device has had time to let the rest out: after the
  // next period when a test steps the card, else after the remaining time.
  const HWAVEOUT h = FWaveOutHandle.load();
  if (soundcard::ActiveClock() == soundcard::Clock::Stepped) {
    PostMessage(FHandle, kStopMessage, WPARAM(h), 0);
    return;
  }
  const auto left = std::int64_t(DWORD(FSamplesQueued.load()) - DWORD(GetDevicePosition()));
  const std::int64_t rate = FPWaveFormat && FPWaveFormat->nSamplesPerSec ? FPWaveFormat->nSamplesPerSec : 44100;
  const int ms = int(std::clamp<std::int64_t>(left * 1000 / rate + 1, 1, 1000));
  QTimer::singleShot(ms, this, [this, h] {
    if (FWaveOutHandle.load() == h && FHandle) PostMessage(FHandle, kStopMessage, WPARAM(h), 0);
  });
}

// ---------------------------------------------------------------- buffer return

void TMMWaveOut::ProcessBuffer(PWaveHdr) {
  if (!(FState & wosPlaying) || FResetInProgress || FStopRequested || FBuffersUsed <= 0) return;
  --FUnhandled;
  ++FInHandler;
  try {
    // The driver plays the buffers in the order they were queued.
    const PMMBufferHeader H = FBuffers[FBufIndex];
    {
      std::lock_guard lock(FCritSect);
      FBytesPlayed += H->dwBufferLength;
    }
    FBufIndex = (FBufIndex + 1) % FBuffersUsed;
    H->dwBytesRecorded = H->SavedBytes;
    const PMMBufferHeader heard = FBuffers[FBufIndex];
    H->LinkedHeader = heard;
    if (heard) heard->dwBytesRecorded = heard->SavedBytes;
    TMMDSPComponent::BufferReady(H);

    ReadDevicePosition();
    if (FMoreBuffers && !FStopAfterDrain) {
      if (FLooping && H->LoopMark != 0) {
        {
          std::lock_guard lock(FCritSect);
          FLoopOrigin = FLastReading;
        }
        H->LoopMark = 0;
        TMMCustomSoundComponent::Looped();
        Fire(OnLooping);
      }
      for (int i = 0; i < 65000 && !(H->dwFlags & WHDR_DONE); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const int loaded = LoadBuffer(H);
      if (loaded <= 0 && !FStopAfterDrain) Error(waveoutmsg::kFillError);
      if (!FStopAfterDrain) QueueBuffer(H);
    }
  } catch (...) {
    Failed([this] { EndOfDelivery(); });
  }
  EndOfDelivery();
}

void TMMWaveOut::EndOfDelivery() {
  if (--FInHandler != 0) return;
  const bool stopDue = FStopAfterDrain.load() || FUnhandled.load() <= 0;
  if (!stopDue || FStopPosted.load()) return;
  FStopPosted = true;
  FStopRequested = true;
  if (FStopAfterDrain) {
    const MMRESULT r = waveOutPause(FWaveOutHandle.load());
    if (r != MMSYSERR_NOERROR) DeviceError(kPausePrefix, r);
  } else {
    // The end of the data: the device still holds the last of it, so it
    // keeps playing until CheckDrained finds it silent.
    FDraining = true;
  }
  PostMessage(FHandle, kStopMessage, WPARAM(FWaveOutHandle.load()), 0);
}

// ---------------------------------------------------------------- notifications

void TMMWaveOut::WaveOutFunc(void* hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR) noexcept {
  auto* self = reinterpret_cast<TMMWaveOut*>(dwInstance);
  switch (uMsg) {
    case MM_WOM_OPEN: self->FState = wosOpen; break;
    case MM_WOM_CLOSE: self->FState = wosClosed; break;
    case MM_WOM_DONE: {
      const int left = --self->FQueued;
      if (self->FResetInProgress.load()) {
        if (left == 0) self->FResetInProgress = false;
        return;
      }
      if (self->FStopRequested.load()) return;
      if (self->FCallBackMode == cmThread && self->FThread)
        self->FThread->Post(MM_WOM_DONE, WPARAM(hdrvr), LPARAM(dwParam1), self->FRun.load());
      else
        PostMessage(self->FHandle, MM_WOM_DONE, WPARAM(hdrvr), LPARAM(dwParam1));
      break;
    }
    default: break;
  }
}

LRESULT TMMWaveOut::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const HWAVEOUT h = FWaveOutHandle.load();
  if (!h || wParam != WPARAM(h)) return DefWindowProc(wnd, msg, wParam, lParam);
  try {
    switch (msg) {
      case MM_WOM_OPEN: FState = wosOpen; break;
      case MM_WOM_CLOSE: FState = wosClosed; break;
      case MM_WOM_DONE:
        // The callback function has counted the buffer already.
        if (!FStopRequested) ProcessBuffer(reinterpret_cast<PWaveHdr>(lParam));
        break;
      case kStopMessage:
        if (FDraining)
          CheckDrained();
        else
          Stop();
        break;
      case kThreadFailedMessage:
        if (FThreadFailed) Close();
        break;
      default: return DefWindowProc(wnd, msg, wParam, lParam);
    }
  } catch (const EMMWaveOutError&) {
    Close();
    ApplicationHandleException(std::current_exception());
  } catch (...) {
    FireError();
    Close();
    ApplicationHandleException(std::current_exception());
  }
  return 0;
}
