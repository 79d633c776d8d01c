// tunelark score: how a voice was sung against a song's melody, line by
// line, with "score S" as the last line (or the JSON saved beside a take).
#include <QFile>
#include <cstdio>

#include "cli/accompaniment.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/progress.h"
#include "cli/texts.h"
#include "score/melody.h"
#include "score/scoreerror.h"
#include "score/scorer.h"

namespace cli {

score::Difficulty DifficultyOption(const TParsedArgs& p) {
  score::Difficulty d = score::Difficulty::Normal;
  if (p.Has("difficulty") && !score::ParseDifficulty(p.Value("difficulty").toStdString(), d))
    throw ECliUsage(Tr("--difficulty is easy, normal or hard", "--difficulty 只能是 easy、normal 或 hard"));
  return d;
}

int MelodyChannelOption(const TParsedArgs& p) { return p.Has("channel") ? IntValue(p, "channel", 1, 16) - 1 : -1; }

namespace {

score::Melody SongMelody(const QString& song, int channel) {
  CheckInputFile(song);
  score::Melody melody;
  try {
    melody = score::ReadMelody(QFile::encodeName(song).toStdString(), channel);
  } catch (const score::EScoreError& e) {
    throw ECliFailure(Tr("cannot read the melody: %1", "无法读取旋律: %1").arg(QString::fromUtf8(e.what())));
  }
  if (melody.empty() && channel >= 0)
    throw ECliFailure(Tr("channel %1 of %2 has no notes to sing", "%2 的第 %1 通道没有可唱的音符")
                          .arg(channel + 1)
                          .arg(song));
  if (melody.empty())
    throw ECliFailure(Tr("%1 has no melody to score against (a MIDI song with notes other than drums is needed)",
                         "%1 没有可以打分的旋律(需要有鼓以外音符的 MIDI 歌曲)")
                          .arg(song));
  return melody;
}

std::vector<score::PitchPoint> VoicePitch(const QString& voice, unsigned& rate) {
  CheckInputFile(voice);
  try {
    return score::PitchOfFile(QFile::encodeName(voice).toStdString(), rate);
  } catch (const score::EScoreError& e) {
    throw ECliFailure(Tr("cannot read the voice: %1", "无法读取人声: %1").arg(QString::fromUtf8(e.what())));
  }
}

// "01:02.35", from song milliseconds.
QString Clock(std::uint32_t ms) {
  const std::uint32_t hundredths = ms / 10;
  return QStringLiteral("%1:%2.%3")
      .arg(hundredths / 6000, 2, 10, QLatin1Char('0'))
      .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
      .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

}  // namespace

int RunScore(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {{"accompaniment", 'a', true},
                                         {"key", 0, true},
                                         {"tempo", 0, true},
                                         {"difficulty", 0, true},
                                         {"channel", 0, true},
                                         {"encoding", 0, true},
                                         {"json", 0, false}});
  if (p.positional.isEmpty()) throw ECliUsage(Tr("no voice file given", "没有给出人声文件"));
  if (p.positional.size() > 1)
    throw ECliUsage(Tr("unexpected argument: %1", "多余的参数: %1").arg(p.positional[1]));
  if (!p.Has("accompaniment")) throw ECliUsage(Tr("--accompaniment is needed", "需要 --accompaniment"));
  const sequencer::KeyTempo kt = KeyTempoOptions(p);
  const score::Difficulty difficulty = DifficultyOption(p);
  const int channel = MelodyChannelOption(p);
  const std::string encoding = EncodingOption(p);

  const QString song = p.Value("accompaniment");
  const score::Melody melody = SongMelody(song, channel);
  const std::vector<score::Span> lines = score::LinesOf(ReadSongLyrics(song, encoding), melody);
  unsigned rate = 0;
  const std::vector<score::PitchPoint> voice = VoicePitch(p.positional.first(), rate);
  const score::Result result = score::Score(melody, lines, voice, score::Timeline(rate, kt.key, kt.tempo), difficulty);

  if (p.Has("json")) {
    PrintOut(QString::fromStdString(score::ScoreJson(result)));
    return 0;
  }
  for (const score::LineResult& line : result.lines)
    PrintOut(QStringLiteral("%1-%2  %3%  %4  %5")
                 .arg(Clock(line.span.startMs), Clock(line.span.endMs))
                 .arg(int(line.onPitch * 100 + 0.5), 3)
                 .arg(line.points, 6, 'f', 1)
                 .arg(QString::fromStdString(line.span.text))
                 .trimmed());
  // Scripts read this line: the same words in every language.
  PrintOut(QStringLiteral("score %1").arg(result.score));
  return 0;
}

}  // namespace cli
