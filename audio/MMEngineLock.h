// The lock that keeps an engine's main-thread operations and its worker's
// buffer handling apart (both engines). Recursive, as operations call one
// another and the card may hand buffers back from inside them. The output
// engine's worker waits for it with LockUnless: the main thread may end the
// worker while it holds the lock (a Close from OnStop, fired under the lock),
// and Interrupt then wakes the waiting worker to see that it was told to quit.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TMMEngineLock {
 public:
  void lock() {
    std::unique_lock guard(FMutex);
    ++FWaiting;
    FFree.wait(guard, [this] { return Takeable(); });
    --FWaiting;
    Take();
  }
  // Takes the lock unless `stop` is set while it waits; false then.
  bool LockUnless(const std::atomic<bool>& stop) {
    std::unique_lock guard(FMutex);
    ++FWaiting;
    FFree.wait(guard, [&] { return Takeable() || stop.load(); });
    --FWaiting;
    if (!Takeable()) return false;
    Take();
    return true;
  }
  void unlock() {
    {
      std::lock_guard guard(FMutex);
      if (--FDepth > 0) return;
      FOwner = {};
    }
    FFree.notify_all();
  }
  // Threads waiting to take the lock now.
  int Waiting() {
    std::lock_guard guard(FMutex);
    return FWaiting;
  }
  // Wakes the waiters to look at their stop flags again.
  void Interrupt() {
    { std::lock_guard guard(FMutex); }
    FFree.notify_all();
  }

 private:
  bool Takeable() const { return FDepth == 0 || FOwner == std::this_thread::get_id(); }
  void Take() {
    FOwner = std::this_thread::get_id();
    ++FDepth;
  }

  std::mutex FMutex;
  std::condition_variable FFree;
  std::thread::id FOwner;
  int FDepth = 0;
  int FWaiting = 0;
};
