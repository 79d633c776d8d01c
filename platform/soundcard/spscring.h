// A single-producer, single-consumer ring for crossing between the card's
// thread and another thread without locks. Capacity is fixed at
// construction; neither side ever waits or allocates.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundcard {

template <typename T>
class SpscRingOf {
 public:
  explicit SpscRingOf(std::size_t capacity) : data_(capacity + 1) {}

  std::size_t capacity() const { return data_.size() - 1; }

  // Producer side. Writes as many of `count` values as fit; returns how many.
  std::size_t push(const T* values, std::size_t count) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    const std::size_t tail = tail_.load(std::memory_order_acquire);
    const std::size_t n = std::min(count, freeSpace(head, tail));
    const std::size_t first = std::min(n, data_.size() - head);
    std::copy_n(values, first, data_.begin() + head);
    std::copy_n(values + first, n - first, data_.begin());
    head_.store((head + n) % data_.size(), std::memory_order_release);
    return n;
  }

  // Consumer side. Reads up to `count` values; returns how many.
  std::size_t pop(T* values, std::size_t count) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    const std::size_t n = std::min(count, used(head, tail));
    const std::size_t first = std::min(n, data_.size() - tail);
    std::copy_n(data_.begin() + tail, first, values);
    std::copy_n(data_.begin(), n - first, values + first);
    tail_.store((tail + n) % data_.size(), std::memory_order_release);
    return n;
  }

  // Consumer side. Skips up to `count` values unread; returns how many.
  std::size_t discard(std::size_t count) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    const std::size_t head = head_.load(std::memory_order_acquire);
    const std::size_t n = std::min(count, used(head, tail));
    tail_.store((tail + n) % data_.size(), std::memory_order_release);
    return n;
  }

  std::size_t available() const {
    return used(head_.load(std::memory_order_acquire), tail_.load(std::memory_order_acquire));
  }
  std::size_t space() const {
    return freeSpace(head_.load(std::memory_order_acquire), tail_.load(std::memory_order_acquire));
  }

 private:
  std::size_t used(std::size_t head, std::size_t tail) const {
    return head >= tail ? head - tail : head + data_.size() - tail;
  }
  std::size_t freeSpace(std::size_t head, std::size_t tail) const {
    return capacity() - used(head, tail);
  }

  std::vector<T> data_;
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

// Interleaved float samples (the host streams' FIFOs).
using SpscRing = SpscRingOf<float>;
// Encoded bytes (a wave-in handle's voice).
using ByteRing = SpscRingOf<std::uint8_t>;

}  // namespace soundcard
