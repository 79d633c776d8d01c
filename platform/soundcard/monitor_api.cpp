// The monitor effects' calls (cardcontrol.h).
#include <mutex>

#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

namespace {

std::mutex settingsLock;
MonitorEffects settings;

constexpr const char* kReverbNames[] = {"off", "room", "hall", "plate"};

}  // namespace

void SetMonitorEffects(const MonitorEffects& effects) {
  std::lock_guard g(settingsLock);
  settings = effects;
}

MonitorEffects CurrentMonitorEffects() {
  std::lock_guard g(settingsLock);
  return settings;
}

const char* NameOf(Reverb preset) { return kReverbNames[int(preset)]; }

bool ParseReverb(const std::string& name, Reverb& preset) {
  for (int i = 0; i < 4; ++i)
    if (name == kReverbNames[i]) {
      preset = Reverb(i);
      return true;
    }
  return false;
}

std::array<std::vector<float>, 2> ReverbImpulse(Reverb) { return {}; }

}  // namespace soundcard
