// The sung pitch of a voice, hop by hop, with aubio's YIN (computed through
// the FFT): a window of 2048 frames moved on by 512 at 44.1 kHz (the same
// durations at other rates, to a power of two), with its confidence and a
// silence gate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace score {

struct PitchPoint {
  std::int64_t frame = 0;  // the voice frame at the middle of the analysed window
  float midi = 0;          // the sung pitch as a fractional MIDI note number; 0: none
  float confidence = 0;    // aubio's, 0..1
  bool voiced() const { return midi > 0; }
};

class PitchTracker {
 public:
  explicit PitchTracker(unsigned rate);
  ~PitchTracker();
  PitchTracker(const PitchTracker&) = delete;
  PitchTracker& operator=(const PitchTracker&) = delete;

  unsigned rate() const { return rate_; }
  // Feeds mono samples (-1..1), any number at a time; appends one point per
  // hop completed, in order (none for the first windows, whose middle
  // falls before the voice's first frame).
  void Push(const float* mono, std::size_t frames, std::vector<PitchPoint>& out);

 private:
  struct Aubio;
  unsigned rate_;
  std::unique_ptr<Aubio> aubio_;
};

// Every point of a sound file libsndfile reads (channels averaged), and its
// rate. Raises EScoreError when the file cannot be read.
std::vector<PitchPoint> PitchOfFile(const std::string& path, unsigned& rate);

}  // namespace score
