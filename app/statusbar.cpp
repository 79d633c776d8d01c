#include "app/statusbar.h"

#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::AddPanel(int width) {
  panels_.append(Panel{width, QString(), QString()});
  update();
}

QString TStatusBar::PanelText(int index) const {
  return index >= 0 && index < panels_.size() ? panels_[index].text : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  if (index < 0 || index >= panels_.size() || panels_[index].text == text) return;
  panels_[index].text = text;
  update(PanelRect(index));
}

QString TStatusBar::PanelNote(int index) const {
  return index >= 0 && index < panels_.size() ? panels_[index].note : QString();
}

void TStatusBar::SetPanelNote(int index, const QString& note) {
  if (index < 0 || index >= panels_.size() || panels_[index].note == note) return;
  panels_[index].note = note;
  update(PanelRect(index));
}

QRect TStatusBar::PanelRect(int index) const {
  // Panels sit 2 pixels below the bar's top edge, side by side with a
  // 2-pixel gap, as the classic status bar draws them.
  int left = 0;
  for (int i = 0; i < index; ++i) left += panels_[i].width + 2;
  const bool last = index == panels_.size() - 1;
  const int width = last ? std::max(0, this->width() - left) : panels_[index].width;
  return QRect(left, 2, width, height() - 2);
}

void TStatusBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  for (int i = 0; i < panels_.size(); ++i) {
    const QRect r = PanelRect(i);
    qDrawShadePanel(&p, r, palette(), true, 1);
    QRect textRect = r.adjusted(3, 1, -3, -1);
    p.setPen(palette().color(QPalette::WindowText));
    if (!panels_[i].note.isEmpty()) {
      const int noteWidth = std::min(textRect.width(), fontMetrics().horizontalAdvance(panels_[i].note));
      p.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, panels_[i].note);
      textRect.setRight(textRect.right() - noteWidth - fontMetrics().averageCharWidth() * 2);
    }
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
               fontMetrics().elidedText(panels_[i].text, Qt::ElideRight, std::max(0, textRect.width())));
  }
}
