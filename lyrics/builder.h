// Building a song's lyrics from a stream of timed texts, as the readers of
// MIDI files and MP3 tags meet them, and the end times every reader shares.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "lyrics/lyrics.h"

namespace lyrics {

// The longest a line's last syllable is held: the next line's start ends it
// sooner. A line with word times holds its last word for a short while; a
// line that is one syllable (times per line only) is sung over its length.
constexpr std::uint32_t kWordHoldMs = 2000;
constexpr std::uint32_t kLineHoldMs = 10000;

// Collects syllables in time order into lines and pages.
class LyricsBuilder {
 public:
  // The next syllable starts a new line, or a new page.
  void BreakLine() { pending_ = std::max(pending_, 1); }
  void BreakPage() { pending_ = 2; }
  // A UTF-8 text sung from `ms`. Each CR or LF in it ends a line: text
  // before it belongs to the line it ends, text after it starts the next;
  // two in a row (CR LF counting as one) start a new page. Other control
  // characters are dropped, a tab is a space. A text of spaces only joins
  // the syllable before it in the line; an empty one adds nothing.
  void AddText(std::uint32_t ms, const std::string& text);
  // The syllables added so far.
  std::size_t Syllables() const { return syllables_; }
  // The lines, taken out of the builder.
  Lyrics Take() { return std::move(lyrics_); }

 private:
  void AddSyllable(std::uint32_t ms, std::string text);
  Lyrics lyrics_;
  int pending_ = 0;  // 0: none, 1: a line break, 2: a page break
  std::size_t syllables_ = 0;
};

// Finishes lyrics whose lines are in time order: each syllable ends where
// the next one in its line starts; a line's last syllable ends at the next
// line's start, but at most kWordHoldMs (several syllables) or kLineHoldMs
// (one) after its own start, and no later than `songEndMs` when that is
// later than its start (0: unknown). An end set beforehand (an LRC file's
// closing word time) stands when it is later than the start, within the
// same limits. Start times within a line never go back; the whitespace at
// either end of a line is trimmed.
void FinishTimes(Lyrics& lyrics, std::uint32_t songEndMs);

}  // namespace lyrics
