#include "app/Tunelark.h"

#include <QEvent>
#include <QFileInfo>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <functional>

#include "app/about.h"
#include "app/config.h"
#include "app/fonts.h"
#include "app/handlers.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/savemp3.h"
#include "app/vol.h"
#include "platform/language/language.h"
#include "platform/sequencer/mci.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/winmsg/signalpipe.h"
#include "platform/winmsg/winmsg.h"
#include "score/aubiolib.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool result = false;
  RunHandler([&] { result = QApplication::notify(receiver, event); });
  return result;
}

void InitialiseApplication(QApplication& app) {
  // The title names the program in message boxes. It is not a display name:
  // Qt would append that to every window's caption.
  QApplication::setApplicationName(QStringLiteral("Tunelark"));
  QApplication::setFont(SimSunFont());
  // Errors that escape a window procedure of the multimedia layer get the
  // same error box as those of the windows' handlers.
  SetApplicationExceptionHandler([](std::exception_ptr error) {
    RunHandler([&] { std::rethrow_exception(error); });
  });
  // Before any window exists: their texts are translated as they are made.
  language::Install(app, true);
  mciUseEnglishTexts(!language::Chinese());
}

namespace {

template <typename W>
void CreateSecondary(W*& variable) {
  variable = new W();
  variable->setAttribute(Qt::WA_QuitOnClose, false);
}

template <typename W>
void Destroy(W*& variable) {
  delete variable;
  variable = nullptr;
}

// The session ends (SIGTERM, SIGHUP, SIGINT): a take in progress is
// finished, the window closes and the program ends with exit code 0. A
// signal that comes while this runs is not handled twice.
void EndSession() {
  static bool ending = false;
  if (ending) return;
  ending = true;
  if (Form1) RunHandler([] { Form1->EndSession(); });
  QCoreApplication::exit(0);
  ending = false;
}

// Runs `work` from the event loop right after the first paint of `window`
// (posted from that paint, so the window is on the screen first).
class AfterFirstPaint : public QObject {
 public:
  AfterFirstPaint(QWidget* window, std::function<void()> work) : QObject(window), work_(std::move(work)) {
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, std::move(work_));
      deleteLater();
    }
    return false;
  }

 private:
  std::function<void()> work_;
};

}  // namespace

void CreateForms() {
  SetApplicationTerminated(false);
  InstallSignalPipe([](int) { EndSession(); });
  Form1 = new TForm1();
  CreateSecondary(Form2);
  CreateSecondary(AboutBox);
  CreateSecondary(Form3);
  CreateSecondary(Form4);
  CreateSecondary(LyricsForm);
  LyricsForm->HeardPosition = [] { return Form1->HeardPositionMs(); };
  Form1->show();
  // The soundfont takes seconds to load: once the window is up, on a
  // helper thread. A play before it is ready starts when it is.
  QTimer::singleShot(0, [] { sequencer::StartSoundfontLoading(); });
  // The pitch library and the codec libraries it brings take longer to load
  // than the window takes to show: on a helper thread once the window is on
  // the screen, so neither the window nor the first take waits for them. A
  // failure shows when a take is scored.
  new AfterFirstPaint(Form1, [] {
    QThreadPool::globalInstance()->start([] {
      try {
        score::Aubio();
      } catch (...) {
      }
    });
  });
}

void DestroyForms() {
  Destroy(LyricsForm);
  Destroy(Form4);
  Destroy(Form3);
  Destroy(AboutBox);
  Destroy(Form2);
  Destroy(Form1);
}

void OpenGivenFile(const QString& path) {
  const QFileInfo file(path);
  if (!file.isFile()) return;
  RunHandler([&] {
    if (file.suffix().compare(QStringLiteral("wav"), Qt::CaseInsensitive) == 0)
      Form1->OpenWav(file.absoluteFilePath(), {file.absoluteFilePath()});
    else
      Form1->OpenAccompaniment(file.absoluteFilePath());
  });
}

int RunTunelark(int argc, char** argv) {
  TApplication app(argc, argv);
  InitialiseApplication(app);
  CreateForms();
  // A file named on the command line (the desktop's "open with"): a WAV
  // becomes the current take, anything else the accompaniment.
  if (argc > 1) {
    const QString given = QString::fromLocal8Bit(argv[1]);
    QTimer::singleShot(0, [given] { OpenGivenFile(given); });
  }
  // For the start-up benchmark: quit as soon as the window has been
  // painted, printing when ("shown NS", CLOCK_MONOTONIC nanoseconds).
  if (qEnvironmentVariableIsSet("TUNELARK_QUIT_WHEN_SHOWN"))
    new AfterFirstPaint(Form1, [] {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      std::printf("shown %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
      std::fflush(stdout);
      QCoreApplication::exit(0);
    });
  const int code = TApplication::exec();
  SetApplicationTerminated(true);
  DestroyForms();
  return code;
}
