#include "platform/winmsg/mmtimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Counter {
  std::atomic<int> calls{0};
  std::atomic<bool> onOtherThread{false};
  bool killSelf = false;
  std::thread::id testThread = std::this_thread::get_id();
};

void tick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* c = reinterpret_cast<Counter*>(user);
  c->onOtherThread = std::this_thread::get_id() != c->testThread;
  ++c->calls;
  if (c->killSelf) {
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  }
}

void waitFor(const Counter& c, int n) {
  for (int i = 0; i < 2000 && c.calls < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(MMTimer, PeriodicTimerCallsBackOnItsOwnThreadUntilKilled) {
  Counter c;
  UINT id = timeSetEvent(5, 0, tick, DWORD_PTR(&c), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  waitFor(c, 3);
  EXPECT_GE(c.calls.load(), 3);
  EXPECT_TRUE(c.onOtherThread.load());
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  const int after = c.calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(c.calls.load(), after) << "no call after timeKillEvent returned";
  EXPECT_NE(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_PERIODIC), 0u);
}

TEST(MMTimer, DeadlinesDoNotAddTicksAndOneShotsFireOnce) {
  Counter periodic, once, self;
  self.killSelf = true;
  UINT id = timeSetEvent(25, 0, tick, DWORD_PTR(&periodic), TIME_PERIODIC);
  ASSERT_NE(timeSetEvent(1, 0, tick, DWORD_PTR(&once), TIME_ONESHOT), 0u);
  ASSERT_NE(timeSetEvent(1, 0, tick, DWORD_PTR(&self), TIME_PERIODIC), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  timeKillEvent(id);
  // 40 ticks are due; a loaded machine may drop late ticks but never adds any.
  EXPECT_LE(periodic.calls.load(), 41);
  EXPECT_GE(periodic.calls.load(), 5);
  EXPECT_EQ(once.calls.load(), 1);
  EXPECT_EQ(self.calls.load(), 1);

  const int periods = timePeriodCount();
  timeBeginPeriod(25);
  EXPECT_EQ(timePeriodCount(), periods + 1);
  timeEndPeriod(25);
  EXPECT_EQ(timePeriodCount(), periods);
}

}  // namespace
