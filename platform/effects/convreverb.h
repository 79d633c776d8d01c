// The reverb: the voice convolved with a stereo impulse response by
// zita-convolver's partitioned convolution. The input is mono, the mean of
// left and right (a microphone is one voice; the response's two
// decorrelated sides give the width), the output stereo.
//
// The convolver works in blocks of kQuantum frames while a caller's blocks
// may have any size: the input collects in the convolver's own block and the
// output of the previous block is read meanwhile, which delays the wet
// signal by exactly kQuantum frames. The response is handed over without its
// first kQuantum frames, which must be silence (its pre-delay), so the
// output of a click is exactly the response, at its own time.
//
// The shortest partitions run in process(), on the caller's thread; the
// longer ones on zita-convolver's own threads, which a late partition never
// stops (it is left out of that block and the convolver goes on).
#pragma once

#include <cstdint>
#include <vector>

#include <zita-convolver.h>

#include "platform/effects/impulse.h"

namespace effects {

class ConvolutionReverb {
 public:
  static constexpr std::uint32_t kQuantum = 256;

  // The scheduling of zita-convolver's threads: SCHED_OTHER, or a real-time
  // policy with the priority of the longest partitions' thread below the
  // caller's. Ask for real time only where the system grants it (the card's
  // thread has it): zita-convolver does not report a thread it could not
  // make, and that thread's partitions then run in process().
  struct Threads {
    int policy;
    int priority;
  };

  // Builds and starts the convolver (allocates; not on the card's thread).
  // Throws std::invalid_argument for a response that is not silent for its
  // first kQuantum frames or whose sides differ in length, and
  // std::runtime_error when the convolver cannot be set up.
  ConvolutionReverb(const StereoImpulse& impulse, Threads threads);
  // Stops the convolver's threads (waits for them).
  ~ConvolutionReverb();
  ConvolutionReverb(const ConvolutionReverb&) = delete;
  ConvolutionReverb& operator=(const ConvolutionReverb&) = delete;

  // Writes the wet signal for `in` into `wet` (both interleaved stereo,
  // distinct). `sync` waits for the threads' partitions of each block: for
  // a clock that is not real time, so that results never depend on the
  // machine's load. A real-time caller passes false and never waits.
  void process(const float* in, float* wet, std::uint32_t frames, bool sync) noexcept;

 private:
  void awaitThreads(const std::vector<int>& made);
  void refreshBuffers() noexcept;

  Convproc conv_;
  float* input_ = nullptr;
  float* left_ = nullptr;
  float* right_ = nullptr;
  std::uint32_t at_ = 0;  // frames of the current block taken
};

}  // namespace effects
