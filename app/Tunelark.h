#pragma once

#include <QApplication>
#include <QString>

// The application object: a QApplication that shows an error escaping any
// event handler in the error box instead of ending the program. Handlers of
// the windows catch their own errors (RunHandler); this is the backstop.
class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Sets the application's title and font and loads the Chinese texts of Qt's
// own dialogs and buttons when they are installed.
void InitialiseApplication(QApplication& app);

// Starts the application's life (not terminated) and creates the six
// windows in order, each in its program-wide variable
// (Form1, Form2, AboutBox, Form3, Form4, LyricsForm), and shows only Form1. The others
// stay hidden until a command shows them and do not keep the program
// running: it ends when Form1 closes. SIGTERM, SIGHUP and SIGINT end the
// program cleanly from here on: a take in progress is finished as
// stop-and-save finishes it, Form1 closes and the loop ends with code 0.
void CreateForms();

// Destroys the windows in reverse order of creation and clears their
// variables.
void DestroyForms();

// Opens a file as the window's open-WAV command (a .wav) or browse-MIDI
// command (anything else) would after its dialog; errors go to the error
// box. Nothing for a path that is not a file.
void OpenGivenFile(const QString& path);

// Starts the application, creates its windows, opens the file named as the
// first argument (if any), runs the message loop until the main window
// closes and returns the exit code.
int RunTunelark(int argc, char** argv);
