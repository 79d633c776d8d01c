#pragma once

#include <QStringList>
#include <QWidget>

#include "mp3/LameCoder.h"

class QFrame;
class QLabel;
class QProgressBar;

// The MP3 conversion progress window: borderless, stays on top, centred,
// created hidden at start-up. It owns the program's one conversion component
// and follows its percentage while a run goes on; it resets and hides itself
// when the run ends, normally or by an error.
class TForm3 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);

  QFrame* Panel1;
  QProgressBar* ProgressBar1;
  QLabel* Label1;
  TLameCoder* LameCoder1;

  // Shows the window and converts LameCoder1's InputFiles into the given
  // output names. Returns when the run is done (the window is hidden then);
  // an error leaves as the coder's exception, after the window has hidden.
  // Ignored while a conversion is already running.
  void Convert(const QStringList& OutputFiles);

  void LameCoder1Progress(QObject* Sender, WORD PercentComplete);
  void LameCoder1EndProcess(QObject* Sender);
  // A run that failed or was stopped: the same reset, so that the window
  // does not stay on screen over the error message.
  void LameCoder1AbortProcess(QObject* Sender);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CenterOnScreen();
};

extern TForm3* Form3;
