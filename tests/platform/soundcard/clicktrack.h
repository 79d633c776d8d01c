// A click-track accompaniment and a "singer" that can be told apart in a
// take: the recording mix takes the microphone on the left channel only and
// the accompaniment lines on the right only, so each channel's clicks can be
// found on their own. With a simulated round trip the microphone hears the
// speakers (the clicks) that much later.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/mixertable.h"
#include "platform/soundcard/soundcard.h"

namespace clicktrack {

constexpr std::uint32_t kInterval = 26460;  // 0.6 s
constexpr std::uint32_t kFirst = 4410;      // the first click, 0.1 s in
constexpr std::uint32_t kWidth = 32;

// Frame f of the click track (both channels).
inline float Sample(std::uint64_t f) {
  if (f < kFirst) return 0.0f;
  const std::uint64_t j = (f - kFirst) % kInterval;
  if (j >= kWidth) return 0.0f;
  return float(0.5 - 0.5 * std::cos(6.283185307179586 * (double(j) + 0.5) / kWidth)) * 0.5f;
}

// The synthesizer's render hook: the click track from its install on.
struct Synth {
  std::uint64_t frame = 0;
  static void Render(void* user, float* out, std::uint32_t frames) {
    auto* self = static_cast<Synth*>(user);
    for (std::uint32_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = Sample(self->frame + i);
    self->frame += frames;
  }
};

// The click track as a wave played through a wave-out handle: one buffer of
// 16-bit stereo at 44100 Hz, written at construction.
class WavePlayer {
 public:
  explicit WavePlayer(std::uint64_t frames) : data_(2 * frames) {
    for (std::uint64_t i = 0; i < frames; ++i)
      data_[2 * i] = data_[2 * i + 1] = std::int16_t(std::lrint(Sample(i) * 32767.0f));
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    opened_ = waveOutOpen(&h_, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
    hdr_.lpData = reinterpret_cast<char*>(data_.data());
    hdr_.dwBufferLength = DWORD(data_.size() * 2);
    waveOutPrepareHeader(h_, &hdr_, sizeof hdr_);
    waveOutWrite(h_, &hdr_, sizeof hdr_);
  }
  ~WavePlayer() {
    waveOutReset(h_);
    waveOutClose(h_);
  }
  bool opened() const { return opened_; }

 private:
  std::vector<std::int16_t> data_;
  WAVEHDR hdr_{};
  HWAVEOUT h_ = nullptr;
  bool opened_ = false;
};

// The default table with the recording mix split by channel: microphone
// left, "SW Synth" and "Wave Out" right.
inline void InstallSplitMixers() {
  std::vector<soundcard::MixerDesc> mixers = soundcard::DefaultMixers();
  for (auto& dest : mixers[0].destinations) {
    if (dest.line.componentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN) continue;
    for (auto& src : dest.sources) {
      const bool mic = src.componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
      for (auto& c : src.controls)
        if (c.type == MIXERCONTROL_CONTROLTYPE_VOLUME) c.initial = mic ? std::vector<LONG>{65535, 0} : std::vector<LONG>{0, 65535};
    }
  }
  soundcard::InstallMixers(std::move(mixers));
}

// Where each click of one channel peaks: the largest magnitude of every run
// of samples above a quarter of the channel's peak.
inline std::vector<std::int64_t> ClickPeaks(const std::vector<float>& channel, std::size_t gap) {
  float top = 0.0f;
  for (float v : channel) top = std::max(top, std::fabs(v));
  std::vector<std::int64_t> peaks;
  if (top == 0.0f) return peaks;
  for (std::size_t i = 0; i < channel.size(); ++i) {
    if (std::fabs(channel[i]) < 0.25f * top) continue;
    std::size_t best = i;
    const std::size_t end = std::min(channel.size(), i + gap);
    for (std::size_t j = i; j < end; ++j)
      if (std::fabs(channel[j]) > std::fabs(channel[best])) best = j;
    peaks.push_back(std::int64_t(best));
    i = end;
  }
  return peaks;
}

// For each accompaniment click, the distance to the first sung click at or
// after it (less `slack`): sung minus accompaniment, in samples.
inline std::vector<std::int64_t> Distances(const std::vector<std::int64_t>& accompaniment,
                                           const std::vector<std::int64_t>& sung, std::int64_t slack) {
  std::vector<std::int64_t> d;
  for (std::int64_t a : accompaniment) {
    auto it = std::lower_bound(sung.begin(), sung.end(), a - slack);
    if (it != sung.end()) d.push_back(*it - a);
  }
  return d;
}

}  // namespace clicktrack
