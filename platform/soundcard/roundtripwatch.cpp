#include "platform/soundcard/roundtripwatch.h"

#include <algorithm>
#include <chrono>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

namespace {

constexpr std::size_t kFirstSamples = 3;
constexpr std::size_t kWindow = 5;
constexpr auto kMoveFrames = std::uint32_t(FramesOfMs(3));
constexpr auto kInterval = std::chrono::milliseconds(100);

std::uint32_t Median(std::vector<std::uint32_t> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace

std::optional<std::uint32_t> RoundTripWatch::Decide(const std::vector<std::uint32_t>& recent,
                                                    std::optional<std::uint32_t> adopted) {
  if (!adopted) {
    if (recent.size() < kFirstSamples) return std::nullopt;
    return Median({recent.end() - kFirstSamples, recent.end()});
  }
  if (recent.size() < kWindow) return std::nullopt;
  const std::uint32_t m = Median({recent.end() - kWindow, recent.end()});
  const std::uint32_t apart = m > *adopted ? m - *adopted : *adopted - m;
  if (apart <= kMoveFrames) return std::nullopt;
  return m;
}

void RoundTripWatch::start(Sample sample, Adopt adopt) {
  stop();
  quit_.lower();
  thread_ = std::thread([this, sample = std::move(sample), adopt = std::move(adopt)] { run(sample, adopt); });
}

void RoundTripWatch::stop() {
  if (!thread_.joinable()) return;
  quit_.raise();
  thread_.join();
}

void RoundTripWatch::run(Sample sample, Adopt adopt) {
  std::vector<std::uint32_t> recent;
  std::optional<std::uint32_t> adopted;
  while (!quit_.waitFor(kInterval)) {
    const std::optional<std::uint32_t> now = sample();
    if (!now) continue;
    recent.push_back(*now);
    if (recent.size() > kWindow) recent.erase(recent.begin());
    if (const auto next = Decide(recent, adopted)) {
      adopted = next;
      adopt(*next);  // takes the card's lock; the stop signal's is not held
    }
  }
}

}  // namespace soundcard
