// aubio, loaded when the first pitch tracker is made rather than with the
// program: with the codec libraries it brings along it is most of what the
// dynamic loader would do before the window could show. The calls the
// pitch tracker uses, resolved once.
#pragma once

#include <aubio/aubio.h>

namespace score {

struct AubioCalls {
  decltype(&new_aubio_pitch) newPitch;
  decltype(&del_aubio_pitch) delPitch;
  decltype(&aubio_pitch_do) pitchDo;
  decltype(&aubio_pitch_set_unit) setUnit;
  decltype(&aubio_pitch_set_silence) setSilence;
  decltype(&aubio_pitch_get_confidence) getConfidence;
  decltype(&new_fvec) newFvec;
  decltype(&del_fvec) delFvec;
};

// Loads aubio on the first call (any thread; later calls wait for it and
// then return at once). Raises EScoreError, naming the library, when it
// cannot be loaded or lacks a call.
const AubioCalls& Aubio();
// Whether Aubio() has loaded it.
bool AubioLoaded();

}  // namespace score
