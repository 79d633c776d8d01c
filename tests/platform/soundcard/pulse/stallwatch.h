// Watches whether the machine lets this process run: a real-time thread
// (where allowed) that sleeps 2 ms at a time and notes every wake-up more
// than 15 ms late. A shared, busy machine now and then stops a whole process
// for up to about 100 ms; the card's small buffers at the defaults (about
// 15 ms queued for the sink) do not survive that, so the tests that demand
// an unbroken stream look here before blaming the card.
#pragma once

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace soundservertest {

class StallWatch {
 public:
  StallWatch() : thread_([this] { run(); }) {}
  ~StallWatch() {
    quit_ = true;
    thread_.join();
  }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  int stalls() const { return stalls_.load(); }
  double worstMs() const { return worstMs_.load(); }

 private:
  static constexpr double kLateMs = 15.0;

  void run() {
    sched_param p{};
    p.sched_priority = 30;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
    using Clock = std::chrono::steady_clock;
    while (!quit_) {
      const auto t0 = Clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const double late = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() - 2.0;
      if (late > kLateMs) {
        stalls_.fetch_add(1);
        if (late > worstMs_.load()) worstMs_ = late;
      }
    }
  }

  std::atomic<bool> quit_{false};
  std::atomic<int> stalls_{0};
  std::atomic<double> worstMs_{0.0};
  std::thread thread_;
};

}  // namespace soundservertest
