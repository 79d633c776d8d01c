// Control of the media control service beyond its commands: the
// synthesizer's soundfont, waits that let tests and the command line know
// the devices are settled, and where an accompaniment ends on the card's
// clock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sequencer/keytempo.h"
#include "platform/sequencer/mci.h"

namespace sequencer {

// Starts loading the soundfont on a helper thread (at most once); the
// program calls it once its window is shown.
void StartSoundfontLoading();
// Waits until the synthesizer has its soundfont and every open device has
// its data ready (instruments loaded, wave buffers filled); false on
// timeout or when no soundfont could be loaded while a sequencer is open.
bool WaitDevicesSettled(int timeoutMs);
// Makes the stopped accompaniment of the open device `id` ready to start
// at once: its opening is rendered ahead, so that the next play begins at
// the card's next period. A take started between the two holds the
// accompaniment from the take's first period on. Any other command voids it.
// False when no such device is open.
bool Cue(MCIDEVICEID id);
// Where the accompaniment of the open device `id` ends on the card's clock:
// the card frame (soundcard::ClockFrames) just after its last frame goes
// into the card's mix. Known while it plays (once the card has started it)
// and after it has played to its end, until the next command; false
// otherwise. It moves on if the device falls behind (a wave file read too
// slowly, a soundfont being loaded).
bool AccompanimentEnd(MCIDEVICEID id, std::uint64_t& clockFrame);
// The same end in a take that the wave-in handle `take` records at `rate`:
// the number of frames the take holds once all of the accompaniment has
// reached it, through the recording mix's delay of the accompaniment by the
// round trip (while compensation is on). False until the card has started
// both. Frames the card loses for lack of a queued buffer are not counted.
bool AccompanimentEndInTake(MCIDEVICEID id, HWAVEIN take, std::uint32_t rate, std::int64_t& frames);
// Sets the key and tempo of the open device `id` (clamped into range);
// false when no such device is open.
bool SetKeyTempo(MCIDEVICEID id, const KeyTempo& kt);
// The key and tempo of the open device `id` (the defaults when none).
KeyTempo KeyTempoOf(MCIDEVICEID id);
// The soundfont the synthesizer uses ("" until one is loaded).
std::string SoundfontInUse();

}  // namespace sequencer
