// The "waveaudio" device: any file libsndfile reads (WAV, MP3, FLAC, Ogg,
// ...) played through a wave-out handle of the sound card, which resamples
// it to the card's rate.
//
// A feeder thread decodes the file into a ring of wave-out buffers
// (kBuffers of 100 ms): each buffer the card has played comes back through
// the card's callback, which only queues its index and wakes the feeder;
// the feeder decodes the next 100 ms into it and writes it again. So the
// card's thread never reads the file. Play and stop are the handle's
// restart and pause; a seek resets the handle and refills the ring on the
// calling thread before it returns.
//
// Samples are decoded as floats and turned into 16 bits with the card's own
// conversion, whatever the file holds (libsndfile's 16-bit read would not
// scale float data). Playing ends when the card reports that the handle has
// let everything out, the rate converter's tail included.
//
// Away from the defaults, the key and tempo are applied on the feeder too:
// the decoded frames go through a Stretcher before the 16-bit conversion,
// and a run (from a seek or a change of the key or tempo) gives exactly the
// file's rest x 100/tempo frames, so that positions, the length and the end
// on the card's clock are heard times at the tempo in force. At the
// defaults the stretcher is not used and the audio is the file's own.
#pragma once

#include <sndfile.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sequencer/mcidevice.h"
#include "platform/sequencer/soundfile.h"
#include "platform/sequencer/stretcher.h"
#include "platform/soundcard/spscring.h"

namespace sequencer {

class WaveAudioDevice : public MciDevice {
 public:
  static constexpr int kBuffers = 8;

  // Opens the file and the card; the error is 0 on success.
  static std::unique_ptr<WaveAudioDevice> Open(const std::string& path, MCIERROR& error);
  ~WaveAudioDevice() override;

  DWORD DeviceType() const override { return MCI_DEVTYPE_WAVEFORM_AUDIO; }
  std::uint32_t LengthMs() const override;
  std::uint32_t PositionMs() const override;
  DWORD Mode() const override;
  bool Ready() const override;
  MCIERROR Play(HWND notify, MCIDEVICEID id) override;
  MCIERROR Stop() override;
  MCIERROR Seek(std::uint32_t ms) override;
  bool EndClockFrame(std::uint64_t& frame) const override;
  // Takes the buffers back and refills them from where the card is, at
  // `kt`; a device that was playing plays on.
  void SetKeyTempo(const KeyTempo& kt) override;

  // Waits until the feeder has filled every buffer the card gave back (or
  // reached the end of the file); false on timeout.
  bool WaitFed(int timeoutMs) const;

 private:
  WaveAudioDevice() = default;
  static void CALLBACK_Done(void* handle, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2);
  void FeederLoop();
  void Fill(int index);          // under feedLock_
  // Under feedLock_: up to `frames` frames of the file into decoded_, at
  // most two channels; 0 at its end.
  std::size_t Decode(std::size_t frames);
  // Under feedLock_: the next buffer of the run through the stretcher into
  // stretched_; 0 once the run has given all its frames.
  std::size_t Stretch();
  // Under feedLock_: takes every buffer back and starts a run at file frame
  // `frame` at keyTempo_; the first `now` buffers are filled on this
  // thread, the others by the feeder.
  void Refill(std::uint64_t frame, int now);
  void NoteEnd();                // card's thread, after a buffer was played
  void EndIfDrained();           // under lock_
  void Notify(WPARAM how);       // under lock_

  std::unique_ptr<SoundFile> file_;
  int fileChannels_ = 0;
  WORD channels_ = 0;  // 1 or 2: what the card is given
  std::uint32_t rate_ = 0;
  std::uint64_t totalFrames_ = 0;
  std::uint32_t bufferFrames_ = 0;
  HWAVEOUT out_ = nullptr;
  std::vector<WAVEHDR> headers_;
  std::vector<std::vector<std::int16_t>> memory_;
  std::vector<float> decoded_;  // one buffer of the file's frames, all its channels

  // The file and the buffers' contents: the feeder and a seek.
  std::mutex feedLock_;
  // The run's key and tempo, its stretcher (made at the first run away from
  // the defaults) and output; guarded by feedLock_.
  KeyTempo feedKeyTempo_;
  std::unique_ptr<Stretcher> stretcher_;
  std::vector<float> stretched_;  // one buffer, channels_ per frame
  std::uint64_t runLeft_ = 0;     // frames the run still gives
  bool inputEnded_ = false;       // the stretcher has had the file's last frame

  // Guarded by lock_ (taken briefly by the card's callback as well).
  mutable std::mutex lock_;
  mutable std::condition_variable fed_;
  std::condition_variable wake_;
  // Buffers the card gave back, to be filled: each at most once, so the
  // ring, sized when the device opens, never fills and the card's thread
  // never allocates. Every side holds lock_, which makes the ring's single
  // producer and consumer.
  soundcard::SpscRingOf<int> free_{kBuffers};
  std::uint64_t generation_ = 0;  // changes when a seek takes the buffers back
  int queued_ = 0;         // buffers in the card
  bool eof_ = false;       // the whole file is in buffers
  bool drained_ = false;   // ... and the card has let all of it out
  bool resetting_ = false;
  bool quit_ = false;
  bool playing_ = false;
  bool ended_ = false;
  HWND notifyWnd_ = nullptr;
  MCIDEVICEID notifyId_ = 0;
  // Where the handle's position 0 is in the file, and the file's end, in
  // heard frames at the run's tempo (the file's rate, x 100/tempo): what
  // positions and the length count in.
  std::uint64_t heardBase_ = 0;
  std::uint64_t heardTotal_ = 0;
  // The file's end on the card's clock (see AccompanimentEnd); written on
  // the card's thread, cleared by the commands.
  std::atomic<std::uint64_t> endClock_{0};
  std::atomic<bool> endKnown_{false};

  std::thread feeder_;
};

}  // namespace sequencer
