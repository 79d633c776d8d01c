#include "platform/soundcard/inspection.h"

#include <atomic>

#include "platform/soundcard/probes.h"

namespace soundcard {

namespace {
std::atomic<std::int64_t> gLongestHold{0};
}  // namespace

void InspectionLock::NoteInspectionHold(std::int64_t ns) {
  std::int64_t seen = gLongestHold.load(std::memory_order_relaxed);
  while (ns > seen && !gLongestHold.compare_exchange_weak(seen, ns, std::memory_order_relaxed)) {
  }
}

std::chrono::nanoseconds LongestInspectionHold() {
  return std::chrono::nanoseconds(gLongestHold.load(std::memory_order_relaxed));
}

void ResetLongestInspectionHold() { gLongestHold.store(0, std::memory_order_relaxed); }

}  // namespace soundcard
