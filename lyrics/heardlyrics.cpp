#include "lyrics/heardlyrics.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/sequencer/keytempo.h"

namespace lyrics {

namespace {

// Each stretch of the song up to `songMs` heard at its own tempo.
std::uint32_t Heard(std::uint32_t songMs, const std::vector<TempoFrom>& tempi) {
  std::uint64_t heard = 0;
  for (std::size_t i = 0; i < tempi.size() && songMs > tempi[i].songMs; ++i) {
    const std::uint32_t end = i + 1 < tempi.size() ? std::min(songMs, tempi[i + 1].songMs) : songMs;
    heard += sequencer::HeardFromSong(end - tempi[i].songMs, tempi[i].tempo);
  }
  // At half speed a time past 35 minutes would not fit the record's 32 bits.
  return std::uint32_t(std::min<std::uint64_t>(heard, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

Lyrics HeardAtTempo(Lyrics words, int tempo) { return HeardAtTempi(std::move(words), {{0, tempo}}); }

Lyrics HeardAtTempi(Lyrics words, const std::vector<TempoFrom>& tempi) {
  if (tempi.empty() || (tempi.size() == 1 && tempi[0].tempo == 100)) return words;
  for (Line& line : words.lines)
    for (Syllable& s : line.syllables) {
      s.startMs = Heard(s.startMs, tempi);
      s.endMs = Heard(s.endMs, tempi);
    }
  return words;
}

}  // namespace lyrics
