#include "lyrics/heardlyrics.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/sequencer/keytempo.h"

namespace lyrics {

namespace {

std::uint32_t Heard(std::uint32_t songMs, int tempo) {
  // At half speed a time past 35 minutes would not fit the record's 32 bits.
  return std::uint32_t(std::min<std::uint64_t>(sequencer::HeardFromSong(songMs, tempo),
                                               std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

Lyrics HeardAtTempo(Lyrics words, int tempo) {
  if (tempo == 100) return words;
  for (Line& line : words.lines)
    for (Syllable& s : line.syllables) {
      s.startMs = Heard(s.startMs, tempo);
      s.endMs = Heard(s.endMs, tempo);
    }
  return words;
}

}  // namespace lyrics
