// The calls tests use to install and read the card's probe (probes.h).
// Every read takes what it needs under the card's lock (block pointers,
// lengths, counters) and copies the taps after releasing it.
#include "platform/soundcard/probes.h"

#include "platform/soundcard/cardprobe.h"
#include "platform/soundcard/engine.h"
#include "platform/soundcard/inspection.h"
#include "platform/soundcard/wavein.h"

namespace soundcard {

// ---------------------------------------------------------------- the probe

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
