// The multimedia device property sheets as a component: Execute shows the
// sheet named by Sheets, modally, with Title as its caption, and tells
// whether a sheet was shown. Nothing is read back: the program's devices
// follow the system's defaults, which the sheets set.
//
//   psAudio   the sound card's device sheet (recording and playback device)
//   psMidi    the accompaniment's MIDI device sheet (the synthesizer's soundfont)
//   psAll     both, one after the other
//   psVideo, psCDAudio   no such sheet on this system: nothing is shown
#pragma once

#include <QString>
#include <stdexcept>

#include "audio/MMDSPObj.h"

class EMMPropertiesError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TMMPropertySheets : int { psAll, psAudio, psVideo, psMidi, psCDAudio };

class TMMPropertiesDialog : public TMMComponent {
  Q_OBJECT
 public:
  explicit TMMPropertiesDialog(QObject* AOwner = nullptr) : TMMComponent(AOwner) {}

  TMMPropertySheets Sheets = psAudio;
  QString Title = QStringLiteral("Audio Properties");

  // Shows the sheet over the owner window (when the owner is one); returns
  // when the user closes it.
  bool Execute();
};

class TMMProperties : public TMMPropertiesDialog {
  Q_OBJECT
 public:
  using TMMPropertiesDialog::TMMPropertiesDialog;
};
