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
#include "platform/soundcard/spscring.h"

// What a handle needs to hand out its voice (the recording mix's
// microphone alone) beside its buffers: a converter and encoder like the
// handle's own, and the ring the application reads. Built on the
// application's thread by waveInEnableVoice, never on the card's.
struct WaveInVoice {
  WaveInVoice(const WAVEFORMATEX& format, std::size_t ringBytes);

  soundcard::ByteRing ring;  // producer: the card's thread; consumer: the reader
  soundcard::Resampler resampler;
  std::vector<float> mono;
  std::vector<float> converted;
  std::vector<std::uint8_t> encoded;
};

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
  // buffers; frames without a buffer are counted as lost. With the voice
  // enabled, `voice` is the same period's microphone alone: its frames go
  // into the voice ring exactly where the mix's frames go into buffers, and
  // frames the ring has no room for are lost from both.
  void capture(const float* mix, const float* voice, std::uint32_t frames,
               std::uint64_t clockFrame, soundcard::NoteList& notes) noexcept;

  // The voice path, or null. Replaced only by waveInEnableVoice while the
  // handle is not started, freed with the handle.
  std::unique_ptr<WaveInVoice> voice;

  static constexpr std::uint32_t kMaxPeriod = 4096;

 private:
  // Stores `size` bytes of the mix and, with the voice on, as many of the
  // voice's bytes (`voiceBytes`) into the ring.
  void write(const std::uint8_t* bytes, const std::uint8_t* voiceBytes, std::size_t size,
             soundcard::NoteList& notes);
  // Converts the voice's next input (at most `*remaining` frames from `*in`,
  // both advanced) into exactly `frames` encoded frames: the count the
  // mix's converter gave for the same input.
  const std::uint8_t* convertVoice(const float** in, std::size_t* remaining,
                                   std::size_t frames) noexcept;

  std::unique_ptr<soundcard::Resampler> resampler_;
  std::vector<float> mono_;
  std::vector<float> converted_;
  std::vector<std::uint8_t> encoded_;
  std::size_t convertedCapacity_;
};
