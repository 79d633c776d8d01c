// Where the windows get a song's lyrics and put them into an MP3: the one
// place the lyrics reader and the tag writer join the windows.
#pragma once

#include <QString>

#include <functional>

#include "lyrics/lyrics.h"

// The lyrics of the accompaniment at `path` in the song's time; empty when
// it has none. `encoding` is the user's choice of text encoding, empty to
// detect it. Bad bytes or a file without words give empty lyrics, never an
// error.
lyrics::Lyrics LoadSongLyrics(const QString& path, const QString& encoding);

// Writes title, artist, the plain words and the words in time into the tags
// of the MP3 at `mp3Path`; `fallbackTitle` names the song when the lyrics
// do not. Raises std::runtime_error when the file cannot be tagged.
void TagMp3WithLyrics(const QString& mp3Path, const lyrics::Lyrics& words, const QString& fallbackTitle);

// Tests: replaces the reader (an empty function restores it).
using LyricsReader = std::function<lyrics::Lyrics(const QString& path, const QString& encoding)>;
void SetLyricsReaderForTests(LyricsReader reader);
