// The monitor's chain: echo, then reverb (the reverb hears the echoes).
// With e the echo's output, out = e + reverbLevel * reverb(e).
//
// Threads: the settings are atomics any one controlling thread writes and
// the card's thread reads each block. A new reverb is built by the
// controlling thread and handed over through a lock-free slot; the card's
// thread takes it at the start of a block and fades the old one out over
// kFadeFrames while the new one plays at once (it starts from silence, so
// nothing clicks and the wet signal never stops). A reverb the card has done
// with comes back through a lock-free ring, and the controlling thread frees
// it at its next change. process() never allocates, frees, locks or waits
// (unless told to wait for the reverb's threads).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/effects/convreverb.h"
#include "platform/effects/echo.h"

namespace effects {

class MonitorChain {
 public:
  static constexpr std::uint32_t kMaxBlock = 4096;
  // The old reverb's fade after a change (80 ms at 44.1 kHz).
  static constexpr std::uint32_t kFadeFrames = 3528;

  explicit MonitorChain(std::uint32_t maxEchoFrames);
  ~MonitorChain();

  // A reverb on its way between the threads; the card's thread moves
  // pointers in and out of it, never creates or deletes one.
  struct Handover {
    std::unique_ptr<ConvolutionReverb> reverb;
  };

  // ---- the controlling thread (one at a time, never the card's)
  // delayFrames 0: no echo.
  void setEcho(std::uint32_t delayFrames, float level, float feedback) noexcept;
  void setReverbLevel(float level) noexcept;
  // Hands `next` (null: no reverb) to the card's thread, then frees what
  // the card handed back, and a reverb handed over earlier that the card
  // has not taken yet.
  void setReverb(std::unique_ptr<ConvolutionReverb> next);
  // What the chain owns, taken out at once for the caller to free: call
  // only while process() cannot run (the card's exclusion held).
  struct Released {
    std::unique_ptr<ConvolutionReverb> current;
    std::unique_ptr<Handover> fading, incoming;
  };
  Released clear() noexcept;
  // Frees the reverbs the card's thread handed back.
  void collect();

  // ---- the card's thread
  // Whether process() has anything to do (an echo, a reverb, a fade or a
  // reverb waiting to be taken); without, the caller uses the dry signal.
  bool active() const noexcept;
  // Interleaved stereo, `in` and `out` distinct, any number of frames.
  void process(const float* in, float* out, std::uint32_t frames, bool sync) noexcept;

 private:
  static constexpr std::size_t kRetired = 8;

  void takeIncoming() noexcept;
  bool retire(Handover* h) noexcept;
  void block(const float* in, float* out, std::uint32_t frames, bool sync) noexcept;

  // ---- written by the controlling thread, read by the card's
  std::atomic<std::uint32_t> echoFrames_{0};
  std::atomic<float> echoLevel_{0.0f}, echoFeedback_{0.0f}, reverbLevel_{0.0f};
  std::atomic<Handover*> incoming_{nullptr};
  // Handed back by the card's thread (producer) to the controlling one.
  std::array<std::atomic<Handover*>, kRetired> retired_{};
  std::atomic<std::size_t> retiredHead_{0}, retiredTail_{0};

  // ---- the card's thread alone
  FeedbackEcho echo_;
  bool echoOn_ = false;
  std::unique_ptr<ConvolutionReverb> current_;
  Handover* fading_ = nullptr;  // holds the reverb being faded out
  std::uint32_t fadeAt_ = 0;
  std::uint32_t echoDelay_ = 1;      // the delay in force
  float reverbLevelNow_ = 0.0f;      // the level reached by the last block
  std::vector<float> wet_, fadingWet_;
};

}  // namespace effects
