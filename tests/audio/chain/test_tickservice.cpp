#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/MMTimer.h"
#include "platform/winmsg/mmtimer.h"

namespace {

// Counting tests drive the tick procedure themselves: the platform timer of
// the service is stopped right after the first subscription, so that only
// the test's own ticks count.
class TickService : public ::testing::Test {
 protected:
  PMMTimerClient Subscribe(int interval, bool paused, std::vector<int>* calls) {
    const int index = int(calls->size());
    calls->push_back(0);
    PMMTimerClient c = MMTimerSubscribe(
        interval, paused, [calls, index](PMMTimerClient, void*) { ++(*calls)[index]; }, nullptr);
    EXPECT_NE(c, nullptr);
    if (MMTimerId() != 0) timeKillEvent(MMTimerId());
    clients.push_back(c);
    return c;
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) MMTimerTick();
  }
  void TearDown() override {
    for (PMMTimerClient c : clients) MMTimerUnsubscribe(c);
    EXPECT_EQ(MMTimerClientCount(), 0);
    EXPECT_EQ(MMTimerId(), 0u);
  }
  std::vector<PMMTimerClient> clients;
};

TEST_F(TickService, IntervalsCountInStepsOf25) {
  std::vector<int> calls;
  calls.reserve(3);
  Subscribe(10, false, &calls);   // raised to 25: every tick
  Subscribe(60, false, &calls);   // after 75, 150, ...
  Subscribe(100, false, &calls);  // every fourth tick
  Ticks(2);
  EXPECT_EQ(calls, (std::vector<int>{2, 0, 0}));
  Ticks(1);  // 75 ms
  EXPECT_EQ(calls, (std::vector<int>{3, 1, 0}));
  Ticks(3);  // 150 ms
  EXPECT_EQ(calls, (std::vector<int>{6, 2, 1}));
}

TEST_F(TickService, PausesNestAndRestartTheCount) {
  std::vector<int> calls;
  calls.reserve(2);
  PMMTimerClient startsPaused = Subscribe(25, true, &calls);
  PMMTimerClient c = Subscribe(75, false, &calls);
  Ticks(4);
  EXPECT_EQ(calls, (std::vector<int>{0, 1}));
  MMTimerResume(startsPaused);
  Ticks(1);
  EXPECT_EQ(calls[0], 1);

  Ticks(2);  // c has counted 75 again: called
  EXPECT_EQ(calls[1], 2);
  Ticks(1);  // c at 50
  MMTimerPause(c);
  MMTimerPause(c);
  Ticks(5);
  MMTimerResume(c);
  Ticks(5);
  EXPECT_EQ(calls[1], 2) << "two pauses need two resumes";
  MMTimerResume(c);
  Ticks(2);
  EXPECT_EQ(calls[1], 2) << "the pause restarted the count at 0";
  Ticks(1);
  EXPECT_EQ(calls[1], 3);
  MMTimerResume(c);  // extra resumes do not bank
  MMTimerPause(c);
  Ticks(3);
  EXPECT_EQ(calls[1], 3);
}

TEST_F(TickService, ATickInsideATickIsDropped) {
  std::vector<int> calls;
  calls.reserve(1);
  Subscribe(25, false, &calls);
  int inner = 0;
  PMMTimerClient reentrant = MMTimerSubscribe(
      25, false,
      [&](PMMTimerClient, void*) {
        ++inner;
        MMTimerTick();  // as if the next tick came while this one runs
      },
      nullptr);
  clients.push_back(reentrant);
  Ticks(3);
  EXPECT_EQ(calls[0], 3);
  EXPECT_EQ(inner, 3);
}

TEST_F(TickService, UnknownHandlesAreIgnoredAndOwnersPassedBack) {
  std::vector<int> calls;
  calls.reserve(1);
  Subscribe(25, false, &calls);
  MMTimerPause(nullptr);
  MMTimerResume(nullptr);
  MMTimerUnsubscribe(nullptr);
  TMMTimerClient* bogus = reinterpret_cast<TMMTimerClient*>(&calls);
  MMTimerPause(bogus);
  MMTimerUnsubscribe(bogus);
  EXPECT_EQ(MMTimerClientCount(), 1);

  int owner = 0;
  void* seenOwner = nullptr;
  PMMTimerClient seenClient = nullptr;
  PMMTimerClient c = MMTimerSubscribe(
      25, false,
      [&](PMMTimerClient client, void* o) {
        seenClient = client;
        seenOwner = o;
      },
      &owner);
  clients.push_back(c);
  Ticks(1);
  EXPECT_EQ(seenClient, c);
  EXPECT_EQ(seenOwner, &owner);
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
  ASSERT_NE(c, nullptr);
  const UINT first = MMTimerId();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(timePeriodCount(), periods + 1);
  for (int i = 0; i < 1000 && calls < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(calls.load(), 3);
  EXPECT_TRUE(otherThread.load());

  MMTimerUnsubscribe(c);
  EXPECT_EQ(MMTimerId(), 0u);
  EXPECT_EQ(timePeriodCount(), periods);
  const int stopped = calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(calls.load(), stopped);

  PMMTimerClient again = MMTimerSubscribe(25, true, callback, nullptr);
  EXPECT_NE(MMTimerId(), 0u);
  EXPECT_NE(MMTimerId(), first) << "a new platform timer";
  MMTimerUnsubscribe(again);
  EXPECT_EQ(MMTimerId(), 0u);
}

}  // namespace
