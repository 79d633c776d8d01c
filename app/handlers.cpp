#include "app/handlers.h"

#include <QApplication>
#include <QMessageBox>

namespace {

std::function<void(const QString&)>& Reporter() {
  static std::function<void(const QString&)> reporter;
  return reporter;
}

}  // namespace

void SetHandlerErrorReporter(std::function<void(const QString&)> reporter) {
  Reporter() = std::move(reporter);
}

void ShowHandlerError(const QString& text) {
  if (Reporter()) {
    Reporter()(text);
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}
