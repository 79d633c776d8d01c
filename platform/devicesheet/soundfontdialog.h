// The MIDI device sheet: the installed General MIDI soundfonts in a list,
// a button to choose another .sf2/.sf3 file, and the one in use. It sits
// beside the card's device sheet, above the sequencer, whose soundfont
// calls (soundfonts.h, synth.h) it uses.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;
class QLabel;

namespace sequencer {

class SoundfontDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SoundfontDialog(QWidget* parent = nullptr, const QString& title = QString());

  // The soundfont selected in the list ("" when none).
  QString chosen() const;
  // Adds `path` to the list (if it is not there) and selects it.
  void choose(const QString& path);
  // Remembers the choice and has the synthesizer load it.
  void apply();

 private:
  void browse();
  QListWidget* list_;
  QLabel* inUse_;
};

// Shows the sheet: lists the installed soundfonts, lets the user choose
// another .sf2/.sf3 file, remembers the choice and loads it. Returns true
// when the dialog was shown.
bool ShowSoundfontDialog(QWidget* parent, const QString& title);

}  // namespace sequencer
