// tunelark lyrics: a song's words with their times (as heard at a tempo),
// as enhanced LRC or as plain lines, on stdout in UTF-8.
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "cli/accompaniment.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/outputfile.h"
#include "cli/texts.h"
#include "lyrics/encoding.h"
#include "lyrics/heardlyrics.h"
#include "lyrics/lrc.h"
#include "lyrics/readlyrics.h"

namespace cli {

std::string EncodingOption(const TParsedArgs& p) {
  if (!p.Has("encoding")) return {};
  const std::string name = p.Value("encoding").toStdString();
  if (!lyrics::EncodingSupported(name))
    throw ECliUsage(Tr("--encoding %1 is not a text encoding this system knows (e.g. UTF-8, GB18030, BIG5, CP932, "
                       "WINDOWS-1252)",
                       "--encoding %1 不是本系统认识的文字编码(例如 UTF-8、GB18030、BIG5、CP932、WINDOWS-1252)")
                        .arg(p.Value("encoding")));
  return name;
}

lyrics::Lyrics ReadSongLyrics(const QString& song, const std::string& encoding) {
  CheckInputFile(song);
  if (!QFileInfo(song).isFile())
    throw ECliFailure(Tr("%1 is not a regular file", "%1 不是普通文件").arg(song));
  try {
    return lyrics::ReadLyrics(QFile::encodeName(song).toStdString(), encoding);
  } catch (const lyrics::ELyricsError& e) {
    throw ECliFailure(
        Tr("cannot read the lyrics of %1: %2", "无法读取 %1 的歌词: %2").arg(song, QString::fromUtf8(e.what())));
  }
}

int RunLyrics(const QStringList& args) {
  const TParsedArgs p = ParseArgs(args, {{"format", 0, true}, {"encoding", 0, true}, {"tempo", 0, true}});
  if (p.positional.isEmpty()) throw ECliUsage(Tr("no song file given", "没有给出歌曲文件"));
  if (p.positional.size() > 1)
    throw ECliUsage(Tr("unexpected argument: %1", "多余的参数: %1").arg(p.positional[1]));
  const QString format = p.Has("format") ? p.Value("format") : QStringLiteral("lrc");
  if (format != QLatin1String("lrc") && format != QLatin1String("text"))
    throw ECliUsage(Tr("--format is lrc or text", "--format 只能是 lrc 或 text"));
  const std::string encoding = EncodingOption(p);
  const int tempo = KeyTempoOptions(p).tempo;

  const QString song = p.positional.first();
  const lyrics::Lyrics words = lyrics::HeardAtTempo(ReadSongLyrics(song, encoding), tempo);
  if (words.empty()) throw ECliFailure(Tr("%1 has no lyrics", "%1 没有歌词").arg(song));
  const std::string out = format == QLatin1String("lrc") ? lyrics::WriteLrc(words) : lyrics::WriteText(words);
  // A long text goes past stdio's buffer straight to the file, whose failure
  // only fwrite's count tells: the flush after it then has nothing to write.
  const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  if (std::fflush(stdout) != 0 || !written) throw ECliFailure(Tr("cannot write the lyrics", "无法输出歌词"));
  return 0;
}

}  // namespace cli
