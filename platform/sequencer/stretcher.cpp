#include "platform/sequencer/stretcher.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace sequencer {

namespace {

using RB = RubberBand::RubberBandStretcher;

RB::Options OptionsFor(Stretcher::Engine engine) {
  // Real time, on the caller's thread; channels together keep the stereo
  // image of a mix (a vocal-less karaoke track lives in its sides).
  RB::Options o = RB::OptionProcessRealTime | RB::OptionThreadingNever | RB::OptionChannelsTogether;
  switch (engine) {
    case Stretcher::Engine::FinerShortWindow: return o | RB::OptionEngineFiner | RB::OptionWindowShort;
    case Stretcher::Engine::Finer: return o | RB::OptionEngineFiner;
    case Stretcher::Engine::Faster: break;
  }
  return o | RB::OptionEngineFaster | RB::OptionPitchHighConsistency;
}

}  // namespace

Stretcher::Stretcher(std::uint32_t rate, unsigned channels, Engine engine)
    : rb_(std::make_unique<RB>(rate, channels, OptionsFor(engine))),
      channels_(channels),
      planar_(channels, std::vector<float>(kBlock)),
      pointers_(channels) {
  for (unsigned c = 0; c < channels; ++c) pointers_[c] = planar_[c].data();
  rb_->setMaxProcessSize(kBlock);
}

Stretcher::~Stretcher() = default;

void Stretcher::Start(const KeyTempo& kt) {
  rb_->reset();
  rb_->setTimeRatio(100.0 / kt.tempo);
  rb_->setPitchScale(std::exp2(kt.key / 12.0));
  // Silence ahead of the input, and as much output dropped, put the first
  // input frame at output frame 0.
  std::size_t pad = rb_->getPreferredStartPad();
  trim_ = rb_->getStartDelay();
  while (pad > 0) {
    // Silence each time: Take retrieves into the same buffers.
    for (auto& p : planar_) std::fill(p.begin(), p.end(), 0.0f);
    const std::size_t n = std::min(pad, kBlock);
    rb_->process(pointers_.data(), n, false);
    pad -= n;
    Take(nullptr, 0);  // drops what the padding made, as far as the delay goes
  }
}

std::size_t Stretcher::Wanted() const {
  return std::clamp<std::size_t>(rb_->getSamplesRequired(), 1, kBlock);
}

void Stretcher::Put(const float* interleaved, std::size_t frames, bool last) {
  frames = std::min(frames, kBlock);
  for (std::size_t i = 0; i < frames; ++i)
    for (unsigned c = 0; c < channels_; ++c) planar_[c][i] = interleaved[i * channels_ + c];
  rb_->process(pointers_.data(), frames, last);
}

std::size_t Stretcher::Take(float* out, std::size_t frames) {
  std::size_t made = 0;
  for (;;) {
    const int available = rb_->available();
    if (available <= 0) break;
    std::size_t n = std::min(std::size_t(available), kBlock);
    if (trim_ > 0) {
      n = rb_->retrieve(pointers_.data(), std::min(n, trim_));
      if (n == 0) break;
      trim_ -= n;
      continue;
    }
    n = std::min(n, frames - made);
    if (n == 0) break;
    n = rb_->retrieve(pointers_.data(), n);
    for (std::size_t i = 0; i < n; ++i)
      for (unsigned c = 0; c < channels_; ++c) out[(made + i) * channels_ + c] = planar_[c][i];
    made += n;
  }
  return made;
}

bool Stretcher::Done() const { return rb_->available() < 0; }

}  // namespace sequencer
