#include "app/formstyle.h"

#include <QScreen>

#include "app/fonts.h"
#include "app/icons.h"

void SetUpFixedWindow(QWidget* window, int clientWidth, int clientHeight, TBorderIcons icons) {
  Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint;
  if (icons == TBorderIcons::SystemMenuAndMinimize)
    flags |= Qt::Window | Qt::WindowMinimizeButtonHint;
  else
    flags |= Qt::Dialog;
  window->setWindowFlags(flags);
  window->setFont(SimSunFont());
  window->setWindowIcon(ProgramIcon());
  window->setFixedSize(clientWidth, clientHeight);
  CentreOnScreen(window);
}

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

void ShowInFront(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}
