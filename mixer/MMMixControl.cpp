// The mixer control components.
#include <cmath>
#include <cstring>

#include "mixer/MMMixer.h"

TMMCustomMixerControl::TMMCustomMixerControl(QObject* AOwner) : TMMComponent(AOwner) {
  FLineObserver.OnNotify = [this](TMMObserver*, TMMMixerChange* d) { LineNotice(d); };
}

TMMCustomMixerControl::~TMMCustomMixerControl() { Destroying(); }

void TMMCustomMixerControl::SetAudioLine(TMMAudioLine* value) {
  if (value != FAudioLine.get()) {
    if (FAudioLine) FAudioLine.get()->RemoveControlObserver(&FLineObserver);
    if (value) value->AddControlObserver(&FLineObserver);
    // UpdateControl itself does nothing while this control is being destroyed.
    FAudioLine.Set(this, value, [this] { UpdateControl(); });
  }
  UpdateControl();
}

void TMMCustomMixerControl::SetControlId(TMMControlId value) {
  FBindMode = 0;
  FControlId = value;
  UpdateControl();
}

void TMMCustomMixerControl::SetControlType(TMMControlType value) {
  FBindMode = 1;
  FControlType = value;
  UpdateControl();
}

void TMMCustomMixerControl::Loaded() {
  TMMComponent::Loaded();
  UpdateControl();
}

bool TMMCustomMixerControl::LineUsable() const {
  const TMMAudioLine* line = FAudioLine.get();
  return line && line->IsUsable();
}

TMMMixerDevice* TMMCustomMixerControl::LineMixer() const { return FAudioLine.get()->Mixer(); }

void TMMCustomMixerControl::UpdateControl() {
  if (InState(csDestroying)) return;
  auto applyClass = [this] {
    const auto cls = ControlClassOf(ControlTypeValue(FControlType));
    if (!cls) throw EMMMixerServiceError(mixermsg::kUndefinedControlClass);
    FControlClass = *cls;
  };
  if (InState(csLoading)) {
    applyClass();
    return;
  }
  MIXERCONTROL mc{};
  bool found = false;
  if (LineUsable()) {
    TMMMixerDevice* m = LineMixer();
    if (FBindMode == 1)
      found = m->GetControlByType(DWORD(FAudioLine.get()->LineId()), ControlTypeValue(FControlType), mc);
    else if (FControlId != badControlId)
      found = m->GetControlById(DWORD(FControlId), mc, nullptr);
  }
  if (found && AcceptControl(mc)) {
    FControlId = TMMControlId(mc.dwControlID);
    FControlType = ControlTypeOf(mc.dwControlType).value_or(ctCustom);
    FControlInfo.Flags = mc.fdwControl & (cfDisabled | cfMultiple | cfUniform);
    FControlInfo.MultipleItems = TMMItemIndex(mc.cMultipleItems);
    FControlInfo.ShortName.assign(mc.szShortName, strnlen(mc.szShortName, sizeof mc.szShortName));
    FControlInfo.Name.assign(mc.szName, strnlen(mc.szName, sizeof mc.szName));
    FControlInfo.MinValue = mc.Bounds.s1.lMinimum;
    FControlInfo.MaxValue = mc.Bounds.s1.lMaximum;
    FControlInfo.Steps = std::int32_t(mc.Metrics.cSteps);
  } else {
    FControlId = badControlId;
    FControlInfo.Clear();
  }
  applyClass();
  ControlIdChanged();
}

void TMMCustomMixerControl::LineNotice(TMMMixerChange* data) {
  if (auto* cc = dynamic_cast<TMMControlChange*>(data)) {
    if (FAudioLine && cc->LineId == FAudioLine.get()->LineId() && cc->CtlId == FControlId) Changed();
  } else if (dynamic_cast<TMMLineIdChange*>(data)) {
    UpdateControl();
  }
}

void TMMCustomMixerControl::Changed() {
  TMMControlChange notice(LineUsable() ? FAudioLine.get()->LineId() : badLineId, FControlId);
  FLinks.NotifyObservers(&notice);
  if (OnChange) OnChange(this);
}

void TMMCustomMixerControl::ControlIdChanged() {
  TMMControlIdChange notice;
  FLinks.NotifyObservers(&notice);
}

bool TMMCustomMixerControl::IsValid() const { return LineUsable() && FControlId != badControlId; }

bool TMMCustomMixerControl::IsEnabled() const {
  return IsValid() && !(FControlInfo.Flags & cfDisabled);
}

bool TMMCustomMixerControl::AcceptControl(const MIXERCONTROL&) const { return true; }

int TMMCustomMixerControl::Channels() const {
  if (!LineUsable()) return 0;
  if (FControlInfo.Flags & cfUniform) return 1;
  return FAudioLine.get()->LineInfo().Channels;
}

int TMMCustomMixerControl::Items() const {
  if (!LineUsable()) return 0;
  return FControlInfo.MultipleItems;
}

void TMMCustomMixerControl::CheckUsable() const {
  if (!LineUsable()) throw EMMDeviceError(mixermsg::kMixerRequired);
  if (FControlId == badControlId) throw EMMDeviceError(mixermsg::kControlNotValid);
}

// ---------------------------------------------------------------- values

bool TMMCustomMixerControl::GetBoolean() { return (DWORD(GetSigned()) & 0xFF) != 0; }
void TMMCustomMixerControl::SetBoolean(bool b) { SetSigned(b ? 1 : 0); }
DWORD TMMCustomMixerControl::GetUnsigned() { return DWORD(GetSigned()); }
void TMMCustomMixerControl::SetUnsigned(DWORD v) { TMMCustomMixerControl::SetSigned(LONG(v)); }

// One value for all channels: a one-channel request, which the mixer reads
// and writes for the whole control.
LONG TMMCustomMixerControl::GetSigned() {
  CheckUsable();
  std::vector<LONG> block;
  LineMixer()->GetDetails(DWORD(FControlId), DWORD(std::min(Channels(), 1)), 0, block);
  return block[0];
}

void TMMCustomMixerControl::SetSigned(LONG v) {
  CheckUsable();
  std::vector<LONG> block{v};
  LineMixer()->SetDetails(DWORD(FControlId), DWORD(std::min(Channels(), 1)), 0, block);
}

TMMCustomMixerControl::TItemBlock TMMCustomMixerControl::ReadBlock(TMMChannel channel, TMMItemIndex item) {
  CheckUsable();
  TItemBlock block;
  const int all = Channels();
  block.channels = DWORD(channel == chBoth ? std::min(all, 1) : all);
  if (item != NoItem && (item < 0 || item >= Items())) throw EMMMixerControlError(mixermsg::kItemOutOfRange);
  block.items = item == NoItem ? 0 : DWORD(Items());
  // Item -1 stands for the single item of a control without items, so it
  // counts as 0 for the left and right channel too.
  const std::size_t at = std::size_t(std::max(item, 0));
  if (all <= 1 || channel == chBoth)
    block.index = at;
  else
    block.index = at * std::size_t(all) + (channel == chRight ? 1 : 0);
  LineMixer()->GetDetails(DWORD(FControlId), block.channels, block.items, block.values);
  return block;
}

void TMMCustomMixerControl::WriteBlock(TItemBlock& block) {
  LineMixer()->SetDetails(DWORD(FControlId), block.channels, block.items, block.values);
}

LONG TMMCustomMixerControl::ReadItem(TMMChannel channel, TMMItemIndex item) {
  const TItemBlock block = ReadBlock(channel, item);
  return block.index < block.values.size() ? block.values[block.index] : 0;
}

void TMMCustomMixerControl::WriteItem(TMMChannel channel, TMMItemIndex item, LONG v) {
  TItemBlock block = ReadBlock(channel, item);
  if (block.index >= block.values.size()) return;
  block.values[block.index] = v;
  WriteBlock(block);
}

LONG TMMCustomMixerControl::GetSignedItem(TMMChannel channel, TMMItemIndex item) {
  return ReadItem(channel, item);
}
void TMMCustomMixerControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, LONG v) {
  WriteItem(channel, item, v);
}
DWORD TMMCustomMixerControl::GetUnsignedItem(TMMChannel channel, TMMItemIndex item) {
  return DWORD(ReadItem(channel, item));
}
void TMMCustomMixerControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, DWORD v) {
  WriteItem(channel, item, LONG(v));
}
bool TMMCustomMixerControl::GetBooleanItem(TMMChannel channel, TMMItemIndex item) {
  return (DWORD(ReadItem(channel, item)) & 0xFF) != 0;
}

void TMMCustomMixerControl::SetBooleanItem(TMMChannel channel, TMMItemIndex item, bool b) {
  TItemBlock block = ReadBlock(channel, item);
  std::vector<LONG>& values = block.values;
  // Booleans travel as the low byte of each value.
  for (LONG& v : values) v = LONG(DWORD(v) & 0xFF);
  // A single-select list (MUX, SINGLESELECT): the chosen item becomes the
  // only one selected at this channel position.
  const int count = Items();
  if (count > 0 && (ControlTypeValue(FControlType) & 0x0F000000) == 0) {
    const std::size_t stride = block.channels > 1 ? block.channels : 1;
    const std::size_t offset = block.index - std::size_t(std::max(item, 0)) * stride;
    for (int i = 0; i < count; ++i) {
      const std::size_t at = std::size_t(i) * stride + offset;
      if (at < values.size()) values[at] = 0;
    }
  }
  if (block.index < values.size()) values[block.index] = b ? 1 : 0;
  WriteBlock(block);
}

// ---------------------------------------------------------------- items

TMMCustomMixerControl::TItemInfo TMMCustomMixerControl::GetItemInfo(TMMItemIndex item) {
  if (!(FControlInfo.Flags & cfMultiple)) throw EMMMixerControlError(mixermsg::kItemInfoNonMultiple);
  if (item < 0 || item >= Items()) throw EMMMixerControlError(mixermsg::kItemOutOfRange);
  CheckUsable();
  const DWORD channels = DWORD(std::max(Channels(), 1));
  const auto texts = LineMixer()->GetListTexts(DWORD(FControlId), channels, DWORD(Items()));
  const MIXERCONTROLDETAILS_LISTTEXT& t = texts[std::size_t(item) * channels];
  TItemInfo info;
  info.Param1 = t.dwParam1;
  info.Param2 = t.dwParam2;
  info.Name.assign(t.szName, strnlen(t.szName, sizeof t.szName));
  return info;
}

TMMItemIndex TMMCustomMixerControl::FindItemOfLine(TMMAudioLine* line) {
  if (!line || line->LineId() == badLineId || !IsValid() || !(FControlInfo.Flags & cfMultiple) ||
      (FControlType != ctMixer && FControlType != ctMux))
    return NoItem;
  for (int i = 0; i < Items(); ++i)
    if (GetItemInfo(i).Param1 == DWORD(line->LineId())) return i;
  return NoItem;
}

// ---------------------------------------------------------------- volume

TMMVolumeControl::TMMVolumeControl(QObject* AOwner) : TMMCustomMixerControl(AOwner) {
  SetControlType(ctVolume);
}

bool TMMVolumeControl::AcceptControl(const MIXERCONTROL& info) const {
  return info.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME;
}

double TMMVolumeControl::LeftFactor() const {
  return FPanValue <= 0 ? 1.0 : (32767.0 - FPanValue) / 32767.0;
}

double TMMVolumeControl::RightFactor() const {
  return FPanValue >= 0 ? 1.0 : (FPanValue + 32768.0) / 32768.0;
}

void TMMVolumeControl::SetPanValue(int value) {
  value = std::clamp(value, -32768, 32767);
  if (value == FPanValue) return;
  FPanValue = value;
  if (IsValid()) SetSigned(GetSigned());
}

void TMMVolumeControl::WritePanned(TMMItemIndex item, double v) {
  WriteItem(chLeft, item, LONG(std::int64_t(std::trunc(LeftFactor() * v))));
  WriteItem(chRight, item, LONG(std::int64_t(std::trunc(RightFactor() * v))));
}

void TMMVolumeControl::SetUnsigned(DWORD v) { WritePanned(NoItem, double(v)); }
void TMMVolumeControl::SetSigned(LONG v) { WritePanned(NoItem, double(v)); }

void TMMVolumeControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, DWORD v) {
  if (channel == chBoth)
    WritePanned(item, double(v));
  else
    WriteItem(channel, item, LONG(v));
}

void TMMVolumeControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, LONG v) {
  if (channel == chBoth)
    WritePanned(item, double(v));
  else
    WriteItem(channel, item, v);
}
