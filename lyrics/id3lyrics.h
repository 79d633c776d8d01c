// Lyrics in an MP3's ID3v2 tag (TagLib): read from SYLT (syllables in time)
// or USLT (the words only), and written for a take whose accompaniment has
// words.
#pragma once

#include <string>

#include "lyrics/lyrics.h"
#include "lyrics/lyricserror.h"

namespace lyrics {

// The lyrics of an MP3 file's ID3v2 tag, empty when it has none. SYLT wins
// over USLT; a text starting with a line feed starts a new line (two: a
// page). Words from USLT alone are lines without times (all at 0).
// `encoding` (empty: detected) applies to frames stored as Latin-1, where
// older tools put GBK or Shift-JIS bytes.
Lyrics ReadMp3Lyrics(const std::string& path, const std::string& encoding);

// Tags the MP3 at `mp3Path` with `words`: title and artist (the title
// `fallbackTitle` when the words name none), USLT with the plain lines and
// SYLT in milliseconds with each syllable at its time, a line feed before
// each line's first syllable (two before a page's). ID3v2.3, UTF-16, the
// most widely read form. Does nothing when `words` is empty, so the file
// stays byte for byte as the encoder made it. The tagged file is made
// beside the MP3 and replaces it in one step, so a failure leaves the MP3
// as it was; raises ELyricsError then. A symbolic link is written through.
void WriteLyricsTags(const std::string& mp3Path, const Lyrics& words, const std::string& fallbackTitle);

}  // namespace lyrics
