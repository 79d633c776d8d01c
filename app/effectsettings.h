// The monitor effects' remembered settings: the echo, the reverb and
// whether the take gets them. Kept with the program's other settings and
// handed to the card as they are (values out of range read as defaults).
#pragma once

#include "platform/soundcard/cardcontrol.h"

// What the card was last given (none until something was chosen).
soundcard::MonitorEffects MonitorEffectsSetting();
void RememberMonitorEffects(const soundcard::MonitorEffects& effects);

// The echo's delay in milliseconds, kMinEchoMs..kMaxEchoMs, also while
// the echo is off (then the next echo turned on starts there).
int EchoDelayMs();
