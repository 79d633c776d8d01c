// Keeps the recording mix's compensation in step with a host stream whose
// latency is only known once it runs and may change later (a sound server
// re-sizing its buffers after an underrun). A thread of its own samples the
// stream's round trip every 50 ms. The first figure is adopted once it has
// settled: the last six samples (0.3 s) lie within half a millisecond of
// each other, as the server's timing does once its estimate of the
// stream's clock has converged (at once on PulseAudio, after a second or
// two on PipeWire, whose figure first creeps up by several milliseconds).
// A figure that never settles is adopted after 2.5 s all the same. Later
// figures are adopted only when the median of the last half second moves
// more than 3 ms away, so the small wobble of the server's timing never
// shifts the accompaniment in a take. Adopting may build delay lines, which
// is why it never happens on the card's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
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
  // Waits until the first figure was adopted, at most `limit`; true when
  // it was.
  bool waitFirst(std::chrono::milliseconds limit);

  // The policy on its own: the figure to adopt after `recent` samples
  // (oldest first, at most the last ten), `known` samples in all, when
  // `adopted` is in use, if any.
  static std::optional<std::uint32_t> Decide(const std::vector<std::uint32_t>& recent, std::size_t known,
                                             std::optional<std::uint32_t> adopted);

 private:
  void run(Sample sample, Adopt adopt);

  StopSignal quit_;
  std::thread thread_;
  std::mutex firstMutex_;
  std::condition_variable firstAdopted_;
  bool first_ = false;
};

}  // namespace soundcard
