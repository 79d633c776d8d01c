#include "platform/effects/echo.h"

#include <algorithm>

namespace effects {

FeedbackEcho::FeedbackEcho(std::uint32_t maxDelayFrames)
    : line_(2 * std::size_t(std::max<std::uint32_t>(maxDelayFrames, 1)), 0.0f),
      capacity_(std::max<std::uint32_t>(maxDelayFrames, 1)) {}

void FeedbackEcho::clear() noexcept {
  std::fill(line_.begin(), line_.end(), 0.0f);
  fadeAt_ = kCrossfadeFrames;
  fresh_ = true;
}

// What the line took `delay` frames before the frame about to be written.
// With delay == capacity_ that is the slot about to be overwritten.
inline float FeedbackEcho::tap(std::uint32_t delay, unsigned channel) const noexcept {
  std::uint32_t at = write_ + capacity_ - delay;
  if (at >= capacity_) at -= capacity_;
  return line_[2 * std::size_t(at) + channel];
}

void FeedbackEcho::process(const float* in, float* out, std::uint32_t frames,
                           const Params& p) noexcept {
  const std::uint32_t delay = std::clamp<std::uint32_t>(p.delayFrames, 1, capacity_);
  if (fresh_) {
    delay_ = delay;
    level_ = p.level;
    feedback_ = p.feedback;
    fresh_ = false;
  } else if (delay != delay_ && fadeAt_ >= kCrossfadeFrames) {
    // A change that comes during a crossfade waits for its end.
    fadeFrom_ = delay_;
    delay_ = delay;
    fadeAt_ = 0;
  }
  const float levelStep = frames ? (p.level - level_) / float(frames) : 0.0f;
  const float feedbackStep = frames ? (p.feedback - feedback_) / float(frames) : 0.0f;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const float level = level_ + levelStep * float(i + 1);
    const float feedback = feedback_ + feedbackStep * float(i + 1);
    float d[2] = {tap(delay_, 0), tap(delay_, 1)};
    if (fadeAt_ < kCrossfadeFrames) {
      const float g = (float(fadeAt_) + 0.5f) / float(kCrossfadeFrames);
      for (unsigned c = 0; c < 2; ++c) d[c] = g * d[c] + (1.0f - g) * tap(fadeFrom_, c);
      ++fadeAt_;
    }
    for (unsigned c = 0; c < 2; ++c) {
      const float x = in[2 * i + c];
      line_[2 * std::size_t(write_) + c] = x + feedback * d[c];
      out[2 * i + c] = x + level * d[c];
    }
    if (++write_ == capacity_) write_ = 0;
  }
  level_ = p.level;
  feedback_ = p.feedback;
}

}  // namespace effects
