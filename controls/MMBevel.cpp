#include "controls/MMBevel.h"

#include <QPainter>
#include <algorithm>

namespace {

// One bevel of `width` rings inside `r`; returns the rectangle inside it.
QRect PaintCut(QPainter& p, QRect r, TMMBevelCut cut, int width, const QColor& shadow, const QColor& light) {
  if (cut == bvNone) return r;
  const QColor topLeft = cut == bvLowered ? shadow : light;
  const QColor bottomRight = cut == bvLowered ? light : shadow;
  for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    r.adjust(1, 1, -1, -1);
  }
  return r;
}

}  // namespace

int TMMBevel::TotalWidth() const {
  int w = std::max(BorderWidth, 0) + std::max(BorderSpace, 0);
  if (BevelOuter != bvNone) w += std::max(BevelOuterWidth, 0);
  if (BevelInner != bvNone) w += std::max(BevelInnerWidth, 0);
  if (BorderLine) w += 1;
  return w;
}

QRect TMMBevel::InnerRect(const QRect& r) const {
  const int w = TotalWidth();
  return r.adjusted(w, w, -w, -w);
}

void TMMBevel::Paint(QPainter& p, const QRect& rect, const QColor& face) const {
  QRect r = rect;
  if (BorderLine) {
    p.setPen(BorderLineColor);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    r.adjust(1, 1, -1, -1);
  }
  r = PaintCut(p, r, BevelOuter, std::max(BevelOuterWidth, 0), ShadowColor, HighlightColor);
  const int border = std::max(BorderWidth, 0) + std::max(BorderSpace, 0);
  if (border > 0) {
    const QRect in = r.adjusted(border, border, -border, -border);
    p.fillRect(QRect(r.left(), r.top(), r.width(), border), face);
    p.fillRect(QRect(r.left(), in.bottom() + 1, r.width(), border), face);
    p.fillRect(QRect(r.left(), r.top(), border, r.height()), face);
    p.fillRect(QRect(in.right() + 1, r.top(), border, r.height()), face);
    r = in;
  }
  PaintCut(p, r, BevelInner, std::max(BevelInnerWidth, 0), ShadowColor, HighlightColor);
}
