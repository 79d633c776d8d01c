// The synthesizer's audio, rendered ahead of the sound card: a renderer
// thread fills a fixed ring with chunks of a few ms, each carrying where
// the song was in it; the card's thread copies frames out and publishes
// where the song is as it takes them, so what the song reports is what the
// card has played. The card's side never waits
// (but on a clock without deadline, see soundcard::PeriodsMayWait), never
// locks and never allocates.
//
// Flushing: every chunk belongs to a generation; a command that makes the
// queued audio void (a seek, a new song, a play or a stop) starts a new one
// and the card skips the chunks of older ones.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/soundcard/spscring.h"

namespace sequencer {

struct AheadChunk {
  static constexpr std::uint32_t kMaxFrames = 512;
  std::uint32_t frames = 0;
  std::uint32_t generation = 0;
  std::uint64_t serial = 0;  // the renderer's count of chunks, from 1
  bool song = false;         // a song is attached
  bool playing = false;      // a play is in force
  bool advancing = false;    // the song advanced through it (else it stood still)
  bool ended = false;        // the song's end is in it, `endAt` frames from its start
  std::uint32_t endAt = 0;
  // The song's position at its first frame (in song frames and hundredths)
  // and the tempo it advanced at; its position after the last frame.
  std::uint64_t songFrame = 0;
  std::uint32_t frac = 0;
  std::uint32_t tempo = 100;
  std::uint64_t after = 0;
  // While playing: card frames from its first frame to the song's end, had
  // the song advanced all along.
  std::uint64_t toEnd = 0;
  float samples[2 * kMaxFrames];

  // The song's position once `k` of its frames have been played.
  std::uint64_t SongFrameAt(std::uint32_t k) const {
    if (k == 0) return songFrame;
    if (!advancing || k >= frames || (ended && k >= endAt)) return after;
    return songFrame + (frac + std::uint64_t(k) * tempo) / 100;
  }
};

class AheadQueue {
 public:
  // Room for the depth kept ahead, a flushed depth not yet skipped and the
  // longest request of the card.
  static constexpr std::size_t kChunks = 48;

  AheadQueue() : ring_(kChunks) {}

  // ---- renderer
  bool HasRoom() const { return ring_.space() > 0; }
  void Push(const AheadChunk& chunk);
  // Frames of `generation` queued and not yet taken; what older
  // generations left is not counted.
  std::uint64_t Queued(std::uint32_t generation);
  // Frames the card wants beyond what it already holds (a clock without
  // deadline asks for exactly its period).
  std::uint32_t Needed() const { return needed_.load(std::memory_order_acquire); }
  // Sleeps until woken (Wake), then returns the wake-up it answers.
  std::uint32_t WaitForWork(std::uint32_t answered) const;
  // Tells those waiting in WaitServed that the wake-up `serial` has been
  // answered: the renderer has rendered all it was asked for.
  void Served(std::uint32_t serial);

  // ---- any thread
  // Wakes the renderer without blocking; returns the wake-up's number.
  std::uint32_t Wake();
  // Waits until the renderer has answered wake-up `serial`; false after
  // `timeoutMs`. Never on the card's thread of a real clock.
  bool WaitServed(std::uint32_t serial, int timeoutMs);

  // ---- card's thread
  // Copies up to `frames` frames of `generation` into `out` (interleaved
  // stereo), skipping chunks of other generations; calls heard(chunk, at)
  // for every chunk whose last frame it took, `at` being the frames of
  // `out` up to and including it. Returns the frames copied.
  template <typename Heard>
  std::uint32_t Take(float* out, std::uint32_t frames, std::uint32_t generation, Heard&& heard) {
    std::uint32_t done = 0;
    while (done < frames) {
      if ((at_ == held_.frames || Older(held_.generation, generation)) && !Next(generation)) break;
      if (held_.generation != generation) break;  // a newer one: the next period's
      const std::uint32_t n = std::min(frames - done, held_.frames - at_);
      std::copy_n(held_.samples + 2 * at_, 2 * n, out + 2 * done);
      at_ += n;
      done += n;
      if (at_ == held_.frames) heard(held_, done);
    }
    return done;
  }
  // Frames of `generation` the card holds and has not taken yet.
  std::uint32_t Held(std::uint32_t generation) const {
    return held_.generation == generation ? held_.frames - at_ : 0;
  }
  void Need(std::uint32_t frames) { needed_.store(frames, std::memory_order_release); }
  // Frames queued or in hand, not yet taken (older generations' too).
  std::uint64_t Fill() const {
    return pushed_.load(std::memory_order_acquire) - popped_.load(std::memory_order_relaxed) + (held_.frames - at_);
  }
  // The chunk of `generation` the card has begun and not finished, and the
  // frames of it taken; nullptr if none.
  const AheadChunk* Begun(std::uint32_t generation, std::uint32_t& taken) const {
    taken = at_;
    return held_.generation == generation && at_ > 0 && at_ < held_.frames ? &held_ : nullptr;
  }

 private:
  static bool Older(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b) < 0; }
  bool Next(std::uint32_t generation);

  soundcard::SpscRingOf<AheadChunk> ring_;
  // Frames pushed (renderer) and taken off the ring, skipped ones too (card).
  std::atomic<std::uint64_t> pushed_{0};
  std::atomic<std::uint64_t> popped_{0};
  // The renderer's view of where its current generation starts.
  std::uint32_t pushedGeneration_ = 0;
  std::uint64_t generationStart_ = 0;
  std::atomic<std::uint32_t> needed_{0};
  // The card's chunk in hand and how far it has taken it.
  AheadChunk held_{};
  std::uint32_t at_ = 0;

  std::atomic<std::uint32_t> wakes_{0};
  mutable std::mutex servedLock_;
  std::condition_variable servedCv_;
  std::uint32_t served_ = 0;
};

}  // namespace sequencer
