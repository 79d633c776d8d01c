#include "audio/MMWavIn.h"

#include <algorithm>

#include "audio/MMEngineWait.h"
#include "audio/MMTimeFormat.h"
#include "platform/winmsg/winmsg.h"

namespace {

constexpr int kWaitRounds = 100;

}  // namespace

// ================================================================ TMMCustomWaveIn

TMMCustomWaveIn::TMMCustomWaveIn(QObject* AOwner, TMMWaveInFunctions Calls)
    : TMMCustomSoundComponent(AOwner), FCalls(std::move(Calls)) {
  FNumDevs = FCalls.GetNumDevs ? FCalls.GetNumDevs() : 0;
  if (!InState(csDesigning))
    FWindow = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WindowProc(w, m, wp, lp); });
  SetDeviceID(0);
  BuildFormat();
}

TMMCustomWaveIn::~TMMCustomWaveIn() {
  Destroying();
  if (FDevice.load()) Close();
  EndThread();
  if (FWindow) DeallocateHWnd(FWindow);
  FWindow = nullptr;
}

// ---------------------------------------------------------------- errors

void TMMCustomWaveIn::FireError() {
  if (OnError) OnError(this);
}

void TMMCustomWaveIn::DeviceError(const char* Prefix, MMRESULT Result) {
  FLastResult = Result;
  MMDeviceFailed<EMMWaveInError>(*this, FCalls, Prefix, Result);
}

void TMMCustomWaveIn::CheckClosed() {
  if (FState.load() & wisOpen) Error(waveinmsg::kPropertyWhileOpen);
}

// ---------------------------------------------------------------- properties

void TMMCustomWaveIn::SetNumBuffers(int Value) {
  if (Value <= 1) return;
  Value = std::min(Value, kMaxBuffers);
  if (Value == FNumBuffers) return;
  CheckClosed();
  FNumBuffers = Value;
}

void TMMCustomWaveIn::SetDeviceID(TMMDeviceId Value) {
  CheckClosed();
  const bool inRange = MMDeviceIdInRange(Value, FNumDevs);
  MMSelectDevice(FCalls, FNumDevs > 0 && inRange, Value, FCaps, FProductName, FDriverVersion, waveinmsg::kNoDevice);
  FDeviceID = inRange ? Value : InvalidId;
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode Value) {
  CheckClosed();
  if (MMAcceptCallbackMode(Value, waveinmsg::kCallbackCaption)) FCallBackMode = Value;
}

void TMMCustomWaveIn::SetMode(TMMMode Value) {
  if (Value != mMono && Value != mStereo) return;
  if (Value == FMode) return;
  CheckClosed();
  FMode = Value;
  BuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits Value) {
  if (Value != b8Bit && Value != b16Bit) return;
  if (Value == FBitLength) return;
  CheckClosed();
  FBitLength = Value;
  BuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int Value) {
  Value = std::clamp(Value, 8000, 100000);
  if (Value == FSampleRate) return;
  CheckClosed();
  FSampleRate = Value;
  BuildFormat();
}

void TMMCustomWaveIn::BuildFormat() {
  const WAVEFORMATEX format = pcmBuildWaveHeader((FBitLength + 1) * 8, FMode + 1, FSampleRate);
  SetWaveFormat(&format);
}

std::int64_t TMMCustomWaveIn::LimitInBytes(TMMTimeFormats Format) const {
  if (FMaxRecordTime < 0 || !FPWaveFormat) return INT32_MAX;
  std::int64_t bytes = MMTimeToBytes(FPWaveFormat, FMaxRecordTime, Format);
  if (bytes < 0) return INT32_MAX;
  bytes = std::min<std::int64_t>(bytes, INT32_MAX);
  const int align = FPWaveFormat->nBlockAlign;
  if (align > 0) bytes -= bytes % align;
  return bytes;
}

void TMMCustomWaveIn::ComputeLimit() { FRecordLimit = LimitInBytes(FTimeFormat); }

void TMMCustomWaveIn::SetMaxRecordTime(std::int32_t Value) {
  FMaxRecordTime = Value;
  ComputeLimit();
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats Value) {
  if (Value == FTimeFormat) return;
  if (FMaxRecordTime >= 0 && FPWaveFormat) {
    const std::int64_t time = MMBytesToTime(FPWaveFormat, LimitInBytes(FTimeFormat), Value);
    FMaxRecordTime = static_cast<std::int32_t>(std::clamp<std::int64_t>(time, 0, INT32_MAX));
  }
  FTimeFormat = Value;
  ComputeLimit();
}

// ---------------------------------------------------------------- chain

void TMMCustomWaveIn::SetWaveFormat(const WAVEFORMATEX* Format) {
  if (Format && pcmIsValidFormat(Format)) {
    Close();
    FSampleRate = static_cast<int>(Format->nSamplesPerSec);
    FBitLength = static_cast<TMMBits>(Format->wBitsPerSample / 8 - 1);
    FMode = static_cast<TMMMode>(Format->nChannels - 1);
  }
  TMMCustomSoundComponent::SetWaveFormat(Format);
  ComputeLimit();
}

void TMMCustomWaveIn::SetBufferSize(int Value) {
  Value = std::max(Value, TMMBufferRing::kMinBufferSize);
  if (Value == FBufferSize) return;
  CheckClosed();
  FBuffers.FreeAll();
  TMMCustomSoundComponent::SetBufferSize(Value);
}

void TMMCustomWaveIn::BufferReady(PMMBufferHeader lpWaveHdr) {
  // The voice of all the recorded bytes leaves the device's ring, also of
  // those the limit cuts off, so the next buffer's voice is its own.
  if (FVoiceOn) TakeVoice(lpWaveHdr->dwBytesRecorded);
  bool stopDue = false;
  std::int64_t total = FRun.BytesRecorded.load() + lpWaveHdr->dwBytesRecorded;
  if (FMaxRecordTime > 0 && total >= FRecordLimit) {
    const std::int64_t excess = total - FRecordLimit;
    lpWaveHdr->dwBytesRecorded =
        static_cast<DWORD>(std::max<std::int64_t>(std::int64_t{lpWaveHdr->dwBytesRecorded} - excess, 0));
    total = FRecordLimit;
    stopDue = true;
  }
  FRun.BytesRecorded.store(total);
  const DWORD bytes = lpWaveHdr->dwBytesRecorded;
  TMMCustomSoundComponent::BufferReady(lpWaveHdr);
  // After the chain, so that a component that gave up on this buffer (a
  // file on a full disk) is known before its voice goes anywhere.
  if (FVoiceOn && OnVoice && bytes > 0) OnVoice(FVoice.data(), bytes);
  if (stopDue) Stop();
}

// ---------------------------------------------------------------- voice

void TMMCustomWaveIn::EnableVoice() {
  FVoiceOn = false;
  if (!FWantsVoice) return;
  // Room for the voice of every buffer at the device twice over: the ring
  // holds no more than the buffers returned and not yet delivered.
  const DWORD ringBytes = static_cast<DWORD>(2 * FNumBuffers * RealBufferSize());
  const MMRESULT r =
      FCalls.EnableVoice ? FCalls.EnableVoice(FDevice.load(), ringBytes) : MMRESULT(MMSYSERR_NOTSUPPORTED);
  if (r != MMSYSERR_NOERROR) DeviceError("WaveInEnableVoice:\n\r", r);
  FVoice.assign(static_cast<std::size_t>(RealBufferSize()), 0);
  FVoiceOn = true;
}

void TMMCustomWaveIn::TakeVoice(DWORD Bytes) {
  Bytes = std::min<DWORD>(Bytes, static_cast<DWORD>(FVoice.size()));
  DWORD read = 0;
  if (FCalls.ReadVoice(FDevice.load(), FVoice.data(), Bytes, &read) != MMSYSERR_NOERROR) read = 0;
  std::fill(FVoice.begin() + read, FVoice.begin() + Bytes, pcmSilenceByte(FPWaveFormat));
}

void TMMCustomWaveIn::DropVoice(DWORD Bytes) {
  DWORD read = 0;
  if (FVoiceOn) FCalls.ReadVoice(FDevice.load(), nullptr, Bytes, &read);
}

// ---------------------------------------------------------------- device

bool TMMCustomWaveIn::QueryDevice(TMMDeviceId Id, const WAVEFORMATEX* Format) {
  if (!MMDeviceIdInRange(Id, FNumDevs) || !Format) return false;
  if (FCalls.Open(nullptr, static_cast<UINT>(Id), Format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) return false;
  if (Format->wFormatTag != WAVE_FORMAT_PCM) return true;
  WAVEINCAPS caps{};
  if (FCalls.GetDevCaps(static_cast<UINT>(Id), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  return MMCapsAllowFormat(caps.dwFormats, *Format);
}

void TMMCustomWaveIn::AllocateBuffers() {
  const DWORD real = static_cast<DWORD>(RealBufferSize());
  for (int i = 0; i < FNumBuffers; ++i) {
    if (!FBuffers.Fill(i, real)) Error(waveinmsg::kNoHeaderMemory);
  }
}

void TMMCustomWaveIn::PrepareHeaders() {
  for (int i = 0; i < FNumBuffers; ++i) {
    const MMRESULT r = FCalls.PrepareHeader(FDevice.load(), FBuffers[i], sizeof(WAVEHDR));
    if (r != MMSYSERR_NOERROR) DeviceError("WaveInPrepareHeader:\n\r", r);
  }
}

void TMMCustomWaveIn::UnprepareHeaders() {
  const MMRESULT r = FBuffers.UnprepareAll(true, WHDR_DONE | WHDR_PREPARED, [this](PMMBufferHeader H) {
    return FCalls.UnprepareHeader(FDevice.load(), H, sizeof(WAVEHDR));
  });
  if (r != MMSYSERR_NOERROR) DeviceError("WaveInUnprepareHeader:\n\r", r);
}

void TMMCustomWaveIn::AddBuffer(PMMBufferHeader H) {
  H->dwFlags &= ~WHDR_DONE;
  H->dwFlags |= WHDR_PREPARED;
  // Counted before the call: a driver may hand it back on its own thread
  // before the call returns.
  FRun.Queued.fetch_add(1);
  const MMRESULT r = FCalls.AddBuffer(FDevice.load(), H, sizeof(WAVEHDR));
  if (r != MMSYSERR_NOERROR) {
    FRun.Queued.fetch_sub(1);
    DeviceError("WaveInAddBuffer:\n\r", r);
  }
}

void TMMCustomWaveIn::GetDevicePosition() {
  std::int64_t samples = 0;
  const MMRESULT r = MMReadSamplePosition(FCalls, FDevice.load(), FPWaveFormat, samples);
  if (r != MMSYSERR_NOERROR) DeviceError("WaveInGetPosition:\n\r", r);
  FSamplePosition.store(samples);
}

// ---------------------------------------------------------------- worker thread

void TMMCustomWaveIn::StartThread() {
  FThreadFailure.Clear();
  FThread = TMMEngineWorker::Launch(this, [this](const TMMEngineNotice& n, const std::atomic<bool>&) { return HandleNotice(n); });
  if (!FThread) Error(std::string("WaveIn:\n\r") + waveinmsg::kNoThread);
}

void TMMCustomWaveIn::EndThread() {
  FThread.reset();  // quits and waits until the loop has ended
}

bool TMMCustomWaveIn::HandleNotice(const TMMEngineNotice& Notice) {
  if (FThreadFailure.Failed() || Notice.WParam != reinterpret_cast<WPARAM>(FDevice.load())) return true;
  try {
    ProcessBuffer(reinterpret_cast<PMMBufferHeader>(Notice.LParam));
  } catch (...) {
    // Closing the device and reporting happen on the main thread.
    FThreadFailure.Record(std::current_exception());
    PostMessage(FWindow, MM_ENGINE_THREADFAIL, Notice.WParam, 0);
  }
  return true;
}

// ---------------------------------------------------------------- sequences

void TMMCustomWaveIn::Open() {
  if (FNumDevs == 0) Error(waveinmsg::kNoDevice);
  if (FDeviceID == InvalidId) Error(waveinmsg::kInvalidDeviceId);
  if (!FPWaveFormat) Error(waveinmsg::kInvalidFormat);
  Guarded(
      [&] {
        if (FState.load() & wisOpen) Close();
        if (!FRunState.Is(TMMEngineState::Closing)) FRun.ResetInProgress = false;
        if (!QueryDevice(FDeviceID, FPWaveFormat)) Error(std::string("WaveInOpen:\n\r") + waveinmsg::kCantRecordFormat);
        if (!FWindow)
          FWindow = AllocateHWnd([this](HWND w, UINT m, WPARAM wp, LPARAM lp) { return WindowProc(w, m, wp, lp); });
        FDevice = nullptr;
        if (FCallBackMode == cmThread) StartThread();

        // This platform passes the driver our callback function, which only
        // flips the flags and forwards buffers by CallBackMode.
        HWAVEIN handle = nullptr;
        const MMRESULT r = FCalls.Open(&handle, static_cast<UINT>(FDeviceID), FPWaveFormat,
                                       reinterpret_cast<DWORD_PTR>(&TMMCustomWaveIn::DriverCallback),
                                       reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        if (r != MMSYSERR_NOERROR) DeviceError("WaveInOpen:\n\r", r);
        FDevice = handle;

        // While the chain opens, the engine looks closed: a component that
        // stops or closes the recording from its Opened does nothing then.
        const TMMWaveInState saved = FState.exchange(wisClosed);
        try {
          TMMCustomSoundComponent::Opened();
        } catch (...) {
          TMMWaveInState expected = wisClosed;
          FState.compare_exchange_strong(expected, saved);
          throw;
        }
        TMMWaveInState expected = wisClosed;
        FState.compare_exchange_strong(expected, saved);

        MMWaitRounds(kWaitRounds, [this] { return (FState.load() & wisOpen) != 0; }, false);
        if (!(FState.load() & wisOpen)) Error(std::string("WaveInOpen:\n\r") + waveinmsg::kUnableToOpen);
        AllocateBuffers();
        PrepareHeaders();
        EnableVoice();
        if (OnOpen) OnOpen(this);
      },
      [&] {
        FState = wisOpen;
        Close();
        FState = wisClosed;
      });
}

void TMMCustomWaveIn::Start() {
  if (!(FState.load() & wisOpen)) Open();
  const TMMWaveInState state = FState.load();
  if (!(state & wisOpen) || (state & wisRecording)) return;
  // Not in the middle of a stop or a close (from its OnStop, say): that
  // run would start on a device being let go.
  if (!FRunState.Is(TMMEngineState::Stopped)) return;
  Guarded(
      [&] {
        FRunState.Set(TMMEngineState::Starting);
        FRun = {};
        // Voice of an earlier run that was never delivered goes.
        DropVoice(0xFFFFFFFF);
        ComputeLimit();
        for (int i = 0; i < FNumBuffers; ++i) AddBuffer(FBuffers[i]);
        FState |= wisRecording;
        FRunState.Set(TMMEngineState::Running);
        // The chain starts before the device does, so that the first buffer
        // finds every component ready even when it is handled on another
        // thread.
        TMMCustomSoundComponent::Started();
        if (!(FState.load() & wisPaused)) {
          const MMRESULT r = FCalls.Start(FDevice.load());
          if (r != MMSYSERR_NOERROR) DeviceError("WaveInStart:\n\r", r);
        }
        if (OnStart) OnStart(this);
      },
      [&] {
        FState |= wisRecording;
        Close();
        FState = wisClosed;
      });
}

void TMMCustomWaveIn::Pause() {
  if (!(FState.load() & wisOpen)) Open();
  const TMMWaveInState state = FState.load();
  if (!(state & wisOpen) || (state & wisPaused)) return;
  Guarded(
      [&] {
        if (FState.load() & wisRecording) {
          // The partly filled buffer comes back and is delivered as usual.
          const MMRESULT r = FCalls.Stop(FDevice.load());
          if (r != MMSYSERR_NOERROR) DeviceError("WaveInPause:\n\r", r);
        }
        FState |= wisPaused;
        TMMCustomSoundComponent::Paused();
        if (OnPause) OnPause(this);
      },
      [&] { Close(); });
}

void TMMCustomWaveIn::Restart() {
  const TMMWaveInState state = FState.load();
  if (!(state & wisRecording) || !(state & wisPaused)) return;
  Guarded(
      [&] {
        const MMRESULT r = FCalls.Start(FDevice.load());
        if (r != MMSYSERR_NOERROR) DeviceError("WaveInRestart:\n\r", r);
        FState &= ~wisPaused;
        TMMCustomSoundComponent::Restarted();
        if (OnRestart) OnRestart(this);
      },
      [&] { Close(); });
}

void TMMCustomWaveIn::EnterStop() {
  switch (FRunState.Get()) {
    case TMMEngineState::Stopping:
    case TMMEngineState::Closing: break;
    default: FRunState.Set(TMMEngineState::Stopping);
  }
}

void TMMCustomWaveIn::DeferStop(bool CloseAfter) {
  FRunState.Set(FRunState.Is(TMMEngineState::Closing) || CloseAfter ? TMMEngineState::CloseDeferred
                                                                     : TMMEngineState::StopDeferred);
}

void TMMCustomWaveIn::Stop() {
  if (!(FState.load() & (wisRecording | wisPaused))) return;
  Guarded(
      [&] {
        // A close that waited for this stop follows it.
        const bool closeAfter = FRunState.Is(TMMEngineState::CloseDeferred);
        {
          std::lock_guard guard(FLock);
          EnterStop();
          MMRESULT r = FCalls.Stop(FDevice.load());
          if (r != MMSYSERR_NOERROR) DeviceError("WaveInStop:\n\r", r);
          FRun.ResetInProgress = true;
          r = FCalls.Reset(FDevice.load());
          if (r != MMSYSERR_NOERROR) DeviceError("WaveInReset:\n\r", r);
        }
        // Buffers that come back now are counted, not delivered.
        if (FRun.Deliveries.load() == 0)
          MMWaitRounds(kWaitRounds, [this] { return FRun.Queued.load() <= 0; }, FCallBackMode == cmWindow);
        // The wait handles messages: a deferred stop among them has finished
        // the stop already, OnStop included.
        if (!(FState.load() & (wisRecording | wisPaused))) {
          if (closeAfter) Close();
          return;
        }

        if (FRun.Deliveries.load() > 0) {
          // A buffer is being delivered (the stop came from inside it): the
          // stop completes from the private message once it has unwound.
          DeferStop(closeAfter);
          return;
        }
        FState &= ~(wisRecording | wisPaused);
        FRun.Queued = 0;
        if (FRunState.Is(TMMEngineState::Stopping)) FRunState.Set(TMMEngineState::Stopped);
        // A second stop message of this run (from a delivery the stop let
        // through) must not reach the next one.
        if (FWindow && FCallBackMode == cmWindow) RemovePendingMessages(FWindow, kStopMessage);
        TMMCustomSoundComponent::Stopped();
        if (OnStop && !InState(csDestroying)) OnStop(this);
        if (closeAfter) Close();
      },
      [&] { Close(); });
}

void TMMCustomWaveIn::Close() {
  if (!(FState.load() & wisOpen) || FRunState.Is(TMMEngineState::Closing)) return;
  FRunState.Set(TMMEngineState::Closing);
  bool chainClosed = false;
  try {
    if (FState.load() & (wisRecording | wisPaused)) Stop();
    // Completed by the deferred stop.
    if (FRunState.Is(TMMEngineState::CloseDeferred)) return;
    bool timedOut = false;
    const HWAVEIN handle = FDevice.load();
    if (handle) {
      FCalls.Stop(handle);
      FCalls.Reset(handle);
      UnprepareHeaders();
      const MMRESULT r = FCalls.Close(handle);
      if (r != MMSYSERR_NOERROR) DeviceError("WaveInClose:\n\r", r);
      MMWaitRounds(kWaitRounds, [this] { return (FState.load() & wisClosed) != 0; }, false);
      timedOut = !(FState.load() & wisClosed);
    } else {
      FState = wisClosed;
    }
    chainClosed = true;
    TMMCustomSoundComponent::Closed();
    EndThread();
    FDevice = nullptr;
    FVoiceOn = false;
    FBuffers.ReleaseAll();
    if (FWindow) RemovePendingMessages(FWindow, MM_WIM_DATA);
    FRunState.Set(TMMEngineState::Stopped);
    if (OnClose && !InState(csDestroying)) OnClose(this);
    if (timedOut) Error(std::string("WaveInClose:\n\r") + waveinmsg::kUnableToClose);
  } catch (...) {
    // Close reports through OnError only. Whatever failed, the chain still
    // hears that the device is closed, so that the file is finished with
    // what it holds; the buffers stay with a device that did not close.
    if (!chainClosed) {
      try {
        TMMCustomSoundComponent::Closed();
      } catch (...) {
      }
    }
  }
  // A failure leaves no close under way.
  if (FRunState.Is(TMMEngineState::Closing)) FRunState.Set(TMMEngineState::Stopped);
}

// ---------------------------------------------------------------- buffers

void TMMCustomWaveIn::ProcessBuffer(PMMBufferHeader H) {
  if (!(FState.load() & wisRecording)) {
    DropVoice(H->dwBytesRecorded);
    return;
  }
  bool deliver;
  bool normal;
  {
    std::lock_guard guard(FLock);
    normal = !FRun.ResetInProgress && FRunState.Is(TMMEngineState::Running);
    if (normal) {
      deliver = true;
    } else {
      // Returned by a stop: counted once, delivered at most once, never
      // queued again.
      deliver = !FRun.ResetInProgress && H->dwBytesRecorded > 0;
    }
    if (deliver) FRun.Deliveries.fetch_add(1);
    if (FRun.Queued.fetch_sub(1) <= 1) {
      FRun.Queued = 0;
      if (!normal) FRun.ResetInProgress = false;
    }
  }
  if (!deliver) {
    DropVoice(H->dwBytesRecorded);
    return;
  }

  struct DeliveryCount {
    std::atomic<int>& count;
    ~DeliveryCount() { count.fetch_sub(1); }
  };
  {
    DeliveryCount counted{FRun.Deliveries};
    try {
      BufferReady(H);
      if (normal && FRunState.Is(TMMEngineState::Running)) {
        GetDevicePosition();
        AddBuffer(H);
      }
    } catch (const EMMWaveInError&) {
      throw;
    } catch (...) {
      FireError();
      throw;
    }
  }
  if (FRun.Deliveries.load() == 0 && FRunState.StopIsDeferred()) {
    PostMessage(FWindow, kStopMessage, reinterpret_cast<WPARAM>(FDevice.load()), 0);
  }
}

void TMMCustomWaveIn::DriverCallback(void* hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                     DWORD_PTR /*dwParam2*/) noexcept {
  auto* self = reinterpret_cast<TMMCustomWaveIn*>(dwInstance);
  if (!self) return;
  switch (uMsg) {
    case MM_WIM_OPEN: self->FState = wisOpen; break;
    case MM_WIM_CLOSE: self->FState = wisClosed; break;
    case MM_WIM_DATA: {
      const auto header = static_cast<LPARAM>(dwParam1);
      // cmCallback is refused, so the buffer goes to the window or the worker.
      if (self->FCallBackMode == cmWindow)
        PostMessageRealtime(self->FWindow, MM_WIM_DATA, reinterpret_cast<WPARAM>(hdrvr), header);
      else if (self->FThread)
        self->FThread->Post({MM_WIM_DATA, reinterpret_cast<WPARAM>(hdrvr), header, 0});
      break;
    }
    // The main thread reports it and closes the device.
    case MM_WIM_DEVICELOST: PostMessageRealtime(self->FWindow, MM_WIM_DEVICELOST, reinterpret_cast<WPARAM>(hdrvr), LPARAM(dwParam1)); break;
    default: break;
  }
}

LRESULT TMMCustomWaveIn::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MMEngineWindowProc(*this, FThreadFailure, WPARAM(FDevice.load()), wnd, msg, wParam, lParam, [&] {
    switch (msg) {
      // The open and close notices reach only the callback function.
      case MM_WIM_DATA: ProcessBuffer(reinterpret_cast<PMMBufferHeader>(lParam)); return true;
      case kStopMessage: Stop(); return true;
      // Raised: the device closes and the error is shown.
      case MM_WIM_DEVICELOST: DeviceError("WaveIn:\n\r", MMRESULT(lParam));
      default: return false;
    }
  });
}

// ================================================================ TMMWaveIn

TMMWaveIn::TMMWaveIn(QObject* AOwner) : TMMWaveIn(AOwner, MMWaveInDeviceCalls()) {}

TMMWaveIn::TMMWaveIn(QObject* AOwner, TMMWaveInFunctions Calls) : TMMCustomWaveIn(AOwner, std::move(Calls)) {}
