// The one application object of the controls' tests (the level meters and
// the slider run in one program, so they must share it).
#pragma once

#include <QApplication>
#include <cstdlib>

namespace controlstest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "test_controls";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: tearing Qt's input devices down at exit crashes.
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// A member or base placed before any widget makes the application first.
struct AppFirst {
  AppFirst() { App(); }
};

}  // namespace controlstest
