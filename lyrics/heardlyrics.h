// A song's words in the time a listener hears them at a tempo: the song's
// own milliseconds scaled by 100/tempo, as the accompaniment plays them.
#pragma once

#include "lyrics/lyrics.h"

namespace lyrics {

// `words` with every syllable's start and end heard at `tempo` percent of
// the written speed (100: unchanged).
Lyrics HeardAtTempo(Lyrics words, int tempo);

}  // namespace lyrics
