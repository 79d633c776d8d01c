// Where a take recorded with an accompaniment ends: at the take's frame
// that holds the accompaniment's last frame. The recording mix delays the
// accompaniment by the round trip in force, so the take runs on that much
// past the moment the accompaniment stopped playing, and its last stretch of
// accompaniment is kept.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/sequencer/mci.h"

class TMMWaveRecorder;

namespace cli {

// The take's length in bytes for `rec` recording while the accompaniment
// `id` plays; nothing until the card has started both. May be less than
// what was recorded already (the recorder then stops at once). Frames the
// card lost for lack of a queued buffer make the take run on by as many.
std::optional<std::int64_t> TakeBytesToAccompanimentEnd(const TMMWaveRecorder& rec, MCIDEVICEID id);

}  // namespace cli
