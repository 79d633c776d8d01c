#include "audio/MMChain.h"

#include <algorithm>

#include "audio/MMDSPThread.h"
#include "platform/winmsg/winmsg.h"

namespace {

constexpr std::size_t kMaxPropName = 20;

std::vector<TMMDSPComponent*>& componentRegistry() {
  static std::vector<TMMDSPComponent*> list;
  return list;
}

std::string truncated(const std::string& name) { return name.substr(0, kMaxPropName); }

}  // namespace

// ---------------------------------------------------------------- TMMDSPComponent

TMMDSPComponent::TMMDSPComponent(QObject* AOwner) : TMMComponent(AOwner) {
  componentRegistry().push_back(this);
}

TMMDSPComponent::~TMMDSPComponent() {
  Destroying();
  ReleaseChain();
}

void TMMDSPComponent::ReleaseChain() {
  SetInput(nullptr);
  SetOutput(nullptr);
  SetWaveFormat(nullptr);
  auto& list = componentRegistry();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  // Removal notice: whoever still points here lets go.
  for (std::size_t i = 0; i < list.size(); ++i) list[i]->Notification(this, TOperation::opRemove);
}

const std::vector<TMMDSPComponent*>& TMMDSPComponent::Instances() { return componentRegistry(); }

void TMMDSPComponent::Notification(TMMComponent* AComponent, TOperation Operation) {
  TMMComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (FInput && static_cast<TMMComponent*>(FInput) == AComponent) AttachInput(nullptr, "");
  if (FOutput && static_cast<TMMComponent*>(FOutput) == AComponent) AttachOutput(nullptr, "");
}

QObject* TMMDSPComponent::ReadPublishedComponent(std::string_view name) const {
  if (name == "Input") return GetInput();
  if (name == "Output") return GetOutput();
  return TMMComponent::ReadPublishedComponent(name);
}

void TMMDSPComponent::Loaded() {
  TMMComponent::Loaded();
  SetWaveFormat(FPWaveFormat);
}

void TMMDSPComponent::BroadcastLinkChange(TMMDSPComponent* Source, bool OutputSide,
                                          const std::string& PropName) {
  auto& list = componentRegistry();
  for (std::size_t i = 0; i < list.size(); ++i) list[i]->NotifyLinkChange(Source, OutputSide, PropName);
}

void TMMDSPComponent::UpdateWaveFormat() {
  if (!CanPushFormat()) return;
  if (FInput)
    ReceiveWaveFormat(FInput->GetWaveFormat());
  else if (FOutput)
    FOutput->ReceiveWaveFormat(FPWaveFormat);
}

void TMMDSPComponent::NotifyLinkChange(TMMDSPComponent* Source, bool OutputSide,
                                       const std::string& PropName) {
  if (!Source) return;
  if (OutputSide) {
    if (FInput == Source && FInputPropName == PropName &&
        Source->PublishedComponent(PropName) == static_cast<QObject*>(this))
      AttachInput(nullptr, "");
  } else {
    if (FOutput == Source && FOutputPropName == PropName &&
        Source->PublishedComponent(PropName) == static_cast<QObject*>(this))
      AttachOutput(nullptr, "");
  }
}

void TMMDSPComponent::SetInput(TMMDSPComponent* Value) {
  if (Value == FInput || (Value && !CanConnectInput(Value))) return;
  Stopped();
  if (FInput) {
    BroadcastLinkChange(this, false, "Input");
    AttachInput(nullptr, "");
    ReceiveWaveFormat(nullptr);
  }
  if (!Value) return;
  BroadcastLinkChange(Value, true, "Output");
  AttachInput(Value, "Output");
  Value->AttachOutput(this, "Input");
  UpdateWaveFormat();
}

TMMDSPComponent* TMMDSPComponent::GetInput() const { return FInput; }

void TMMDSPComponent::SetOutput(TMMDSPComponent* Value) {
  if (Value == FOutput || (Value && !CanConnectOutput(Value))) return;
  Stopped();
  if (FOutput) {
    BroadcastLinkChange(this, true, "Output");
    FOutput->ReceiveWaveFormat(nullptr);
    AttachOutput(nullptr, "");
  }
  if (!Value) return;
  BroadcastLinkChange(Value, false, "Input");
  AttachOutput(Value, "Input");
  Value->AttachInput(this, "Output");
  UpdateWaveFormat();
}

TMMDSPComponent* TMMDSPComponent::GetOutput() const { return FOutput; }

void TMMDSPComponent::SetWaveFormat(const WAVEFORMATEX* Format) {
  if (Format != FPWaveFormat) {
    if (FStarted) Stopped();
    // Copy before freeing: a failed allocation keeps the old copy.
    PWaveFormatEx copy = wioCopyWaveFormat(Format);
    wioFreeWaveFormat(FPWaveFormat);
    FPWaveFormat = copy;
  }
  if (CanPushFormat() && FOutput) FOutput->ReceiveWaveFormat(FPWaveFormat);
}

PWaveFormatEx TMMDSPComponent::GetWaveFormat() const { return FPWaveFormat; }

int TMMDSPComponent::GetBufferSize() const { return FOpened ? FRealBufferSize : FBufferSize; }

void TMMDSPComponent::SetBufferSize(int Value) {
  if (Value == FBufferSize) return;
  if (FStarted) Stopped();
  FBufferSize = Value;
}

void TMMDSPComponent::ReceiveWaveFormat(const WAVEFORMATEX* Format) { SetWaveFormat(Format); }

void TMMDSPComponent::Opened() {
  if (FOpened) return;
  // A format without a block size (possible for a damaged non-PCM header)
  // cannot align anything; it is treated like no format.
  const int align = FPWaveFormat ? FPWaveFormat->nBlockAlign : 0;
  if (align > 0)
    FRealBufferSize = std::max(FBufferSize - (FBufferSize % align), align);
  else
    FRealBufferSize = FBufferSize;
  FOpened = true;
  FStarted = false;
  FPaused = false;
}

void TMMDSPComponent::Closed() { FOpened = false; }

void TMMDSPComponent::Started() {
  if (!FStarted && FOpened) FStarted = true;
}

void TMMDSPComponent::Paused() { FPaused = true; }

void TMMDSPComponent::Restarted() { FPaused = false; }

void TMMDSPComponent::Stopped() {
  if (FStarted) {
    FStarted = false;
    FPaused = false;
  }
}

void TMMDSPComponent::PositionReset() {}

void TMMDSPComponent::Looped() {}

void TMMDSPComponent::BufferReady(PMMBufferHeader lpWaveHdr) {
  if (OnBufferReady) OnBufferReady(this, lpWaveHdr);
  if (FOutput) FOutput->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  if (OnBufferLoad) OnBufferLoad(this, lpWaveHdr, MoreBuffers);
  if (FInput) FInput->BufferLoad(lpWaveHdr, MoreBuffers);
  if (OnAfterLoad && lpWaveHdr->dwBytesRecorded > 0) OnAfterLoad(this, lpWaveHdr);
}

void TMMDSPComponent::AttachInput(TMMDSPComponent* Component, const std::string& Name) {
  FInput = Component;
  FInputPropName = truncated(Name);
}

void TMMDSPComponent::AttachOutput(TMMDSPComponent* Component, const std::string& Name) {
  FOutput = Component;
  FOutputPropName = truncated(Name);
}

bool TMMDSPComponent::CanConnectInput(QObject* Component) {
  if (Component == static_cast<QObject*>(this)) return false;
  auto* dsp = dynamic_cast<TMMDSPComponent*>(Component);
  if (!dsp) return false;
  if (!dsp->HasPublishedProperty("Output") && !dsp->OutputWithoutProperty) return false;
  return FOutput ? FOutput->CanConnectInput(Component) : true;
}

bool TMMDSPComponent::CanConnectOutput(QObject* Component) {
  if (Component == static_cast<QObject*>(this)) return false;
  auto* dsp = dynamic_cast<TMMDSPComponent*>(Component);
  if (!dsp) return false;
  if (!dsp->HasPublishedProperty("Input") && !dsp->InputWithoutProperty) return false;
  return FInput ? FInput->CanConnectOutput(Component) : true;
}

void TMMDSPComponent::SynchronizeCall(const std::function<void()>& method) {
  if (TMMDSPThread::IsDSPThread(std::this_thread::get_id()))
    SynchronizeMain(method);
  else
    method();
}

// ---------------------------------------------------------------- TMMCustomSoundComponent

TMMCustomSoundComponent::TMMCustomSoundComponent(QObject* AOwner) : TMMDSPComponent(AOwner) {}

TMMCustomSoundComponent::~TMMCustomSoundComponent() = default;

// Gives the notice to this component's part of the chain; the caller then
// applies the base behaviour to itself. (A pointer to a virtual member always
// dispatches virtually, so the base step cannot be passed in here.)
void TMMCustomSoundComponent::Spread(Notice notice, bool opened, bool downstreamFirst) {
  // Links cannot form cycles, but AttachInput/AttachOutput do not check; a
  // walk never takes more steps than there are components.
  const std::size_t maxSteps = Instances().size();
  auto isSound = [](TMMDSPComponent* c) { return dynamic_cast<TMMCustomSoundComponent*>(c) != nullptr; };

  if (downstreamFirst) {
    TMMDSPComponent* c = FOutput;
    for (std::size_t n = 0; c && n < maxSteps && !isSound(c); ++n) c = c->GetOutput();
    if (c && isSound(c)) (c->*notice)();
  }

  TMMDSPComponent* start = this;
  bool soundUpstream = false;
  {
    TMMDSPComponent* c = this;
    for (std::size_t n = 0; c->GetInput() && n < maxSteps; ++n) {
      c = c->GetInput();
      if (isSound(c)) {
        soundUpstream = true;
        break;
      }
    }
    if (!soundUpstream) start = c;
  }
  if (opened) FSecondary = soundUpstream;

  const int bufferSize = GetBufferSize();
  TMMDSPComponent* c = start;
  for (std::size_t n = 0; c && n <= maxSteps; ++n, c = c->GetOutput()) {
    if (c == this) continue;
    const bool sound = isSound(c);
    if (opened) c->SetBufferSize(bufferSize);
    (c->*notice)();
    if (sound) break;
  }
}

void TMMCustomSoundComponent::Opened() {
  Spread(&TMMDSPComponent::Opened, true, false);
  TMMDSPComponent::Opened();
}
void TMMCustomSoundComponent::Closed() {
  Spread(&TMMDSPComponent::Closed, false, true);
  TMMDSPComponent::Closed();
}
void TMMCustomSoundComponent::Started() {
  Spread(&TMMDSPComponent::Started, false, false);
  TMMDSPComponent::Started();
}
void TMMCustomSoundComponent::Paused() {
  Spread(&TMMDSPComponent::Paused, false, false);
  TMMDSPComponent::Paused();
}
void TMMCustomSoundComponent::Restarted() {
  Spread(&TMMDSPComponent::Restarted, false, false);
  TMMDSPComponent::Restarted();
}
void TMMCustomSoundComponent::Stopped() {
  Spread(&TMMDSPComponent::Stopped, false, true);
  TMMDSPComponent::Stopped();
}
void TMMCustomSoundComponent::PositionReset() {
  Spread(&TMMDSPComponent::PositionReset, false, false);
  TMMDSPComponent::PositionReset();
}
void TMMCustomSoundComponent::Looped() {
  Spread(&TMMDSPComponent::Looped, false, false);
  TMMDSPComponent::Looped();
}
