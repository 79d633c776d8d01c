#include "platform/soundcard/latency.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace soundcard {

namespace {

constexpr std::uint32_t kMaxPeriod = Latency::kMaxPeriod;
// Lines are sized in steps of half a second with at least that much spare
// history, so L may grow by half a second without a gap in the take, and a
// small change reallocates nothing.
constexpr std::uint32_t kStep = kSampleRate / 2;

std::uint32_t roomFor(std::uint32_t delay) {
  const std::uint64_t need = std::uint64_t(delay) + kMaxPeriod + kStep;
  return std::uint32_t((need + kStep - 1) / kStep * kStep);
}

// Whether a line of `capacity` frames should be replaced for `delay`: it
// is too small, or more than two seconds larger than it needs to be.
bool needsNew(std::uint32_t capacity, std::uint32_t delay) {
  const std::uint32_t room = roomFor(delay);
  return capacity < std::uint64_t(delay) + kMaxPeriod || capacity > room + 4 * kStep;
}

}  // namespace

// ---------------------------------------------------------------- delay line

DelayLine::DelayLine(std::uint32_t frames) : data_(2 * std::size_t(frames), 0.0f), capacity_(frames) {}

void DelayLine::write(const float* frames, std::uint32_t n) noexcept {
  if (capacity_ == 0) return;
  if (n > capacity_) {
    written_ += n - capacity_;
    frames += 2 * std::size_t(n - capacity_);
    n = capacity_;
  }
  const std::uint32_t at = std::uint32_t(written_ % capacity_);
  const std::uint32_t first = std::min(n, capacity_ - at);
  std::memcpy(data_.data() + 2 * std::size_t(at), frames, 2 * std::size_t(first) * sizeof(float));
  std::memcpy(data_.data(), frames + 2 * std::size_t(first), 2 * std::size_t(n - first) * sizeof(float));
  written_ += n;
}

void DelayLine::read(std::uint32_t delay, float* out, std::uint32_t n) const noexcept {
  // Absolute frame numbers: the block is [start, start + n); the line holds
  // [held, written_).
  const std::int64_t start = std::int64_t(written_) - std::int64_t(delay);
  const std::int64_t held = std::max<std::int64_t>(0, std::int64_t(written_) - capacity_);
  const std::int64_t lo = std::clamp<std::int64_t>(held, start, start + n);
  const std::int64_t hi = std::clamp<std::int64_t>(std::int64_t(written_), lo, start + n);
  std::fill(out, out + 2 * (lo - start), 0.0f);
  std::fill(out + 2 * (hi - start), out + 2 * std::size_t(n), 0.0f);
  float* to = out + 2 * (lo - start);
  for (std::int64_t f = lo; f < hi;) {
    const std::uint32_t at = std::uint32_t(std::uint64_t(f) % capacity_);
    const std::int64_t run = std::min<std::int64_t>(hi - f, capacity_ - at);
    std::memcpy(to, data_.data() + 2 * std::size_t(at), 2 * std::size_t(run) * sizeof(float));
    to += 2 * run;
    f += run;
  }
}

void DelayLine::takeHistory(const DelayLine& older) noexcept {
  // Runs under the card's lock: the newest frames go over in at most three
  // contiguous copies (each line wraps once at most), and only the frames
  // that are not taken over are silenced.
  written_ = older.written_;
  const std::uint64_t keep =
      capacity_ == 0 || older.capacity_ == 0 ? 0 : std::min<std::uint64_t>({capacity_, older.capacity_, written_});
  for (std::uint64_t f = written_ - keep; f < written_;) {
    const std::uint32_t to = std::uint32_t(f % capacity_);
    const std::uint32_t from = std::uint32_t(f % older.capacity_);
    const std::uint64_t run = std::min<std::uint64_t>({written_ - f, capacity_ - to, older.capacity_ - from});
    std::memcpy(data_.data() + 2 * std::size_t(to), older.data_.data() + 2 * std::size_t(from),
                2 * std::size_t(run) * sizeof(float));
    f += run;
  }
  // The frames not taken over: from the write position on, all but `keep`.
  const std::uint64_t silent = capacity_ - keep;
  for (std::uint64_t f = written_; f < written_ + silent;) {
    const std::uint32_t at = std::uint32_t(f % capacity_);
    const std::uint64_t run = std::min<std::uint64_t>(written_ + silent - f, capacity_ - at);
    std::fill_n(data_.data() + 2 * std::size_t(at), 2 * std::size_t(run), 0.0f);
    f += run;
  }
}

void DelayLine::clear() noexcept { std::fill(data_.begin(), data_.end(), 0.0f); }

// ---------------------------------------------------------------- figures

std::uint32_t RoundTripOf(const RoundTripFigures& f) {
  const double offset = std::round(FramesOfMs(f.offsetMs));
  const double l = double(f.reportedFrames) + offset;
  return std::uint32_t(std::clamp(l, 0.0, double(kMaxRoundTripFrames)));
}

// ---------------------------------------------------------------- lines

struct Latency::Lines {
  explicit Lines(std::uint32_t frames)
      : waveOut(frames), synth(frames), waveOutOut(2 * kMaxPeriod), synthOut(2 * kMaxPeriod) {}
  DelayLine waveOut, synth;
  std::vector<float> waveOutOut, synthOut;
};

Latency::Latency()
    : lines_(std::make_unique<Lines>(roomFor(0))),
      speakers_(std::make_unique<DelayLine>(roomFor(0))),
      heard_(2 * kMaxPeriod),
      periodLimit_(kMaxPeriod) {}

Latency::~Latency() = default;

MixInputs Latency::compensate(const MixInputs& live, std::uint32_t n) noexcept {
  Lines& l = *lines_;
  l.waveOut.write(live.waveOut, n);
  l.synth.write(live.synth, n);
  if (delay_ == 0) return live;
  // This period's frames are written already: they begin n frames back.
  l.waveOut.read(delay_ + n, l.waveOutOut.data(), n);
  l.synth.read(delay_ + n, l.synthOut.data(), n);
  return MixInputs{l.waveOutOut.data(), l.synthOut.data(), live.microphone, live.voiceMicrophone};
}

void Latency::hearSpeakers(float* mic, std::uint32_t n) noexcept {
  const std::uint32_t delay = figures_.simulatedFrames;
  if (delay == 0) return;
  speakers_->read(delay, heard_.data(), n);
  for (std::uint32_t i = 0; i < 2 * n; ++i) mic[i] += heard_[i];
}

void Latency::speakersPlayed(const float* playback, std::uint32_t n) noexcept {
  speakers_->write(playback, n);
}

void Latency::forget() noexcept {
  lines_->waveOut.clear();
  lines_->synth.clear();
  speakers_->clear();
}

std::unique_ptr<Latency::Lines> Latency::prepareAccompaniment(const RoundTripFigures& next) const {
  const std::uint32_t delay = next.compensate ? RoundTripOf(next) : 0;
  if (!needsNew(lines_->waveOut.capacity(), delay)) return nullptr;
  return std::make_unique<Lines>(roomFor(delay));
}

std::unique_ptr<DelayLine> Latency::prepareSpeakers(const RoundTripFigures& next) const {
  if (!needsNew(speakers_->capacity(), next.simulatedFrames)) return nullptr;
  return std::make_unique<DelayLine>(roomFor(next.simulatedFrames));
}

Latency::Old Latency::install(const RoundTripFigures& next, std::unique_ptr<Lines> accompaniment,
                              std::unique_ptr<DelayLine> speakers) noexcept {
  Old old;
  if (accompaniment) {
    accompaniment->waveOut.takeHistory(lines_->waveOut);
    accompaniment->synth.takeHistory(lines_->synth);
    old.accompaniment = std::exchange(lines_, std::move(accompaniment));
  }
  if (speakers) {
    speakers->takeHistory(*speakers_);
    old.speakers = std::exchange(speakers_, std::move(speakers));
  }
  figures_ = next;
  // A line too short for its delay (never, when prepared as above) would
  // only read silence.
  delay_ = next.compensate ? RoundTripOf(next) : 0;
  const std::uint32_t simulated = next.simulatedFrames;
  periodLimit_.store(simulated > 0 ? std::min(simulated, kMaxPeriod) : kMaxPeriod);
  return old;
}

void Latency::change(const RoundTripFigures& next, std::mutex& cardLock) {
  auto accompaniment = prepareAccompaniment(next);
  auto speakers = prepareSpeakers(next);
  Old old;
  {
    std::lock_guard g(cardLock);
    old = install(next, std::move(accompaniment), std::move(speakers));
  }
}

}  // namespace soundcard
