#pragma once

// MMNoticeQueue: the bounded lock-free queue (many producers, one consumer)
// that carries buffer notices from the driver's thread to an engine's worker
// thread. Push never blocks or allocates, so it is safe on the card's
// real-time thread; the storage is a fixed array inside the queue, allocated
// once with its owner. Waking the consumer is the caller's business.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

template <typename Notice, std::size_t Capacity>
class MMNoticeQueue {
  static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

 public:
  MMNoticeQueue() {
    for (std::size_t i = 0; i < Capacity; ++i) cells_[i].seq.store(i, std::memory_order_relaxed);
  }
  MMNoticeQueue(const MMNoticeQueue&) = delete;
  MMNoticeQueue& operator=(const MMNoticeQueue&) = delete;

  // Any thread, lock-free; false when the queue is full.
  bool Push(const Notice& notice) noexcept {
    std::size_t pos = enqueue_.load(std::memory_order_relaxed);
    Cell* cell;
    for (;;) {
      cell = &cells_[pos & (Capacity - 1)];
      const std::size_t seq = cell->seq.load(std::memory_order_acquire);
      const auto diff = static_cast<std::intptr_t>(seq) - static_cast<std::intptr_t>(pos);
      if (diff == 0) {
        if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) break;
      } else if (diff < 0) {
        return false;
      } else {
        pos = enqueue_.load(std::memory_order_relaxed);
      }
    }
    cell->notice = notice;
    cell->seq.store(pos + 1, std::memory_order_release);
    return true;
  }

  // The consumer thread only; false when the queue is empty.
  bool Pop(Notice& out) noexcept {
    Cell& cell = cells_[dequeue_ & (Capacity - 1)];
    if (cell.seq.load(std::memory_order_acquire) != dequeue_ + 1) return false;
    out = cell.notice;
    cell.seq.store(dequeue_ + Capacity, std::memory_order_release);
    ++dequeue_;
    return true;
  }

 private:
  struct Cell {
    std::atomic<std::size_t> seq{0};
    Notice notice{};
  };
  std::array<Cell, Capacity> cells_;
  alignas(64) std::atomic<std::size_t> enqueue_{0};
  alignas(64) std::size_t dequeue_ = 0;
};
