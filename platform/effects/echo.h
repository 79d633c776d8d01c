// The echo: a stereo feedback delay line. For a delay of D frames, output
// y = x + level * d and the line takes x + feedback * d, where d is what the
// line gives back D frames after it took it. A click comes back exactly D
// frames later at `level`, then every D frames at level * feedback^k.
//
// All memory is taken by the constructor; process() never allocates, so it
// runs on the card's thread. A change of the delay crossfades from the old
// tap to the new one; level and feedback glide across one block.
#pragma once

#include <cstdint>
#include <vector>

namespace effects {

class FeedbackEcho {
 public:
  // Frames of a delay change's crossfade (20 ms at 44.1 kHz).
  static constexpr std::uint32_t kCrossfadeFrames = 882;

  struct Params {
    std::uint32_t delayFrames = 1;  // 1..maxDelayFrames
    float level = 0.0f;
    float feedback = 0.0f;
  };

  explicit FeedbackEcho(std::uint32_t maxDelayFrames);

  // Interleaved stereo; `out` may be `in`. After clear(), the first call
  // takes `p` at once (nothing to glide from).
  void process(const float* in, float* out, std::uint32_t frames, const Params& p) noexcept;
  // An empty line: no old echo comes back.
  void clear() noexcept;

 private:
  float tap(std::uint32_t delay, unsigned channel) const noexcept;

  std::vector<float> line_;  // interleaved stereo ring of capacity_ frames
  std::uint32_t capacity_;
  std::uint32_t write_ = 0;
  std::uint32_t delay_ = 1;
  std::uint32_t fadeFrom_ = 0;  // the old delay while a crossfade runs
  std::uint32_t fadeAt_ = kCrossfadeFrames;  // == kCrossfadeFrames: none
  float level_ = 0.0f, feedback_ = 0.0f;
  bool fresh_ = true;
};

}  // namespace effects
