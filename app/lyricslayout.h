// What the lyrics window shows at a moment of the song, without drawing it:
// which lines stand in the two slots and how far the sung colour has swept
// through the current line. Times are milliseconds of the song's own time.
#pragma once

#include <cstdint>
#include <vector>

#include "lyrics/lyrics.h"

namespace lyricsview {

// How much of `syllable` is sung at `ms`: 0 before it starts, 1 from its end
// on, in between in proportion to the time within it (a syllable without
// length is sung all at once when it starts).
double SungFraction(const lyrics::Syllable& syllable, std::int64_t ms);

// The two slots: the line being sung, or the next one to be sung while none
// is, and the line after it, whatever page that is on, so a page change is
// seen before its first line is due. After the last line it stays, sung to
// its end. -1: no line (no lyrics, or nothing after the last line).
struct Slots {
  int current = -1;
  int next = -1;
  bool operator==(const Slots&) const = default;
};
// Lines must be in time order; a binary search, so long songs cost nothing.
Slots SlotsAt(const lyrics::Lyrics& words, std::int64_t ms);

// Where the sung colour ends in `line`, drawn with syllable i from
// edges[i] to edges[i + 1] (edges has one entry more than the line has
// syllables; the last is the line's width).
double SungWidth(const lyrics::Line& line, const std::vector<double>& edges, std::int64_t ms);

}  // namespace lyricsview
