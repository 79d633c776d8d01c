#include "controls/MMSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

TMMCustomSlider::TMMCustomSlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

QSize TMMCustomSlider::sizeHint() const {
  const int across = FThumbHeight + 2 * BevelWidth;
  const int along = 150;
  return FOrientation == orHorizontal ? QSize(along, across) : QSize(across, along);
}

void TMMCustomSlider::EndLoading() {
  if (!FLoading) return;
  FLoading = false;
  Loaded();
}

void TMMCustomSlider::SetMinMax(int min, int max) {
  if (max <= min && !FLoading) max = min + 1;
  FMin = min;
  FMax = max;
  FPosition = Clamp(FPosition);
  update();
  if (!FLoading) Change();
}

int TMMCustomSlider::Position() const {
  const double r = double(FMax) - FMin;
  if (!FLogarithmic || FPosition == 0 || r <= 0) return FPosition;
  const double s = FSensitivity;
  const double v = std::pow(10.0, (FPosition * -s / r + s) / 20.0) * r;
  return Clamp(int(std::nearbyint(v)));
}

void TMMCustomSlider::SetPosition(int value) {
  const double r = double(FMax) - FMin;
  if (!FLogarithmic || value == 0 || r <= 0) {
    SetRawPosition(value);
    return;
  }
  const double s = FSensitivity;
  // log10 of a non-positive value has no mapping; such values go to the
  // bottom of the range.
  if (value < 0) {
    SetRawPosition(FMin);
    return;
  }
  const double p = r * (20.0 * std::log10(value / r) - s) / -s;
  SetRawPosition(int(std::clamp(std::nearbyint(p), double(FMin), double(FMax))));
}

void TMMCustomSlider::SetRawPosition(int value) {
  value = Clamp(value);
  if (value == FPosition) return;
  FPosition = value;
  update();
  if (!FLoading) Change();
}

void TMMCustomSlider::SetOrientation(TMMOrientation value) {
  if (value == FOrientation) return;
  FOrientation = value;
  updateGeometry();
  update();
}

void TMMCustomSlider::SetSensitivity(int value) { FSensitivity = std::clamp(value, -96, -20); }

void TMMCustomSlider::SetThumbWidth(int value) {
  FThumbWidth = std::max(1, value);
  update();
}

void TMMCustomSlider::SetThumbHeight(int value) {
  FThumbHeight = std::max(1, value);
  updateGeometry();
  update();
}

void TMMCustomSlider::SetHandCursor(bool value) {
  FHandCursor = value;
  if (value)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
}

void TMMCustomSlider::Change() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- geometry

int TMMCustomSlider::TravelPixels() const {
  const int length = (FOrientation == orHorizontal ? width() : height()) - 2 * BevelWidth;
  return std::max(1, length - FThumbWidth);
}

QRect TMMCustomSlider::ThumbRect() const {
  const double r = double(FMax) - FMin;
  const int offset = r > 0 ? int(std::lround((FPosition - FMin) / r * TravelPixels())) : 0;
  if (FOrientation == orHorizontal) {
    const int y = (height() - FThumbHeight) / 2;
    return QRect(TrackStart() + offset, y, FThumbWidth, FThumbHeight);
  }
  const int x = (width() - FThumbHeight) / 2;
  const int bottom = height() - TrackStart();
  return QRect(x, bottom - offset - FThumbWidth, FThumbHeight, FThumbWidth);
}

int TMMCustomSlider::AlongTrack(const QPoint& p) const {
  if (FOrientation == orHorizontal) return p.x() - TrackStart();
  return height() - TrackStart() - p.y();
}

// ---------------------------------------------------------------- user input

void TMMCustomSlider::Track(int value) {
  const int before = FPosition;
  SetRawPosition(value);
  if (FPosition != before) {
    FTracking = true;
    if (OnTrack) OnTrack(this);
  }
}

void TMMCustomSlider::keyPressEvent(QKeyEvent* event) {
  const bool vertical = FOrientation == orVertical;
  int target = FPosition;
  switch (event->key()) {
    case Qt::Key_PageUp: target = FPosition + FPageStep; break;
    case Qt::Key_PageDown: target = FPosition - FPageStep; break;
    case Qt::Key_Up:
    case Qt::Key_Right: target = FPosition + FLineStep; break;
    case Qt::Key_Down:
    case Qt::Key_Left: target = FPosition - FLineStep; break;
    case Qt::Key_End: target = vertical ? FMin : FMax; break;
    case Qt::Key_Home: target = vertical ? FMax : FMin; break;
    default: QWidget::keyPressEvent(event); return;
  }
  Track(target);
  FTracking = false;
  event->accept();
}

void TMMCustomSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isEnabled()) return QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  const QPoint p = event->position().toPoint();
  FTracking = false;
  if (!ThumbRect().contains(p)) {
    const double r = double(FMax) - FMin;
    const double at = AlongTrack(p) - FThumbWidth / 2.0;
    Track(FMin + int(std::nearbyint(r * at / TravelPixels())));
  }
  // Pressing on the thumb, or moving it under the pointer, starts a drag.
  FDragging = true;
  FDragStartPos = FPosition;
  FDragStartPixel = AlongTrack(p);
  event->accept();
}

void TMMCustomSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) return QWidget::mouseMoveEvent(event);
  const double r = double(FMax) - FMin;
  const int moved = AlongTrack(event->position().toPoint()) - FDragStartPixel;
  Track(FDragStartPos + int(std::nearbyint(r * moved / TravelPixels())));
  event->accept();
}

void TMMCustomSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FDragging) return QWidget::mouseReleaseEvent(event);
  FDragging = false;
  if (FTracking && OnTrackEnd) OnTrackEnd(this);
  FTracking = false;
  event->accept();
}

void TMMCustomSlider::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (notches == 0 || !isEnabled()) return QWidget::wheelEvent(event);
  Track(FPosition + notches * FLineStep);
  FTracking = false;
  event->accept();
}

// ---------------------------------------------------------------- drawing

void TMMCustomSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const bool enabled = isEnabled();
  const QRect inner = rect().adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth);

  // Groove: a thin bar along the middle, filled up to the thumb.
  const QRect thumb = ThumbRect();
  QRect groove, filled;
  if (FOrientation == orHorizontal) {
    groove = QRect(inner.left(), height() / 2 - GrooveSize / 2, inner.width(), std::max(1, GrooveSize));
    filled = QRect(groove.left(), groove.top(), thumb.center().x() - groove.left(), groove.height());
  } else {
    groove = QRect(width() / 2 - GrooveSize / 2, inner.top(), std::max(1, GrooveSize), inner.height());
    filled = QRect(groove.left(), thumb.center().y(), groove.width(), groove.bottom() - thumb.center().y());
  }
  if (OnDrawGroove) {
    OnDrawGroove(this, painter, groove);
  } else {
    const qreal radius = GrooveStyle == gsRounded ? GrooveSize / 2.0 : 0.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(enabled ? GrooveColor : GrooveColor.lighter(150));
    painter.drawRoundedRect(groove, radius, radius);
    if (enabled) {
      painter.setBrush(FocusColor);
      painter.drawRoundedRect(filled, radius, radius);
    }
  }

  if (OnDrawThumb) {
    OnDrawThumb(this, painter, thumb);
  } else {
    const qreal radius = ThumbStyle == tsRounded ? 3.0 : 1.0;
    painter.setPen(QPen(enabled ? GrooveColor.darker(130) : GrooveColor, 1));
    painter.setBrush(enabled ? ThumbColor : DisabledColor);
    painter.drawRoundedRect(QRectF(thumb).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  }

  if (hasFocus() && FocusAction == faFocusRect) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(FocusColor, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
  }
  if (!PicLeft.isNull()) painter.drawPixmap(0, (height() - PicLeft.height()) / 2, PicLeft);
  if (!PicRight.isNull())
    painter.drawPixmap(width() - PicRight.width(), (height() - PicRight.height()) / 2, PicRight);
  if (ScaleVisible) {
    painter.setPen(GrooveColor);
    const int ticks = std::min(FMax - FMin, 50);
    for (int i = 0; ticks > 0 && i <= ticks; ++i) {
      const int along = TrackStart() + FThumbWidth / 2 + TravelPixels() * i / ticks;
      if (FOrientation == orHorizontal) {
        const int y = ScalePosition == spBelowOrRight ? thumb.bottom() + ScaleDistance / 2 : thumb.top() - ScaleDistance / 2;
        painter.drawLine(along, y, along, y + (ScalePosition == spBelowOrRight ? 3 : -3));
      } else {
        const int x = ScalePosition == spBelowOrRight ? thumb.right() + ScaleDistance / 2 : thumb.left() - ScaleDistance / 2;
        const int y = height() - along;
        painter.drawLine(x, y, x + (ScalePosition == spBelowOrRight ? 3 : -3), y);
      }
    }
  }
}
