// libFuzzer target: the lyrics readers over arbitrary bytes, as a MIDI file
// (the file parser under them included) and as an LRC file (see
// lyrics_exercise.h).
#include <cstdio>
#include <cstdlib>

#include "fuzz/lyrics_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = lyrics_exercise::Run(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "malformed lyrics: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
