// Keeps the recording mix's compensation in step with a host stream whose
// latency is only known once it runs and may change later (a sound server
// re-sizing its buffers after an underrun). A thread of its own samples the
// stream's round trip every 100 ms; the first figure adopted is the median of
// the first three known samples, and a later one only when the median of the
// last five moves more than 3 ms away from it, so the small wobble of the
// server's timing never shifts the accompaniment in a take. Adopting may
// build delay lines, which is why it never happens on the card's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/soundcard/stopsignal.h"

namespace soundcard {

class RoundTripWatch {
 public:
  // `sample` returns the stream's round trip in frames, or nothing while it
  // is not known; `adopt` is called with each figure adopted.
  using Sample = std::function<std::optional<std::uint32_t>()>;
  using Adopt = std::function<void(std::uint32_t)>;

  RoundTripWatch() = default;
  ~RoundTripWatch() { stop(); }
  RoundTripWatch(const RoundTripWatch&) = delete;
  RoundTripWatch& operator=(const RoundTripWatch&) = delete;

  void start(Sample sample, Adopt adopt);
  // After it returns `adopt` is not called again.
  void stop();

  // The policy on its own: the figure to adopt after `recent` samples
  // (oldest first) when `adopted` is in use, if any.
  static std::optional<std::uint32_t> Decide(const std::vector<std::uint32_t>& recent,
                                             std::optional<std::uint32_t> adopted);

 private:
  void run(Sample sample, Adopt adopt);

  StopSignal quit_;
  std::thread thread_;
};

}  // namespace soundcard
