#pragma once

#include <QWidget>

class QCheckBox;

// The settings window: recording quality, the two workflow switches, the
// device buttons and the microphone and master volume page. Created hidden
// at start-up, shown by the main window's settings command.
class TForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

  // "当MIDI结束时停止": the end of the accompaniment ends a recording.
  QCheckBox* recstop = nullptr;
  // "不必有MIDI即可录音": a new WAV may be recorded without an accompaniment.
  QCheckBox* nomidi = nullptr;
};

extern TForm2* Form2;
