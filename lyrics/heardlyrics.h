// A song's words in the time a listener hears them at a tempo: the song's
// own milliseconds scaled by 100/tempo, as the accompaniment plays them.
#pragma once

#include <cstdint>
#include <vector>

#include "lyrics/lyrics.h"

namespace lyrics {

// From the song's time `songMs` on, the song plays at `tempo` percent.
struct TempoFrom {
  std::uint32_t songMs = 0;
  int tempo = 100;
};

// `words` with every syllable's start and end heard at `tempo` percent of
// the written speed (100: unchanged).
Lyrics HeardAtTempo(Lyrics words, int tempo);
// The same when the tempo changed while the song played: `tempi` in the
// order of their song times, the first from the song's start (none: 100%).
Lyrics HeardAtTempi(Lyrics words, const std::vector<TempoFrom>& tempi);

}  // namespace lyrics
