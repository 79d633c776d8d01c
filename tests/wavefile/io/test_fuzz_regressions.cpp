#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/waveopen_exercise.h"
#include "tests/wavefile/io/riff_bytes.h"

// Every input the fuzzer once crashed on (and its seed files) goes through the
// fuzz target's body again: memory and file opens must agree, nothing may crash.
TEST_F(TempDirTest, FuzzerInputsReplayCleanly) {
  std::stringstream dirs(WAVEIO_REGRESSION_DIRS);
  std::string dir;
  int replayed = 0;
  while (std::getline(dirs, dir, ':')) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      const Bytes input = slurp(entry.path().string());
      EXPECT_EQ(waveopen_exercise::Run(input.data(), input.size(), path("scratch.wav")), "");
      ++replayed;
    }
  }
  EXPECT_GE(replayed, 4);
}
