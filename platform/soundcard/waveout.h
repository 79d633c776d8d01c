// A wave-out handle, the card's side: the queue of buffers an application
// wrote, and their conversion from the handle's format into the card's
// float stereo. The waveOut calls are in waveout_api.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/soundcard/headerqueue.h"
#include "platform/soundcard/notes.h"
#include "platform/soundcard/pcm.h"

struct WaveOutHandle : soundcard::HeaderQueue {
  WaveOutHandle(const WAVEFORMATEX& format, const soundcard::Callback& callback);

  // All members are guarded by the card's lock.
  bool toldLost = false;  // of a lost host device
  WAVEFORMATEX format;
  soundcard::Callback callback;
  DWORD offset = 0;         // bytes of the first buffer already taken
  bool paused = false;
  // Armed by waveOutNotifyDrained: the message sent once when the queue is
  // empty and all the handle held has gone into the mix (0: not armed).
  UINT drainedMessage = 0;

  // waveOutReset: returns every buffer; position and converter start anew.
  void reset(soundcard::NoteList& notes);
  // Readies the converter for a new stream once the card's thread has let
  // out the end of the last one (not on the card's thread: it allocates).
  void restartConverter();
  // Samples of the handle's rate that have reached the mix.
  std::uint64_t position() const;

  // Card's thread: adds the next `frames` (at most kMaxPeriod) of the
  // handle's sound to `mix` (interleaved stereo at 44100 Hz) and returns
  // every buffer it used up. A paused handle adds nothing.
  void pull(float* mix, std::uint32_t frames, soundcard::NoteList& notes) noexcept;

  static constexpr std::uint32_t kMaxPeriod = 4096;

 private:
  void finishHead(soundcard::NoteList& notes);
  // Card's thread: sends the armed drained message when nothing is left.
  void reportDrained(soundcard::NoteList& notes) noexcept;
  // Converts queued data until the fifo holds `frames` frames or the queue
  // runs dry.
  void fill(std::uint32_t frames, soundcard::NoteList& notes);
  void toFifo(const float* frames, std::size_t count);

  std::unique_ptr<soundcard::Resampler> resampler_;
  std::vector<float> decoded_;    // handle's channels
  std::vector<float> resampled_;  // handle's channels, 44100 Hz
  std::vector<float> fifo_;       // stereo, 44100 Hz, ready to mix
  std::size_t fifoFrames_ = 0;
  std::uint64_t inputFrames_ = 0;   // frames taken from buffers
  std::uint64_t outputFrames_ = 0;  // frames mixed
};
