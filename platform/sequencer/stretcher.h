// The singer's key and tempo for decoded audio: Rubber Band's real-time
// stretcher, with its own start delay padded in and trimmed off, so that
// output frame n of a run is input frame n x tempo/100 of that run, and with
// its tail flushed when the input ends.
//
// Used by one thread at a time (the wave-audio device's feeder, or a
// command holding the feeder's lock); it allocates only when constructed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sequencer/keytempo.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace sequencer {

class Stretcher {
 public:
  // Rubber Band's engines. R3 ("finer") keeps sustained chords and bass
  // clean where R2 ("faster") smears them; with its short window it costs
  // less than R2 and about half of its standard window, which exceeds the
  // feeder's budget of a tenth of a core (bench/wavekeytempo). The device
  // uses FinerShortWindow.
  enum class Engine { FinerShortWindow, Finer, Faster };
  // The largest block Put takes in one go.
  static constexpr std::size_t kBlock = 1024;

  Stretcher(std::uint32_t rate, unsigned channels, Engine engine = Engine::FinerShortWindow);
  ~Stretcher();
  Stretcher(const Stretcher&) = delete;
  Stretcher& operator=(const Stretcher&) = delete;

  // Forgets everything and begins a run at `kt`: pitch 2^(key/12), time
  // ratio 100/tempo.
  void Start(const KeyTempo& kt);
  // Input frames it asks for before more output can come (at most kBlock).
  std::size_t Wanted() const;
  // Takes up to kBlock interleaved input frames; `last` ends the run and
  // flushes what the stretcher still holds.
  void Put(const float* interleaved, std::size_t frames, bool last);
  // Up to `frames` interleaved output frames into `out`; returns how many.
  std::size_t Take(float* out, std::size_t frames);
  // The run has ended and all of its output was taken.
  bool Done() const;

 private:
  std::unique_ptr<RubberBand::RubberBandStretcher> rb_;
  unsigned channels_;
  std::size_t trim_ = 0;  // output frames of the start delay still to drop
  std::vector<std::vector<float>> planar_;  // kBlock per channel
  std::vector<float*> pointers_;
};

}  // namespace sequencer
