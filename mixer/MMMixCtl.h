// The visual controls bound to a mixer control: a slider for level-like
// controls and a check box for switches and for items of list controls.
//
// Each holds a TMMControlLink attached to the bound control. Through it the
// visual control re-reads its range and value when the control is bound
// again or reports a change, and writes the user's changes back. While it
// shows a value it has just read, the link is locked, so that value is never
// written back to the mixer.
#pragma once

#include <QCheckBox>
#include <memory>
#include <stdexcept>

#include "controls/MMSlider.h"
#include "mixer/MMMixer.h"

class EMMMixerControlsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace mixctlmsg {
inline constexpr const char* kInvalidControlClass = "Invalid control class";
}

// An observer on a mixer control's links. Does not consult its own lock
// count: the visual controls read it themselves.
class TMMControlLink : public TMMObserver {
 public:
  TMMControlLink() = default;
  ~TMMControlLink() override;

  TMMCustomMixerControl* Control() const { return FControl; }
  // Moves the link from the old control to the new one.
  void SetControl(TMMCustomMixerControl* value);
  // A TMMControlChange calls OnValueChange, a TMMControlIdChange
  // OnControlRebound; other notices are ignored.
  void Notify(TMMMixerChange* Data) override;

  std::function<void()> OnValueChange;
  std::function<void()> OnControlRebound;

 private:
  TMMCustomMixerControl* FControl = nullptr;
};

// Whether `control` can serve `item`: valid, and the item fits its items
// (-1 for a control without items).
bool MMBindingUsable(TMMCustomMixerControl* control, TMMItemIndex item);

// ---------------------------------------------------------------- slider
class TMMCustomMixerSlider : public TMMCustomSlider {
  Q_OBJECT
 public:
  explicit TMMCustomMixerSlider(QWidget* parent = nullptr);
  ~TMMCustomMixerSlider() override;

  TMMCustomMixerControl* Control() const { return FControl.get(); }
  // Only fader, number, slider and time controls are taken.
  void SetControl(TMMCustomMixerControl* value);
  TMMChannel Channel() const { return FChannel; }
  void SetChannel(TMMChannel value);
  TMMItemIndex Item() const { return FItem; }
  void SetItem(TMMItemIndex value);
  // The user's wish; the slider is enabled only when the binding is usable too.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  // Mixer units per slider step.
  long double Step() const { return FStep; }
  TMMControlLink* Link() const { return FLink.get(); }

  // Update everything: the range, then the position.
  void UpdateAll();
  void UpdateRange();
  void UpdatePosition();

 protected:
  void Change() override;
  void Loaded() override { UpdateAll(); }

 private:
  TMMRef<TMMCustomMixerControl> FControl;
  TMMChannel FChannel = chBoth;
  TMMItemIndex FItem = NoItem;
  bool FEnabled = true;
  bool FDestroying = false;
  long double FStep = 0;
  std::unique_ptr<TMMControlLink> FLink;
};

class TMMMixerSlider : public TMMCustomMixerSlider {
  Q_OBJECT
 public:
  using TMMCustomMixerSlider::TMMCustomMixerSlider;
};

// ---------------------------------------------------------------- check box
class TMMCustomMixerCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  explicit TMMCustomMixerCheckBox(QWidget* parent = nullptr);
  ~TMMCustomMixerCheckBox() override;

  TMMCustomMixerControl* Control() const { return FControl.get(); }
  // Only list and switch controls are taken.
  void SetControl(TMMCustomMixerControl* value);
  TMMChannel Channel() const { return FChannel; }
  void SetChannel(TMMChannel value);
  TMMItemIndex Item() const { return FItem; }
  void SetItem(TMMItemIndex value);
  // When set, Item is the control's item that stands for this line.
  TMMAudioLine* ItemLine() const { return FItemLine.get(); }
  void SetItemLine(TMMAudioLine* value);
  bool AutoCaption() const { return FAutoCaption; }
  void SetAutoCaption(bool value);
  bool Short() const { return FShort; }
  void SetShort(bool value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  TMMControlLink* Link() const { return FLink.get(); }

  // Loading: stored values are applied; the binding follows at the end.
  void BeginLoading() { FLoading = true; }
  void EndLoading();

  // Update everything: the state, then the value.
  void UpdateAll();
  void UpdateState();
  void ReadValue();

  TMMCustomSlider::TNotify OnClick;

 private:
  // Runs on every change of the check state, the user's or the program's.
  void Click();

  TMMRef<TMMCustomMixerControl> FControl;
  TMMRef<TMMAudioLine> FItemLine;
  TMMObserver FItemLineObserver;
  TMMChannel FChannel = chBoth;
  TMMItemIndex FItem = NoItem;
  bool FAutoCaption = true;
  bool FShort = true;
  bool FEnabled = true;
  bool FLoading = false;
  bool FDestroying = false;
  std::unique_ptr<TMMControlLink> FLink;
};

class TMMMixerCheckBox : public TMMCustomMixerCheckBox {
  Q_OBJECT
 public:
  using TMMCustomMixerCheckBox::TMMCustomMixerCheckBox;
};
