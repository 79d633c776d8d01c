#include "platform/soundcard/filestreams.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/pcm.h"

namespace soundcard {

namespace {
constexpr std::size_t kChunkFrames = 2048;
constexpr std::size_t kRingFrames = kSampleRate;  // one second each way
}  // namespace

// Reads the microphone file, looping, as 44100 Hz stereo.
struct FileStreams::Reader {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  std::unique_ptr<Resampler> resampler;
  std::vector<float> raw, picked, converted, stereo;

  explicit Reader(const std::string& path) {
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return;
    if (info.frames <= 0 || info.channels < 1) {
      sf_close(file);
      file = nullptr;
      return;
    }
    const unsigned channels = std::min(info.channels, 2);
    resampler = std::make_unique<Resampler>(info.samplerate, kSampleRate, channels);
    raw.resize(kChunkFrames * info.channels);
    picked.resize(kChunkFrames * channels);
    converted.resize(4 * kChunkFrames * channels + 64 * channels);
    stereo.resize(2 * converted.size());
  }
  ~Reader() {
    if (file) sf_close(file);
  }

  // Moves one chunk into the ring if there is room for it.
  bool pump(SpscRing& ring) {
    const unsigned channels = std::min(info.channels, 2);
    const std::size_t outCap = converted.size() / channels;
    if (ring.space() < 2 * outCap) return false;
    sf_count_t got = sf_readf_float(file, raw.data(), kChunkFrames);
    if (got <= 0) {
      sf_seek(file, 0, SEEK_SET);
      got = sf_readf_float(file, raw.data(), kChunkFrames);
      if (got <= 0) return false;
    }
    for (sf_count_t i = 0; i < got; ++i)
      for (unsigned c = 0; c < channels; ++c) picked[i * channels + c] = raw[i * info.channels + c];
    std::size_t at = 0;
    while (at < std::size_t(got)) {
      std::size_t used = 0;
      const std::size_t out = resampler->process(picked.data() + at * channels, got - at, &used,
                                                 converted.data(), outCap);
      const float* frames = converted.data();
      if (channels == 1) {
        MonoToStereo(converted.data(), out, stereo.data());
        frames = stereo.data();
      }
      ring.push(frames, 2 * out);
      at += used;
      if (used == 0 && out == 0) break;
    }
    return true;
  }
};

// Writes the speakers mix as a 16-bit stereo WAV file, converted with the
// card's own conversion: libsndfile scales floats by 32767, not by the 32768
// the card reads 16-bit data with, which would lower every sample above
// 16384 by one step; this way 16-bit sound played at 44100 Hz arrives in the
// file sample for sample.
struct FileStreams::Writer {
  SNDFILE* file = nullptr;
  std::vector<float> chunk = std::vector<float>(2 * kChunkFrames);
  std::vector<std::int16_t> samples = std::vector<std::int16_t>(2 * kChunkFrames);

  explicit Writer(const std::string& path) {
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file = sf_open(path.c_str(), SFM_WRITE, &info);
  }
  ~Writer() {
    if (file) sf_close(file);
  }

  bool pump(SpscRing& ring) {
    const std::size_t got = ring.pop(chunk.data(), chunk.size());
    if (got == 0) return false;
    EncodePcm(chunk.data(), got / 2, 2, 16, reinterpret_cast<std::uint8_t*>(samples.data()));
    sf_writef_short(file, samples.data(), sf_count_t(got / 2));
    return true;
  }
};

FileStreams::FileStreams(const std::string& inputPath, const std::string& outputPath) {
  if (!inputPath.empty()) {
    input_ = std::make_unique<Reader>(inputPath);
    if (!input_->file) input_.reset();
  }
  if (!outputPath.empty()) {
    output_ = std::make_unique<Writer>(outputPath);
    if (!output_->file) output_.reset();
  }
  inRing_ = std::make_unique<SpscRing>(2 * kRingFrames);
  outRing_ = std::make_unique<SpscRing>(2 * kRingFrames);
  // Fill the microphone ring before the first period asks for it.
  if (input_)
    while (input_->pump(*inRing_)) {
    }
  thread_ = std::thread([this] { serve(); });
}

FileStreams::~FileStreams() {
  quit_.raise();
  thread_.join();
  if (output_)
    while (output_->pump(*outRing_)) {
    }
}

void FileStreams::serve() {
  // The card never signals; a short wait keeps the rings a few ms from
  // empty (input) and full (output).
  while (!quit_.waitFor(std::chrono::milliseconds(5))) {
    if (input_)
      while (input_->pump(*inRing_)) {
      }
    if (output_)
      while (output_->pump(*outRing_)) {
      }
  }
}

void FileStreams::read(float* frames, std::uint32_t count) noexcept {
  const std::size_t got = inRing_->pop(frames, 2 * std::size_t(count));
  if (got < 2 * std::size_t(count)) {
    std::fill(frames + got, frames + 2 * count, 0.0f);
    shortfall_.fetch_add((2 * count - got) / 2, std::memory_order_relaxed);
  }
}

void FileStreams::write(const float* frames, std::uint32_t count) noexcept {
  const std::size_t put = outRing_->push(frames, 2 * std::size_t(count));
  if (put < 2 * std::size_t(count))
    dropped_.fetch_add((2 * count - put) / 2, std::memory_order_relaxed);
}

}  // namespace soundcard
