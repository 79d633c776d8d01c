// The monitor effects' calls (cardcontrol.h): the settings kept here, the
// chain they drive in the engine (platform/effects/monitorchain.h).
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "platform/effects/convreverb.h"
#include "platform/effects/impulse.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/clockdriver.h"
#include "platform/soundcard/engine.h"

namespace soundcard {

namespace {

// Held for a whole change, so changes come one at a time (the chain's
// controlling side has one thread at a time).
std::mutex settingsLock;
MonitorEffects settings;

constexpr const char* kReverbNames[] = {"off", "room", "hall", "plate"};

bool IsPreset(Reverb r) { return r == Reverb::Room || r == Reverb::Hall || r == Reverb::Plate; }

MonitorEffects Clamped(MonitorEffects e) {
  e.echoMs = e.echoMs <= 0 ? 0 : std::clamp(e.echoMs, kMinEchoMs, kMaxEchoMs);
  e.echoFeedback = std::clamp(e.echoFeedback, 0, 90);
  e.echoLevel = std::clamp(e.echoLevel, 0, 100);
  if (!IsPreset(e.reverb)) e.reverb = Reverb::Off;
  e.reverbLevel = std::clamp(e.reverbLevel, 0, 100);
  return e;
}

// Each preset's response is made once, on first use.
const effects::StereoImpulse& PresetImpulse(Reverb preset) {
  static std::once_flag once[3];
  static effects::StereoImpulse impulses[3];
  static constexpr effects::ImpulseShape kShapes[3] = {effects::kRoom, effects::kHall,
                                                       effects::kPlate};
  const int i = int(preset) - 1;
  std::call_once(once[i], [i] { impulses[i] = effects::MakeImpulse(kShapes[i], kSampleRate); });
  return impulses[i];
}

std::unique_ptr<effects::ConvolutionReverb> MakeReverb(Reverb preset) {
  if (!IsPreset(preset)) return nullptr;
  // The reverb's threads run below a real-time card thread, as ordinary
  // threads beside an ordinary one.
  const int cardPriority = CardThreadRealtimePriority();
  const effects::ConvolutionReverb::Threads threads =
      cardPriority > 1 ? effects::ConvolutionReverb::Threads{SCHED_FIFO, cardPriority - 1}
                       : effects::ConvolutionReverb::Threads{SCHED_OTHER, 0};
  return std::make_unique<effects::ConvolutionReverb>(PresetImpulse(preset), threads);
}

}  // namespace

void SetMonitorEffects(const MonitorEffects& wanted) {
  const MonitorEffects e = Clamped(wanted);
  std::lock_guard g(settingsLock);
  Engine& engine = Engine::instance();
  effects::MonitorChain& chain = engine.monitor;
  // The new reverb is ready before anything else changes.
  if (e.reverb != settings.reverb) chain.setReverb(MakeReverb(e.reverb));
  chain.setEcho(e.echoMs ? std::uint32_t(std::lround(FramesOfMs(e.echoMs))) : 0,
                float(e.echoLevel) / 100.0f, float(e.echoFeedback) / 100.0f);
  chain.setReverbLevel(float(e.reverbLevel) / 100.0f);
  engine.monitorRecorded.store(e.recorded, std::memory_order_relaxed);
  chain.collect();
  settings = e;
}

MonitorEffects CurrentMonitorEffects() {
  std::lock_guard g(settingsLock);
  return settings;
}

void ResetMonitorEffects() {
  std::lock_guard g(settingsLock);
  Engine& engine = Engine::instance();
  effects::MonitorChain::Released released;  // freed after the card's lock
  {
    std::lock_guard card(engine.lock);
    released = engine.monitor.clear();
    engine.monitorRecorded.store(false, std::memory_order_relaxed);
  }
  engine.monitor.collect();
  settings = MonitorEffects{};
}

const char* NameOf(Reverb preset) { return IsPreset(preset) ? kReverbNames[int(preset)] : "off"; }

bool ParseReverb(const std::string& name, Reverb& preset) {
  for (int i = 0; i < 4; ++i)
    if (name == kReverbNames[i]) {
      preset = Reverb(i);
      return true;
    }
  return false;
}

std::array<std::vector<float>, 2> ReverbImpulse(Reverb preset) {
  if (!IsPreset(preset)) return {};
  return PresetImpulse(preset);
}

}  // namespace soundcard
