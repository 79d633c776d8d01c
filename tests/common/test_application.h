// The application object of a test program that needs widgets but not the
// windows' own set-up: created on first use, on the offscreen platform unless
// the environment names another.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace testapp {

// `name` must outlive the program (a string literal).
inline QApplication& Application(const char* name) {
  static int argc = 1;
  static char* argv[] = {const_cast<char*>(name), nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: tearing Qt's input devices down at exit crashes.
  static auto* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace testapp
