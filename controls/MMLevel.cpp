#include "controls/MMLevel.h"
#include "controls/MMLevelScale.h"

#include <QEvent>
#include <QFont>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>

QRgb MMColorToRgb(TMMColor c) { return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

namespace {

// Rounds to the nearest integer, halves to even (the default rounding mode).
std::int64_t RoundEven(double v) { return static_cast<std::int64_t>(std::nearbyint(v)); }

}  // namespace

TMMCustomLevel::TMMCustomLevel(QWidget* parent) : QWidget(parent) {
  // The meter paints every pixel itself; nothing behind it needs painting
  // first, which keeps a repaint of the meter cheap.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFont(QFont(QStringLiteral("Small Fonts"), 7));
  resize(200, 17);
  UpdateDataSize();
  UpdateInnerRect();
  Layout();
  // The peak tick; without a tick service the marker simply stays.
  FTimer = MMTimerSubscribe(
      MMTimerPeriod, false,
      [](PMMTimerClient, void* owner) { static_cast<TMMCustomLevel*>(owner)->PeakTick(); }, this);
}

TMMCustomLevel::~TMMCustomLevel() {
  MMCancelFrame(this);
  // Waits for a tick that is running now (the service holds its lock while
  // calling back), so no tick reaches a meter that is gone.
  MMTimerUnsubscribe(FTimer);
}

// ---------------------------------------------------------------- display side

void TMMCustomLevel::SetDisplayFormat(const WAVEFORMATEX* Format) {
  if (!pcmIsValidFormat(Format)) throw EMMLevelError(levelmsg::kInvalidWaveFormat);
  SetBitLength(Format->wBitsPerSample == 16 ? b16Bit : b8Bit);
  if (Format->nChannels != FChannels) {
    FChannels = Format->nChannels;
    UpdateDataSize();
    update();
  }
}

void TMMCustomLevel::ShowBlock(const void* Data) {
  if (!Data || !isEnabled() || isHidden()) return;
  ShowRaw(BlockPeak(Data));
}

void TMMCustomLevel::ClearDisplay() {
  FRawLevel = 0;
  FPeak = 0;
  FHold = 0;
  FLit = 0;
  ClearSmoothing();
  Redraw();
}

// ---------------------------------------------------------------- level

std::int64_t TMMCustomLevel::BlockPeak(const void* Data) const {
  return MMLevelBlockPeak(Data, {FSamples, FChannels, FBits, FChannel, FDCOffsetL, FDCOffsetR});
}

void TMMCustomLevel::ShowRaw(std::int64_t R) {
  if (R >= kFullScale && OnPcmOverflow) OnPcmOverflow(this);
  FRawLevel = R;
  if (R == 0 && FLit == 0 && !FPeakChanged.load()) return;

  if (FDecayMode != dmNone) {
    if (++FRingPos >= FRingLength) FRingPos = 0;
    FRingFill = std::min(FRingFill + 1, FRingLength);
    switch (FDecayMode) {
      case dmStepUp:
        FRunning *= FDecayFactor;
        if (float(R) > FRunning)
          FRunning = float(R);
        else
          R = std::int64_t(FRunning);
        break;
      case dmExponential:
        FRunning = FRunning * FDecayFactor + (1.0f - FDecayFactor) * float(R);
        R = std::int64_t(std::floor(FRunning));
        break;
      case dmUniform:
        FRingSum += R - FRing[std::size_t(FRingPos)];
        FRing[std::size_t(FRingPos)] = R;
        R = FRingSum / FRingFill;
        break;
      case dmNone:
        break;
    }
  }

  int spots = ScaleToSpots(R);
  if (FDirection == dirSymetric) spots /= 2;
  if (spots > FNumSpots) {
    if (OnGainOverflow) OnGainOverflow(this);
    spots = FNumSpots;
  }
  if (spots >= FPeak.load() && spots > 0 && FNumPeaks > 0) {
    FHold = 2 * FPeakDelay + 1;
    FPeak = spots;
    FPeakChanged = true;
  }
  if (spots == FLit && !FPeakChanged.load()) return;
  FPeakChanged = false;
  FLit = spots;
  if (isEnabled() && isVisible()) Redraw();
}

int TMMCustomLevel::ScaleToSpots(std::int64_t R) {
  return MMLevelSpots(R, {FNumSpots, FGain, FSensitivy, FLogAmp});
}

void TMMCustomLevel::ClearSmoothing() {
  FRing.fill(0);
  FRingSum = 0;
  FRingPos = 0;
  FRingFill = 0;
  FRunning = 0.0f;
}

void TMMCustomLevel::PeakTick() {
  const int p = FPeak.load();
  if (p <= 0) return;
  // A hold counter that a property change reset to 0 counts as run out.
  if (FHold.fetch_sub(1) - 1 > 0) return;
  const int speed = FPeakSpeed.load();
  if (speed > 0) {
    FPeak = p - 1;
    FHold = speed;
  } else {
    FPeak = 0;
    FHold = 0;
  }
  FPeakChanged = true;
}

int TMMCustomLevel::Value() const {
  if (FLit == 0) return 0;
  const double N = FNumSpots;
  if (!FLogAmp) return int(RoundEven(FLit * 100.0 / N));
  const int g = FGain + 8;
  if (g == 0) return 0;
  const double S = FSensitivy;
  return int(RoundEven(100.0 * 8.0 / g * std::pow(10.0, (S - S * FLit / N) / 20.0)));
}

void TMMCustomLevel::SetValue(int Value) {
  Value = std::clamp(Value, 0, 100);
  ShowRaw(RoundEven(Value * double(kFullScale) / 100.0));
}

// ---------------------------------------------------------------- layout

int TMMCustomLevel::BarLength() const { return FKind == lkHorizontal ? FInner.width() : FInner.height(); }

void TMMCustomLevel::UpdateDataSize() { FDataSize = (int(FBits) + 1) * FChannels * FSamples; }

void TMMCustomLevel::UpdateInnerRect() {
  QRect inner = FBevel.InnerRect(rect());
  inner.setWidth(std::max(inner.width(), 1));
  inner.setHeight(std::max(inner.height(), 1));
  FInner = inner;
  if (FBackground.size() != inner.size()) {
    FBackground = QImage(inner.size(), QImage::Format_RGB32);
    FDisplay = QImage(inner.size(), QImage::Format_RGB32);
  }
}

void TMMCustomLevel::Layout() {
  FSpotWidth = std::max(FSpotWidth, 1);
  const int length = BarLength();
  const int pitch = FSpotWidth + FSpotSpace;
  FNumSpots = std::max((length + FSpotSpace) / pitch, 1);
  FMargin = (length - (pitch * FNumSpots - FSpotSpace)) / 2;
  FThreshold1 = FPoint1 * FNumSpots / 100;
  FThreshold2 = FPoint2 * FNumSpots / 100;
  DrawBackground();
  FPeak = 0;
  FLit = 0;
}

// Spot k (from 1 at the base), in display coordinates.
QRect TMMCustomLevel::SpotRect(int k) const {
  const int w = FInner.width(), h = FInner.height();
  const int offset = FMargin + (k - 1) * (FSpotWidth + FSpotSpace);
  if (FKind == lkVertical) {
    if (FDirection == dirNormal) return QRect(0, h - offset - FSpotWidth, w, FSpotWidth);
    return QRect(0, offset, w, FSpotWidth);
  }
  if (FDirection == dirNormal) return QRect(offset, 0, FSpotWidth, h);
  return QRect(w - offset - FSpotWidth, 0, FSpotWidth, h);
}

QRgb TMMCustomLevel::ActiveColorOf(int k) const {
  if (k > FThreshold2) return MMColorToRgb(FBarColor[2]);
  if (k > FThreshold1) return MMColorToRgb(FBarColor[1]);
  return MMColorToRgb(FBarColor[0]);
}

QRgb TMMCustomLevel::InactiveColorOf(int k) const {
  if (k > FThreshold2) return MMColorToRgb(FInactiveColor[2]);
  if (k > FThreshold1) return MMColorToRgb(FInactiveColor[1]);
  return MMColorToRgb(FInactiveColor[0]);
}

// Fills the spot, or with `dotted` every second pixel of every second row
// starting with its first pixel; clipped to the image.
void TMMCustomLevel::DrawSpot(QImage& image, int k, QRgb color, bool dotted) const {
  const QRect r = SpotRect(k).intersected(image.rect());
  if (r.isEmpty()) return;
  const int step = dotted ? 2 : 1;
  for (int y = r.top(); y <= r.bottom(); y += step) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    if (dotted)
      for (int x = r.left(); x <= r.right(); x += 2) line[x] = color;
    else
      std::fill(line + r.left(), line + r.right() + 1, color);
  }
}

void TMMCustomLevel::DrawBackground() {
  if (FOnDrawBar || FBackground.isNull()) return;
  FBackground.fill(MMColorToRgb(FColor));
  for (int k = 1; k <= FNumSpots; ++k) DrawSpot(FBackground, k, InactiveColorOf(k), FInactiveDoted);
}

// ---------------------------------------------------------------- drawing

void TMMCustomLevel::RenderDisplay() {
  ++FRedraws;
  if (OnPaint) OnPaint(this);
  if (FOnDrawBar) {
    FOnDrawBar(this, FDisplay, QRect(0, 0, FInner.width(), FInner.height()), FLit, FPeak.load());
    return;
  }
  // Same size and format: one block copy, no allocation.
  std::memcpy(FDisplay.bits(), FBackground.constBits(), std::size_t(FBackground.sizeInBytes()));
  if (!isEnabled()) return;
  if (FDirection == dirSymetric) {
    const int centre = std::clamp(FLit, 1, FNumSpots);
    const QRgb color = ActiveColorOf(centre);
    for (int k = centre - 2; k <= centre + 2; ++k)
      if (k >= 1 && k <= FNumSpots) DrawSpot(FDisplay, k, color, FActiveDoted);
  } else {
    for (int k = 1; k <= FLit; ++k) DrawSpot(FDisplay, k, ActiveColorOf(k), FActiveDoted);
  }
  const int peak = FPeak.load();
  if (FNumPeaks > 0 && peak > FLit)
    for (int k = peak; k > peak - FNumPeaks; --k)
      if (k >= 1 && k <= FNumSpots) DrawSpot(FDisplay, k, ActiveColorOf(k), FActiveDoted);
}

void TMMCustomLevel::Redraw() {
  if (!isVisible() || FFrameAsked) return;  // a paint to come renders the current state
  FFrameAsked = true;
  const QScreen* s = screen();
  MMRequestFrame(this, s ? s->refreshRate() : 0.0);
}

void TMMCustomLevel::PaintFrame() {
  FFrameAsked = false;
  if (isVisible()) update(FInner);
}

void TMMCustomLevel::paintEvent(QPaintEvent* event) {
  RenderDisplay();
  QPainter p(this);
  if (!FInner.contains(event->rect())) FBevel.Paint(p, rect(), QColor(MMColorToRgb(FColor)));
  p.drawImage(FInner.topLeft(), FDisplay);
}

void TMMCustomLevel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateInnerRect();
  Layout();
}

void TMMCustomLevel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::EnabledChange) return;
  if (!isEnabled()) {
    ClearDisplay();
  } else {
    Layout();
    update();
  }
  SyncTick();
}

// The tick runs while the meter is enabled and shows a peak marker.
void TMMCustomLevel::SyncTick() {
  const bool pause = !isEnabled() || FNumPeaks == 0;
  if (pause == FTickPaused || !FTimer) return;
  if (pause)
    MMTimerPause(FTimer);
  else
    MMTimerResume(FTimer);
  FTickPaused = pause;
}

// ---------------------------------------------------------------- properties

void TMMCustomLevel::SetKind(TMMLevelKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  const bool fits = Value == lkVertical ? height() >= width() : width() >= height();
  if (!fits) {
    resize(height(), width());  // the resize lays out again
  } else {
    UpdateInnerRect();
    Layout();
  }
  update();
}

void TMMCustomLevel::SetSpotSpace(int Value) {
  Value = std::clamp(Value, 0, 10);
  if (Value == FSpotSpace) return;
  FSpotSpace = Value;
  Layout();
  update();
}

void TMMCustomLevel::SetSpotWidth(int Value) {
  Value = std::clamp(Value, 1, std::max(BarLength() / 3, 1));
  if (Value == FSpotWidth) return;
  FSpotWidth = Value;
  Layout();
  update();
}

void TMMCustomLevel::SetColorOf(TMMColor& field, TMMColor Value) {
  if (field == Value) return;
  field = Value;
  DrawBackground();
  update();
}

void TMMCustomLevel::SetInactiveDoted(bool Value) {
  if (Value == FInactiveDoted) return;
  FInactiveDoted = Value;
  DrawBackground();
  update();
}

void TMMCustomLevel::SetActiveDoted(bool Value) {
  if (Value == FActiveDoted) return;
  FActiveDoted = Value;
  DrawBackground();
  update();
}

void TMMCustomLevel::SetPoint1(int Value) {
  Value = std::clamp(Value, 1, 100);
  if (Value == FPoint1) return;
  FPoint1 = Value;
  Layout();
  update();
}

void TMMCustomLevel::SetPoint2(int Value) {
  Value = std::clamp(Value, 1, 100);
  if (Value == FPoint2) return;
  FPoint2 = Value;
  Layout();
  update();
}

void TMMCustomLevel::SetDirection(TMMLevelDirection Value) {
  if (Value == FDirection) return;
  FDirection = Value;
  DrawBackground();
  update();
}

void TMMCustomLevel::SetBitLength(TMMBits Value) {
  if (Value == FBits) return;
  FBits = Value;
  UpdateDataSize();
  update();
}

void TMMCustomLevel::SetChannel(TMMChannel Value) {
  if (Value == FChannel) return;
  FChannel = Value;
  update();
}

TMMMode TMMCustomLevel::Mode() const {
  if (FChannels <= 1) return mMono;
  return FChannels == 2 ? mStereo : mMultiChannel;
}

void TMMCustomLevel::SetMode(TMMMode Value) {
  const int channels = int(Value) + 1;
  if (channels == FChannels) return;
  FChannels = channels;
  UpdateDataSize();
  update();
}

void TMMCustomLevel::SetGain(int Value) {
  if (Value < -8 || Value > 32) return;
  FGain = Value;
}

void TMMCustomLevel::SetSamples(int Value) {
  Value = std::max(Value, 1);
  if (Value == FSamples) return;
  FSamples = Value;
  UpdateDataSize();
}

void TMMCustomLevel::SetSensitivy(int Value) { FSensitivy = std::clamp(Value, -90, -9); }

void TMMCustomLevel::SetLogAmp(bool Value) { FLogAmp = Value; }

void TMMCustomLevel::SetNumPeaks(int Value) {
  FNumPeaks = std::clamp(Value, 0, 5);
  FHold = 0;
  SyncTick();
  update();
}

void TMMCustomLevel::SetPeakDelay(int Value) {
  FPeakDelay = std::clamp(Value, 0, 50);
  FHold = 0;
}

void TMMCustomLevel::SetPeakSpeed(int Value) {
  FPeakSpeed = std::clamp(Value, 0, 50);
  FHold = 0;
}

void TMMCustomLevel::SetDecayMode(TMMDecayMode Value) {
  FDecayMode = Value;
  ClearSmoothing();
}

// Factor 0.0001 square-rooted `Value` times; ring of 2n - 2 values (1..32).
void TMMCustomLevel::SetDecay(int Value) {
  Value = std::clamp(Value, 1, 16);
  if (Value == FDecay) return;
  FDecay = Value;
  float factor = 0.0001f;
  for (int i = 0; i < Value; ++i) factor = std::sqrt(factor);
  FDecayFactor = factor;
  FRingLength = std::clamp(2 * Value - 2, 1, 32);
  if (FDecayMode == dmUniform) ClearSmoothing();
}

void TMMCustomLevel::SetDCOffsetL(int Value) { FDCOffsetL = Value; }

void TMMCustomLevel::SetDCOffsetR(int Value) { FDCOffsetR = Value; }

void TMMCustomLevel::SetBevel(const TMMBevel& Value) {
  if (Value == FBevel) return;
  FBevel = Value;
  UpdateInnerRect();
  Layout();
  update();
}

void TMMCustomLevel::SetOnDrawBar(TMMLevelDrawBar Handler) {
  const bool removed = FOnDrawBar && !Handler;
  FOnDrawBar = std::move(Handler);
  if (removed) DrawBackground();
  update();
}
