#include "platform/winmsg/mmtimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Counter {
  std::atomic<int> calls{0};
  std::atomic<UINT> id{0};
  std::atomic<bool> onOtherThread{false};
  std::thread::id testThread = std::this_thread::get_id();
};

void countTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* c = reinterpret_cast<Counter*>(user);
  c->id = id;
  c->onOtherThread = std::this_thread::get_id() != c->testThread;
  ++c->calls;
}

void killSelf(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* c = reinterpret_cast<Counter*>(user);
  ++c->calls;
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
}

void waitFor(const std::atomic<int>& calls, int n) {
  for (int i = 0; i < 2000 && calls.load() < n; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(MMTimer, PeriodicTimerCallsBackOnItsOwnThreadUntilKilled) {
  Counter c;
  UINT id = timeSetEvent(5, 0, countTick, DWORD_PTR(&c), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  waitFor(c.calls, 3);
  EXPECT_GE(c.calls.load(), 3);
  EXPECT_EQ(c.id.load(), id);
  EXPECT_TRUE(c.onOtherThread.load());
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  const int after = c.calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(c.calls.load(), after) << "no call after timeKillEvent returned";
  EXPECT_NE(timeKillEvent(id), TIMERR_NOERROR);
}

TEST(MMTimer, RateHoldsOverASecondWithinWideBounds) {
  Counter c;
  UINT id = timeSetEvent(25, 0, countTick, DWORD_PTR(&c), TIME_PERIODIC);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  timeKillEvent(id);
  // 40 ticks expected; a loaded machine may drop late ticks, never add any.
  EXPECT_LE(c.calls.load(), 42);
  EXPECT_GE(c.calls.load(), 10);
}

TEST(MMTimer, OneShotFiresOnceAndATimerMayKillItself) {
  Counter once;
  ASSERT_NE(timeSetEvent(1, 0, countTick, DWORD_PTR(&once), TIME_ONESHOT), 0u);
  Counter self;
  ASSERT_NE(timeSetEvent(1, 0, killSelf, DWORD_PTR(&self), TIME_PERIODIC), 0u);
  waitFor(once.calls, 1);
  waitFor(self.calls, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(once.calls.load(), 1);
  EXPECT_EQ(self.calls.load(), 1);
  EXPECT_EQ(timeSetEvent(10, 0, nullptr, 0, TIME_PERIODIC), 0u);
}

TEST(MMTimer, PeriodsAreCountedAndClocksAdvance) {
  const int before = timePeriodCount();
  EXPECT_EQ(timeBeginPeriod(25), TIMERR_NOERROR);
  EXPECT_EQ(timePeriodCount(), before + 1);
  EXPECT_EQ(timeEndPeriod(25), TIMERR_NOERROR);
  EXPECT_EQ(timePeriodCount(), before);

  std::int64_t freq = 0, a = 0, b = 0;
  ASSERT_TRUE(QueryPerformanceFrequency(&freq));
  EXPECT_EQ(freq, 1'000'000);
  const DWORD t0 = timeGetTime();
  QueryPerformanceCounter(&a);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  QueryPerformanceCounter(&b);
  EXPECT_GE(b - a, 20'000);
  EXPECT_GE(DWORD(timeGetTime() - t0), 20u);
}

}  // namespace
