// A wave-in handle, the card's side: the queue of buffers an application
// lent to the card, and the conversion of the recording mix into the
// handle's format. The waveIn calls are in wavein_api.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/soundcard/cardprobe.h"
#include "platform/soundcard/headerqueue.h"
#include "platform/soundcard/notes.h"
#include "platform/soundcard/pcm.h"

struct WaveInHandle : soundcard::HeaderQueue {
  WaveInHandle(const WAVEFORMATEX& format, const soundcard::Callback& callback,
               std::shared_ptr<soundcard::WaveInProbeRecord> record);

  // All members are guarded by the card's lock.
  bool toldLost = false;  // of a lost host device
  WAVEFORMATEX format;
  soundcard::Callback callback;
  std::shared_ptr<soundcard::WaveInProbeRecord> record;  // null without a probe
  bool started = false;
  std::uint64_t positionFrames = 0;
  std::uint64_t lostFrames = 0;  // converted frames that found no queued buffer
  // The card frame whose sound the handle converted first since the open or
  // the last reset (valid once `begun`).
  std::uint64_t startFrame = 0;
  bool begun = false;

  // Marks the first buffer done, unlinks it and sends its MM_WIM_DATA.
  void finishHead(soundcard::NoteList& notes);
  // waveInStop: returns the buffer being filled if it holds any bytes.
  void stop(soundcard::NoteList& notes);
  // waveInReset: returns every buffer; the stream starts anew.
  void reset(soundcard::NoteList& notes);

  // Card's thread: converts one period of the recording mix (interleaved
  // stereo float, at most kMaxPeriod frames) and writes it into the queued
  // buffers; frames without a buffer are counted as lost.
  void capture(const float* mix, std::uint32_t frames, std::uint64_t clockFrame,
               soundcard::NoteList& notes) noexcept;

  static constexpr std::uint32_t kMaxPeriod = 4096;

 private:
  void write(const std::uint8_t* bytes, std::size_t size, soundcard::NoteList& notes);

  std::unique_ptr<soundcard::Resampler> resampler_;
  std::vector<float> mono_;
  std::vector<float> converted_;
  std::vector<std::uint8_t> encoded_;
  std::size_t convertedCapacity_;
};

// The card frame (soundcard::ClockFrames) whose sound is the start of what
// `h` recorded since the open or the last reset: the frame its position 0
// stands for. At another rate than the card's, frame n of the handle
// stands for card frame start + n * 44100 / rate. MMSYSERR_NOTENABLED until
// the card has recorded for the handle.
MMRESULT waveInGetStartFrame(HWAVEIN h, std::uint64_t* clockFrame);
