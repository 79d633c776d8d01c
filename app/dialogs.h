#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Options of the file dialogs, by the names the windows use for them.
enum TOpenOption : unsigned {
  ofOverwritePrompt = 1u << 0,  // a save dialog asks before replacing a file
  ofHideReadOnly = 1u << 1,     // no read-only check box (Qt's dialog has none)
  ofPathMustExist = 1u << 2,
  ofFileMustExist = 1u << 3,    // an open dialog accepts only existing files
  ofEnableSizing = 1u << 4,     // the dialog can be resized
};

// Turns a filter written as description|pattern pairs ("WAVE FILES|*.wav",
// "MIDI FILES(*.mid)|*.mid|...") into Qt's name filters. A description that
// already ends with its pattern in brackets is kept as it is; several
// patterns separated by ';' become one space-separated list.
QStringList QtNameFilters(const QString& filter);

// An open or save dialog held as a set of properties and run on demand: the
// dialog window exists only while Execute() runs. Properties keep their
// values between runs; FileName and Files hold the last accepted choice.
class TFileDialog {
 public:
  virtual ~TFileDialog() = default;

  QString Title;       // empty: Qt's own title for the dialog's kind
  QString Filter;      // description|pattern pairs
  QString InitialDir;  // used when FileName has no existing folder
  QString DefaultExt;  // without the dot; appended to a name typed without one
  QString FileName;    // proposed name before, chosen name after Execute
  QStringList Files;   // all chosen names after Execute
  unsigned Options = ofHideReadOnly | ofEnableSizing;

  // Shows the dialog modally over the owner; true when the user accepted.
  bool Execute();

  // Replaces every dialog's window with `responder`, which plays the user:
  // it may set FileName and returns whether the choice is accepted (for
  // tests and scripted use). An empty function restores the windows.
  static void SetResponder(std::function<bool(TFileDialog&)> responder);

  // Builds the Qt dialog Execute() runs, configured from the properties.
  std::unique_ptr<QFileDialog> CreateDialog() const;

  // The folder the dialog opens in: FileName's folder when it exists, else
  // InitialDir when it exists, else the current directory.
  QString StartDirectory() const;

 protected:
  TFileDialog(QWidget* owner, QFileDialog::AcceptMode mode) : owner_(owner), mode_(mode) {}

 private:
  QWidget* owner_;
  QFileDialog::AcceptMode mode_;
};

class TOpenDialog : public TFileDialog {
 public:
  explicit TOpenDialog(QWidget* owner) : TFileDialog(owner, QFileDialog::AcceptOpen) {}
};

class TSaveDialog : public TFileDialog {
 public:
  explicit TSaveDialog(QWidget* owner) : TFileDialog(owner, QFileDialog::AcceptSave) {}
};
