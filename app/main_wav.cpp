// The main window's WAV workflow: new, open, record, stop and save, play,
// delete, save as MP3, and the time and size displays.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <exception>

#include "app/config.h"
#include "app/filenames.h"
#include "app/main.h"
#include "app/savemp3.h"
#include "app/statusbar.h"
#include "app/timelabels.h"
#include "audio/MMConect.h"
#include "audio/MMWPlay.h"
#include "audio/MMWavOut.h"
#include "audio/MMWRec.h"
#include "platform/sequencer/mediaplayer.h"

namespace {

bool MidiLoaded() { return !Form1->midiplay->FileName.isEmpty(); }

}  // namespace

// Stops the player and then the recorder, which finishes a WAV file still
// being recorded.
void TForm1::FormDestroy() {
  wavplay->Stop();
  wavrec->Stop();
}

void TForm1::newwave() {
  if (!newwav->Execute()) return;
  wavname = newwav->FileName;
  // The dialog has asked before overwriting: the old file goes at once.
  if (QFile::exists(wavname)) QFile::remove(wavname);
  btdel->setEnabled(false);
  wavrec->SetFileName(ComponentFileName(wavname));
  ewavfile->setText(wavname);
  if (btmidiplay->isEnabled()) btrecmap(true);
  if (Form2 && Form2->nomidi->isChecked()) btrecmap(true);
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
  wavsize->setText(QStringLiteral("未知"));
  Form3->LameCoder1->SetInputFiles(newwav->Files);
}

void TForm1::btnewClick() { newwave(); }

void TForm1::btwopenClick() {
  if (!Openwav->Execute()) return;
  OpenWav(Openwav->FileName, Openwav->Files);
}

void TForm1::OpenWav(const QString& path, const QStringList& files) {
  wavname = path;
  ewavfile->setText(wavname);
  // A following recording goes into this file.
  wavrec->SetFileName(ComponentFileName(wavname));
  showsize();
  btwplaymap(true);
  btdelmap(true);
  btsavemap(true);
  Form3->LameCoder1->SetInputFiles(files);
  if (btmidiplay->isEnabled()) btrec->setEnabled(true);
}

void TForm1::btrecClick() {
  connect->SetInput(wavrec);
  if (MidiLoaded()) btmidiplayClick();
  btwplaymap(false);
  btsavemap(false);
  btwstopmap(true);
  btrecmap(false);
  btmidiplaymap(false);
  btstopmap(false);
  btpausemap(false);
  btnewmap(false);
  btwopenmap(false);
  btdelmap(false);
  try {
    wavrec->Start();
  } catch (...) {
    // The recorder refused (a device that cannot open, a file it protects):
    // the accompaniment stops and the window shows what stop-and-save
    // leaves, instead of a recording that is not happening.
    const std::exception_ptr error = std::current_exception();
    try {
      btwstopClick();
    } catch (...) {
    }
    std::rethrow_exception(error);
  }
  recording = true;
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
  Timer4->start();
  Status->SetPanelText(1, QStringLiteral("正在录音，静..."));
}

// Ends a recording (finishing the file) or a playback. When the
// accompaniment's own stop fails (a file that did not open), the take is
// still stopped and finished, and the error is shown afterwards.
void TForm1::btwstopClick() {
  std::exception_ptr midiError;
  if (MidiLoaded()) {
    try {
      btstopClick();
    } catch (...) {
      midiError = std::current_exception();
    }
  }
  wavrec->Stop();
  wavplay->Stop();
  btwplaymap(true);
  btrecmap(true);
  btsavemap(true);
  if (MidiLoaded()) btmidiplaymap(true);
  btstopmap(false);
  btwstopmap(false);
  btpausemap(false);
  recording = false;
  btnewmap(true);
  btwopenmap(true);
  btdelmap(true);
  Timer3->stop();
  Timer4->stop();
  Timer5->stop();
  wavptmin->setText(QStringLiteral("0"));
  wavptsec->setText(QStringLiteral("0"));
  showsize();
  Status->SetPanelText(1, QStringLiteral("就绪"));
  if (midiError) std::rethrow_exception(midiError);
}

void TForm1::btwplayClick() {
  connect->SetInput(wavplay);
  wavrec->SetPosition(0);
  wavplay->Wave()->SetFileName(ComponentFileName(wavname));
  wavplay->Start();
  btrecmap(false);
  btsavemap(false);
  btwplaymap(false);
  btnewmap(false);
  btwopenmap(false);
  btdelmap(false);
  Timer3->start();
  Timer5->start();
  btwstopmap(true);
  Status->SetPanelText(1, QStringLiteral("正在播放WAV..."));
}

void TForm1::btdelClick() {
  QFile::remove(wavname);  // a failure is ignored
  wavname.clear();
  ewavfile->setText(QStringLiteral("请先新建一个WAV文件"));
  btnewmap(true);
  btwopenmap(true);
  btwplaymap(false);
  btrecmap(false);
  btwstopmap(false);
  btsavemap(false);
  btdelmap(false);
  wavsize->setText(QStringLiteral("未知"));
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
}

// The session ends: the take is finished before the window closes, and the
// window closes also when finishing it reports an error.
void TForm1::EndSession() {
  std::exception_ptr error;
  if (recording) {
    try {
      btwstopClick();
    } catch (...) {
      error = std::current_exception();
    }
  }
  close();
  if (error) std::rethrow_exception(error);
}

// Converts the file list of the last new-WAV or open-WAV command; the
// progress window shows itself and hides when the run ends.
void TForm1::btsaveClick() {
  if (!SaveMP3->Execute()) return;
  Form3->Convert(SaveMP3->Files);
}

// Decimal megabytes, halves to even.
void TForm1::showsize() {
  const double megabytes = double(wavrec->Wave()->FileSize()) / 1000000.0;
  wavsize->setText(QString::number(std::lrint(megabytes)) + QStringLiteral("MB"));
}

// The end of a playback: the position heard (not the read position, which
// runs ahead by the queued buffers) has reached the length, or the player
// has stopped by itself after its last sample was heard (its position is
// then back at the start). So the take is heard to its end before
// stop-and-save runs.
void TForm1::Timer3Timer() {
  const bool playing = (wavplay->State() & wosPlaying) != 0;
  if (!playing || wavplay->GetPosition() >= wavplay->Wave()->DataSize()) btwstopClick();
}

void TForm1::Timer4Timer() { CountSecond(wavtimemin, wavtimesec); }
void TForm1::Timer5Timer() { CountSecond(wavptmin, wavptsec); }
