#include "platform/soundcard/calibration.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr float kClickLevel = 0.5f;
// A match must explain at least this share of the signal around it
// (normalised correlation), and the clicks must agree within kAgree.
constexpr double kMinMatch = 0.5;
constexpr auto kAgree = std::uint32_t(FramesOfMs(2));
// Quieter than this (RMS) is no sound at all.
constexpr double kFloor = 1e-4;

}  // namespace

std::vector<float> MakeClick() {
  constexpr std::uint32_t n = ClickPlan::kClickFrames;
  constexpr double f0 = 500.0, f1 = 5000.0;
  constexpr double seconds = double(n) / kSampleRate;
  std::vector<float> click(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const double t = double(i) / kSampleRate;
    const double phase = 2 * kPi * (f0 * t + (f1 - f0) * t * t / (2 * seconds));
    const double window = 0.5 - 0.5 * std::cos(2 * kPi * (i + 0.5) / n);
    click[i] = float(kClickLevel * window * std::sin(phase));
  }
  return click;
}

ClickMeasurement::ClickMeasurement() : click_(MakeClick()), captured_(ClickPlan::kTotal, 0.0f) {}

void ClickMeasurement::period(const float* mic, float* speakers, std::uint32_t n) noexcept {
  using P = ClickPlan;
  for (std::uint32_t i = 0; i < n && at_ < P::kTotal; ++i, ++at_) {
    captured_[at_] = 0.5f * (mic[2 * i] + mic[2 * i + 1]);
    while (next_ < P::kClicks && at_ >= P::kStarts[next_] + P::kClickFrames) ++next_;
    if (next_ < P::kClicks && at_ >= P::kStarts[next_]) {
      const float v = click_[at_ - P::kStarts[next_]];
      speakers[2 * i] += v;
      speakers[2 * i + 1] += v;
    }
  }
  if (at_ >= P::kTotal) done_.store(true, std::memory_order_release);
}

CalibrationResult FindClicks(const float* mono, std::size_t frames, std::uint32_t reportedFrames) {
  using P = ClickPlan;
  const std::vector<float> click = MakeClick();
  const std::size_t m = click.size();
  double clickEnergy = 0.0;
  for (float v : click) clickEnergy += double(v) * v;
  const double clickNorm = std::sqrt(clickEnergy);

  // The best lag of each click heard, by normalised correlation.
  std::vector<std::uint32_t> lags;
  for (std::uint32_t k = 0; k < P::kClicks; ++k) {
    const std::size_t sent = P::kStarts[k];
    if (sent + m > frames) break;
    const std::size_t lastLag = std::min<std::size_t>(P::kLongest, frames - sent - m);
    const float* x = mono + sent;
    double energy = 0.0;  // of x[lag, lag + m), kept running
    for (std::size_t i = 0; i < m; ++i) energy += double(x[i]) * x[i];
    double best = 0.0;
    std::size_t bestLag = 0;
    for (std::size_t lag = 0; lag <= lastLag; ++lag) {
      if (lag > 0) {
        energy += double(x[lag + m - 1]) * x[lag + m - 1] - double(x[lag - 1]) * x[lag - 1];
        energy = std::max(energy, 0.0);
      }
      if (energy < kFloor * kFloor * double(m)) continue;
      double c = 0.0;
      for (std::size_t i = 0; i < m; ++i) c += double(click[i]) * x[lag + i];
      const double match = c / (clickNorm * std::sqrt(energy));
      if (match > best) {
        best = match;
        bestLag = lag;
      }
    }
    if (best >= kMinMatch) lags.push_back(std::uint32_t(bestLag));
  }

  CalibrationResult r;
  r.reportedFrames = reportedFrames;
  if (lags.empty()) return r;
  // The clicks that agree with the median; a stray match is left out.
  std::vector<std::uint32_t> sorted = lags;
  std::sort(sorted.begin(), sorted.end());
  const std::uint32_t median = sorted[sorted.size() / 2];
  double sum = 0.0;
  unsigned agree = 0;
  for (std::uint32_t lag : lags) {
    if ((lag > median ? lag - median : median - lag) > kAgree) continue;
    sum += lag;
    ++agree;
  }
  r.clicksHeard = agree;
  if (agree < 2 || 2 * agree < P::kClicks) return r;
  r.found = true;
  r.roundTripFrames = std::uint32_t(std::lround(sum / agree));
  r.roundTripMs = MsOfFrames(r.roundTripFrames);
  r.proposedOffsetMs = int(std::lround(MsOfFrames(double(r.roundTripFrames) - double(reportedFrames))));
  return r;
}

const char* NoClickHeardText() {
  // Translated where it is shown, by the device sheet.
  return QT_TRANSLATE_NOOP("soundcard::LatencyPanel", "没有听到测试音。请把麦克风靠近扬声器，或用回环线连接输出和输入，然后再试一次。");
}

}  // namespace soundcard
