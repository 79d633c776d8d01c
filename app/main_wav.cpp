// The main window's WAV workflow: new, open, record, stop and save, play,
// delete, save as MP3, and the time and size displays.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "app/config.h"
#include "app/filenames.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/savemp3.h"
#include "app/statusbar.h"
#include "app/timelabels.h"
#include "audio/MMConect.h"
#include "audio/MMWavOut.h"
#include "platform/language/language.h"
#include "platform/sequencer/mediaplayer.h"
#include "recplay/MMWPlay.h"
#include "recplay/MMWRec.h"
#include "wavefile/MMWave.h"

namespace {

bool MidiLoaded() { return !Form1->midiplay->FileName.isEmpty(); }

[[noreturn]] void Raise(const QString& text) { throw std::runtime_error(text.toStdString()); }

// A take's folder is checked when the name is chosen, by making a file in
// it: a folder that does not exist, or one that takes no new file (no
// permission, a read-only disk, a system folder such as /proc), is refused.
void CheckTakeFolder(const QString& path) {
  const QFileInfo file(path);
  const QString folder = file.absolutePath();
  if (!QFileInfo(folder).isDir())
    Raise(QCoreApplication::translate("TForm1", "文件夹“%1”不存在。\n请选择一个已有的文件夹。").arg(folder));
  QTemporaryFile probe(folder + QStringLiteral("/.tunelark-XXXXXX"));
  errno = 0;
  const bool opened = probe.open();
  const int error = !opened ? (errno ? errno : EACCES) : EACCES;
  if (!opened || (file.exists() && !file.isWritable()))
    Raise(QCoreApplication::translate("TForm1", "无法在文件夹“%1”中写入录音。\n请选择其他文件夹。").arg(folder) +
          QLatin1Char('\n') + language::CannotCreate(file.absoluteFilePath(), error));
}

// Whether the file `path` holds something a recording would destroy: any
// file but an empty one or a WAVE file without a sample frame.
bool HoldsAudio(const QString& path) {
  const QFileInfo file(path);
  if (path.isEmpty() || !file.isFile() || file.size() == 0) return false;
  TMMWave wave;
  try {
    wave.SetFileName(ComponentFileName(path));
  } catch (const EMMWaveError&) {
    return true;
  }
  return !wave.IsEmpty();
}

}  // namespace

// Stops the player and then the recorder, which finishes a WAV file still
// being recorded.
void TForm1::FormDestroy() {
  wavplay->Stop();
  wavrec->Stop();
}

// An existing file of the chosen name is not touched here: a recording asks
// before it replaces one that holds audio. A name the recorder could not
// take leaves the window as it was.
void TForm1::newwave() {
  if (!newwav->Execute()) return;
  const QString chosen = newwav->FileName;
  CheckTakeFolder(chosen);
  if (QFileInfo(chosen).isFile() && QFileInfo(chosen).size() == 0) QFile::remove(chosen);  // holds nothing
  try {
    wavrec->SetFileName(ComponentFileName(chosen));
  } catch (const EMMWaveError&) {
    Raise(tr("“%1”已经存在，但不是WAV文件。\n请换一个文件名。").arg(chosen));
  }
  wavname = chosen;
  ForgetTakeSong();
  btdel->setEnabled(false);
  ewavfile->setText(wavname);
  if (btmidiplay->isEnabled()) btrecmap(true);
  if (Form2 && Form2->nomidi->isChecked()) btrecmap(true);
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
  wavsize->setText(tr("未知"));
  Form3->LameCoder1->SetInputFiles(newwav->Files);
}

void TForm1::btnewClick() { newwave(); }

void TForm1::btwopenClick() {
  if (!Openwav->Execute()) return;
  OpenWav(Openwav->FileName, Openwav->Files);
}

void TForm1::OpenWav(const QString& path, const QStringList& files) {
  // A following recording goes into this file. The recorder takes it first:
  // a file it cannot read as WAVE is refused there, and the window keeps the
  // take it had (so that delete never reaches the refused file).
  wavrec->SetFileName(ComponentFileName(path));
  wavname = path;
  ForgetTakeSong();
  ewavfile->setText(wavname);
  showsize();
  btwplaymap(true);
  btdelmap(true);
  btsavemap(true);
  Form3->LameCoder1->SetInputFiles(files);
  if (btmidiplay->isEnabled()) btrec->setEnabled(true);
}

void TForm1::btrecClick() {
  // A recording that would replace a take asks first (default No: nothing
  // changes). The new take is then made anew rather than written over the
  // start of the old one, whose end would stay behind it.
  const bool replaces = HoldsAudio(wavname);
  if (replaces && !AskQuestion(tr("“%1”中已经有录音。\n要用新的录音替换它吗？").arg(wavname)))
    return;
  FTakeExisted = QFileInfo::exists(wavname);
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
    PrepareTakeScore();
    wavrec->SetOverwriteExisting(replaces);
    wavrec->Start();
    wavrec->SetOverwriteExisting(false);
  } catch (...) {
    // The recorder refused (a device that cannot open, a file it protects,
    // a full disk): the accompaniment stops and the window shows what
    // stop-and-save leaves, instead of a recording that is not happening.
    const std::exception_ptr error = std::current_exception();
    wavrec->SetOverwriteExisting(false);
    DropTakeScore();
    try {
      btwstopClick();
      ForgetFailedTake();
    } catch (...) {
    }
    std::rethrow_exception(error);
  }
  recording = true;
  TakeRecordedWithSong();
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
  Timer4->start();
  Status->SetPanelText(1, tr("正在录音，静..."));
}

// Ends a recording (finishing the file) or a playback. When the
// accompaniment's own stop fails (a file that did not open), the take is
// still stopped and finished, and the error is shown afterwards.
void TForm1::btwstopClick() {
  // Where the take holds the song is read while the accompaniment still
  // plays: its stop forgets where it ends.
  if (recording) FollowTakeScore();
  std::exception_ptr midiError;
  if (MidiLoaded()) {
    try {
      btstopClick();
    } catch (...) {
      midiError = std::current_exception();
    }
  }
  const bool wasRecording = recording;
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
  Status->SetPanelText(1, tr("就绪"));
  if (wasRecording) FinishTakeScore();
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
  Status->SetPanelText(1, tr("正在播放WAV..."));
}

// The take goes to the desktop's trash, so that a slip can be undone; where
// there is no trash it is deleted. A failure is ignored.
void TForm1::btdelClick() {
  if (!QFile::moveToTrash(wavname)) QFile::remove(wavname);
  wavname.clear();
  ewavfile->setText(tr("请先新建一个WAV文件"));
  btnewmap(true);
  btwopenmap(true);
  btwplaymap(false);
  btrecmap(false);
  btwstopmap(false);
  btsavemap(false);
  btdelmap(false);
  wavsize->setText(tr("未知"));
  wavtimemin->setText(QStringLiteral("0"));
  wavtimesec->setText(QStringLiteral("0"));
}

void TForm1::ForgetFailedTake() {
  if (wavname.isEmpty()) return;
  if (!FTakeExisted) QFile::remove(wavname);
  if (QFileInfo::exists(wavname)) return;
  // No take: the name stays chosen for another try, the recorder is told
  // the file is gone, and there is nothing to play, delete or convert.
  wavrec->SetFileName(ComponentFileName(wavname));
  btwplaymap(false);
  btdelmap(false);
  btsavemap(false);
  wavsize->setText(tr("未知"));
}

void TForm1::RecorderStopped() {
  // Runs inside the recorder's stop. A stop-and-save in progress has ended
  // the recording by the time the queued call runs.
  if (recording) QMetaObject::invokeMethod(this, [this] { RunHandler([this] { TakeEndedByItself(); }); },
                                           Qt::QueuedConnection);
}

// The recorder stopped by itself: its file could not be written further, or
// the device failed (which reports its own error). The window leaves the
// recording as stop-and-save does; a take that got no audio at all goes.
void TForm1::TakeEndedByItself() {
  if (!recording || (wavrec->State() & wisRecording)) return;
  const TMMWaveFile* file = wavrec->WaveFile();
  const bool writeFailed = file->WriteFailed();
  const bool empty = file->RecordedBytes() == 0;
  btwstopClick();
  if (empty) ForgetFailedTake();
  if (!writeFailed) return;
  if (empty) Raise(tr("录音文件无法写入（磁盘空间不足？），没有录下声音：\n%1").arg(wavname));
  Raise(tr("录音文件无法继续写入（磁盘空间不足？），录音已停止。\n已录下的部分保存在：\n%1")
            .arg(wavname));
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
  const bool idle = !TLameCoder::Running();  // a running conversion ignores this one
  Form3->Convert(SaveMP3->Files);
  if (idle) TagSavedMp3s(SaveMP3->Files);
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
