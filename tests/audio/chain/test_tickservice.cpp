#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/MMTimer.h"
#include "platform/winmsg/mmtimer.h"

namespace {

// Counting tests drive the tick procedure themselves: the service's platform
// timer is stopped right after the first subscription, so only these ticks count.
class TickService : public ::testing::Test {
 protected:
  PMMTimerClient Subscribe(int interval, bool paused, std::function<void()> extra = nullptr) {
    const std::size_t index = calls.size();
    calls.push_back(0);
    PMMTimerClient c = MMTimerSubscribe(
        interval, paused,
        [this, index, extra](PMMTimerClient client, void* owner) {
          ++calls[index];
          EXPECT_EQ(client, clients[index]);
          EXPECT_EQ(owner, this);
          if (extra) extra();
        },
        this);
    EXPECT_NE(c, nullptr);
    if (MMTimerId() != 0) timeKillEvent(MMTimerId());
    clients.push_back(c);
    return c;
  }
  void Ticks(int n) {
    while (n-- > 0) MMTimerTick();
  }
  void TearDown() override {
    for (PMMTimerClient c : clients) MMTimerUnsubscribe(c);
    EXPECT_EQ(MMTimerClientCount(), 0);
    EXPECT_EQ(MMTimerId(), 0u);
  }
  std::vector<int> calls;
  std::vector<PMMTimerClient> clients;
};

TEST_F(TickService, IntervalsCountInStepsOf25) {
  calls.reserve(3);
  Subscribe(10, false);   // raised to 25: every tick
  Subscribe(60, false);   // after 75, 150, ...
  Subscribe(100, false);  // every fourth tick
  Ticks(2);
  EXPECT_EQ(calls, (std::vector<int>{2, 0, 0}));
  Ticks(1);
  EXPECT_EQ(calls, (std::vector<int>{3, 1, 0}));
  Ticks(3);
  EXPECT_EQ(calls, (std::vector<int>{6, 2, 1}));
}

TEST_F(TickService, PausesNestAndRestartTheCount) {
  calls.reserve(2);
  PMMTimerClient startsPaused = Subscribe(25, true);
  PMMTimerClient c = Subscribe(75, false);
  Ticks(5);  // c at 50 after its first call
  EXPECT_EQ(calls, (std::vector<int>{0, 1}));
  MMTimerResume(startsPaused);
  MMTimerPause(c);
  MMTimerPause(c);
  Ticks(4);
  MMTimerResume(c);
  Ticks(4);
  EXPECT_EQ(calls, (std::vector<int>{8, 1})) << "two pauses need two resumes";
  MMTimerResume(c);
  Ticks(2);
  EXPECT_EQ(calls[1], 1) << "the pause restarted the count at 0";
  Ticks(1);
  EXPECT_EQ(calls[1], 2);
  MMTimerResume(c);  // extra resumes do not bank
  MMTimerPause(c);
  Ticks(3);
  EXPECT_EQ(calls[1], 2);
}

TEST_F(TickService, ReentrantTicksAreDroppedAndUnknownHandlesIgnored) {
  calls.reserve(2);
  Subscribe(25, false, [] { MMTimerTick(); });  // as if the next tick came meanwhile
  Subscribe(25, false);
  Ticks(3);
  EXPECT_EQ(calls, (std::vector<int>{3, 3}));

  auto* bogus = reinterpret_cast<PMMTimerClient>(&calls);
  for (PMMTimerClient h : {PMMTimerClient(nullptr), bogus}) {
    MMTimerPause(h);
    MMTimerResume(h);
    MMTimerUnsubscribe(h);
  }
  EXPECT_EQ(MMTimerClientCount(), 2);
}

TEST(TickServiceTimer, RunsOnlyWhileSomeoneSubscribesAndCallsOffThisThread) {
  const int periods = timePeriodCount();
  std::atomic<int> calls{0};
  std::atomic<bool> otherThread{false};
  const auto self = std::this_thread::get_id();
  auto callback = [&](PMMTimerClient, void*) {
    otherThread = std::this_thread::get_id() != self;
    ++calls;
  };
  PMMTimerClient c = MMTimerSubscribe(25, false, callback, nullptr);
  const UINT first = MMTimerId();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(timePeriodCount(), periods + 1);
  for (int i = 0; i < 1000 && calls < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(calls.load(), 3);
  EXPECT_TRUE(otherThread.load());

  MMTimerUnsubscribe(c);
  EXPECT_EQ(MMTimerId(), 0u);
  EXPECT_EQ(timePeriodCount(), periods);
  const int stopped = calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(calls.load(), stopped);

  PMMTimerClient again = MMTimerSubscribe(25, true, callback, nullptr);
  EXPECT_NE(MMTimerId(), 0u);
  EXPECT_NE(MMTimerId(), first) << "a new platform timer";
  MMTimerUnsubscribe(again);
}

}  // namespace
