// Where a take's voice meets the song, found from where the accompaniment's
// end lands in the take (sequencer::AccompanimentEndInTake, which counts the
// round trip the recording mix delays the accompaniment by, so the voice
// sung to a moment of the song lands on the same frame as that moment).
#pragma once

#include <cmath>
#include <cstdint>

#include "score/timeline.h"

namespace score {

// The anchor of a stretch of the take that plays the song from `fromSongMs`
// on at `tempo` and `key`, when the song's end (`songEndMs`, its own time)
// lands on take frame `endInTake` at `rate` frames a second.
inline TimelineAnchor AnchorFromEnd(std::int64_t endInTake, double songEndMs, double fromSongMs, int tempo, int key,
                                    unsigned rate) {
  const double heardMs = (songEndMs - fromSongMs) * 100.0 / double(tempo);
  return {endInTake - std::llround(heardMs * double(rate) / 1000.0), fromSongMs, tempo, key};
}

}  // namespace score
