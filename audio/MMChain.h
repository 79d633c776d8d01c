// The chain base TMMDSPComponent and the device base TMMCustomSoundComponent.
//
// A chain is a doubly linked list of components joined through Input and
// Output. Formats flow downstream whenever they change, buffers flow
// downstream (BufferReady, pushed by a producer) or upstream (BufferLoad,
// pulled by a consumer), and the life-cycle notifications (Opened, Started,
// Paused, Restarted, Stopped, Closed, PositionReset, Looped) are spread by the
// device components to the passive components of their chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/MMBuffer.h"
#include "audio/MMComponent.h"
#include "audio/MMTypes.h"
#include "platform/waveformat.h"

class TMMDSPComponent;
class TMMCustomSoundComponent;

// (Sender, buffer). See BufferReady for the thread it runs on.
using TMMBufferEvent = std::function<void(QObject* Sender, PWaveHdr lpWaveHdr)>;
using TMMBufferLoadEvent = std::function<void(QObject* Sender, PWaveHdr lpWaveHdr, bool& MoreBuffers)>;

// The chain base.
//
// Lifecycle contract (which thread calls what):
// - Construction, destruction, linking (SetInput/SetOutput), formats
//   (SetWaveFormat, ReceiveWaveFormat, UpdateWaveFormat), BufferSize and all
//   eight notifications run on the main thread. The notifications come only
//   from the device components (TMMCustomSoundComponent), never from users.
// - Opened: the device has opened; RealBufferSize is fixed here (block
//   aligned). May be called more than once; the second call does nothing.
//   Allocate what the run needs here, not in BufferReady/BufferLoad.
// - Started/Paused/Restarted: state only. Stopped may arrive without a
//   Started before it (linking and format changes send it) and must be
//   harmless then. Closed: release per-run resources.
// - BufferReady(buffer): runs on the producer's delivering thread: the main
//   thread in cmWindow mode, the driver's callback thread in cmCallback, the
//   device's worker thread in cmThread. In the last two it runs on a
//   real-time thread: keep it free of blocking, allocation and file I/O (this
//   program uses cmWindow). The buffer is lent for the call only; copy what
//   you need.
//   dwBytesRecorded, not dwBufferLength, says how much data it holds; a
//   component may lower dwBytesRecorded of a buffer passing through it.
// - BufferLoad(buffer, MoreBuffers): the same threads as BufferReady, pulled
//   by an output device; fill lpData, set dwBytesRecorded and clear
//   MoreBuffers when the data ends.
// - User events that may fire on a worker thread go through SynchronizeCall.
// - Destruction: Input := nil, Output := nil, format := nil, the component
//   leaves the registry and every other component gets a removal notice, so a
//   destroyed neighbour leaves nil links. Subclass destructors run before
//   this; one that frees parts which call back into it deletes them itself.
class TMMDSPComponent : public TMMComponent {
  Q_OBJECT
 public:
  explicit TMMDSPComponent(QObject* AOwner = nullptr);
  ~TMMDSPComponent() override;

  // --- the 25 chain operations, in slot order ---
  // 1. Pulls the format from the Input, else pushes the own one to the Output.
  virtual void UpdateWaveFormat();
  // 2. Sent to every component just before `Source` relinks its property
  // `PropName`: the component that property still points to lets go of
  // Source (its Input when OutputSide, else its Output).
  virtual void NotifyLinkChange(TMMDSPComponent* Source, bool OutputSide, const std::string& PropName);
  // 3-6. Links; assigning nil unlinks. A refused link is ignored silently.
  virtual void SetInput(TMMDSPComponent* Value);
  virtual TMMDSPComponent* GetInput() const;
  virtual void SetOutput(TMMDSPComponent* Value);
  virtual TMMDSPComponent* GetOutput() const;
  // 7-8. The component's own copy of the format (nil = no format).
  virtual void SetWaveFormat(const WAVEFORMATEX* Format);
  virtual PWaveFormatEx GetWaveFormat() const;
  // 9-10. RealBufferSize while opened, else BufferSize.
  virtual int GetBufferSize() const;
  virtual void SetBufferSize(int Value);
  // 11. A format arriving from the neighbour.
  virtual void ReceiveWaveFormat(const WAVEFORMATEX* Format);
  // 12-19. Life-cycle notifications (see the contract above).
  virtual void Opened();
  virtual void Closed();
  virtual void Started();
  virtual void Paused();
  virtual void Restarted();
  virtual void Stopped();
  virtual void PositionReset();
  virtual void Looped();
  // 20-21. Buffers (see the contract above for the thread).
  virtual void BufferReady(PMMBufferHeader lpWaveHdr);
  virtual void BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers);
  // 22-23. Set a link and its back-link name without any notification.
  virtual void AttachInput(TMMDSPComponent* Component, const std::string& Name);
  virtual void AttachOutput(TMMDSPComponent* Component, const std::string& Name);
  // 24-25. Whether a component may become the Input (Output); refuses
  // itself, non-chain objects, objects without the opposite link property
  // and anything that would close a cycle.
  virtual bool CanConnectInput(QObject* Component);
  virtual bool CanConnectOutput(QObject* Component);

  // Convenience accessors.
  TMMDSPComponent* Input() const { return GetInput(); }
  TMMDSPComponent* Output() const { return GetOutput(); }
  int BufferSize() const { return GetBufferSize(); }
  int RealBufferSize() const { return FRealBufferSize; }
  bool IsOpened() const { return FOpened; }
  bool IsStarted() const { return FStarted; }
  bool IsPaused() const { return FPaused; }
  const std::string& InputPropName() const { return FInputPropName; }
  const std::string& OutputPropName() const { return FOutputPropName; }

  // Let a component without a published Input (Output) property be linked on
  // that side (the recorder and the player set it while they build their
  // internal chains).
  bool InputWithoutProperty = false;
  bool OutputWithoutProperty = false;

  // Runs `method` on the main thread and waits when called from a registered
  // TMMDSPThread; otherwise calls it directly.
  static void SynchronizeCall(const std::function<void()>& method);

  // Live components and threads (for the chain walks and for tests).
  static const std::vector<TMMDSPComponent*>& Instances();
  static std::size_t InstanceCount() { return Instances().size(); }

  TMMBufferEvent OnBufferReady;
  TMMBufferLoadEvent OnBufferLoad;  // published by output components
  // Not published: called after a load that produced data.
  TMMBufferEvent OnAfterLoad;

 protected:
  // Publish the link properties under their usual names, so that others can
  // link to this component and find it again by name.
  void PublishInput() { PublishComponentProperty("Input"); }
  void PublishOutput() { PublishComponentProperty("Output"); }

  void Loaded() override;
  void Notification(TMMComponent* AComponent, TOperation Operation) override;
  QObject* ReadPublishedComponent(std::string_view name) const override;

  // NotifyLinkChange on every live component.
  static void BroadcastLinkChange(TMMDSPComponent* Source, bool OutputSide, const std::string& PropName);
  // Not loading, reading or destroying.
  bool CanPushFormat() const { return !InState(csLoading | csReading | csDestroying); }

  TMMDSPComponent* FInput = nullptr;
  TMMDSPComponent* FOutput = nullptr;
  PWaveFormatEx FPWaveFormat = nullptr;
  std::int32_t FBufferSize = 2048;
  std::int32_t FRealBufferSize = 2048;
  bool FOpened = false;
  bool FStarted = false;
  bool FPaused = false;
  std::string FInputPropName;   // at most 20 characters
  std::string FOutputPropName;  // at most 20 characters

 private:
  void ReleaseChain();
};

// The device base: a component that drives a sound card and spreads the
// life-cycle notifications to the passive components of its chain.
//
// Each of the eight notifications, called on a sound component S, first
// finds where its part of the chain starts (S itself when another sound
// component stands upstream, else the top of the chain), gives the
// notification to every passive component from there down to the next sound
// component (which gets it too), and finally applies the base behaviour to
// S. Opened also hands every passive component S's buffer size first and
// records whether S is secondary. Closed and Stopped first reach the next
// sound component downstream. Device subclasses call these at fixed points of
// their own open/start/pause/restart/stop/close sequences, on the main
// thread.
class TMMCustomSoundComponent : public TMMDSPComponent {
  Q_OBJECT
 public:
  explicit TMMCustomSoundComponent(QObject* AOwner = nullptr);
  ~TMMCustomSoundComponent() override;

  void Opened() override;
  void Closed() override;
  void Started() override;
  void Paused() override;
  void Restarted() override;
  void Stopped() override;
  void PositionReset() override;
  void Looped() override;

  virtual void SetNumBuffers(int Value) = 0;
  virtual int GetNumBuffers() const = 0;
  virtual void SetDeviceID(TMMDeviceId Value) = 0;
  virtual TMMDeviceId GetDeviceID() const = 0;
  virtual void SetProductName(const std::string& Value) = 0;
  virtual std::string GetProductName() const = 0;
  virtual void SetCallBackMode(TMMCBMode Value) = 0;
  virtual TMMCBMode GetCallBackMode() const = 0;

  // True when, at the last Opened, another sound component stood upstream.
  bool IsSecondary() const { return FSecondary; }

 protected:
  bool FSecondary = false;

 private:
  using Notice = void (TMMDSPComponent::*)();
  void Spread(Notice notice, bool opened, bool downstreamFirst);
};
