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
  // Nothing before three known samples; then their median, so one odd
  // first reading does not decide.
  EXPECT_FALSE(RoundTripWatch::Decide({1100, 1110}, std::nullopt));
  EXPECT_EQ(RoundTripWatch::Decide({400, 1100, 1110}, std::nullopt), 1100u);
  // Wobble within 3 ms (132 frames) of the adopted figure is ignored, and
  // so is a single spike among five.
  EXPECT_FALSE(RoundTripWatch::Decide({1100, 1180, 1050, 1200, 1120}, 1100u));
  EXPECT_FALSE(RoundTripWatch::Decide({1100, 1100, 5000, 1100, 1100}, 1100u));
  EXPECT_FALSE(RoundTripWatch::Decide({3000, 3000, 3000}, 1100u));  // too few yet
  // A lasting move, either way, is followed.
  EXPECT_EQ(RoundTripWatch::Decide({1100, 2400, 2410, 2400, 2405}, 1100u), 2400u);
  EXPECT_EQ(RoundTripWatch::Decide({900, 900, 900, 900, 900}, 1100u), 900u);
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
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  {
    std::lock_guard g(m);
    EXPECT_TRUE(adopted.empty());
  }
  phase = 1;
  ASSERT_TRUE(waitFor(1));
  phase = 2;
  ASSERT_TRUE(waitFor(2));
  watch.stop();
  std::lock_guard g(m);
  EXPECT_EQ(adopted, (std::vector<std::uint32_t>{1100, 2000}));
}
