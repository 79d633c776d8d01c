// Waiting of the wave engines for the card: for the open and close notices,
// for returned buffers after a stop or reset.
#pragma once

#include <functional>

// Waits in rounds of 10 ms until `done` holds or `rounds` ran out. With
// `pump` the main thread handles its window messages meanwhile (a wait on
// another thread just sleeps); it gives up when the application ends.
// Returns `done()`.
bool MMWaitRounds(int rounds, const std::function<bool()>& done, bool pump);
