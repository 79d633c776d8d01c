#include "app/handlers.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/language/messages.h"

namespace {

// A dialog's frame: a title and the close box, no minimise or maximise box.
constexpr Qt::WindowFlags kBoxFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowCloseButtonHint;

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
  const QString shown = language::Message(text);
  if (Reporter()) {
    Reporter()(shown);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), shown, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setWindowFlags(kBoxFlags);
  box.exec();
}

void SetQuestionResponder(std::function<bool(const QString&)> responder) { Responder() = std::move(responder); }

bool AskQuestion(const QString& text) {
  if (Responder()) return Responder()(text);
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  box.setWindowFlags(kBoxFlags);
  return box.exec() == QMessageBox::Yes;
}
