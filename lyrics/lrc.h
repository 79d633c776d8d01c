// LRC files: reading (line times "[mm:ss.xx]", word times "<mm:ss.xx>",
// "[ti:]", "[ar:]", "[offset:]") and writing enhanced LRC and plain text.
#pragma once

#include <string>
#include <string_view>

#include "lyrics/lyrics.h"

namespace lyrics {

// The lyrics of an LRC file's bytes; `encoding` empty: a byte-order mark,
// else detection. A line with several times is sung at each; its word times
// move with it. A timed line without text ends the line before it. Lines
// without a time, and tags other than ti, ar and offset, are skipped. A
// positive offset shows the words that many milliseconds sooner.
Lyrics ParseLrc(std::string_view bytes, const std::string& encoding);

// Enhanced LRC: "[ti:...]" and "[ar:...]" when known, then per line its
// time and each syllable with its own ("[00:12.30]<00:12.30>Hel<00:12.61>lo").
// Times are rounded to the hundredth of a second. UTF-8, "\n" line ends.
std::string WriteLrc(const Lyrics& lyrics);

// The words only, one line of the song a line.
std::string WriteText(const Lyrics& lyrics);

// "mm:ss.xx" of a time in milliseconds (minutes grow past 99).
std::string LrcTime(std::uint32_t ms);

}  // namespace lyrics
