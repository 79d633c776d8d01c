#include "platform/sequencer/renderahead.h"

#include <chrono>

namespace sequencer {

void AheadQueue::Push(const AheadChunk& chunk) {
  if (ring_.push(&chunk, 1) == 1) pushed_.fetch_add(chunk.frames, std::memory_order_release);
}

std::uint64_t AheadQueue::Queued(std::uint32_t generation) {
  if (generation != pushedGeneration_) {
    pushedGeneration_ = generation;
    generationStart_ = pushed_.load(std::memory_order_relaxed);
  }
  return pushed_.load(std::memory_order_relaxed) - std::max(popped_.load(std::memory_order_acquire), generationStart_);
}

// Skips what older generations left; a newer generation's chunk is kept in
// hand, untaken.
bool AheadQueue::Next(std::uint32_t generation) {
  for (;;) {
    at_ = 0;
    if (ring_.pop(&held_, 1) == 0) {
      held_.frames = 0;
      return false;
    }
    popped_.fetch_add(held_.frames, std::memory_order_release);
    if (!Older(held_.generation, generation)) return held_.generation == generation;
  }
}

std::uint32_t AheadQueue::Wake() {
  const std::uint32_t serial = wakes_.fetch_add(1, std::memory_order_acq_rel) + 1;
  wakes_.notify_one();
  return serial;
}

std::uint32_t AheadQueue::WaitForWork(std::uint32_t answered) const {
  wakes_.wait(answered, std::memory_order_acquire);
  return wakes_.load(std::memory_order_acquire);
}

void AheadQueue::Served(std::uint32_t serial) {
  {
    std::lock_guard g(servedLock_);
    served_ = serial;
  }
  servedCv_.notify_all();
}

bool AheadQueue::WaitServed(std::uint32_t serial, int timeoutMs) {
  std::unique_lock g(servedLock_);
  return servedCv_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                            [&] { return std::int32_t(served_ - serial) >= 0; });
}

}  // namespace sequencer
