// tunelark record: the window's record command without the window. The
// recorder starts, then at once the accompaniment, so that the card starts
// both in the same period as a rule; the take ends where the accompaniment's
// last frame lands in it after the round-trip delay (without --seconds),
// after N seconds, both through the recorder's own limit, exact to the
// frame, or on SIGINT/SIGTERM/SIGHUP, and is finished like a take stopped
// with the stop-and-save command.
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <memory>

#include "audio/MMConect.h"
#include "cli/backend.h"
#include "cli/accompaniment.h"
#include "cli/commands.h"
#include "cli/monitorline.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/progress.h"
#include "cli/runloop.h"
#include "cli/stopsignals.h"
#include "cli/textlevel.h"
#include "cli/texts.h"
#include "lyrics/heardlyrics.h"
#include "lyrics/readlyrics.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "recplay/MMTakeRecorder.h"
#include "recplay/MMWRec.h"
#include "score/aubiolib.h"
#include "score/scoreerror.h"
#include "score/session.h"
#include "score/takeanchor.h"

namespace cli {

namespace {

struct TRecordOptions {
  QString accompaniment;
  QString out;
  QString mp3;
  int seconds = 0;  // 0: until the accompaniment ends
  int rate = 44100;
  sequencer::KeyTempo keyTempo;
  bool force = false;
  bool quiet = false;
  bool stems = false;  // keep the voice beside the take
  score::Difficulty difficulty = score::Difficulty::Normal;
  int channel = -1;  // the melody's, -1: found in the song
  bool monitor = false;  // the microphone in the speakers for this take
  soundcard::MonitorEffects effects;  // on the monitor line
};

// Long enough for any song, short enough for the byte limit's 32 bits.
constexpr int kMaxSeconds = 3 * 3600;

// --echo MS, --reverb PRESET and --monitor put the microphone into the
// speakers for the take (an echo or a reverb on it); --record-effects puts
// the effected voice into the take too, so it needs an effect.
void MonitorOptions(const TParsedArgs& p, TRecordOptions& o) {
  if (p.Has("echo")) o.effects.echoMs = IntValue(p, "echo", soundcard::kMinEchoMs, soundcard::kMaxEchoMs);
  if (p.Has("reverb") && !soundcard::ParseReverb(p.Value("reverb").toStdString(), o.effects.reverb))
    throw ECliUsage(Tr("--reverb is off, room, hall or plate", "--reverb 只能是 off、room、hall 或 plate"));
  const bool effect = o.effects.echoMs != 0 || o.effects.reverb != soundcard::Reverb::Off;
  o.effects.recorded = p.Has("record-effects");
  if (o.effects.recorded && !effect)
    throw ECliUsage(Tr("--record-effects needs an effect: --echo MS or --reverb room|hall|plate",
                       "--record-effects 需要效果: --echo 毫秒 或 --reverb room|hall|plate"));
  o.monitor = effect || p.Has("monitor");
}

TRecordOptions ParseRecord(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {{"accompaniment", 'a', true},
                                         {"out", 'o', true},
                                         {"seconds", 's', true},
                                         {"quality", 0, true},
                                         {"mp3", 0, true},
                                         {"force", 'f', false},
                                         {"quiet", 'q', false},
                                         {"stems", 0, false},
                                         {"key", 0, true},
                                         {"tempo", 0, true},
                                         {"difficulty", 0, true},
                                         {"channel", 0, true},
                                         {"echo", 0, true},
                                         {"reverb", 0, true},
                                         {"monitor", 0, false},
                                         {"record-effects", 0, false}});
  if (!p.positional.isEmpty())
    throw ECliUsage(Tr("unexpected argument: %1", "多余的参数: %1").arg(p.positional.first()));
  TRecordOptions o;
  o.accompaniment = p.Value("accompaniment");
  o.out = p.Value("out");
  o.mp3 = p.Value("mp3");
  o.force = p.Has("force");
  o.quiet = p.Has("quiet");
  o.stems = p.Has("stems");
  if (o.out.isEmpty()) throw ECliUsage(Tr("--out TAKE.wav is required", "需要 --out 录音.wav"));
  if (!o.out.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
    throw ECliUsage(Tr("--out names the WAV file and must end in .wav (for an MP3 add --mp3 FILE.mp3)",
                       "--out 是 WAV 文件, 必须以 .wav 结尾(要 MP3 请另加 --mp3 文件.mp3)"));
  if (p.Has("accompaniment") && o.accompaniment.isEmpty())
    throw ECliUsage(Tr("--accompaniment needs a file", "--accompaniment 需要一个文件"));
  if (p.Has("mp3") && o.mp3.isEmpty()) throw ECliUsage(Tr("--mp3 needs a file", "--mp3 需要一个文件"));
  if (p.Has("seconds")) o.seconds = IntValue(p, "seconds", 1, kMaxSeconds);
  if (o.accompaniment.isEmpty() && o.seconds == 0)
    throw ECliUsage(Tr("give --accompaniment FILE or --seconds N", "请给出 --accompaniment 文件 或 --seconds 秒数"));
  o.keyTempo = KeyTempoOptions(p);
  o.difficulty = DifficultyOption(p);
  o.channel = MelodyChannelOption(p);
  MonitorOptions(p, o);
  if (o.accompaniment.isEmpty() && HasKeyTempoOptions(p))
    throw ECliUsage(Tr("--key and --tempo change the accompaniment: give --accompaniment FILE",
                       "--key 和 --tempo 改变的是伴奏: 请给出 --accompaniment 文件"));
  if (p.Has("quality")) {
    const QString q = p.Value("quality");
    if (q == QLatin1String("high"))
      o.rate = 44100;
    else if (q == QLatin1String("medium"))
      o.rate = 22050;
    else if (q == QLatin1String("low"))
      o.rate = 11025;
    else
      throw ECliUsage(Tr("--quality is high, medium or low", "--quality 只能是 high、medium 或 low"));
  }
  return o;
}

// The voice file that --stems keeps beside the take.
QString VoiceOf(const TRecordOptions& o) {
  return QFile::decodeName(VoiceFileName(QFile::encodeName(o.out).toStdString()).c_str());
}

// Each output is refused where it would write into the accompaniment or
// into the other output, through whatever names or links lead there.
void CheckOutputsApart(const TRecordOptions& o) {
  if (!o.accompaniment.isEmpty() && SameFile(o.out, o.accompaniment))
    throw ECliUsage(Tr("--out names the accompaniment %1", "--out 是伴奏文件 %1").arg(o.accompaniment));
  if (o.stems && !o.accompaniment.isEmpty() && SameFile(VoiceOf(o), o.accompaniment))
    throw ECliUsage(Tr("the voice file %1 would be the accompaniment", "干声文件 %1 会是伴奏文件").arg(VoiceOf(o)));
  if (o.stems && SameFile(VoiceOf(o), o.out))
    throw ECliUsage(Tr("the voice file %1 would be the take", "干声文件 %1 会是录音文件").arg(VoiceOf(o)));
  if (o.mp3.isEmpty()) return;
  if (!o.accompaniment.isEmpty() && SameFile(o.mp3, o.accompaniment))
    throw ECliUsage(Tr("--mp3 names the accompaniment %1", "--mp3 是伴奏文件 %1").arg(o.accompaniment));
  if (SameFile(o.mp3, o.out))
    throw ECliUsage(Tr("--mp3 and --out name the same file", "--mp3 和 --out 是同一个文件"));
  if (o.stems && SameFile(o.mp3, VoiceOf(o)))
    throw ECliUsage(Tr("--mp3 names the voice file %1", "--mp3 是干声文件 %1").arg(VoiceOf(o)));
}

// The score file is refused where it would replace the take, the
// accompaniment or another output (a link of that name leading there).
void CheckScoreApart(const TRecordOptions& o, const QString& scoreFile) {
  for (const QString& other : {o.out, o.accompaniment, o.mp3, o.stems ? VoiceOf(o) : QString()})
    if (!other.isEmpty() && SameFile(scoreFile, other))
      throw ECliUsage(Tr("the score file %1 would be %2", "评分文件 %1 会是 %2").arg(scoreFile, other));
}

// The card fell back to the virtual device: the take would hold silence
// (or the file the microphone plays) without a word otherwise.
void NoteVirtualDevice(const soundcard::CardBackend& backend) {
  if (backend.clock != soundcard::Clock::Virtual || backend.why != soundcard::CardBackend::Why::NoHost) return;
  PrintErr(Tr("tunelark record: recording uses %1", "tunelark record: 录音使用 %1").arg(DescribeBackend(backend)));
}

// The melody a take is scored against: none without an accompaniment, for
// a backing that is no MIDI file, or one that cannot be read again (a pipe);
// a channel the singer named that has no notes is refused.
score::Melody MelodyOf(const TRecordOptions& o) {
  if (o.accompaniment.isEmpty() || !QFileInfo(o.accompaniment).isFile()) return {};
  score::Melody melody;
  try {
    melody = score::ReadMelody(QFile::encodeName(o.accompaniment).toStdString(), o.channel);
  } catch (const score::EScoreError&) {
    return {};  // the accompaniment's own open says what is wrong with it
  }
  if (melody.empty() && o.channel >= 0)
    throw ECliUsage(Tr("channel %1 of %2 has no notes to sing", "%2 的第 %1 通道没有可唱的音符")
                        .arg(o.channel + 1)
                        .arg(o.accompaniment));
  return melody;
}

// The take's score beside it, replaced in one step.
void WriteScoreFile(const QString& path, const score::Result& result) {
  try {
    score::SaveScore(QFile::encodeName(path).toStdString(), result);
  } catch (const score::EScoreError& e) {
    throw ECliFailure(Tr("cannot write %1: %2", "无法写入 %1: %2").arg(path, QString::fromStdString(e.what())));
  }
}

// The words an accompaniment may have: a song whose words cannot be read
// is still recorded, without them. Only a regular file is read again (a
// pipe was read to its end already).
lyrics::Lyrics WordsOf(const QString& accompaniment) {
  if (accompaniment.isEmpty() || !QFileInfo(accompaniment).isFile()) return {};
  try {
    return lyrics::ReadLyrics(QFile::encodeName(accompaniment).toStdString());
  } catch (const lyrics::ELyricsError&) {
    return {};
  }
}

// The line being sung at `ms` of the song's own time (the last one begun),
// for the progress line.
QString LineAt(const lyrics::Lyrics& words, qint64 ms) {
  const lyrics::Line* current = nullptr;
  for (const lyrics::Line& line : words.lines) {
    if (qint64(line.startMs()) > ms) break;
    current = &line;
  }
  return current ? QStringLiteral("  \u266A ") + QString::fromStdString(current->text()) : QString();
}

// Where in the song the accompaniment is: its position is heard time.
qint64 SongMs(TMediaPlayer& player) {
  return qint64(sequencer::SongFromHeard(std::uint64_t(std::max(0, player.Position())),
                                         sequencer::KeyTempoOf(player.DeviceID()).tempo));
}

}  // namespace

int RunRecord(const QStringList& args) {
  const TRecordOptions o = ParseRecord(args);

  // Everything that can be refused is refused before anything is made.
  if (!o.accompaniment.isEmpty()) CheckInputFile(o.accompaniment);
  CheckOutputsApart(o);
  // The MP3 is made when the take is complete: a take cut off by SIGKILL
  // leaves no empty one.
  if (!o.mp3.isEmpty()) CheckOutputFile(o.mp3, o.force);
  // The voice follows the take's rules; an existing one is refused before
  // the take's name is reserved.
  if (o.stems) CheckOutputFile(VoiceOf(o), o.force);
  // A song with a melody gets the take's score beside it, written when the
  // take is complete.
  const score::Melody melody = MelodyOf(o);
  const QString scoreFile = QFile::decodeName(score::ScoreFileName(QFile::encodeName(o.out).toStdString()).c_str());
  if (!melody.empty()) {
    CheckScoreApart(o, scoreFile);
    CheckOutputFile(scoreFile, o.force);
    score::Aubio();  // the pitch library the scoring loads, or its error now
  }
  // Without the monitor options the speakers carry no microphone, as the
  // card starts.
  if (o.monitor) {
    OpenMonitorLine();
    soundcard::SetMonitorEffects(o.effects);
  }
  TOutputFile wav(o.out, o.force);
  if (wav.ReplacesOlderFile())
    PrintErr(Tr("tunelark record: the new take is written to %1 and replaces %2 when it is finished",
                "tunelark record: 新录音先写入 %1, 录完后替换 %2")
                 .arg(wav.WritePath(), wav.Path()));
  std::unique_ptr<TOutputFile> voice;
  if (o.stems) voice = std::make_unique<TOutputFile>(VoiceOf(o), o.force);

  TMediaPlayer player;
  qint64 lengthMs = -1;
  if (!o.accompaniment.isEmpty()) {
    OpenAccompaniment(player, o.accompaniment, o.keyTempo);
    lengthMs = player.Length();  // as heard at the tempo
  }
  const lyrics::Lyrics words = WordsOf(o.accompaniment);

  // A signal while the accompaniment was loading: nothing was recorded yet.
  DeliverStopSignals();
  if (StopRequested()) throw ECliFailure(Tr("interrupted", "已中断"));

  // The card runs, its round trip settled, before the take begins.
  const soundcard::CardBackend backend = soundcard::CardBackendInUse();
  if (!o.quiet) PrintOut(CompensationLine(backend));
  const std::uint64_t lossesBefore = soundcard::HostLosses();

  TRunLoop loop;
  TProgress progress(o.quiet);
  TTextLevel left(chLeft, 12), right(chRight, 12);
  TMMConnector connector;
  TMMConnector::SetEnterIdle(false);
  connector.SetLevel1(&left);
  connector.SetLevel2(&right);
  // The terminal prints the highest level since its last line, so the
  // blocks need not be shown each at its own time: showing a capture's
  // blocks as it arrives spares the main thread a wake-up per block.
  connector.SetSynchronize(false);

  // Made before the recorder, so it outlives the recorder's deliveries.
  std::unique_ptr<score::ScoreSession> session;
  if (!melody.empty())
    session = std::make_unique<score::ScoreSession>(melody, score::LinesOf(words, melody), o.difficulty,
                                                    unsigned(o.rate));
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec, o.rate);
  rec.SetOverwriteExisting(true);
  const qint64 bytesPerSecond = qint64(o.rate) * 4;
  qint64 limit = o.seconds > 0 ? o.seconds * bytesPerSecond : 0;  // bytes; 0: none yet
  if (limit > 0) rec.SetMaxRecordTime(std::int32_t(limit));
  rec.SetOutput(&connector);
  // The recorder reads a file it is given as a wave; the empty file that
  // reserved the name makes way for the WAV the recorder creates there.
  QFile::remove(wav.WritePath());
  rec.SetFileName(wav.WritePath().toStdString());
  if (voice) {
    QFile::remove(voice->WritePath());
    rec.SetKeepVoice(true);
    rec.SetVoiceFile(voice->WritePath().toStdString());
  }
  // The take's file and its voice file are kept or dropped together; a
  // voice file that could not be made leaves an older one as it was.
  auto commit = [&] {
    wav.Commit();
    if (voice && rec.VoiceError().empty())
      voice->Commit();
    else if (voice)
      voice->Discard();
  };
  auto discard = [&] {
    wav.Discard();
    if (voice) voice->Discard();
  };
  // The voice is scored while the take records; it meets the song where the
  // accompaniment's end lands in the take, from the song's start.
  if (session)
    rec.OnVoice = [s = session.get()](const std::uint8_t* bytes, std::size_t size) { s->PushPcm(bytes, size, 2, 16); };
  const double songEndMs = double(sequencer::SongFromHeard(std::uint64_t(std::max<qint64>(lengthMs, 0)),
                                                           o.keyTempo.tempo));
  // (The session rescores the take only when its place changes.)
  auto placeVoice = [&](std::int64_t end) {
    if (!session) return;
    score::Timeline timeline(unsigned(o.rate));
    timeline.Add(score::AnchorFromEnd(end, songEndMs, 0, o.keyTempo.tempo, o.keyTempo.key, unsigned(o.rate)));
    session->SetTimeline(timeline);
  };

  qint64 recorded = 0;
  bool started = false;
  bool stopping = false;
  rec.OnData = [&](QObject*, PWaveHdr header) { recorded += header->dwBytesRecorded; };
  // The recorder stops by itself at its limit, and when the file cannot be
  // written any further (disk full): then the take is cut short.
  bool cutShort = false;
  rec.OnStop = [&](QObject*) {
    if (!stopping && !(limit > 0 && recorded >= limit)) cutShort = true;
    loop.Quit();
  };

  const qint64 totalMs = o.seconds > 0 ? qint64(o.seconds) * 1000 : lengthMs;
  // The last line (final) has no meters: they are cleared when the take ends.
  auto show = [&](bool final) {
    const qint64 ms = recorded * 1000 / bytesPerSecond;
    if (final)
      progress.Show(Tr("Recorded %1 / %2", "已录 %1 / %2").arg(FormatTime(ms), FormatTime(totalMs)), true);
    else
      progress.Show(Tr("Recording %1 / %2  L %3  R %4", "录音 %1 / %2  左 %3  右 %4")
                        .arg(FormatTime(ms), FormatTime(totalMs), left.Bar(left.Take()), right.Bar(right.Take())) +
                    (words.empty() || player.DeviceID() == 0 ? QString() : LineAt(words, SongMs(player))));
  };
  bool interrupted = false;  // a signal after the take: the MP3 stops
  auto stop = [&] {
    if (stopping) return;
    stopping = true;
    rec.Stop();  // finishes the WAV file
    if (player.DeviceID() != 0) player.Stop();
    loop.Quit();
  };

  TStopSignals stopSignals([&](int) {
    if (stopping) interrupted = true;
    loop.Guard(stop);
  });
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    loop.Guard([&] {
      show(false);
      if (player.DeviceID() == 0) return;
      std::int64_t frames = 0;
      const bool placed =
          sequencer::AccompanimentEndInTake(player.DeviceID(), rec.WaveIn()->Handle(), std::uint32_t(o.rate), frames);
      if (placed) placeVoice(frames);
      // The end of the accompaniment ends the take unless a length was
      // given: the limit follows it (it moves if the accompaniment falls
      // behind or the round trip changes).
      if (o.seconds > 0) return;
      if (placed) {
        const qint64 bytes = std::clamp<qint64>(frames, 1, INT32_MAX / 4) * 4;
        if (bytes != limit) rec.SetMaxRecordTime(std::int32_t(limit = bytes));
      } else if (player.Position() >= lengthMs) {
        stop();  // an end that cannot be placed in the take ends it when seen
      }
    });
  });

  loop.Guard([&] {
    // The song's opening is rendered before the take starts, so that the
    // play right after it is heard from the take's first period on.
    if (player.DeviceID() != 0) sequencer::Cue(player.DeviceID());
    rec.Start();
    started = true;
    if (player.DeviceID() != 0) player.Play();
    poll.start();
  });
  if (started) NoteVirtualDevice(backend);
  loop.Run();
  poll.stop();
  stopping = true;  // from now on a signal interrupts the MP3
  // Whatever ended the loop, the take is finished before anything else.
  rec.Stop();
  if (player.DeviceID() != 0) player.Stop();
  // The sound server went away: the recorder's engine reported it and
  // closed the take, which holds what was recorded until then.
  const bool serverLost = started && soundcard::HostLosses() != lossesBefore;
  if (serverLost) {
    try {
      loop.RethrowIfFailed();
    } catch (...) {
    }
  }
  // A take that failed keeps what it holds; one that holds nothing more
  // than the silent frame every finished WAV gets is not left behind.
  const bool holdsSound = rec.Wave()->DataSize() > 4;  // bytes: one 16-bit stereo frame
  if (loop.Failed() || !started || cutShort || serverLost) {
    if (holdsSound)
      commit();
    else
      discard();
  }
  loop.RethrowIfFailed();
  if (!started) throw ECliFailure(Tr("the recording did not start", "录音没有开始"));
  show(true);
  progress.Finish();
  if (serverLost && !holdsSound)
    throw ECliFailure(Tr("the sound server was lost before anything was recorded",
                         "声音服务器丢失, 没有录下任何声音"));
  if (cutShort && !holdsSound && !serverLost)
    throw ECliFailure(Tr("nothing could be recorded: %1 could not be written (disk full?)",
                         "无法录音: 无法写入 %1(磁盘已满?)")
                          .arg(wav.Path()));

  commit();
  const double seconds = double(recorded) / double(bytesPerSecond);
  if (serverLost)
    throw ECliFailure(Tr("the sound server was lost after %1 s; what was recorded is in %2",
                         "声音服务器在 %1 秒后丢失; 已录的部分在 %2")
                          .arg(seconds, 0, 'f', 1)
                          .arg(wav.Path()));
  // What was recorded is kept, but the take is not what was asked for.
  if (cutShort)
    throw ECliFailure(Tr("the recording stopped after %1 s: the file could not be written any further "
                         "(disk full?); what was recorded is in %2",
                         "录音在 %1 秒后停止: 文件无法继续写入(磁盘已满?); 已录的部分在 %2")
                          .arg(seconds, 0, 'f', 1)
                          .arg(wav.Path()));
  PrintOut(Tr("Recorded %1 s into %2", "已录制 %1 秒: %2").arg(seconds, 0, 'f', 1).arg(wav.Path()));
  // Scored before the MP3 (the voice's analysis is done by then), saved
  // after it: a score file that cannot be written costs no MP3.
  score::Result result;
  if (session) result = session->Finish();
  if (!o.mp3.isEmpty()) {
    TOutputFile mp3(o.mp3, o.force);
    TProgress mp3Progress(o.quiet);
    ConvertToMp3(wav.Path(), mp3, 128, [&](int percent) {
      mp3Progress.Show(Tr("MP3 %1%", "MP3 %1%").arg(percent), percent >= 100);
    }, interrupted, lyrics::HeardAtTempo(words, o.keyTempo.tempo), QFileInfo(o.accompaniment).completeBaseName());
    mp3Progress.Finish();
    PrintOut(Tr("Saved the MP3 as %1", "MP3 已保存: %1").arg(mp3.Path()));
  }
  if (session) WriteScoreFile(scoreFile, result);
  // The take is kept, but not everything asked for was made.
  if (voice && !rec.VoiceError().empty())
    throw ECliFailure(Tr("the voice could not be kept in %1: %2", "无法保存干声 %1: %2")
                          .arg(voice->Path(), QString::fromStdString(rec.VoiceError())));
  if (voice) PrintOut(Tr("Kept the voice in %1", "干声已保存: %1").arg(voice->Path()));
  // The last line; scripts read it: the same words in every language.
  if (session && !o.quiet) PrintOut(QStringLiteral("score %1").arg(result.score));
  return 0;
}

}  // namespace cli
