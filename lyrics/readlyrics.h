// The one way in: the lyrics of a song file, whatever kind it is.
#pragma once

#include <string>

#include "lyrics/lyrics.h"
#include "lyrics/lyricserror.h"

namespace lyrics {

// The lyrics of the song at `songPath`, empty when it has none:
// - a MIDI file (.mid, .kar, RMID; found by its content): its lyric or
//   text events;
// - an .lrc file itself;
// - any other file (a WAV or MP3 backing): the .lrc file of the same name
//   beside it (".lrc" or ".LRC"), else the ID3v2 tag of an MP3.
// `encoding` is the text encoding the user chose (an iconv name, see
// KnownEncodings); empty: detected. Raises ELyricsError when the file
// cannot be read or the encoding is unknown; bytes that make no sense
// give no lyrics, never a failure.
Lyrics ReadLyrics(const std::string& songPath, const std::string& encoding = {});

}  // namespace lyrics
