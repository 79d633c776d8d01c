// The card's lock as taken by calls that only look at the card (tap and
// history reads, line peaks, mixer reads): the time each such call holds it
// is measured, and the longest hold is kept for tests to read.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace soundcard {

class InspectionLock {
 public:
  explicit InspectionLock(std::mutex& m) : lock_(m), since_(std::chrono::steady_clock::now()) {}
  ~InspectionLock() {
    const auto held = std::chrono::steady_clock::now() - since_;
    lock_.unlock();
    NoteInspectionHold(std::chrono::duration_cast<std::chrono::nanoseconds>(held).count());
  }
  InspectionLock(const InspectionLock&) = delete;
  InspectionLock& operator=(const InspectionLock&) = delete;

  static void NoteInspectionHold(std::int64_t nanoseconds);

 private:
  std::unique_lock<std::mutex> lock_;
  std::chrono::steady_clock::time_point since_;
};

}  // namespace soundcard
