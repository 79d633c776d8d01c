#include "app/handlers.h"

#include <QApplication>
#include <QMessageBox>

namespace {

std::function<void(const QString&)>& Reporter() {
  static std::function<void(const QString&)> reporter;
  return reporter;
}

std::function<bool(const QString&)>& Responder() {
  static std::function<bool(const QString&)> responder;
  return responder;
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

void SetQuestionResponder(std::function<bool(const QString&)> responder) { Responder() = std::move(responder); }

bool AskQuestion(const QString& text) {
  if (Responder()) return Responder()(text);
  return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}
