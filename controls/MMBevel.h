// The frame drawn around a control: an optional border line, a border of
// the control's colour, an outer and an inner bevel. The control's content
// lies inside the total width on every side.
#pragma once

#include <QColor>
#include <QRect>

class QPainter;

enum TMMBevelCut : int { bvNone, bvLowered, bvRaised };

struct TMMBevel {
  TMMBevelCut BevelOuter = bvNone;
  int BevelOuterWidth = 1;
  TMMBevelCut BevelInner = bvNone;
  int BevelInnerWidth = 1;
  int BorderWidth = 0;
  int BorderSpace = 0;
  bool BorderLine = false;  // a one-pixel line around everything
  QColor BorderLineColor = Qt::black;
  QColor ShadowColor = QColor(0x80, 0x80, 0x80);
  QColor HighlightColor = Qt::white;

  // Pixels taken on each side: border width + border space + the widths of
  // the bevels drawn + 1 for a border line.
  int TotalWidth() const;
  // `r` shrunk by TotalWidth on every side.
  QRect InnerRect(const QRect& r) const;
  // Draws the frame into `r` (the control's rectangle); `face` fills the
  // border and the border space.
  void Paint(QPainter& painter, const QRect& r, const QColor& face) const;

  bool operator==(const TMMBevel&) const = default;
};
