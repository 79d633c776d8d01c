#include "score/pitch.h"

#include <sndfile.h>

#include "score/aubiolib.h"
#include "score/scoreerror.h"

namespace score {

namespace {

constexpr unsigned kReferenceRate = 44100;
constexpr unsigned kReferenceWindow = 2048;
// Below this confidence (YIN's, 1 for a pure tone) a point is unvoiced:
// a held vowel scores well above, white noise and breath well below.
constexpr float kMinConfidence = 0.7f;
// Quieter than this, in dB of the window's level, nothing is sung.
constexpr float kSilenceDb = -50.0f;
// Outside this range a pitch is an error of the tracker, not a voice
// (a bass's lowest sung notes to a whistle).
constexpr float kLowestMidi = 28.0f;
constexpr float kHighestMidi = 100.0f;

// The power of two nearest to the reference window's duration at `rate`.
unsigned WindowAt(unsigned rate) {
  const double wanted = double(kReferenceWindow) * rate / kReferenceRate;
  unsigned window = 64;
  while (window * 2 <= 4 * kReferenceWindow && double(window) * 1.4142 < wanted) window *= 2;
  return window;
}

}  // namespace

struct PitchTracker::Aubio {
  unsigned window = 0;
  unsigned hop = 0;
  aubio_pitch_t* pitch = nullptr;
  fvec_t* in = nullptr;   // one hop, filled across pushes
  fvec_t* out = nullptr;  // one value
  unsigned filled = 0;
  std::int64_t hops = 0;  // hops analysed so far

  const AubioCalls& call = score::Aubio();

  ~Aubio() {
    if (pitch) call.delPitch(pitch);
    if (in) call.delFvec(in);
    if (out) call.delFvec(out);
  }
};

PitchTracker::PitchTracker(unsigned rate) : rate_(rate), aubio_(std::make_unique<Aubio>()) {
  if (rate == 0) throw EScoreError("a voice needs a sample rate");
  Aubio& a = *aubio_;
  a.window = WindowAt(rate);
  a.hop = a.window / 4;
  // YIN computed through the FFT ("yinfast"): plain YIN's estimate and
  // confidence at a fraction of its cost. aubio's spectral variant
  // ("yinfft") reports no confidence for a steady tone and reads it a few
  // cents sharp.
  a.pitch = a.call.newPitch("yinfast", a.window, a.hop, rate);
  a.in = a.call.newFvec(a.hop);
  a.out = a.call.newFvec(1);
  if (!a.pitch || !a.in || !a.out) throw EScoreError("cannot start the pitch tracker");
  a.call.setUnit(a.pitch, "midi");
  a.call.setSilence(a.pitch, kSilenceDb);
}

PitchTracker::~PitchTracker() = default;

void PitchTracker::Push(const float* mono, std::size_t frames, std::vector<PitchPoint>& out) {
  Aubio& a = *aubio_;
  for (std::size_t i = 0; i < frames; ++i) {
    a.in->data[a.filled++] = mono[i];
    if (a.filled < a.hop) continue;
    a.filled = 0;
    a.call.pitchDo(a.pitch, a.in, a.out);
    ++a.hops;
    // The window ends with this hop; its middle is half a window earlier.
    // The first windows reach back before the voice (aubio fills them with
    // silence): they have no middle in it and give no point.
    const std::int64_t middle = a.hops * a.hop - a.window / 2;
    if (middle < 0) continue;
    PitchPoint p;
    p.frame = middle;
    p.confidence = a.call.getConfidence(a.pitch);
    const float midi = a.out->data[0];
    if (p.confidence >= kMinConfidence && midi >= kLowestMidi && midi <= kHighestMidi) p.midi = midi;
    out.push_back(p);
  }
}

std::vector<PitchPoint> PitchOfFile(const std::string& path, unsigned& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) throw EScoreError(path + ": " + sf_strerror(nullptr));
  struct Closer {
    SNDFILE* f;
    ~Closer() { sf_close(f); }
  } closer{file};
  if (info.channels < 1 || info.samplerate < 1) throw EScoreError(path + " has no sound in it");
  rate = unsigned(info.samplerate);
  PitchTracker tracker(rate);
  const std::size_t channels = std::size_t(info.channels);
  constexpr sf_count_t kChunk = 4096;
  std::vector<float> buffer(std::size_t(kChunk) * channels), mono(kChunk);
  std::vector<PitchPoint> points;
  sf_count_t n;
  while ((n = sf_readf_float(file, buffer.data(), kChunk)) > 0) {
    for (sf_count_t f = 0; f < n; ++f) {
      // Summed, then scaled, as the live session mixes a stereo voice.
      float sum = 0;
      for (std::size_t c = 0; c < channels; ++c) sum += buffer[std::size_t(f) * channels + c];
      mono[std::size_t(f)] = channels == 1 ? sum : sum * (1.0f / float(channels));
    }
    tracker.Push(mono.data(), std::size_t(n), points);
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) throw EScoreError(path + ": " + sf_strerror(file));
  return points;
}

}  // namespace score
