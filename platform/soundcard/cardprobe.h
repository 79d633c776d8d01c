// What a test installs to look into the card: the mix taps, the record of
// every wave-in handle (its tap, start frame and lost frames) and the test
// signal microphone. Without a probe the card keeps none of this; with one,
// the card's thread calls the hooks below under the card's lock.
//
// Taps live in fixed blocks reserved off the card's thread. The card only
// appends past the bytes already written, so a reader takes the block and
// its length under the lock and copies outside it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mmsystem.h"

namespace soundcard {

// A fixed block the card appends to; never grows.
template <typename T>
class TapBlock {
 public:
  explicit TapBlock(std::size_t capacity) : data_(new T[capacity]), capacity_(capacity) {}
  // Under the card's lock.
  std::size_t size() const { return size_; }
  // Appends what fits; false when some of it did not.
  bool append(const T* items, std::size_t count) noexcept {
    const std::size_t keep = std::min(count, capacity_ - size_);
    std::copy(items, items + keep, data_.get() + size_);
    size_ += keep;
    return keep == count;
  }
  // The first `size` items, written before size() returned `size`.
  std::vector<T> copy(std::size_t size) const { return std::vector<T>(data_.get(), data_.get() + size); }

 private:
  std::unique_ptr<T[]> data_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

// What the probe keeps about one wave-in handle, beyond its life. Guarded
// by the card's lock; the handle holds it too.
struct WaveInProbeRecord {
  WAVEFORMATEX format{};
  std::uint64_t startFrame = 0;
  bool begun = false;  // startFrame is known
  std::shared_ptr<TapBlock<std::uint8_t>> tap;  // null without taps
  bool tapOverflowed = false;
  std::uint64_t lostFrames = 0;
  bool open = true;

  // Card's thread.
  void capturing(std::uint64_t clockFrame) noexcept {
    if (begun) return;
    begun = true;
    startFrame = clockFrame;
  }
  void delivered(const std::uint8_t* bytes, std::size_t size) noexcept {
    if (tap && !tap->append(bytes, size)) tapOverflowed = true;
  }
  void lost(std::uint64_t frames) noexcept { lostFrames += frames; }
};

class CardProbe {
 public:
  // ---- card's thread, under the card's lock
  // The test signal, card frames clock .. clock + frames - 1.
  void microphone(float* mic, std::uint32_t frames, std::uint64_t clock) noexcept;
  // One period's playback and recording mixes (interleaved stereo).
  void mixed(const float* playback, const float* recording, std::uint32_t frames,
             std::uint64_t clock) noexcept;

  // ---- guarded by the card's lock
  struct MixTapState {
    std::shared_ptr<TapBlock<float>> block;  // null: no tap
    std::uint64_t start = 0;
    bool begun = false;
    void append(const float* frames, std::uint32_t count, std::uint64_t clock) noexcept;
  };
  struct State {
    MixTapState taps[2];
    std::vector<std::shared_ptr<WaveInProbeRecord>> history;
    std::size_t tapBytes = 0;
  };
  State state;
};

}  // namespace soundcard
