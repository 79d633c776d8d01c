// The singer's key and tempo for the open accompaniment: the five items of
// the menu "MIDI控制", what is remembered for each song, and where they are
// shown (the status bar's first panel, the lyrics window). A change while
// the accompaniment plays is heard at once; its length and position follow
// the tempo, so the progress bar's range is set again.
#include <QAction>
#include <QCoreApplication>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/keytemposettings.h"
#include "app/lyricswindow.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"

QString KeyTempoText(const sequencer::KeyTempo& kt) {
  const QString key = kt.key > 0 ? QStringLiteral("+%1").arg(kt.key) : QString::number(kt.key);
  return QCoreApplication::translate("TForm1", "调 %1 · 速度 %2%").arg(key).arg(kt.tempo);
}

void keytempomap(bool enabled) {
  for (QAction* item : {Form1->Nkeyup, Form1->Nkeydown, Form1->Nfaster, Form1->Nslower, Form1->Noriginal})
    item->setEnabled(enabled);
}

// `path` is the accompaniment just opened (empty: none is open any more).
// The file is read once more for its content hash, unless it is no regular
// file (a pipe cannot be read again).
void TForm1::RestoreKeyTempo(const QString& path) {
  const MCIDEVICEID device = midiplay->DeviceID();
  FSongHash = device != 0 && !path.isEmpty() ? SongContentHash(path) : QString();
  if (device != 0) sequencer::SetKeyTempo(device, RememberedKeyTempo(FSongHash));
  keytempomap(device != 0);
  ShowKeyTempo();
}

void TForm1::SetKeyTempo(const sequencer::KeyTempo& kt) {
  const MCIDEVICEID device = midiplay->DeviceID();
  if (device == 0) return;
  const int before = sequencer::KeyTempoOf(device).tempo;
  const std::uint64_t songMs = sequencer::SongFromHeard(std::uint64_t(std::max(0, midiplay->Position())), before);
  if (!sequencer::SetKeyTempo(device, kt)) return;
  // A take's words are timed as it holds the song: from here at the new
  // tempo (the position's rounding may put here a millisecond before the
  // last change).
  const int after = sequencer::KeyTempoOf(device).tempo;
  if (recording && !FTakeTempi.empty() && after != before)
    FTakeTempi.push_back({std::max(std::uint32_t(songMs), FTakeTempi.back().songMs), after});
  TakeKeyTempoChanged(double(songMs));
  RememberKeyTempo(FSongHash, sequencer::KeyTempoOf(device));
  ShowLength();
  ShowKeyTempo();
}

// Steps past either end stay at the end.
void TForm1::StepKeyTempo(int semitones, int percent) {
  sequencer::KeyTempo kt = sequencer::KeyTempoOf(midiplay->DeviceID());
  kt.key += semitones;
  kt.tempo += percent;
  SetKeyTempo(kt.Clamped());
}

void TForm1::keyupClick() { StepKeyTempo(1, 0); }
void TForm1::keydownClick() { StepKeyTempo(-1, 0); }
void TForm1::fasterClick() { StepKeyTempo(0, kTempoStep); }
void TForm1::slowerClick() { StepKeyTempo(0, -kTempoStep); }
void TForm1::originalClick() { SetKeyTempo(sequencer::KeyTempo{}); }

void TForm1::ShowKeyTempo() {
  const MCIDEVICEID device = midiplay->DeviceID();
  const QString text = device != 0 ? KeyTempoText(sequencer::KeyTempoOf(device)) : QString();
  Status->SetPanelNote(0, text);
  if (LyricsForm) LyricsForm->SetKeyTempoNote(text);
}

void TForm1::ShowLength() {
  const int length = midiplay->Length();
  pbar->setMaximum(length);
  // A tick at every tenth of the accompaniment; halves round to even.
  pbar->setTickInterval(int(std::lrint(length / 10.0)));
}
