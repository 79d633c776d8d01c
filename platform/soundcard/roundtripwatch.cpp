#include "platform/soundcard/roundtripwatch.h"

#include <algorithm>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

namespace {

constexpr std::size_t kSettleSamples = 6;
constexpr auto kSettleFrames = std::uint32_t(FramesOfMs(0.5));
constexpr std::size_t kSettleLimit = 50;  // samples: 2.5 s
constexpr std::size_t kWindow = 10;
constexpr auto kMoveFrames = std::uint32_t(FramesOfMs(3));
constexpr auto kInterval = std::chrono::milliseconds(50);

std::uint32_t Median(std::vector<std::uint32_t> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace

std::optional<std::uint32_t> RoundTripWatch::Decide(const std::vector<std::uint32_t>& recent, std::size_t known,
                                                    std::optional<std::uint32_t> adopted) {
  if (!adopted) {
    if (recent.size() < kSettleSamples) return std::nullopt;
    const std::vector<std::uint32_t> last(recent.end() - kSettleSamples, recent.end());
    const auto [lo, hi] = std::minmax_element(last.begin(), last.end());
    if (*hi - *lo > kSettleFrames && known < kSettleLimit) return std::nullopt;
    return Median(last);
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
  {
    std::lock_guard g(firstMutex_);
    first_ = false;
  }
  thread_ = std::thread([this, sample = std::move(sample), adopt = std::move(adopt)] { run(sample, adopt); });
}

void RoundTripWatch::stop() {
  if (!thread_.joinable()) return;
  quit_.raise();
  thread_.join();
}

bool RoundTripWatch::waitFirst(std::chrono::milliseconds limit) {
  std::unique_lock g(firstMutex_);
  return firstAdopted_.wait_for(g, limit, [this] { return first_; });
}

void RoundTripWatch::run(Sample sample, Adopt adopt) {
  std::vector<std::uint32_t> recent;
  std::size_t known = 0;
  std::optional<std::uint32_t> adopted;
  while (!quit_.waitFor(kInterval)) {
    const std::optional<std::uint32_t> now = sample();
    if (!now) continue;
    ++known;
    recent.push_back(*now);
    if (recent.size() > kWindow) recent.erase(recent.begin());
    if (const auto next = Decide(recent, known, adopted)) {
      adopted = next;
      adopt(*next);  // takes the card's lock; the stop signal's is not held
      {
        std::lock_guard g(firstMutex_);
        first_ = true;
      }
      firstAdopted_.notify_all();
    }
  }
}

}  // namespace soundcard
