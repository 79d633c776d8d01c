// The software synthesizer behind the sequencer device: one FluidSynth
// instance that plays one song at a time into the sound card's "SW Synth"
// line.
//
// Threads:
// - A worker thread does everything slow: loading the soundfont (its
//   headers, at start-up, after the window is shown) and loading the
//   samples of the instruments a song selects (soundfonts load samples on
//   demand; a song's instruments are pinned when the song is attached, and
//   the renderer does not render the song until they are, so that a
//   program change on the renderer never reads a file). Only what the
//   song selects is loaded, so a take can start as soon as that is in.
// - The renderer thread renders ahead of the card (renderahead.h), a few
//   card periods deep (kAheadFrames): it sends the song's events at their
//   frames and renders between them, so the accompaniment is timed by
//   sample count, not by any timer. It never waits for the worker: the
//   worker holds the synthesizer's lock while it uses the synthesizer, the
//   renderer only tries it, and while it cannot have it renders silence and
//   the song does not advance.
// - The card's thread (`Render`) only copies what the renderer has queued,
//   and plays silence for what is missing (counted, and moving the song's
//   end later); as it takes a chunk's frames it publishes the song's
//   position and end, and the end notice once it has taken the song's last
//   frame, so they are what the card has played.
//   On the stepped clock it waits for the renderer to have its period.
// - Commands (attach, play, stop, seek, key and tempo) come from any thread
//   and take the performance lock only for a few field updates; the
//   renderer holds it for one chunk. Position and mode are atomics. A seek,
//   a song, a play and a stop void the audio queued ahead (a stop goes back
//   to the last frame played), so they are heard at once; a key or tempo
//   change is heard after the audio already queued.
// So a play before the soundfont is loaded starts when it is ready, and a
// main thread that stalls changes nothing audible.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mmsystem.h"
#include "platform/sequencer/chase.h"
#include "platform/sequencer/keytempo.h"
#include "platform/sequencer/renderahead.h"
#include "platform/sequencer/smf.h"

struct _fluid_synth_t;
struct _fluid_hashtable_t;

namespace sequencer {

class Synth {
 public:
  static Synth& instance();
  Synth(const Synth&) = delete;
  Synth& operator=(const Synth&) = delete;

  // Starts loading the chosen soundfont on the worker thread, once.
  void StartLoading();
  // Replaces the soundfont (worker thread); the attached song keeps playing
  // with the new one once it is loaded.
  void Reload();
  // True once a soundfont is loaded and the worker has nothing left to do
  // (the attached song's instruments are loaded).
  bool Ready() const;
  // Waits until Ready() or until no soundfont could be loaded; false on
  // timeout or failure.
  bool WaitReady(int timeoutMs);
  // No soundfont could be loaded (none installed, or all unreadable).
  bool Failed() const { return failed_.load(); }
  // The soundfont in use ("" until one is loaded).
  std::string LoadedSoundfont() const;

  // ---- the performance
  // Takes the song for playing from its start (stopped). Returns false when
  // another song is attached. The synthesizer keeps the pointer until
  // Detach returns.
  bool Attach(std::shared_ptr<const Song> song);
  void Detach(const Song* song);
  // Plays from the current position. At the end, or when stopped, `notify`
  // (if set) receives MM_MCINOTIFY with `id`.
  void Play(HWND notify, UINT id);
  // Renders the opening of the stopped song ahead, so that the next play
  // only has to publish it: a take started between the
  // two holds the song from the same period on. Any other command voids it.
  void Cue();
  // Stops playing; the position stays. Sounding notes are released.
  void Stop();
  // Stops and moves to `frame` (clamped to the length); the channels'
  // programs and controllers are set as the song has them there. The worker
  // gathers that state; until it has, the renderer renders silence and a
  // play does not advance.
  void Seek(std::uint64_t frame);
  // Key and tempo from the audio not yet rendered on; Attach sets the
  // defaults again.
  // The song's position stays where it is (in song frames); each card frame
  // then moves it by tempo/100 song frames. A key change releases the
  // sounding notes whose pitch it moves (they would clash with the new key);
  // the drums stay as they are.
  void SetKeyTempo(const KeyTempo& kt);
  // In song frames (the song's own time, not scaled by the tempo): as far
  // as the card has played it.
  std::uint64_t PositionFrames() const { return position_.load(std::memory_order_acquire); }
  // The card frame (soundcard::ClockFrames) at which the song's end reaches
  // the card's mix: while it plays, once the card has played its first
  // chunk, and after it has played to its end, until the next command.
  // False otherwise.
  bool EndClockFrame(std::uint64_t& frame) const;
  bool Playing() const { return playing_.load(std::memory_order_acquire); }
  bool Ended() const { return ended_.load(std::memory_order_acquire); }

  // The worker has a job in hand (a soundfont is being loaded).
  bool Working() const;
  // Lets the job in hand finish and ends the worker thread; run at exit.
  void StopWorker();

  // The card's render hook. Card's thread only.
  static void Render(void* user, float* interleaved, std::uint32_t frames) noexcept;
  // Soundfont file reads made while rendering, ever: none while every
  // instrument the renderer selects is pinned beforehand.
  static std::uint64_t RenderFileReads();
  // Frames the card found nothing rendered for and played as silence, ever.
  std::uint64_t UnderrunFrames() const { return underruns_.load(); }
  // What the renderer keeps queued beyond the card's period on the real
  // clocks: more than the virtual clock's four periods a wake-up.
  static constexpr std::uint32_t kAheadFrames = 6 * 441;
  // On the stepped clock a period whose audio the queue does not hold
  // waits while the renderer renders it and this much beyond it (0, the
  // default: each period when it asks). The renderer renders nothing else
  // there, so what is rendered never depends on the machine's load.
  void SetSteppedAhead(std::uint32_t frames) { steppedAhead_.store(frames); }

 private:
  Synth();
  ~Synth();

  // ---- worker
  void Post(std::function<void()> job);
  void WorkerLoop();
  void LoadSoundfont(const std::vector<std::string>& candidates);  // worker
  // Worker, under synthLock_.
  void PrepareSong();
  void Silence(bool reset);
  std::uint16_t PinPresets(const Song* song);
  void Pin(std::pair<int, int> preset, std::vector<std::pair<int, int>>& pinned);

  // ---- renderer
  void RenderLoop();
  void RenderAhead();
  // Under perfLock_ (and synthLock_ with `haveSynth`).
  void QueueChunk(std::uint32_t generation, std::uint32_t frames, bool haveSynth);
  // Under synthLock_ and perfLock_.
  void RenderChunk(AheadChunk& chunk, std::uint32_t frames) noexcept;
  // Under perfLock_.
  void StandStill(AheadChunk& chunk, std::uint32_t frames) noexcept;
  void Describe(AheadChunk& chunk) const noexcept;
  // ---- commands, under perfLock_
  // Voids the queued audio; with `rewind` the song goes back to where the
  // card has played it.
  void Flush(bool rewind);
  bool ToHeardPlace();
  bool TakeSynthBriefly(std::unique_lock<std::mutex>& taken);
  std::uint32_t QueueOpening(bool haveSynth);
  void StartEpoch();
  void WakeRenderer();  // without perfLock_
  // ---- card's thread
  void Heard(const AheadChunk& chunk, std::uint32_t taken, std::uint64_t clockFrame) noexcept;
  void PublishEnd() noexcept;
  // ---- renderer, under perfLock_
  void Dispatch(const MidiEvent& e) noexcept;
  void DispatchNote(const MidiEvent& e) noexcept;
  bool Drums(int channel) const noexcept;
  int Shift(int channel) const noexcept;
  void ApplyKey() noexcept;
  void ForgetNotes() noexcept;
  std::uint64_t CardFramesTo(std::uint64_t songFrame) const noexcept;
  void Advance(std::uint64_t cardFrames) noexcept;
  void AlignToNextNote() noexcept;
  void ChaseFromStart();  // under perfLock_
  void Finish() noexcept;  // the song's end is rendered
  void Notify(WPARAM how);  // under perfLock_

  _fluid_synth_t* synth_ = nullptr;  // written by the worker under synthLock_
  void* settings_ = nullptr;
  int sfontId_ = -1;
  std::vector<std::pair<int, int>> pinned_;  // worker only
  // The channels' defaults stay pinned once a reset has selected them.
  bool keepDefaults_ = false;  // worker only
  mutable std::mutex infoLock_;
  std::string loadedPath_;

  // Held by the worker while it uses the synthesizer; the renderer only
  // tries it, a play waits for it briefly. Taken before perfLock_.
  std::mutex synthLock_;
  std::atomic<bool> loaded_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> started_{false};
  // The attached song's instruments are pinned (true without a song); the
  // renderer renders silence until then.
  std::atomic<bool> prepared_{true};

  mutable std::mutex jobsLock_;
  std::condition_variable jobsCv_, idleCv_;
  std::deque<std::function<void()>> jobs_;
  bool working_ = false;
  bool quit_ = false;
  std::thread worker_;

  // ---- the performance; guarded by perfLock_
  std::mutex perfLock_;
  std::shared_ptr<const Song> song_;
  std::size_t cursor_ = 0;       // next event to send
  std::uint64_t frame_ = 0;      // position in song frames
  std::uint32_t frac_ = 0;       // and hundredths of a song frame beyond it
  int tempo_ = 100;              // percent: song frames per 100 card frames
  int key_ = 0;                  // semitones, in force
  int newKey_ = 0;               // set by SetKeyTempo, in force from the next chunk rendered
  bool run_ = false;             // playing
  bool notesOff_ = false;        // release every note at the next chunk
  bool chaseDue_ = false;        // set programs and controllers at the next chunk
  bool chaseReady_ = false;      // chase_ holds the state to set
  std::uint64_t chaseSerial_ = 0;  // the seek whose state the worker gathers
  ChaseState chase_;
  // Channels that a chase gives their default instrument; the others are
  // left without one until the song's program change (their default may
  // not be loaded).
  std::uint16_t defaults_ = 0xFFFF;
  bool used_ = false;            // played or sought since the last reset
  // Every sounding note by channel and the song's note number: the number
  // it was started with (transposed), or -1. Its release uses the same
  // number, whatever the key or the channel's bank is by then.
  static constexpr int kChannels = 16;
  std::int8_t sounding_[kChannels][128];
  std::uint8_t bankMsb_[kChannels] = {};  // the last bank select of each channel
  bool align_ = false;           // a play moves the synthesizer's blocks to the next note
  float scratch_[2 * 64] = {};   // frames rendered to move the blocks, not heard
  std::uint64_t rendered_ = 0;   // frames the synthesizer has rendered, ever
  HWND notifyWnd_ = nullptr;
  UINT notifyId_ = 0;

  // ---- rendering ahead
  AheadQueue ahead_;
  AheadChunk chunk_{};  // the renderer's chunk in hand
  std::thread renderer_;
  std::atomic<bool> rendererQuit_{false};
  std::atomic<std::uint32_t> steppedAhead_{0};
  // Changed by a command that voids the queued audio, under perfLock_.
  std::atomic<std::uint32_t> generation_{1};
  // The generation whose opening Cue queued, not yet published (0: none).
  std::atomic<std::uint32_t> cued_{0};
  // How long a play or a cue waits for the synthesizer to queue the opening.
  static constexpr std::chrono::milliseconds kOpeningWait{50};
  // Where the song was at each queued chunk's first frame and after its
  // last, so a stop goes back to the frame the card played last; an epoch
  // begins where a song or a seek put the song. Under perfLock_.
  struct Place {
    std::uint64_t frame = 0;
    std::uint32_t frac = 0;
    std::size_t cursor = 0;
  };
  struct Mark {
    std::uint64_t serial = 0;
    std::uint64_t epoch = 0;
    Place before, after;
    std::uint32_t tempo = 100;
    std::uint32_t advanced = 0;  // the frames through which the song advanced
  };
  std::array<Mark, AheadQueue::kChunks + 4> marks_{};
  Place HeardPlace() const;  // commands
  std::uint64_t serial_ = 0;
  std::uint64_t epoch_ = 0;
  Place epochStart_;
  // The chunk the card played last (its serial, shifted by kTakenBits) and
  // how many of its frames.
  static constexpr int kTakenBits = 10;
  static_assert(AheadChunk::kMaxFrames < (1u << kTakenBits));
  std::atomic<std::uint64_t> heard_{0};
  std::atomic<std::uint64_t> underruns_{0};
  // Card's thread only.
  bool heardPlaying_ = false;  // the song played, short of its end, at the last frame played
  bool endPending_ = false;    // an end played and not yet published
  std::uint64_t endSerial_ = 0;  // the chunk of the last end played
  std::uint32_t endGeneration_ = 0;
  // Published for status queries without the lock.
  std::atomic<std::uint64_t> position_{0};
  std::atomic<bool> playing_{false};
  std::atomic<bool> ended_{false};
  // The song's end on the card's clock. Set by the card's thread as it
  // plays a chunk of the playing song (moved on by what it plays as
  // silence for want of chunks); cleared by the commands under perfLock_.
  std::atomic<std::uint64_t> endClock_{0};
  std::atomic<bool> endKnown_{false};
};

}  // namespace sequencer
