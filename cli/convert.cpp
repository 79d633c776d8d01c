// tunelark convert: the window's MP3 conversion for a list of WAV files.
// Each file is converted on its own, so one that fails does not lose the
// others; the command then fails with the count.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/progress.h"
#include "cli/stopsignals.h"
#include "cli/texts.h"
#include "lyrics/id3lyrics.h"
#include "mp3/LameCoder.h"
#include "platform/language/language.h"
#include "platform/language/messages.h"

namespace cli {

namespace {

// The bitrates of MPEG-1 Layer III.
constexpr std::array<int, 14> kBitrates{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

QString MessageOf(const std::exception& e) { return language::Message(QString::fromUtf8(e.what())); }

// Only RIFF WAVE files are converted here: the encoder component takes
// anything else for raw PCM, and an empty file for an empty MP3.
void CheckWavFile(const QString& input) {
  QFile file(input);
  errno = 0;
  if (!file.open(QIODevice::ReadOnly))
    throw ECliFailure(
        Tr("cannot read %1: %2", "无法读取 %1: %2").arg(input, language::Reason(errno ? errno : EIO)));
  const QByteArray head = file.read(12);
  if (head.isEmpty())
    throw ECliFailure(Tr("%1 is empty: there is no sound to convert", "%1 是空文件: 没有可转换的声音").arg(input));
  if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8) != "WAVE")
    throw ECliFailure(Tr("%1 is not a WAV file (no RIFF WAVE header)", "%1 不是 WAV 文件(没有 RIFF WAVE 文件头)").arg(input));
}

}  // namespace

void ConvertToMp3(const QString& input, TOutputFile& output, int bitrate,
                  const std::function<void(int percent)>& progress, const bool& interrupted,
                  const lyrics::Lyrics& words, const QString& fallbackTitle) {
  CheckInputFile(input);
  TLameCoder coder;
  coder.SetBitrate(DWORD(bitrate));
  coder.SetInputFiles({input});
  coder.SetOutputFiles({output.WritePath()});
  coder.OnProgress = [&](QObject*, WORD percent) {
    if (progress) progress(percent);
    if (interrupted) coder.Stop();
  };
  try {
    coder.ProcessFiles();
  } catch (const ELameError& e) {
    output.Discard();
    if (e.DiskFull())
      throw ECliFailure(Tr("cannot write the MP3 %1: the disk is full", "无法写入 MP3 %1: 磁盘已满").arg(output.Path()));
    throw ECliFailure(Tr("%1: MP3 conversion failed: %2", "%1: 转换 MP3 失败: %2").arg(input, MessageOf(e)));
  } catch (const std::exception& e) {
    output.Discard();
    throw ECliFailure(Tr("%1: MP3 conversion failed: %2", "%1: 转换 MP3 失败: %2").arg(input, MessageOf(e)));
  }
  if (interrupted) {
    output.Discard();
    throw ECliFailure(Tr("%1: MP3 conversion interrupted", "%1: MP3 转换被中断").arg(input));
  }
  // The tags go in before the MP3 takes its name; a failure leaves it as
  // the encoder made it.
  QString tagError;
  try {
    lyrics::WriteLyricsTags(QFile::encodeName(output.WritePath()).toStdString(), words, fallbackTitle.toStdString());
  } catch (const lyrics::ELyricsError& e) {
    tagError = MessageOf(e);
  }
  output.Commit();
  if (!tagError.isEmpty())
    throw ECliFailure(Tr("the MP3 was saved without its lyrics: %1", "MP3 已保存, 但没有写入歌词: %1").arg(tagError));
}

int RunConvert(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {{"out", 'o', true},
                                         {"out-dir", 0, true},
                                         {"bitrate", 0, true},
                                         {"lyrics", 0, true},
                                         {"force", 'f', false},
                                         {"quiet", 'q', false}});
  const QStringList inputs = p.positional;
  if (inputs.isEmpty()) throw ECliUsage(Tr("no WAV file given", "没有给出 WAV 文件"));
  if (p.Has("out") && p.Has("out-dir"))
    throw ECliUsage(Tr("give --out or --out-dir, not both", "--out 和 --out-dir 只能给一个"));
  if (p.Has("out") && inputs.size() > 1)
    throw ECliUsage(Tr("--out names one MP3 file: use --out-dir for several inputs",
                       "--out 只能用于一个输入, 多个输入请用 --out-dir"));
  int bitrate = 128;
  if (p.Has("bitrate")) {
    bitrate = IntValue(p, "bitrate", kBitrates.front(), kBitrates.back());
    if (std::find(kBitrates.begin(), kBitrates.end(), bitrate) == kBitrates.end())
      throw ECliUsage(Tr("--bitrate %1 is not an MP3 bitrate", "--bitrate %1 不是 MP3 的比特率").arg(bitrate));
  }
  const bool force = p.Has("force");
  const QString outDir = p.Value("out-dir");
  if (p.Has("out-dir") && !QFileInfo(outDir).isDir())
    throw ECliFailure(Tr("folder %1 does not exist", "文件夹 %1 不存在").arg(outDir));

  // The words every MP3 is tagged with; a song without any is refused
  // before anything is made.
  lyrics::Lyrics words;
  QString title;
  if (p.Has("lyrics")) {
    const QString song = p.Value("lyrics");
    if (song.isEmpty()) throw ECliUsage(Tr("--lyrics needs a song file", "--lyrics 需要一个歌曲文件"));
    words = ReadSongLyrics(song);
    if (words.empty()) throw ECliFailure(Tr("%1 has no lyrics", "%1 没有歌词").arg(song));
    title = QFileInfo(song).completeBaseName();
  }

  // Where each MP3 goes; none may be written into any of the inputs.
  QStringList outputs;
  for (const QString& input : inputs) {
    const QFileInfo info(input);
    if (p.Has("out"))
      outputs << p.Value("out");
    else if (p.Has("out-dir"))
      outputs << QDir(outDir).filePath(info.completeBaseName() + QStringLiteral(".mp3"));
    else
      outputs << info.dir().filePath(info.completeBaseName() + QStringLiteral(".mp3"));
  }
  QStringList readFrom = inputs;
  if (p.Has("lyrics")) readFrom << p.Value("lyrics");
  for (const QString& output : outputs)
    for (const QString& input : readFrom)
      if (SameFile(output, input))
        throw ECliUsage(Tr("the MP3 %1 would replace the input %2", "MP3 %1 会覆盖输入文件 %2").arg(output, input));

  // Ctrl+C stops the file being converted (its MP3 is not kept) and the
  // ones after it.
  DeliverStopSignals();
  bool interrupted = StopRequested();
  TStopSignals stopSignals([&](int) { interrupted = true; });
  int failed = 0;
  for (qsizetype i = 0; i < inputs.size() && !interrupted; ++i) {
    const QString& input = inputs[i];
    const QFileInfo info(input);
    try {
      CheckInputFile(input);
      CheckWavFile(input);
      TOutputFile file(outputs[i], force);
      TProgress progress(p.Has("quiet"));
      const QString name = info.fileName();
      ConvertToMp3(input, file, bitrate, [&](int percent) {
        progress.Show(Tr("Converting %1 (%2/%3) %4%", "正在转换 %1 (%2/%3) %4%")
                          .arg(name)
                          .arg(i + 1)
                          .arg(inputs.size())
                          .arg(percent),
                      percent >= 100);
      }, interrupted, words, title);
      progress.Finish();
      PrintOut(Tr("%1 -> %2", "%1 -> %2").arg(input, file.Path()));
    } catch (const ECliFailure& e) {
      if (inputs.size() == 1 || interrupted) throw;
      ++failed;
      PrintErr(QStringLiteral("tunelark: ") + MessageOf(e));
    }
  }
  if (interrupted) throw ECliFailure(Tr("interrupted", "已中断"));
  if (failed > 0)
    throw ECliFailure(Tr("%1 of %2 files failed", "%2 个文件中有 %1 个失败").arg(failed).arg(inputs.size()));
  return 0;
}

}  // namespace cli
