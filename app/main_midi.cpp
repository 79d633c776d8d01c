// The main window's group "MIDI 伴奏": choosing, playing, pausing and
// stopping the accompaniment, its progress bar, play time and end check.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

#include <cmath>

#include "app/config.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "app/timelabels.h"
#include "platform/sequencer/mediaplayer.h"

void TForm1::btbrowseClick() {
  if (!openmidi->Execute()) return;
  OpenAccompaniment(openmidi->FileName);
}

void TForm1::OpenAccompaniment(const QString& path) {
  Efilename->setText(path);
  midiplay->FileName = Efilename->text();
  midiplay->Open();
  btmidiplaymap(true);
  const int length = midiplay->Length();
  pbar->setMaximum(length);
  // A tick at every tenth of the accompaniment; halves round to even.
  pbar->setTickInterval(int(std::lrint(length / 10.0)));
  if (!wavname.isEmpty()) btrecmap(true);
}

void TForm1::btmidiplayClick() {
  midiplay->Play();
  Timer1->start();
  btmidiplaymap(false);
  btpausemap(true);
  btstopmap(true);
  btbrowsemap(false);
  Timer2->start();
  Status->SetPanelText(1, QStringLiteral("正在播放MIDI..."));
}

void TForm1::btpauseClick() {
  midiplay->Stop();
  btmidiplaymap(true);
  btstopmap(false);
  btpausemap(false);
  Timer2->stop();
  Status->SetPanelText(1, QStringLiteral("暂停播放MIDI"));
}

void TForm1::btstopClick() {
  midiplay->Stop();
  midiplay->Seek(0);
  btstopmap(false);
  btpausemap(false);
  Timer1->stop();
  btbrowsemap(true);
  btmidiplaymap(true);
  Timer2->stop();
  miditimemin->setText(QStringLiteral("0"));
  miditimesec->setText(QStringLiteral("0"));
  pbar->setValue(0);
  Status->SetPanelText(1, QStringLiteral("就绪"));
}

// Progress, and the end of the accompaniment: the position equals the
// length exactly only once playing has reached the end.
void TForm1::Timer1Timer() {
  pbar->setValue(midiplay->Position());
  if (midiplay->Position() != midiplay->Length()) return;
  btstopClick();
  if (recording && Form2 && Form2->recstop->isChecked()) btwstopClick();
}

void TForm1::Timer2Timer() { CountSecond(miditimemin, miditimesec); }

