#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label that reports a click of the left mouse button released over it.
//
// With a line pitch set, its text is word-wrapped at that fixed pitch, each
// line's ink starting at a multiple of the pitch: a CJK face whose ascent
// is much taller than its glyphs then fits as many lines as the label was
// laid out for.
class TClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

  void SetLinePitch(int pixels) {
    linePitch_ = pixels;
    update();
  }

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int linePitch_ = 0;
};
