// The main window's group "MIDI 伴奏": choosing, playing, pausing and
// stopping the accompaniment, its progress bar, play time and end check
// (which waits, before it ends a take, until the accompaniment's end has
// come through the recording mix's round-trip delay).
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

#include <cmath>

#include "app/config.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/statusbar.h"
#include "app/timelabels.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/soundcard.h"
#include "recplay/MMWRec.h"

namespace {

// Runs stop-and-save once the take that `take` records (begun at card frame
// `start`) holds `frames` frames; until then it looks again when the card
// should have recorded the rest. A take stopped meanwhile, or another take,
// is left alone.
void StopAndSaveWhenRecorded(TForm1* form, HWAVEIN take, std::uint64_t start, std::int64_t frames) {
  std::uint64_t begun = 0;
  if (!recording || form->wavrec->WaveIn()->Handle() != take ||
      waveInGetStartFrame(take, &begun) != MMSYSERR_NOERROR || begun != start)
    return;
  MMTIME position{};
  position.wType = TIME_SAMPLES;
  waveInGetPosition(take, &position, sizeof position);
  const std::int64_t left = frames - std::int64_t(position.u.sample);
  if (left <= 0) {
    form->btwstopClick();
    return;
  }
  const int ms = int(left * 1000 / std::max(form->wavrec->SampleRate(), 1)) + 1;
  QTimer::singleShot(ms, form, [form, take, start, frames] {
    RunHandler([&] { StopAndSaveWhenRecorded(form, take, start, frames); });
  });
}

}  // namespace

void TForm1::btbrowseClick() {
  if (!openmidi->Execute()) return;
  OpenAccompaniment(openmidi->FileName);
}

void TForm1::OpenAccompaniment(const QString& path) {
  Efilename->setText(path);
  midiplay->FileName = Efilename->text();
  try {
    midiplay->Open();
  } catch (const EMCIDeviceError& e) {
    ReadSongLyrics(false);  // no song open: no words
    RestoreKeyTempo(QString());  // nor key and tempo
    // The service's text says what is wrong; the second line, with which file.
    throw EMCIDeviceError(std::string(e.what()) + "\n" + tr("文件：%1").arg(path).toStdString());
  } catch (...) {
    ReadSongLyrics(false);
    RestoreKeyTempo(QString());
    throw;
  }
  // Before the length is read: it is heard at the song's tempo.
  RestoreKeyTempo(path);
  btmidiplaymap(true);
  ShowLength();
  if (!wavname.isEmpty()) btrecmap(true);
  ReadSongLyrics(true);
}

void TForm1::btmidiplayClick() {
  midiplay->Play();
  FollowLyrics(true);
  Timer1->start();
  btmidiplaymap(false);
  btpausemap(true);
  btstopmap(true);
  btbrowsemap(false);
  Timer2->start();
  Status->SetPanelText(1, tr("正在播放MIDI..."));
}

void TForm1::btpauseClick() {
  midiplay->Stop();
  FollowLyrics(false);
  btmidiplaymap(true);
  btstopmap(false);
  btpausemap(false);
  Timer2->stop();
  Status->SetPanelText(1, tr("暂停播放MIDI"));
}

void TForm1::btstopClick() {
  midiplay->Stop();
  midiplay->Seek(0);
  FollowLyrics(false);
  btstopmap(false);
  btpausemap(false);
  Timer1->stop();
  btbrowsemap(true);
  btmidiplaymap(true);
  Timer2->stop();
  miditimemin->setText(QStringLiteral("0"));
  miditimesec->setText(QStringLiteral("0"));
  pbar->setValue(0);
  Status->SetPanelText(1, tr("就绪"));
}

// Progress, and the end of the accompaniment: the position equals the
// length exactly only once playing has reached the end. A take that ends
// with it goes on until the accompaniment's last frame, delayed by the
// round trip in the recording mix, is in it.
void TForm1::Timer1Timer() {
  pbar->setValue(midiplay->Position());
  if (midiplay->Position() != midiplay->Length()) return;
  const bool endTake = recording && Form2 && Form2->recstop->isChecked();
  // Read before the stop: it forgets where the accompaniment ended.
  const HWAVEIN take = wavrec->WaveIn()->Handle();
  std::int64_t frames = 0;
  std::uint64_t start = 0;
  const bool placed =
      endTake &&
      sequencer::AccompanimentEndInTake(midiplay->DeviceID(), take, std::uint32_t(wavrec->SampleRate()), frames) &&
      waveInGetStartFrame(take, &start) == MMSYSERR_NOERROR;
  btstopClick();
  if (!endTake) return;
  if (placed)
    StopAndSaveWhenRecorded(this, take, start, frames);
  else
    btwstopClick();
}

void TForm1::Timer2Timer() { CountSecond(miditimemin, miditimesec); }

