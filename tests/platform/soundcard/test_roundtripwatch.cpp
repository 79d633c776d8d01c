// The watch that keeps the compensation in step with a host stream's
// measured round trip: a settled figure is adopted once, the server's
// wobble is ignored, a real change is followed, and nothing is adopted
// after stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/soundcard/roundtripwatch.h"

using soundcard::RoundTripWatch;

TEST(RoundTripWatch, AdoptsASettledFigureAndOnlyFollowsRealChanges) {
  using W = RoundTripWatch;
  // Nothing before six known samples agree within half a millisecond (22
  // frames): a figure still creeping up, as PipeWire's does at first, is
  // not taken. Then their median, so one odd reading does not decide; a
  // figure that never settles is taken after 2.5 s (50 samples).
  EXPECT_FALSE(W::Decide({1100, 1110, 1100, 1105, 1100}, 5, std::nullopt));
  EXPECT_FALSE(W::Decide({1530, 1600, 1670, 1740, 1810, 1880}, 6, std::nullopt));
  EXPECT_EQ(W::Decide({1530, 1940, 1950, 1945, 1948, 1952, 1950}, 7, std::nullopt), 1950u);
  EXPECT_EQ(W::Decide({1000, 1100, 1200, 1300, 1400, 1500}, 50, std::nullopt), 1300u);
  // Wobble within 3 ms (132 frames) of the adopted figure is ignored, and
  // so is a single spike among ten.
  EXPECT_FALSE(W::Decide({1100, 1180, 1050, 1200, 1120, 1100, 1180, 1050, 1200, 1120}, 60, 1100u));
  EXPECT_FALSE(W::Decide({1100, 1100, 1100, 1100, 5000, 1100, 1100, 1100, 1100, 1100}, 60, 1100u));
  EXPECT_FALSE(W::Decide({3000, 3000, 3000}, 60, 1100u));  // too few yet
  // A lasting move, either way, is followed.
  EXPECT_EQ(W::Decide({1100, 2400, 2410, 2400, 2405, 2400, 2410, 2400, 2405, 2400}, 60, 1100u), 2400u);
  EXPECT_EQ(W::Decide(std::vector<std::uint32_t>(10, 900), 60, 1100u), 900u);
}

TEST(RoundTripWatch, RunsOffTheCallersThreadAndStopsAdopting) {
  std::atomic<int> phase{0};
  std::mutex m;
  std::vector<std::uint32_t> adopted;
  RoundTripWatch watch;
  watch.start(
      [&]() -> std::optional<std::uint32_t> {
        if (phase == 0) return std::nullopt;  // not timed yet
        return phase == 1 ? 1100u : 2000u;
      },
      [&](std::uint32_t f) {
        std::lock_guard g(m);
        adopted.push_back(f);
      });
  auto waitFor = [&](std::size_t n) {
    for (int i = 0; i < 300; ++i) {
      {
        std::lock_guard g(m);
        if (adopted.size() >= n) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  EXPECT_FALSE(watch.waitFirst(std::chrono::milliseconds(250)));
  {
    std::lock_guard g(m);
    EXPECT_TRUE(adopted.empty());
  }
  phase = 1;
  EXPECT_TRUE(watch.waitFirst(std::chrono::seconds(3)));
  ASSERT_TRUE(waitFor(1));
  phase = 2;
  ASSERT_TRUE(waitFor(2));
  watch.stop();
  std::lock_guard g(m);
  EXPECT_EQ(adopted, (std::vector<std::uint32_t>{1100, 2000}));
}
