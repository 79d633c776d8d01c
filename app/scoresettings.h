// The score's remembered settings: whether the voice alone is kept beside
// each take, how strictly it is scored, and which channel of a song holds
// the melody. Kept with the program's other settings.
#pragma once

#include "score/scorer.h"

// TAKE.voice.wav beside each take (on unless turned off).
bool KeepVoice();
void RememberKeepVoice(bool keep);

// Normal unless another was chosen (an unknown stored name: normal).
score::Difficulty Difficulty();
void RememberDifficulty(score::Difficulty difficulty);

// The channel the melody is taken from, 0..15, or -1 to find it in each
// song (the default, and what a value out of range reads as).
int MelodyChannel();
void RememberMelodyChannel(int channel);
