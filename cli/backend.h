// What the card plays through and the latency compensation in force, as
// the command line says them (`devices`, and the first line of `record`).
#pragma once

#include <QString>

#include "platform/soundcard/cardcontrol.h"

namespace cli {

// "sound server NAME, output SINK, input SOURCE", an audio device, or the
// virtual device and why it runs.
QString DescribeBackend(const soundcard::CardBackend& backend);
// The compensation in force in milliseconds, with the round trip it is
// made of and the user's correction.
QString CompensationLine(const soundcard::CardBackend& backend);

}  // namespace cli
