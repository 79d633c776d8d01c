#include "app/Tunelark.h"

#include <QFileInfo>
#include <QTimer>

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
  const int code = TApplication::exec();
  SetApplicationTerminated(true);
  DestroyForms();
  return code;
}
