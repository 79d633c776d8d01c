#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <utility>

// An error that leaves a window's handler is shown in a message box with the
// error's text, and the program goes on: what the handler did before the
// error stays done. Every handler bound to a control, a menu item or a timer
// runs through RunHandler so that no exception crosses the Qt event loop.

// Shows the error box (title: the application's name, a stop icon, the text;
// the components' English texts in the interface's language).
void ShowHandlerError(const QString& text);

// Replaces the error box, for tests; an empty function restores the box.
void SetHandlerErrorReporter(std::function<void(const QString&)> reporter);

// Asks a yes/no question (title: the application's name) whose default
// answer is No; true only when the user answers Yes.
bool AskQuestion(const QString& text);

// Replaces the question box, for tests: `responder` gets the text and
// answers; an empty function restores the box.
void SetQuestionResponder(std::function<bool(const QString&)> responder);

// Runs one handler on the main thread and reports what it raises.
template <typename F>
void RunHandler(F&& handler) noexcept {
  try {
    std::forward<F>(handler)();
  } catch (const std::exception& e) {
    ShowHandlerError(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowHandlerError(QStringLiteral("Unknown error"));
  }
}

// A slot that runs `object`'s `handler` through RunHandler.
template <typename T>
auto HandlerSlot(T* object, void (T::*handler)()) {
  return [object, handler] { RunHandler([&] { (object->*handler)(); }); };
}
