// RtAudio and the ALSA beneath it, kept off stderr: a program without a
// sound card would otherwise print a score of lines ("ALSA lib
// confmisc.c:855:(parse_card) cannot find card '0'", RtAudio's warnings)
// before it falls back to the virtual device. With TUNELARK_DEBUG set they
// are written to stderr, marked as debugging lines.
#pragma once

#include <memory>

class RtAudio;

namespace soundcard {

// True when TUNELARK_DEBUG is set (to anything but "" or "0"): library
// messages are then written to stderr as debugging lines.
bool DebugLogging();

// RtAudio on the first compiled host API that has devices (the last one
// tried when none has), as RtAudio chooses by itself, but with its
// warnings off before it probes anything; ALSA's error handler is installed
// first. nullptr when RtAudio cannot be created. Not from the card's thread.
std::unique_ptr<RtAudio> MakeQuietRtAudio();

}  // namespace soundcard
