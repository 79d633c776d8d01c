// The stop signal of the card's helper threads (the virtual clock's timer,
// the file streams' pump, the round-trip watch): the helper waits on it
// between rounds of work, and raise() ends that wait at once. The lock is
// held only inside a wait, never while the helper works.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace soundcard {

class StopSignal {
 public:
  // The helper: waits until `deadline`, or less when the signal is raised;
  // true once it is.
  template <typename Clock, typename Duration>
  bool waitUntil(const std::chrono::time_point<Clock, Duration>& deadline) {
    std::unique_lock g(mutex_);
    return wake_.wait_until(g, deadline, [this] { return raised_; });
  }
  template <typename Rep, typename Period>
  bool waitFor(const std::chrono::duration<Rep, Period>& interval) {
    std::unique_lock g(mutex_);
    return wake_.wait_for(g, interval, [this] { return raised_; });
  }

  // The owner: raises the signal (then joins the helper), or lowers it
  // before starting a helper again.
  void raise() {
    {
      std::lock_guard g(mutex_);
      raised_ = true;
    }
    wake_.notify_all();
  }
  void lower() {
    std::lock_guard g(mutex_);
    raised_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool raised_ = false;
};

}  // namespace soundcard
