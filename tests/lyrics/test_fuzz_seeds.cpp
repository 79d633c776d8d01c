#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "fuzz/lyrics_exercise.h"
#include "tests/lyrics/lyrics_fixture.h"

// The fuzz target's body over its seed files and, for a few seconds, over
// mutations of them (bytes flipped, inserted, dropped, files cut short and
// spliced), as the fuzzer starts from them. Every result must be well formed.
TEST(LyricsFuzz, SeedsAndTheirMutationsGiveWellFormedLyrics) {
  std::vector<std::string> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(LYRICS_CORPUS_DIR))
    if (entry.is_regular_file()) seeds.push_back(Slurp(entry.path().string()));
  ASSERT_GE(seeds.size(), 8u);
  for (const std::string& s : seeds)
    EXPECT_EQ(lyrics_exercise::Run(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), "");

  std::mt19937 random(20261209);
  auto below = [&](std::size_t n) { return n == 0 ? 0 : std::size_t(random() % n); };
  for (int round = 0; round < 20000; ++round) {
    std::string input = seeds[below(seeds.size())];
    const int edits = 1 + int(below(4));
    for (int e = 0; e < edits && !input.empty(); ++e) {
      switch (below(5)) {
        case 0: input[below(input.size())] = char(random()); break;
        case 1: input.insert(below(input.size() + 1), 1, char(random())); break;
        case 2: input.erase(below(input.size()), 1 + below(8)); break;
        case 3: input.resize(below(input.size() + 1)); break;
        default: {
          const std::string& other = seeds[below(seeds.size())];
          const std::size_t from = below(other.size());
          input.insert(below(input.size() + 1), other, from, 1 + below(32));
        }
      }
    }
    const std::string problem = lyrics_exercise::Run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    if (!problem.empty()) {
      ADD_FAILURE() << problem << " in round " << round;
      break;
    }
  }
}
