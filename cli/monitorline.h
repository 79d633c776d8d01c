// The monitor line for a take from the command line: the microphone in the
// speakers (where the monitor effects are heard), set through the card's
// mixer calls like the settings window's mixer page.
#pragma once

namespace cli {

// Unmutes the "Microphone" source of the "Speakers" destination of the
// first mixer and turns it fully up, for the rest of the process. Raises
// ECliFailure when the mixer has no such line or refuses the change.
void OpenMonitorLine();

}  // namespace cli
