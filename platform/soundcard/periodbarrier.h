// The barrier between the card's periods and the calls that hand buffers
// back on other threads.
//
// A period holds the barrier from its start until its callback functions
// have returned. afterRunningPeriod() runs its work only once no period is
// running, so messages a caller sends after it come after every message of
// the period that was running when it was called: a handle's buffers are
// reported in the order they were queued, whichever thread reports them.
// It also keeps two periods from ever overlapping (a clock being replaced
// while the stepped clock runs one). The barrier is taken before the card's
// lock, never while holding it.
#pragma once

#include <mutex>

namespace soundcard {

class PeriodBarrier {
 public:
  // The card's thread: held for one whole period.
  [[nodiscard]] std::unique_lock<std::mutex> holdForPeriod() { return std::unique_lock(mutex_); }

  // Marks the stretch in which the period's thread calls the callback
  // functions; a wave call made from inside one does not wait for itself.
  class Dispatching {
   public:
    Dispatching() { inDispatch() = true; }
    ~Dispatching() { inDispatch() = false; }
    Dispatching(const Dispatching&) = delete;
    Dispatching& operator=(const Dispatching&) = delete;
  };

  // Waits until the running period, if any, has ended; then runs `then`
  // with the barrier still held, so no period starts meanwhile (`then` must
  // not call callback functions: one may call a wave function that waits
  // here). Called from inside a callback function of a period it runs
  // `then` at once.
  template <typename Fn>
  void afterRunningPeriod(Fn&& then) {
    if (inDispatch()) {
      then();
      return;
    }
    std::lock_guard wait(mutex_);
    then();
  }

 private:
  static bool& inDispatch() {
    thread_local bool flag = false;
    return flag;
  }
  std::mutex mutex_;
};

}  // namespace soundcard
