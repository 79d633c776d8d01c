// A guard that shows the wait cursor while a long operation runs.
#pragma once

#include <QCursor>
#include <QGuiApplication>

// Shows the wait cursor for the lifetime of the guard (when asked and when
// there is a screen to show it on).
class TMMHourGlass {
 public:
  explicit TMMHourGlass(bool show) {
    if (show && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
      shown_ = true;
    }
  }
  ~TMMHourGlass() { restore(); }
  void restore() {
    if (shown_) QGuiApplication::restoreOverrideCursor();
    shown_ = false;
  }

 private:
  bool shown_ = false;
};
