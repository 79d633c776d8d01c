// libFuzzer target: WaveFileOpen over arbitrary bytes, as a memory image and
// as a file (see waveopen_exercise.h).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/waveopen_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string scratch = [] {
    const std::filesystem::path dir =
        std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    return (dir / ("tl_fuzz_waveopen_" + std::to_string(::getpid()) + ".wav")).string();
  }();
  const std::string diff = waveopen_exercise::Run(data, size, scratch);
  if (!diff.empty()) {
    std::fprintf(stderr, "memory and file opens differ: %s\n", diff.c_str());
    std::abort();
  }
  return 0;
}
