// The mixer components: a mixer device, the lines of a mixer and the
// controls of a line. Each finds its platform object by a description (the
// first mixer, a component type, a control type) rather than by a fixed id,
// re-binds itself when what it depends on changes, and passes change notices
// on to its dependents through the observer pair of MMObsrv.h:
//
//   device (or the device it follows) -> mixer device -> line -> control -> links
//
// While loading, assignments only store values; each component binds itself
// when loading ends. Everything here runs on the user-interface thread; the
// mixer's change messages arrive through the opened device's hidden window.
#pragma once

#include <functional>
#include <vector>

#include "mixer/MMDevice.h"
#include "mixer/MMMixTypes.h"
#include "mixer/MMObsrv.h"
#include "mixer/MMRef.h"
#include "platform/mmsystem.h"
#include "platform/soundcard/soundcard.h"

class TMMAudioLine;

using TMMLineChangeEvent = std::function<void(QObject* Sender, TMMLineId LineId)>;
using TMMControlChangeEvent = std::function<void(QObject* Sender, TMMLineId LineId, TMMControlId CtlId)>;

// ---------------------------------------------------------------- device
class TMMMixerDevice : public TMMCustomAudioDevice {
  Q_OBJECT
 public:
  explicit TMMMixerDevice(QObject* AOwner = nullptr);
  ~TMMMixerDevice() override;

  // Another device component whose mixer this one follows (none by
  // default). A mixer component is refused.
  TMMCustomAudioDevice* Device() const { return FDevice.get(); }
  void SetDevice(TMMCustomAudioDevice* value);
  // 0 when not valid, else the mixer's destination count.
  int Destinations();
  HMIXER Handle() const { return FHandle; }

  void Open() override;
  void Close() override;
  void DeviceChanged() override;
  void Changed() override;
  // A line's state changed: TMMLineChange to the line observers, then
  // OnLineChange.
  virtual void LineChange(TMMLineId LineId);
  // A control's value changed: TMMControlChange (with the control's line)
  // to the line observers, then OnControlChange.
  virtual void ControlChange(TMMControlId CtlId);

  void AddLineObserver(TMMObserver* o) { FLineObservable.AddObserver(o); }
  void RemoveLineObserver(TMMObserver* o) { FLineObservable.RemoveObserver(o); }
  TMMObservable* LineObservable() { return &FLineObservable; }

  // --- queries; a result other than 0 raises EMMMCIError, except those
  // that mean "not found" (false) ---
  // The mixer id every query uses: while open, the id the mixer reports for
  // the open handle (a different one becomes DeviceId and is announced);
  // while closed, DeviceId.
  UINT MixerId();
  // mixerGetLineInfo with MIXER_GETLINEINFOF_* `how`; ml is prepared by the
  // caller except for cbStruct.
  bool GetLineInfo(MIXERLINE& ml, DWORD how);
  // One control by type on a line, or by id (then *lineId gets its line).
  bool GetControlByType(DWORD lineId, DWORD typeValue, MIXERCONTROL& mc);
  bool GetControlById(DWORD ctlId, MIXERCONTROL& mc, DWORD* lineId);
  // Value block transfers (no result tolerated).
  void GetDetails(DWORD ctlId, DWORD channels, DWORD items, std::vector<LONG>& block);
  void SetDetails(DWORD ctlId, DWORD channels, DWORD items, std::vector<LONG>& block);
  std::vector<MIXERCONTROLDETAILS_LISTTEXT> GetListTexts(DWORD ctlId, DWORD channels, DWORD items);

  TMMLineChangeEvent OnLineChange;
  TMMControlChangeEvent OnControlChange;

 private:
  LRESULT WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HMIXEROBJ Obj();

  HMIXER FHandle = nullptr;
  HWND FWindow = nullptr;
  TMMRef<TMMCustomAudioDevice> FDevice;
  TMMObserver FDeviceObserver;
  TMMObservable FLineObservable;
};

// ---------------------------------------------------------------- line
class TMMAudioLine : public TMMComponent {
  Q_OBJECT
 public:
  explicit TMMAudioLine(QObject* AOwner = nullptr);
  ~TMMAudioLine() override;

  TMMMixerDevice* Mixer() const { return FMixer.get(); }
  void SetMixer(TMMMixerDevice* value);
  TMMLineId LineId() const { return FLineId; }
  void SetLineId(TMMLineId value);  // binds by id
  TMMComponentType ComponentType() const { return FComponentType; }
  void SetComponentType(TMMComponentType value);  // binds by component type
  TMMCustomAudioDevice* Target() const { return FTarget.get(); }
  void SetTarget(TMMCustomAudioDevice* value);  // binds by target; a mixer is refused
  TMMAudioLine* DestLine() const { return FDestLine.get(); }
  // Anything but a TMMAudioLine is refused.
  void SetDestLine(QObject* value);
  const TMMLineInfo& LineInfo() const { return FLineInfo; }
  // 0 by LineId, 1 by ComponentType, 2 by Target.
  int BindMode() const { return FBindMode; }
  // The destination number when this is a destination line, else -1.
  int DestIndex() const { return FDestIndex; }
  // A valid mixer and a LineId other than -1.
  bool IsUsable() const;

  virtual void LineChanged();
  virtual void LineIdChanged();
  virtual void ControlChanged(TMMControlId CtlId);
  // Binds again by the current mode.
  void UpdateLine();
  // On a destination line: whether `query`, looked up by its own binding,
  // is this destination or one of its sources; *found gets that line.
  bool FindSource(TMMAudioLine* query, MIXERLINE* found = nullptr);

  void AddControlObserver(TMMObserver* o) { FControlObservable.AddObserver(o); }
  void RemoveControlObserver(TMMObserver* o) { FControlObservable.RemoveObserver(o); }

  TNotifyEvent OnChange;
  TMMControlChangeEvent OnControlChange;

 protected:
  void Loaded() override;

 private:
  // Looks this line up by its own binding mode.
  bool LookUp(MIXERLINE& ml);
  // Points `ref` at `value` and `observer` at `subject` (a notice of
  // `value`'s); the line binds again when `value` is destroyed.
  template <typename T>
  void Follow(TMMRef<T>& ref, T* value, TMMObserver& observer, TMMObservable* subject);
  void MixerNotice(TMMMixerChange* data);

  TMMRef<TMMMixerDevice> FMixer;
  TMMRef<TMMCustomAudioDevice> FTarget;
  TMMRef<TMMAudioLine> FDestLine;
  TMMLineId FLineId = badLineId;
  TMMComponentType FComponentType = ctDstDigital;
  TMMLineInfo FLineInfo;
  int FBindMode = 0;
  int FDestIndex = -1;
  TMMObserver FMixerObserver, FTargetObserver, FDestObserver;
  TMMObservable FControlObservable;
};

// ---------------------------------------------------------------- controls
class TMMCustomMixerControl : public TMMComponent {
  Q_OBJECT
 public:
  explicit TMMCustomMixerControl(QObject* AOwner = nullptr);
  ~TMMCustomMixerControl() override;

  TMMAudioLine* AudioLine() const { return FAudioLine.get(); }
  void SetAudioLine(TMMAudioLine* value);
  TMMControlId ControlId() const { return FControlId; }
  void SetControlId(TMMControlId value);  // binds by id
  TMMControlType ControlType() const { return FControlType; }
  TMMControlClass ControlClass() const { return FControlClass; }
  const TMMControlInfo& ControlInfo() const { return FControlInfo; }
  int BindMode() const { return FBindMode; }

  // --- virtual operations ---
  virtual void UpdateControl();
  virtual void Changed();
  virtual void ControlIdChanged();
  virtual bool GetBoolean();
  virtual void SetBoolean(bool b);
  virtual DWORD GetUnsigned();
  virtual void SetUnsigned(DWORD v);
  virtual LONG GetSigned();
  virtual void SetSigned(LONG v);
  virtual bool IsValid() const;
  virtual bool AcceptControl(const MIXERCONTROL& info) const;
  virtual int Channels() const;
  virtual int Items() const;
  virtual LONG GetSignedItem(TMMChannel channel, TMMItemIndex item);
  virtual void SetSignedItem(TMMChannel channel, TMMItemIndex item, LONG v);
  virtual DWORD GetUnsignedItem(TMMChannel channel, TMMItemIndex item);
  virtual void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, DWORD v);
  virtual bool GetBooleanItem(TMMChannel channel, TMMItemIndex item);
  virtual void SetBooleanItem(TMMChannel channel, TMMItemIndex item, bool b);

  // --- further operations ---
  void AddLink(TMMObserver* link) { FLinks.AddObserver(link); }
  void RemoveLink(TMMObserver* link) { FLinks.RemoveObserver(link); }
  bool IsEnabled() const;
  struct TItemInfo {
    DWORD Param1 = 0;
    DWORD Param2 = 0;
    std::string Name;
  };
  TItemInfo GetItemInfo(TMMItemIndex item);
  // The item of a mixer or multiplexer control that stands for `line`, or -1.
  TMMItemIndex FindItemOfLine(TMMAudioLine* line);

  TNotifyEvent OnChange;

 protected:
  void Loaded() override;
  void SetControlType(TMMControlType value);  // binds by type
  // Throws unless a usable mixer and a bound control.
  void CheckUsable() const;
  // The usable line's mixer.
  TMMMixerDevice* LineMixer() const;
  // One value of the block for (channel, item), read or replaced.
  LONG ReadItem(TMMChannel channel, TMMItemIndex item);
  void WriteItem(TMMChannel channel, TMMItemIndex item, LONG v);

  TMMControlType FControlType = ctCustom;

 private:
  bool LineUsable() const;
  void LineNotice(TMMMixerChange* data);
  // The whole block of an item transfer as the mixer holds it, and the
  // index of the value for (channel, item) in it.
  struct TItemBlock {
    DWORD channels = 0;
    DWORD items = 0;
    std::size_t index = 0;
    std::vector<LONG> values;
  };
  TItemBlock ReadBlock(TMMChannel channel, TMMItemIndex item);
  void WriteBlock(TItemBlock& block);

  TMMRef<TMMAudioLine> FAudioLine;
  TMMControlId FControlId = badControlId;
  TMMControlClass FControlClass = ccCustom;
  TMMControlInfo FControlInfo;
  int FBindMode = 0;
  TMMObserver FLineObserver;
  TMMObservable FLinks;
};

class TMMMixerControl : public TMMCustomMixerControl {
  Q_OBJECT
 public:
  explicit TMMMixerControl(QObject* AOwner = nullptr) : TMMCustomMixerControl(AOwner) {}
  using TMMCustomMixerControl::SetControlType;
};

// A volume control: binds by type to the line's VOLUME control and writes
// the two channels through pan factors.
class TMMVolumeControl : public TMMCustomMixerControl {
  Q_OBJECT
 public:
  explicit TMMVolumeControl(QObject* AOwner = nullptr);

  // -32768 full left .. 32767 full right; a new value rewrites the current
  // value through the new factors.
  int PanValue() const { return FPanValue; }
  void SetPanValue(int value);
  double LeftFactor() const;
  double RightFactor() const;

  bool AcceptControl(const MIXERCONTROL& info) const override;
  void SetUnsigned(DWORD v) override;
  void SetSigned(LONG v) override;
  void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, DWORD v) override;
  void SetSignedItem(TMMChannel channel, TMMItemIndex item, LONG v) override;

 private:
  void WritePanned(TMMItemIndex item, double v);
  int FPanValue = 0;
};
