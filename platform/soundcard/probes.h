// Probes that let tests and benchmarks see exactly what the card produced:
// the mix taps, the wave-in history with each handle's tap, the test signal
// microphone, and the longest hold of the card's lock by an inspecting call.
//
// The first call of any of them installs the card's probe; from then on the
// card's thread feeds it each period. A program that never calls them runs
// the card without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/mmsystem.h"
#include "platform/soundcard/cardcontrol.h"

namespace soundcard {

// Installs the probe now, so that wave-in handles opened from now on are in
// the history even before any other probe call.
void InstallCardProbe();

// ---------------------------------------------------------------- test signal
// Card frame f of channel c is TestSignalSample(f, c), with f counted by
// ClockFrames(): a deterministic, non-repeating signal of multiples of
// 1/32768 (so 16-bit conversion is exact), peak about 0.5.
void SetMicrophoneTestSignal();
float TestSignalSample(std::uint64_t frame, unsigned channel);

// ---------------------------------------------------------------- wave-in history
// What one wave-in handle got, kept after it closes.
struct WaveInRecord {
  WAVEFORMATEX format{};
  // Clock frame of the first recording-mix frame the handle was given (at
  // its first start after open). With a rate of 44100 Hz, delivered frame i
  // comes from recording-mix frame startFrame + i.
  std::uint64_t startFrame = 0;
  // Every byte the card wrote into the handle's buffers, in order (empty
  // unless taps were enabled when the handle opened).
  std::vector<std::uint8_t> delivered;
  bool tapOverflowed = false;  // more bytes came than the tap could hold
  // Frames of converted recording mix that found no queued buffer.
  std::uint64_t lostFrames = 0;
  bool open = false;
};
// Taps of up to `maxBytesPerHandle` for wave-in handles opened from now on
// (0: none). The memory is reserved at open, never on the card's thread.
void EnableWaveInTaps(std::size_t maxBytesPerHandle);
// Every wave-in handle opened since the last ClearHistory (or ResetCard),
// in open order, while the probe was installed.
std::vector<WaveInRecord> WaveInHistory();
void ClearHistory();
// Frames of an open handle that found no queued buffer.
std::uint64_t LostFrames(HWAVEIN handle);
// Lost frames of every handle in the history.
std::uint64_t TotalLostFrames();

// Converts interleaved stereo 44100 Hz float frames (a recording-mix tap,
// or TestSignalSample frames) to `format` in one go, as the card converts
// for a wave-in handle: exactly the same bytes at 44100 Hz, within 1 LSB at
// other rates (the card converts in periods).
std::vector<std::uint8_t> ConvertMix(const float* interleaved, std::size_t frames,
                                     const WAVEFORMATEX& format);

// ---------------------------------------------------------------- mix taps
// Captures the playback or the recording mix (interleaved stereo float at
// 44100 Hz), up to `maxFrames`, from the next period on; 0 stops and frees.
enum class Mix { Playback, Recording };
void EnableMixTap(Mix mix, std::size_t maxFrames);
std::vector<float> MixTap(Mix mix);
// Clock frame of the tap's first frame.
std::uint64_t MixTapStartFrame(Mix mix);

// ---------------------------------------------------------------- the card's lock
// The longest time a call that only inspects the card (tap and history
// reads, line peaks, mixer reads) held the card's lock since the last reset.
std::chrono::nanoseconds LongestInspectionHold();
void ResetLongestInspectionHold();

// ---------------------------------------------------------------- messages
// Times the card's thread kept a buffer back because its list of messages
// for the period, or its ring of window messages waiting for the message
// queue, was full; and messages it had to drop (none while every handle asks
// for room first).
std::uint64_t DeferredNotices();
std::uint64_t DroppedNotices();

}  // namespace soundcard
