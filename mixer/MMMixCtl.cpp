#include "mixer/MMMixCtl.h"

#include <cmath>

namespace {

// Holds a link locked for a scope, also when a mixer call raises.
class LinkLock {
 public:
  explicit LinkLock(TMMControlLink* link) : FLink(link) {
    if (FLink) FLink->Lock();
  }
  ~LinkLock() {
    if (FLink) FLink->Unlock();
  }
  LinkLock(const LinkLock&) = delete;
  LinkLock& operator=(const LinkLock&) = delete;

 private:
  TMMControlLink* FLink;
};

bool ClassIn(TMMCustomMixerControl* c, std::initializer_list<TMMControlClass> classes) {
  for (TMMControlClass k : classes)
    if (c->ControlClass() == k) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------- link

TMMControlLink::~TMMControlLink() = default;

void TMMControlLink::SetControl(TMMCustomMixerControl* value) {
  // The subject, not FControl: a control being destroyed has already let
  // its links go.
  if (Subject()) Subject()->RemoveObserver(this);
  FControl = value;
  if (value) value->AddLink(this);
}

void TMMControlLink::Notify(TMMMixerChange* Data) {
  if (dynamic_cast<TMMControlChange*>(Data)) {
    if (OnValueChange) OnValueChange();
  } else if (dynamic_cast<TMMControlIdChange*>(Data)) {
    if (OnControlRebound) OnControlRebound();
  }
}

bool MMBindingUsable(TMMCustomMixerControl* control, TMMItemIndex item) {
  if (!control || !control->IsValid()) return false;
  if (!(control->ControlInfo().Flags & cfMultiple)) return item == NoItem;
  return item >= 0 && item < control->Items();
}

// ---------------------------------------------------------------- binding

TMMControlBinding::TMMControlBinding() : FLink(std::make_unique<TMMControlLink>()) {
  FLink->OnValueChange = [this] { UpdateAll(); };
  FLink->OnControlRebound = [this] { UpdateAll(); };
}

TMMControlBinding::~TMMControlBinding() = default;

void TMMControlBinding::Release() {
  FDestroying = true;
  FLink->SetControl(nullptr);
}

void TMMControlBinding::BindControl(QObject* owner, TMMCustomMixerControl* value,
                                    std::initializer_list<TMMControlClass> classes) {
  if (value && !ClassIn(value, classes)) throw EMMMixerControlsError(mixctlmsg::kInvalidControlClass);
  if (value == FControl.get()) return;
  FLink->SetControl(value);
  FControl.Set(owner, value, [this] {
    FLink->SetControl(nullptr);
    if (!FDestroying) UpdateAll();
  });
  UpdateAll();
}

void TMMControlBinding::SetChannel(TMMChannel value) {
  if (value == FChannel) return;
  FChannel = value;
  UpdateAll();
}

void TMMControlBinding::SetItem(TMMItemIndex value) {
  if (value == FItem) return;
  FItem = value;
  UpdateAll();
}

void TMMControlBinding::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateAll();
}

// ---------------------------------------------------------------- slider

TMMCustomMixerSlider::TMMCustomMixerSlider(QWidget* parent) : TMMCustomSlider(parent) {
  setEnabled(false);
}

TMMCustomMixerSlider::~TMMCustomMixerSlider() { Release(); }

void TMMCustomMixerSlider::SetControl(TMMCustomMixerControl* value) {
  BindControl(this, value, {ccFader, ccNumber, ccSlider, ccTime});
}

void TMMCustomMixerSlider::UpdateAll() {
  if (Loading()) return;
  UpdateRange();
  UpdatePosition();
}

void TMMCustomMixerSlider::UpdateRange() {
  TMMCustomMixerControl* c = FControl.get();
  if (!c || FDestroying) {
    setEnabled(false);
    return;
  }
  const bool enabled = FEnabled && MMBindingUsable(c, FItem) && c->IsEnabled();
  setEnabled(enabled);
  LinkLock lock(FLink.get());
  if (enabled) {
    const TMMControlInfo& info = c->ControlInfo();
    const long double span = (long double)info.MaxValue - info.MinValue;
    FStep = span / (info.Steps != 0 ? info.Steps : 32);
    SetMinMax(0, FStep != 0 ? int(std::truncl(span / FStep)) : 1);
  } else {
    SetMinMax(0, 2);
    FStep = 1.0L;
  }
}

void TMMCustomMixerSlider::UpdatePosition() {
  if (FDestroying) return;
  LinkLock lock(FLink.get());
  TMMCustomMixerControl* c = FControl.get();
  // A control the mixer reports disabled is shown like any unusable
  // binding, thumb in the middle: its value means nothing on the 0..2 range.
  if (MMBindingUsable(c, FItem) && c->IsEnabled() && FStep != 0 && Min() < Max() && FEnabled) {
    const LONG v = c->GetSignedItem(FChannel, FItem);
    SetPosition(int(std::nearbyintl((v - (long double)c->ControlInfo().MinValue) / FStep)));
  } else {
    SetPosition(std::max(Min(), (Min() + Max()) / 2));
  }
}

void TMMCustomMixerSlider::Change() {
  TMMCustomMixerControl* c = FControl.get();
  if (c && !FLink->IsLocked()) {
    LinkLock lock(FLink.get());
    if (c->ControlInfo().Flags & cfDisabled)
      UpdatePosition();
    else if (MMBindingUsable(c, FItem))
      c->SetSignedItem(FChannel, FItem,
                       LONG(std::nearbyintl(Position() * FStep + c->ControlInfo().MinValue)));
  }
  TMMCustomSlider::Change();
}

// ---------------------------------------------------------------- check box

TMMCustomMixerCheckBox::TMMCustomMixerCheckBox(QWidget* parent) : QCheckBox(parent) {
  FItemLineObserver.OnNotify = [this](TMMObserver*, TMMMixerChange* d) {
    if (!d || dynamic_cast<TMMLineIdChange*>(d)) UpdateAll();
  };
  connect(this, &QCheckBox::toggled, this, [this] { Click(); });
  setEnabled(false);
}

TMMCustomMixerCheckBox::~TMMCustomMixerCheckBox() { Release(); }

void TMMCustomMixerCheckBox::EndLoading() {
  if (!FLoading) return;
  FLoading = false;
  UpdateAll();
}

void TMMCustomMixerCheckBox::SetControl(TMMCustomMixerControl* value) {
  BindControl(this, value, {ccList, ccSwitch});
}

void TMMCustomMixerCheckBox::SetItemLine(TMMAudioLine* value) {
  if (value == FItemLine.get()) return;
  if (FItemLine) FItemLine.get()->RemoveControlObserver(&FItemLineObserver);
  if (value) value->AddControlObserver(&FItemLineObserver);
  // UpdateAll itself does nothing once the box is being destroyed.
  FItemLine.Set(this, value, [this] { UpdateAll(); });
  UpdateAll();
}

void TMMCustomMixerCheckBox::SetAutoCaption(bool value) {
  if (value == FAutoCaption) return;
  FAutoCaption = value;
  UpdateAll();
}

void TMMCustomMixerCheckBox::SetShort(bool value) {
  if (value == FShort) return;
  FShort = value;
  UpdateAll();
}

void TMMCustomMixerCheckBox::UpdateAll() {
  if (FLoading || FDestroying) return;
  UpdateState();
  ReadValue();
}

void TMMCustomMixerCheckBox::UpdateState() {
  TMMCustomMixerControl* c = FControl.get();
  if (!c) {
    setEnabled(false);
    return;
  }
  if (FItemLine) FItem = c->FindItemOfLine(FItemLine.get());
  const bool enabled = FEnabled && MMBindingUsable(c, FItem) && c->IsEnabled();
  setEnabled(enabled);
  if (enabled && FAutoCaption) {
    if (FItem != NoItem)
      setText(QString::fromStdString(c->GetItemInfo(FItem).Name));
    else
      setText(QString::fromStdString(FShort ? c->ControlInfo().ShortName : c->ControlInfo().Name));
  }
}

void TMMCustomMixerCheckBox::ReadValue() {
  TMMCustomMixerControl* c = FControl.get();
  if (!MMBindingUsable(c, FItem)) return;
  LinkLock lock(FLink.get());
  setChecked(c->GetBooleanItem(FChannel, FItem));
}

void TMMCustomMixerCheckBox::Click() {
  if (!FLink->IsLocked()) {
    LinkLock lock(FLink.get());
    TMMCustomMixerControl* c = FControl.get();
    if (c && isEnabled())
      c->SetBooleanItem(FChannel, FItem, isChecked());
    else
      UpdateAll();
  }
  if (OnClick) OnClick(this);
}
