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

// What the slider and the check box share: the control they show (with the
// link that tells of its changes), its channel and item, and the user's
// wish to enable it. Every change calls the widget's UpdateAll.
class TMMControlBinding {
 public:
  TMMCustomMixerControl* Control() const { return FControl.get(); }
  TMMChannel Channel() const { return FChannel; }
  void SetChannel(TMMChannel value);
  TMMItemIndex Item() const { return FItem; }
  void SetItem(TMMItemIndex value);
  // The user's wish; the widget is enabled only when the binding is usable too.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  TMMControlLink* Link() const { return FLink.get(); }

  virtual void UpdateAll() = 0;

 protected:
  TMMControlBinding();
  virtual ~TMMControlBinding();
  // Takes `value` (or none) when it is of one of `classes`, else raises;
  // `owner` is the widget, which hears when the control goes.
  void BindControl(QObject* owner, TMMCustomMixerControl* value,
                   std::initializer_list<TMMControlClass> classes);
  // The widget's destructor: no more updates, the control let go.
  void Release();

  TMMRef<TMMCustomMixerControl> FControl;
  TMMChannel FChannel = chBoth;
  TMMItemIndex FItem = NoItem;
  bool FEnabled = true;
  bool FDestroying = false;
  std::unique_ptr<TMMControlLink> FLink;
};

// ---------------------------------------------------------------- slider
class TMMCustomMixerSlider : public TMMCustomSlider, public TMMControlBinding {
  Q_OBJECT
 public:
  explicit TMMCustomMixerSlider(QWidget* parent = nullptr);
  ~TMMCustomMixerSlider() override;

  // Only fader, number, slider and time controls are taken.
  void SetControl(TMMCustomMixerControl* value);
  // Mixer units per slider step.
  long double Step() const { return FStep; }

  // Update everything: the range, then the position.
  void UpdateAll() override;
  void UpdateRange();
  void UpdatePosition();

 protected:
  void Change() override;
  void Loaded() override { UpdateAll(); }

 private:
  long double FStep = 0;
};

class TMMMixerSlider : public TMMCustomMixerSlider {
  Q_OBJECT
 public:
  using TMMCustomMixerSlider::TMMCustomMixerSlider;
};

// ---------------------------------------------------------------- check box
class TMMCustomMixerCheckBox : public QCheckBox, public TMMControlBinding {
  Q_OBJECT
 public:
  explicit TMMCustomMixerCheckBox(QWidget* parent = nullptr);
  ~TMMCustomMixerCheckBox() override;

  // Only list and switch controls are taken.
  void SetControl(TMMCustomMixerControl* value);
  // When set, Item is the control's item that stands for this line.
  TMMAudioLine* ItemLine() const { return FItemLine.get(); }
  void SetItemLine(TMMAudioLine* value);
  bool AutoCaption() const { return FAutoCaption; }
  void SetAutoCaption(bool value);
  bool Short() const { return FShort; }
  void SetShort(bool value);

  // Loading: stored values are applied; the binding follows at the end.
  void BeginLoading() { FLoading = true; }
  void EndLoading();

  // Update everything: the state, then the value.
  void UpdateAll() override;
  void UpdateState();
  void ReadValue();

  TMMCustomSlider::TNotify OnClick;

 private:
  // Runs on every change of the check state, the user's or the program's.
  void Click();

  TMMRef<TMMAudioLine> FItemLine;
  TMMObserver FItemLineObserver;
  bool FAutoCaption = true;
  bool FShort = true;
  bool FLoading = false;
};

class TMMMixerCheckBox : public TMMCustomMixerCheckBox {
  Q_OBJECT
 public:
  using TMMCustomMixerCheckBox::TMMCustomMixerCheckBox;
};
