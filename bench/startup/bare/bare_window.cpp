// The yardstick of the start-up benchmark: a bare Qt main window of the
// program's size with a menu bar of four menus, under the same font. Run
// with TUNELARK_QUIT_WHEN_SHOWN=1 it does what tunelark does then: once the
// window has been painted for the first time it prints "shown <ns>" (the
// CLOCK_MONOTONIC time) and quits.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

namespace {

class FirstPaint : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint || done_) return false;
    done_ = true;
    QTimer::singleShot(0, [] {
      timespec t{};
      clock_gettime(CLOCK_MONOTONIC, &t);
      std::printf("shown %lld\n", static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec);
      std::fflush(stdout);
      QCoreApplication::exit(0);
    });
    return false;
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("SimSun"), 9));
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Quillmoor - Tunelark V1.6"));
  for (const char* title : {"文件(&F)", "MIDI控制(&M)", "录音控制(&R)", "帮助(&H)"}) {
    QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(title));
    for (const char* item : {"新建WAV", "打开WAV", "设置选项", "退出"}) menu->addAction(QString::fromUtf8(item));
  }
  auto* client = new QWidget(&window);
  client->setFixedSize(537, 364);
  window.setCentralWidget(client);
  if (qEnvironmentVariableIsSet("TUNELARK_QUIT_WHEN_SHOWN")) window.installEventFilter(new FirstPaint(&window));
  window.show();
  return QApplication::exec();
}
