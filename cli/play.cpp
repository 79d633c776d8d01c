// tunelark play: a take through the window's wave player (with the level
// from the connector), anything else through the accompaniment's media
// player (with the level of the card's speakers), to the end or to Ctrl+C.
#include <QFileInfo>
#include <QTimer>

#include "audio/MMConect.h"
#include "cli/accompaniment.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/progress.h"
#include "cli/runloop.h"
#include "cli/stopsignals.h"
#include "cli/textlevel.h"
#include "cli/texts.h"
#include "platform/language/messages.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/soundcard/cardcontrol.h"
#include "recplay/MMWPlay.h"
#include "wavefile/MMWave.h"

namespace cli {

namespace {

QString PlayLine(qint64 ms, qint64 totalMs, TTextLevel& left, TTextLevel& right) {
  return Tr("Playing %1 / %2  L %3  R %4", "播放 %1 / %2  左 %3  右 %4")
      .arg(FormatTime(ms), FormatTime(totalMs), left.Bar(left.Take()), right.Bar(right.Take()));
}

// A WAV take through the wave player; the connector feeds the levels.
void PlayWave(const QString& path, TProgress& progress) {
  TRunLoop loop;
  TTextLevel left(chLeft, 12), right(chRight, 12);
  TMMConnector connector;
  TMMConnector::SetEnterIdle(false);
  connector.SetLevel1(&left);
  connector.SetLevel2(&right);
  TMMWavePlayer player;
  player.SetBufferSize(3048);
  player.SetNumBuffers(20);
  player.SetDeviceID(MapperId);
  player.SetTimeFormat(tfByte);
  player.SetCallBackMode(cmWindow);
  player.SetOutput(&connector);
  try {
    player.Wave()->SetFileName(path.toStdString());
  } catch (const std::exception& e) {
    throw ECliFailure(
        Tr("cannot play %1: %2", "无法播放 %1: %2").arg(path, language::Message(QString::fromUtf8(e.what()))));
  }
  const PWaveFormatEx format = player.Wave()->GetPWaveFormat();
  const qint64 bytesPerSecond = format && format->nAvgBytesPerSec > 0 ? format->nAvgBytesPerSec : 176400;
  const qint64 totalMs = qint64(player.Wave()->GetPlayLength()) * 1000 / bytesPerSecond;
  qint64 heardMs = 0;
  bool interrupted = false;
  player.OnStop = [&](QObject*) { loop.Quit(); };
  DeliverStopSignals();
  if (StopRequested()) return;
  TStopSignals stopSignals([&](int) {
    interrupted = true;
    loop.Guard([&] { player.Stop(); });
  });
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    loop.Guard([&] {
      heardMs = qint64(player.GetPosition()) * 1000 / bytesPerSecond;
      progress.Show(PlayLine(heardMs, totalMs, left, right));
    });
  });
  loop.Guard([&] {
    player.Start();
    if (!(player.State() & wosPlaying)) loop.Quit();  // nothing to play
    poll.start();
  });
  loop.Run();
  poll.stop();
  player.Stop();
  loop.RethrowIfFailed();
  progress.Show(Tr("Played %1 / %2", "已播放 %1 / %2").arg(FormatTime(interrupted ? heardMs : totalMs), FormatTime(totalMs)),
                true);
}

// An accompaniment through the media player; the levels are the peaks of
// the card's speakers, on the meters' scale.
void PlayAccompaniment(const QString& path, const sequencer::KeyTempo& kt, TProgress& progress) {
  TMediaPlayer player;
  OpenAccompaniment(player, path, kt);
  const qint64 length = player.Length();
  DeliverStopSignals();
  if (StopRequested()) return;
  TRunLoop loop;
  TTextLevel left(chLeft, 12), right(chRight, 12);
  TStopSignals stopSignals([&](int) { loop.Quit(); });
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    loop.Guard([&] {
      const auto peak = soundcard::LinePeak(0, -1);  // "Speakers"
      left.ShowPeak(peak[0]);
      right.ShowPeak(peak[1]);
      const qint64 position = player.Position();
      progress.Show(PlayLine(position, length, left, right));
      if (position >= length) loop.Quit();
    });
  });
  loop.Guard([&] {
    player.Play();
    poll.start();
  });
  loop.Run();
  poll.stop();
  player.Stop();
  loop.RethrowIfFailed();
  progress.Show(Tr("Played %1 / %2", "已播放 %1 / %2").arg(FormatTime(player.Position()), FormatTime(length)), true);
}

}  // namespace

int RunPlay(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {{"quiet", 'q', false}, {"key", 0, true}, {"tempo", 0, true}});
  if (p.positional.size() != 1)
    throw ECliUsage(Tr("give one file to play", "请给出一个要播放的文件"));
  const QString path = p.positional.first();
  const sequencer::KeyTempo kt = KeyTempoOptions(p);
  CheckInputFile(path);
  TProgress progress(p.Has("quiet"));
  // A WAV file is a take unless it is played at a key or tempo: then it is
  // a backing, through the accompaniment's device, which can change them.
  if (QFileInfo(path).suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0 && !HasKeyTempoOptions(p))
    PlayWave(path, progress);
  else
    PlayAccompaniment(path, kt, progress);
  progress.Finish();
  return 0;
}

}  // namespace cli
