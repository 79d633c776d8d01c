#include "audio/MMWavOut.h"

#include <algorithm>

#include "audio/MMEngineWait.h"
#include "audio/MMHourGlass.h"
#include "audio/MMTimeFormat.h"
#include "platform/winmsg/winmsg.h"

// ---------------------------------------------------------------- construction

TMMWaveOut::TMMWaveOut(QObject* AOwner) : TMMWaveOut(AOwner, MMWaveOutDeviceCalls()) {}

TMMWaveOut::TMMWaveOut(QObject* AOwner, TMMWaveOutFunctions Calls)
    : TMMCustomWaveOutComponent(AOwner), FCalls(std::move(Calls)) {
  PublishInput();
  PublishOutput();
  FNumDevs = FCalls.GetNumDevs ? FCalls.GetNumDevs() : 0;
  FProductName = waveoutmsg::kNoDevice;
  SetDeviceID(0);
}

TMMWaveOut::~TMMWaveOut() {
  Destroying();
  if (FDevice.load() || (FState & wosOpen)) Close();
  EndThread();
  if (FWindow) DeallocateHWnd(FWindow);
  FWindow = nullptr;
  FBuffers.FreeAll();
}

// ---------------------------------------------------------------- errors and events

void TMMWaveOut::DeviceError(const char* prefix, MMRESULT result) {
  FLastError = result;
  MMDeviceFailed<EMMWaveOutError>(*this, FCalls, prefix, result);
}

void TMMWaveOut::FireError() { Fire(OnError); }

void TMMWaveOut::Fire(const TNotifyEvent& event) {
  if (event) event(this);
}

void TMMWaveOut::CheckClosedForProperty() {
  if ((FState & wosOpen) || FDevice.load()) Error(waveoutmsg::kPropertyWhileOpen);
}

// ---------------------------------------------------------------- properties

void TMMWaveOut::SetDeviceID(TMMDeviceId Value) {
  CheckClosedForProperty();
  const bool valid = FNumDevs > 0 && MMDeviceIdInRange(Value, FNumDevs);
  const MMRESULT r = MMSelectDevice(FCalls, valid, Value, FWaveOutCaps, FProductName, FDriverVersion,
                                    waveoutmsg::kNoDevice);
  if (valid) FLastError = r;
  FDeviceID = valid ? Value : InvalidId;
}

void TMMWaveOut::SetNumBuffers(int Value) {
  if (Value == FNumBuffers || Value <= 1) return;
  CheckClosedForProperty();
  FNumBuffers = std::min(Value, TMMBufferRing::kMaxBuffers);
}

void TMMWaveOut::SetBufferSize(int Value) {
  if (Value == FBufferSize) return;
  CheckClosedForProperty();
  FBuffers.FreeAll();
  TMMCustomWaveOutComponent::SetBufferSize(std::max(Value, TMMBufferRing::kMinBufferSize));
}

void TMMWaveOut::SetCallBackMode(TMMCBMode Value) {
  CheckClosedForProperty();
  if (MMAcceptCallbackMode(Value, waveoutmsg::kCallbackCaption)) FCallBackMode = Value;
}

void TMMWaveOut::SetLooping(bool Value) {
  if (Value == FLooping) return;
  FLooping = Value;
  FRun.LoopsLeft = FLoopCount;
}

void TMMWaveOut::SetLoopCount(WORD Value) {
  if (Value == FLoopCount) return;
  FLoopCount = Value;
  FRun.LoopsLeft = Value;
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
  if (!MMDeviceIdInRange(Id, FNumDevs) || !Format) return false;
  return FCalls.Open(nullptr, UINT(Id), Format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

std::int64_t TMMWaveOut::GetDevicePosition() {
  const HWAVEOUT h = FDevice.load();
  if (!h) return 0;
  std::int64_t samples = 0;
  const MMRESULT r = MMReadSamplePosition(FCalls, h, FPWaveFormat, samples);
  if (r != MMSYSERR_NOERROR) DeviceError("WaveOutGetPosition:\n\r", r);
  return samples;
}

std::int64_t TMMWaveOut::GetPosition() {
  if (!FDevice.load() || !FPWaveFormat || FRunState.Is(TMMEngineState::CloseDeferred)) return 0;
  const std::int64_t samples = GetDevicePosition() + FRun.Accumulated +
                               std::int64_t(FRun.WrapCount) * std::int64_t(FRun.WrapAmount) - FRun.LoopOrigin.load();
  return MMSamplesToTime(FPWaveFormat, samples, FTimeFormat);
}

void TMMWaveOut::ReadDevicePosition() {
  const DWORD now = DWORD(GetDevicePosition());
  // A counter that falls back by a large step has wrapped.
  if (now < FRun.LastReading && FRun.LastReading - now >= 0xFFFF) {
    FRun.WrapAmount = FRun.LastReading | 0xFFFFF;
    ++FRun.WrapCount;
  }
  FRun.LastReading = now;
}

// ---------------------------------------------------------------- open and close

void TMMWaveOut::Open() {
  if (FNumDevs == 0) Error(waveoutmsg::kNoDevice);
  if (FDeviceID == InvalidId) Error(waveoutmsg::kInvalidDeviceId);
  if (!FPWaveFormat) Error(std::string("WaveOutOpen:\n\r") + waveoutmsg::kInvalidFormat);
  auto fail = [this] {
    FState = wosOpen;
    Close();
    FState = wosClosed;
  };
  Guarded([&] {
    if (FState & wosOpen) Close();
    if ((FState & wosOpen) || FRunState.Is(TMMEngineState::Closing) || FRunState.Is(TMMEngineState::CloseDeferred))
      return;
    FRun.ResetInProgress = false;
    if (!QueryDevice(FDeviceID, FPWaveFormat)) Error(std::string("WaveOutOpen:\n\r") + waveoutmsg::kCantPlayFormat);
    if (!FWindow)
      FWindow = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WndProc(w, m, wp, lp); });
    FDevice = nullptr;

    TMMCustomSoundComponent::Opened();  // fixes the real buffer size along the chain
    if (ThreadMode()) StartThread();

    const DWORD flags = (FMapped && FDeviceID >= 0) ? WAVE_MAPPED : 0;
    HWAVEOUT h = nullptr;
    const MMRESULT r = FCalls.Open(&h, UINT(FDeviceID), FPWaveFormat, DWORD_PTR(&TMMWaveOut::WaveOutFunc),
                                  DWORD_PTR(this), flags | CALLBACK_FUNCTION);
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutOpen:\n\r", r);
    FDevice = h;
    if (!MMWaitRounds(500, [this] { return (FState & wosOpen) != 0; }, false))
      Error(std::string("WaveOutOpen:\n\r") + waveoutmsg::kUnableToOpen);
    Fire(OnOpen);
  }, fail);
}

void TMMWaveOut::Close() {
  const bool open = (FState & wosOpen) != 0;
  if (FRunState.Is(TMMEngineState::Closing) || !(open || FRunState.Is(TMMEngineState::CloseDeferred))) return;
  bool timedOut = false;
  try {
    {
      std::lock_guard lock(FLock);
      FRunState.Set(TMMEngineState::Closing);
      if (FState & (wosPlaying | wosPaused)) Stop();
      // A buffer is being handled: the deferred stop completes the close.
      if (FRunState.Is(TMMEngineState::CloseDeferred)) return;
      if (const HWAVEOUT h = FDevice.load()) {
        const MMRESULT r = FCalls.Close(h);
        if (r != MMSYSERR_NOERROR) DeviceError("WaveOutClose:\n\r", r);
        timedOut = !MMWaitRounds(500, [this] { return (FState & wosClosed) != 0; }, false);
        FPositionAtStop = 0;
        FRun.WrapCount = FRun.WrapAmount = 0;
      } else {
        FState = wosClosed;
      }
    }
    TMMCustomSoundComponent::Closed();
    EndThread();
    FDevice = nullptr;
    FRunState.Set(TMMEngineState::Stopped);
    if (!InState(csDestroying)) Fire(OnClose);
    if (timedOut) Error(std::string("WaveOutClose:\n\r") + waveoutmsg::kUnableToClose);
  } catch (const EMMWaveOutError&) {
  } catch (...) {
    FireError();
  }
  // A failure leaves no close under way.
  if (FRunState.Is(TMMEngineState::Closing)) FRunState.Set(TMMEngineState::Stopped);
}

void TMMWaveOut::StartThread() {
  if (FThread) return;
  FThreadFailure.Clear();
  FThread = TMMEngineWorker::Launch(
      this, [this](const TMMEngineNotice& n, const std::atomic<bool>& quit) { return HandleNotice(n, quit); });
  if (!FThread) Error(std::string("WaveOut:\n\r") + waveoutmsg::kNoThread);
  FThread->ApplyPriority(FPriority);
}

void TMMWaveOut::EndThread() {
  if (!FThread) return;
  FThread->Quit();
  FLock.Interrupt();  // a worker waiting for the lock gives up
  FThread.reset();    // joins
}

// False when the worker must end: it failed, or it was told to quit while it
// waited for the engine.
bool TMMWaveOut::HandleNotice(const TMMEngineNotice& notice, const std::atomic<bool>& quit) {
  try {
    // The main thread ends the worker from Close, which may run while it
    // holds the engine's lock (a Close from OnStop, fired under the lock by
    // Stop). Waiting for the lock ends with that quit: the notice belongs to
    // a run that is over then.
    if (!FLock.LockUnless(quit)) return false;
    std::lock_guard lock(FLock, std::adopt_lock);
    if (notice.Run == FRun.Number.load() && notice.WParam == WPARAM(FDevice.load()) &&
        FRunState.Is(TMMEngineState::Running))
      ProcessBuffer(reinterpret_cast<PWaveHdr>(notice.LParam));
    return true;
  } catch (...) {
    // Closing the device and reporting happen on the main thread.
    FThreadFailure.Record(std::current_exception());
    PostMessage(FWindow, MM_ENGINE_THREADFAIL, WPARAM(FDevice.load()), 0);
    return false;
  }
}

// ---------------------------------------------------------------- buffers

void TMMWaveOut::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  const DWORD capacity = DWORD(FRealBufferSize);
  lpWaveHdr->dwBufferLength = capacity;
  lpWaveHdr->dwBytesRecorded = 0;
  lpWaveHdr->LoopFlag = FLooping ? -1 : 0;
  if (FLooping) {
    lpWaveHdr->LoopCount = FLoopCount;
    lpWaveHdr->LoopsLeft = FRun.LoopsLeft;
    lpWaveHdr->LoopMark = 0;
  }
  TMMCustomWaveOutComponent::BufferLoad(lpWaveHdr, MoreBuffers);
  // A chain cannot hand the driver more than the buffer holds.
  lpWaveHdr->dwBytesRecorded = std::min(lpWaveHdr->dwBytesRecorded, capacity);
  lpWaveHdr->dwBufferLength = lpWaveHdr->dwBytesRecorded;
  if (FLooping) FRun.LoopsLeft = lpWaveHdr->LoopsLeft;
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
  if (!FRunState.RunGoesOn()) return;
  H->dwFlags = (H->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
  H->SavedBytes = H->dwBytesRecorded;
  const DWORD align = FPWaveFormat && FPWaveFormat->nBlockAlign ? FPWaveFormat->nBlockAlign : 1;
  const std::uint64_t samples = H->dwBufferLength / align;
  // Counted before the write: the card may hand the buffer back before
  // waveOutWrite returns.
  ++FRun.Queued;
  ++FRun.Unhandled;
  FRun.SamplesQueued += samples;
  const MMRESULT r = FCalls.Write(FDevice.load(), H, sizeof(WAVEHDR));
  if (r != MMSYSERR_NOERROR) {
    --FRun.Queued;
    --FRun.Unhandled;
    FRun.SamplesQueued -= samples;
    DeviceError("WaveOutWrite:\n\r", r);
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
      if (!FBuffers.Fill(i, real)) Error(waveoutmsg::kNoHeaderMemory);
      const MMRESULT r = FCalls.PrepareHeader(FDevice.load(), FBuffers[i], sizeof(WAVEHDR));
      if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPrepareHeader:\n\r", r);
    }
    if (LoadBuffer(FBuffers[i]) < 1) break;
    const int before = FRun.Queued.load();
    QueueBuffer(FBuffers[i]);
    if (FRun.Queued.load() > before) ++queued;
  }
  return queued;
}

void TMMWaveOut::UnprepareHeaders() {
  const HWAVEOUT h = FDevice.load();
  FBuffers.UnprepareAll(false, WHDR_DONE, [&](PMMBufferHeader H) {
    if (h) FCalls.UnprepareHeader(h, H, sizeof(WAVEHDR));
    return MMSYSERR_NOERROR;  // the close goes on whatever the device says
  });
}

// ---------------------------------------------------------------- start, pause, restart

void TMMWaveOut::Start() {
  if (!(FState & wosOpen)) Open();
  if (!(FState & wosOpen) || (FState & wosPlaying)) return;
  // Not in the middle of a stop or a close (from its OnStop, say): that
  // run's buffers would be let go under the device.
  if (!FRunState.Is(TMMEngineState::Stopped)) return;
  auto fail = [this] {
    FState |= wosPlaying;
    Close();
    FState = wosClosed;
  };
  Guarded([&] {
    std::lock_guard lock(FLock);
    FRunState.Set(TMMEngineState::Starting);
    FRun = {.Number = FRun.Number.load(), .LoopsLeft = FLoopCount};

    TMMHourGlass hourglass(FShowHourGlass && std::int64_t(FBufferSize) * FNumBuffers > 100000);
    // Nothing may be heard before the ring is full.
    MMRESULT r = FCalls.Pause(FDevice.load());
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPause:\n\r", r);
    TMMCustomSoundComponent::Started();  // the wave file seeks to its saved position
    FBuffersUsed = FillRing();
    FState |= wosPlaying;
    // A stop asked by the chain meanwhile (of a paused engine) has ended the
    // run already; nothing was queued then.
    if (FRunState.Is(TMMEngineState::Starting)) FRunState.Set(TMMEngineState::Running);
    hourglass.restore();

    if (FBuffersUsed == 0) {
      TMMCustomSoundComponent::Stopped();
      Error(std::string("WaveOutStart:\n\r") + waveoutmsg::kUnableToStart);
    }
    if (!(FState & wosPaused)) {
      r = FCalls.Restart(FDevice.load());
      if (r != MMSYSERR_NOERROR) DeviceError("WaveOutRestart:\n\r", r);
    }
    Fire(OnStart);
  }, fail);
}

void TMMWaveOut::Pause() {
  if (!(FState & wosOpen)) Open();
  if (!(FState & wosOpen) || (FState & wosPaused)) return;
  Guarded([&] {
    std::lock_guard lock(FLock);
    if (FState & wosPlaying) {
      const HWAVEOUT h = FDevice.load();
      MMRESULT r = FCalls.Pause(h);
      if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPause:\n\r", r);
      FState |= wosPaused;
      if (IsSecondary()) {
        // Fed by another device: what is queued now would be stale later.
        FRun.Accumulated += GetDevicePosition();
        FRun.ResetInProgress = true;
        r = FCalls.Reset(h);
        if (r > MMSYSERR_NOERROR) DeviceError("WaveOutReset:\n\r", r);
        FRun.BufIndex = 0;
        FRun.Queued = 0;
        FRun.Unhandled = 0;
        FRun.SamplesQueued = 0;
      }
    }
    FState |= wosPaused;
    TMMCustomSoundComponent::Paused();
    Fire(OnPause);
  }, [this] { Close(); });
}

void TMMWaveOut::Restart() {
  if (!(FState & wosPlaying) || !(FState & wosPaused)) return;
  Guarded([&] {
    std::lock_guard lock(FLock);
    FRun.ResetInProgress = false;
    TMMCustomSoundComponent::Restarted();
    const MMRESULT r = FCalls.Restart(FDevice.load());
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutRestart:\n\r", r);
    FState &= ~TMMWaveOutState(wosPaused);
    Fire(OnRestart);
  }, [this] { Close(); });
}

void TMMWaveOut::Reset() {
  if (!(FState & (wosPlaying | wosPaused)) || FRun.ResetInProgress) return;
  Guarded([&] {
    std::lock_guard lock(FLock);
    const HWAVEOUT h = FDevice.load();
    FRun.ResetInProgress = true;
    MMRESULT r = FCalls.Pause(h);
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPause:\n\r", r);
    // Notices of the buffers queued so far must not be taken for the refill.
    ++FRun.Number;
    if (FCallBackMode == cmWindow && FWindow) RemovePendingMessages(FWindow, MM_WOM_DONE);
    r = FCalls.Reset(h);
    if (r > MMSYSERR_NOERROR) DeviceError("WaveOutReset:\n\r", r);
    // The returning buffers end the reset; with nothing queued none return.
    MMWaitRounds(100, [this] { return !FRun.ResetInProgress || FRun.Queued.load() <= 0; }, FCallBackMode == cmWindow);
    FRun.ResetInProgress = false;
    r = FCalls.Restart(h);
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutRestart:\n\r", r);
    r = FCalls.Pause(h);
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPause:\n\r", r);
    FRun.BufIndex = 0;
    FRun.Queued = 0;
    FRun.Unhandled = 0;
    FRun.SamplesQueued = 0;
    FRun.Accumulated = 0;
    FRun.LastReading = 0;
    FRun.WrapCount = FRun.WrapAmount = 0;
    FRun.LoopOrigin = 0;
    TMMCustomSoundComponent::PositionReset();
    FBuffersUsed = FillRing();
    if (!(FState & wosPaused)) {
      r = FCalls.Restart(h);
      if (r != MMSYSERR_NOERROR) DeviceError("WaveOutRestart:\n\r", r);
    }
    if (FBuffersUsed == 0) Stop();
  }, [this] { Close(); });
}

// ---------------------------------------------------------------- stop

void TMMWaveOut::Stop() {
  if (!(FState & (wosPlaying | wosPaused))) return;
  Guarded([&] {
    std::lock_guard lock(FLock);
    // A close that waited for this stop follows it.
    const bool closeAfter = FRunState.Is(TMMEngineState::CloseDeferred);
    // Inside a close the state stays Closing.
    if (!FRunState.Is(TMMEngineState::Stopping) && !FRunState.Is(TMMEngineState::Closing))
      FRunState.Set(TMMEngineState::Stopping);
    FRun.ResetInProgress = true;
    FPositionAtStop = GetPosition();
    FRun.WrapCount = FRun.WrapAmount = 0;
    const MMRESULT r = FCalls.Reset(FDevice.load());
    if (r > MMSYSERR_NOERROR) DeviceError("WaveOutReset:\n\r", r);
    if (FRun.InHandler.load() > 0) {
      // Called from inside a buffer's handling: finish once it has unwound.
      FRunState.Set(FRunState.Is(TMMEngineState::Closing) || closeAfter ? TMMEngineState::CloseDeferred
                                                                         : TMMEngineState::StopDeferred);
      return;
    }
    FinishStop(closeAfter);
  }, [this] { Close(); });
}

void TMMWaveOut::FinishStop(bool CloseAfter) {
  FState &= ~TMMWaveOutState(wosPlaying | wosPaused);
  MMWaitRounds(500, [this] { return FRun.Queued.load() <= 0; }, FCallBackMode == cmWindow);
  TMMCustomSoundComponent::Stopped();
  UnprepareHeaders();
  FBuffers.ReleaseAll();
  FBuffersUsed = 0;
  FRun.Queued = 0;
  FRun.Unhandled = 0;
  FRun.SamplesQueued = 0;
  FRun.BufIndex = 0;
  ++FRun.Number;
  if (FWindow && FCallBackMode == cmWindow) {
    // Notices of this run must not reach the next one.
    RemovePendingMessages(FWindow, MM_WOM_DONE);
    RemovePendingMessages(FWindow, kStopMessage);
  }
  if (FRunState.Is(TMMEngineState::Stopping)) FRunState.Set(TMMEngineState::Stopped);
  if (!InState(csDestroying)) Fire(OnStop);
  if (CloseAfter) Close();
}

bool TMMWaveOut::DeviceDrained() {
  if (!FDevice.load() || !(FState & wosPlaying)) return true;
  const auto heard = DWORD(GetDevicePosition());
  const auto queued = DWORD(FRun.SamplesQueued.load());
  return std::int32_t(queued - heard) <= 0;
}

void TMMWaveOut::CheckDrained() {
  if (DeviceDrained()) {
    Stop();
    return;
  }
  // The card tells (kDrainedMessage) once the device has let the rest out.
  const MMRESULT r = FCalls.NotifyDrained(FDevice.load(), kDrainedMessage);
  if (r != MMSYSERR_NOERROR) DeviceError("WaveOutNotifyDrained:\n\r", r);
}

// ---------------------------------------------------------------- buffer return

void TMMWaveOut::ProcessBuffer(PWaveHdr) {
  if (!(FState & wosPlaying) || FRun.ResetInProgress || !FRunState.Is(TMMEngineState::Running) || FBuffersUsed <= 0)
    return;
  --FRun.Unhandled;
  ++FRun.InHandler;
  Guarded([&] {
    // The driver plays the buffers in the order they were queued.
    const PMMBufferHeader H = FBuffers[FRun.BufIndex];
    FRun.BytesPlayed += H->dwBufferLength;
    FRun.BufIndex = (FRun.BufIndex + 1) % FBuffersUsed;
    H->dwBytesRecorded = H->SavedBytes;
    const PMMBufferHeader heard = FBuffers[FRun.BufIndex];
    H->LinkedHeader = heard;
    if (heard) heard->dwBytesRecorded = heard->SavedBytes;
    TMMDSPComponent::BufferReady(H);

    ReadDevicePosition();
    // A stop asked by a handler of this buffer leaves the ring as it is.
    if (FMoreBuffers && FRunState.Is(TMMEngineState::Running)) {
      if (FLooping && H->LoopMark != 0) {
        FRun.LoopOrigin = FRun.LastReading;
        H->LoopMark = 0;
        TMMCustomSoundComponent::Looped();
        Fire(OnLooping);
      }
      for (int i = 0; i < 65000 && !MMBufferDone(H); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const int loaded = LoadBuffer(H);
      if (FRunState.Is(TMMEngineState::Running)) {
        if (loaded <= 0) Error(waveoutmsg::kFillError);
        QueueBuffer(H);
      }
    }
  }, [this] { EndOfDelivery(); });
  EndOfDelivery();
}

void TMMWaveOut::EndOfDelivery() {
  if (--FRun.InHandler != 0) return;
  const bool deferred = FRunState.StopIsDeferred();
  const bool ended = FRunState.Is(TMMEngineState::Running) && FRun.Unhandled.load() <= 0;
  if (!deferred && !ended) return;
  if (deferred) {
    const MMRESULT r = FCalls.Pause(FDevice.load());
    if (r != MMSYSERR_NOERROR) DeviceError("WaveOutPause:\n\r", r);
  } else {
    // The end of the data: the device still holds the last of it, so it
    // keeps playing until CheckDrained finds it silent.
    FRunState.Set(TMMEngineState::Draining);
  }
  PostMessage(FWindow, kStopMessage, WPARAM(FDevice.load()), 0);
}

// ---------------------------------------------------------------- notifications

void TMMWaveOut::WaveOutFunc(void* hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                             DWORD_PTR) noexcept {
  auto* self = reinterpret_cast<TMMWaveOut*>(dwInstance);
  switch (uMsg) {
    case MM_WOM_OPEN: self->FState = wosOpen; break;
    case MM_WOM_CLOSE: self->FState = wosClosed; break;
    case MM_WOM_DONE: {
      const int left = --self->FRun.Queued;
      if (self->FRun.ResetInProgress.load()) {
        if (left == 0) self->FRun.ResetInProgress = false;
        return;
      }
      if (!self->FRunState.RunGoesOn()) return;
      if (self->FCallBackMode == cmThread && self->FThread)
        self->FThread->Post({MM_WOM_DONE, WPARAM(hdrvr), LPARAM(dwParam1), self->FRun.Number.load()});
      else
        PostMessageRealtime(self->FWindow, MM_WOM_DONE, WPARAM(hdrvr), LPARAM(dwParam1));
      break;
    }
    case kDrainedMessage: PostMessageRealtime(self->FWindow, kDrainedMessage, WPARAM(hdrvr), 0); break;
    case MM_WOM_DEVICELOST: PostMessageRealtime(self->FWindow, MM_WOM_DEVICELOST, WPARAM(hdrvr), LPARAM(dwParam1)); break;
    default: break;
  }
}

LRESULT TMMWaveOut::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MMEngineWindowProc(*this, FThreadFailure, WPARAM(FDevice.load()), wnd, msg, wParam, lParam, [&] {
    switch (msg) {
      // The open and close notices reach only the callback function.
      case MM_WOM_DONE:
        // The callback function has counted the buffer already.
        if (FRunState.Is(TMMEngineState::Running)) ProcessBuffer(reinterpret_cast<PWaveHdr>(lParam));
        return true;
      case kStopMessage:
        if (FRunState.Is(TMMEngineState::Draining))
          CheckDrained();
        else
          Stop();
        return true;
      case kDrainedMessage:
        if (FRunState.Is(TMMEngineState::Draining)) Stop();
        return true;
      // Raised: the device closes and the error is shown.
      case MM_WOM_DEVICELOST: DeviceError("WaveOut:\n\r", MMRESULT(lParam));
      default: return false;
    }
  });
}
