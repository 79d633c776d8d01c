#include "platform/effects/monitorchain.h"

#include <algorithm>
#include <cstring>

namespace effects {

MonitorChain::MonitorChain(std::uint32_t maxEchoFrames)
    : echo_(maxEchoFrames), wet_(2 * kMaxBlock), fadingWet_(2 * kMaxBlock) {}

MonitorChain::~MonitorChain() {
  collect();
  delete incoming_.exchange(nullptr);
  delete fading_;
}

// ---------------------------------------------------------------- controlling thread

void MonitorChain::setEcho(std::uint32_t delayFrames, float level, float feedback) noexcept {
  echoLevel_.store(level, std::memory_order_relaxed);
  echoFeedback_.store(feedback, std::memory_order_relaxed);
  echoFrames_.store(delayFrames, std::memory_order_release);
}

void MonitorChain::setReverbLevel(float level) noexcept {
  reverbLevel_.store(level, std::memory_order_relaxed);
}

void MonitorChain::setReverb(std::unique_ptr<ConvolutionReverb> next) {
  auto* h = new Handover{std::move(next)};
  // One the card has not taken yet is replaced and freed here.
  delete incoming_.exchange(h, std::memory_order_acq_rel);
  collect();
}

void MonitorChain::collect() {
  std::size_t head = retiredHead_.load(std::memory_order_relaxed);
  const std::size_t tail = retiredTail_.load(std::memory_order_acquire);
  for (; head != tail; ++head) delete retired_[head % kRetired].load(std::memory_order_relaxed);
  retiredHead_.store(head, std::memory_order_release);
}

MonitorChain::Released MonitorChain::clear() noexcept {
  Released r;
  r.current = std::move(current_);
  r.fading.reset(fading_);
  fading_ = nullptr;
  r.incoming.reset(incoming_.exchange(nullptr, std::memory_order_acq_rel));
  echoFrames_.store(0, std::memory_order_relaxed);
  echoOn_ = false;  // the line is cleared when the echo is next turned on
  reverbLevel_.store(0.0f, std::memory_order_relaxed);
  return r;
}

// ---------------------------------------------------------------- card's thread

bool MonitorChain::active() const noexcept {
  return echoOn_ || current_ || fading_ || echoFrames_.load(std::memory_order_relaxed) != 0 ||
         incoming_.load(std::memory_order_relaxed) != nullptr;
}

bool MonitorChain::retire(Handover* h) noexcept {
  const std::size_t tail = retiredTail_.load(std::memory_order_relaxed);
  if (tail - retiredHead_.load(std::memory_order_acquire) == kRetired) return false;
  retired_[tail % kRetired].store(h, std::memory_order_relaxed);
  retiredTail_.store(tail + 1, std::memory_order_release);
  return true;
}

// A new reverb is taken only once the previous fade has ended.
void MonitorChain::takeIncoming() noexcept {
  if (fading_) return;
  Handover* h = incoming_.exchange(nullptr, std::memory_order_acq_rel);
  if (!h) return;
  std::swap(h->reverb, current_);
  fading_ = h;
  fadeAt_ = 0;
}

void MonitorChain::process(const float* in, float* out, std::uint32_t frames, bool sync) noexcept {
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = std::min(frames - done, kMaxBlock);
    block(in + 2 * done, out + 2 * done, n, sync);
    done += n;
  }
}

void MonitorChain::block(const float* in, float* out, std::uint32_t n, bool sync) noexcept {
  const bool wasWet = current_ || fading_;
  takeIncoming();

  // The echo; turned off, its repeats glide to nothing over this block.
  const std::uint32_t echoFrames = echoFrames_.load(std::memory_order_acquire);
  if (echoFrames != 0) {
    if (!echoOn_) echo_.clear();
    echoOn_ = true;
    echoDelay_ = echoFrames;
    echo_.process(in, out, n,
                  {echoFrames, echoLevel_.load(std::memory_order_relaxed),
                   echoFeedback_.load(std::memory_order_relaxed)});
  } else if (echoOn_) {
    echo_.process(in, out, n, {echoDelay_, 0.0f, 0.0f});
    echoOn_ = false;
  } else {
    std::memcpy(out, in, 2 * std::size_t(n) * sizeof(float));
  }

  // The reverbs hear the echo's output; their wet signals are added after.
  const float target = reverbLevel_.load(std::memory_order_relaxed);
  if (!wasWet) reverbLevelNow_ = target;  // nothing was heard to glide from
  const float step = (target - reverbLevelNow_) / float(n);
  ConvolutionReverb* old = fading_ ? fading_->reverb.get() : nullptr;
  if (old) old->process(out, fadingWet_.data(), n, sync);
  if (current_) current_->process(out, wet_.data(), n, sync);
  for (std::uint32_t i = 0; i < n; ++i) {
    const float level = reverbLevelNow_ + step * float(i + 1);
    float wetL = 0.0f, wetR = 0.0f;
    if (current_) {
      wetL = wet_[2 * i];
      wetR = wet_[2 * i + 1];
    }
    if (old && fadeAt_ + i < kFadeFrames) {
      const float g = 1.0f - (float(fadeAt_ + i) + 0.5f) / float(kFadeFrames);
      wetL += g * fadingWet_[2 * i];
      wetR += g * fadingWet_[2 * i + 1];
    }
    out[2 * i] += level * wetL;
    out[2 * i + 1] += level * wetR;
  }
  reverbLevelNow_ = target;
  if (fading_) {
    fadeAt_ = std::min(fadeAt_ + n, kFadeFrames);
    if ((!old || fadeAt_ == kFadeFrames) && retire(fading_)) fading_ = nullptr;
  }
}

}  // namespace effects
