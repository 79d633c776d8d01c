// Shared between the accompaniment benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// `seconds` of eighth notes at 120 bpm on all 16 channels, two-note chords,
// each channel with its own instrument; channel 10 plays drums.
std::vector<std::uint8_t> DenseSong(int seconds);

// Plays the song at `path` on the stepped card for `frames`, and at least
// to its end; the exit code of `--render-song`.
int RenderSong(const char* path, std::uint64_t frames);

}  // namespace bench
