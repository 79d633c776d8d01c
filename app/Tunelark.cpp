#include "app/Tunelark.h"

#include <QApplication>
#include <QMainWindow>

int RunTunelark(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tunelark");
  QMainWindow window;
  window.setWindowTitle("Quillmoor - Tunelark V1.6");
  window.show();
  return app.exec();
}
