#include "app/lyricssource.h"

#include <QFile>

#include "lyrics/id3lyrics.h"
#include "lyrics/readlyrics.h"

namespace {

LyricsReader& TestReader() {
  static LyricsReader reader;
  return reader;
}

}  // namespace

lyrics::Lyrics LoadSongLyrics(const QString& path, const QString& encoding) {
  if (TestReader()) return TestReader()(path, encoding);
  // Words that cannot be read never keep the song from playing.
  try {
    return lyrics::ReadLyrics(QFile::encodeName(path).toStdString(), encoding.toStdString());
  } catch (const lyrics::ELyricsError&) {
    return {};
  }
}

void TagMp3WithLyrics(const QString& mp3Path, const lyrics::Lyrics& words, const QString& fallbackTitle) {
  lyrics::WriteLyricsTags(QFile::encodeName(mp3Path).toStdString(), words, fallbackTitle.toStdString());
}

void SetLyricsReaderForTests(LyricsReader reader) { TestReader() = std::move(reader); }
