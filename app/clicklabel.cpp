#include "app/clicklabel.h"

#include <QPainter>
#include <QTextLayout>

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(event);
}

void TClickLabel::paintEvent(QPaintEvent* event) {
  if (linePitch_ <= 0) {
    QLabel::paintEvent(event);
    return;
  }
  // The ink of a full-width character reaches this far above the baseline.
  const int inkAbove = -fontMetrics().tightBoundingRect(QStringLiteral("国")).top();
  QTextLayout layout(text(), font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  for (int i = 0;; ++i) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(contentsRect().width());
    const qreal baseline = contentsRect().top() + i * linePitch_ + inkAbove;
    line.setPosition(QPointF(contentsRect().left(), baseline - line.ascent()));
  }
  layout.endLayout();
  QPainter p(this);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  layout.draw(&p, QPointF(0, 0));
}
