// The card's probe and the calls tests use to read it. Every read takes
// what it needs under the card's lock (block pointers, lengths, counters)
// and copies the taps after releasing it.
#include "platform/soundcard/probes.h"

#include <cmath>

#include "platform/soundcard/cardprobe.h"
#include "platform/soundcard/engine.h"
#include "platform/soundcard/inspection.h"
#include "platform/soundcard/pcm.h"

namespace soundcard {

// ---------------------------------------------------------------- the probe

void CardProbe::microphone(float* mic, std::uint32_t n, std::uint64_t now) noexcept {
  for (std::uint32_t i = 0; i < n; ++i) {
    mic[2 * i] = TestSignalSample(now + i, 0);
    mic[2 * i + 1] = TestSignalSample(now + i, 1);
  }
}

void CardProbe::MixTapState::append(const float* frames, std::uint32_t count,
                                    std::uint64_t clock) noexcept {
  if (!block) return;
  if (!begun) {
    begun = true;
    start = clock;
  }
  block->append(frames, 2 * std::size_t(count));
}

void CardProbe::mixed(const float* playback, const float* recording, std::uint32_t n,
                      std::uint64_t now) noexcept {
  state.taps[int(Mix::Playback)].append(playback, n, now);
  state.taps[int(Mix::Recording)].append(recording, n, now);
}

CardProbe& InstallProbe(Engine& e) {
  // Never destroyed, like the engine: the card's thread may use it to the end.
  static CardProbe* const probe = new CardProbe();
  std::lock_guard g(e.lock);
  e.probe = probe;
  return *probe;
}

std::shared_ptr<WaveInProbeRecord> NewWaveInRecord(Engine& e, const WAVEFORMATEX& format) {
  std::size_t tapBytes = 0;
  {
    std::lock_guard g(e.lock);
    if (!e.probe) return nullptr;
    tapBytes = e.probe->state.tapBytes;
  }
  auto record = std::make_shared<WaveInProbeRecord>();
  record->format = format;
  if (tapBytes > 0) record->tap = std::make_shared<TapBlock<std::uint8_t>>(tapBytes);
  return record;
}

namespace {
CardProbe& Probe() { return InstallProbe(Engine::instance()); }
}  // namespace

void InstallCardProbe() { Probe(); }

// ---------------------------------------------------------------- test signal

void SetMicrophoneTestSignal() {
  Probe();
  Engine::instance().setMicrophone(Engine::MicMode::Probe);
}

float TestSignalSample(std::uint64_t frame, unsigned channel) {
  // Two tones whose frequencies have no common period plus a slow sweep: no
  // stretch of the signal repeats, so a dropped or doubled block shows.
  constexpr double kTwoPi = 6.283185307179586;
  const double t = double(frame) / kSampleRate;
  const double f1 = channel == 0 ? 441.7 : 523.3;
  const double f2 = channel == 0 ? 1234.5 : 987.6;
  const double sweep = 100.0 + 40.0 * t;
  const double v = 0.25 * std::sin(kTwoPi * f1 * t) + 0.15 * std::sin(kTwoPi * f2 * t) +
                   0.1 * std::sin(kTwoPi * sweep * t);
  return float(std::nearbyint(v * 32768.0) / 32768.0);
}

// ---------------------------------------------------------------- wave-in history

void EnableWaveInTaps(std::size_t maxBytesPerHandle) {
  CardProbe& p = Probe();
  std::lock_guard g(Engine::instance().lock);
  p.state.tapBytes = maxBytesPerHandle;
}

std::vector<WaveInRecord> WaveInHistory() {
  CardProbe& p = Probe();
  struct Taken {
    WaveInRecord record;
    std::shared_ptr<TapBlock<std::uint8_t>> tap;
    std::size_t tapBytes = 0;
  };
  std::vector<std::shared_ptr<WaveInProbeRecord>> history;
  std::vector<Taken> taken;
  {
    Engine& e = Engine::instance();
    // Under the lock: the list of records (a few pointers each) and their
    // small fields; the taps are copied after it is released.
    InspectionLock g(e.lock);
    history = p.state.history;
    taken.resize(history.size());
    for (std::size_t i = 0; i < history.size(); ++i) {
      const WaveInProbeRecord& rec = *history[i];
      WaveInRecord& r = taken[i].record;
      r.format = rec.format;
      r.startFrame = rec.startFrame;
      r.tapOverflowed = rec.tapOverflowed;
      r.lostFrames = rec.lostFrames;
      r.open = rec.open;
      taken[i].tap = rec.tap;
      taken[i].tapBytes = rec.tap ? rec.tap->size() : 0;
    }
  }
  std::vector<WaveInRecord> out;
  out.reserve(taken.size());
  for (Taken& t : taken) {
    if (t.tap) t.record.delivered = t.tap->copy(t.tapBytes);
    out.push_back(std::move(t.record));
  }
  return out;
}

void ClearHistory() {
  CardProbe& p = Probe();
  std::vector<std::shared_ptr<WaveInProbeRecord>> old;  // freed after the lock is released
  std::lock_guard g(Engine::instance().lock);
  std::swap(old, p.state.history);
}

std::uint64_t LostFrames(HWAVEIN handle) {
  Engine& e = Engine::instance();
  InspectionLock g(e.lock);
  return e.isOpen(handle) ? handle->lostFrames : 0;
}

std::uint64_t TotalLostFrames() {
  CardProbe& p = Probe();
  InspectionLock g(Engine::instance().lock);
  std::uint64_t total = 0;
  for (const auto& rec : p.state.history) total += rec->lostFrames;
  return total;
}

std::vector<std::uint8_t> ConvertMix(const float* interleaved, std::size_t frames,
                                     const WAVEFORMATEX& format) {
  if (!IsSupportedPcm(format)) return {};
  const unsigned ch = format.nChannels;
  std::vector<float> in(interleaved, interleaved + 2 * frames);
  if (ch == 1) StereoToMono(interleaved, frames, in.data());
  Resampler resampler(kSampleRate, format.nSamplesPerSec, ch);
  std::vector<float> out((frames * format.nSamplesPerSec / kSampleRate + 4096) * ch);
  std::size_t used = 0;
  std::size_t got = resampler.process(in.data(), frames, &used, out.data(), out.size() / ch);
  std::vector<std::uint8_t> bytes(got * format.nBlockAlign);
  EncodePcm(out.data(), got, ch, format.wBitsPerSample, bytes.data());
  return bytes;
}

// ---------------------------------------------------------------- mix taps

void EnableMixTap(Mix mix, std::size_t maxFrames) {
  CardProbe& p = Probe();
  CardProbe::MixTapState fresh;
  if (maxFrames > 0) fresh.block = std::make_shared<TapBlock<float>>(2 * maxFrames);
  CardProbe::MixTapState old;  // freed after the lock is released
  std::lock_guard g(Engine::instance().lock);
  old = std::move(p.state.taps[int(mix)]);
  p.state.taps[int(mix)] = std::move(fresh);
}

std::vector<float> MixTap(Mix mix) {
  CardProbe& p = Probe();
  std::shared_ptr<TapBlock<float>> block;
  std::size_t size = 0;
  {
    InspectionLock g(Engine::instance().lock);
    block = p.state.taps[int(mix)].block;
    size = block ? block->size() : 0;
  }
  return block ? block->copy(size) : std::vector<float>{};
}

std::uint64_t MixTapStartFrame(Mix mix) {
  CardProbe& p = Probe();
  InspectionLock g(Engine::instance().lock);
  return p.state.taps[int(mix)].start;
}

// ---------------------------------------------------------------- counters

std::uint64_t DeferredNotices() { return Engine::instance().deferredNotices(); }
std::uint64_t DroppedNotices() { return Engine::instance().droppedNotices(); }

}  // namespace soundcard
