// The virtual device's file microphone and file speakers. A helper thread
// does all file work; the card's thread only moves samples through
// lock-free rings, and meets an empty or full ring with silence or a drop
// (counted) rather than waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/soundcard/spscring.h"
#include "platform/soundcard/stopsignal.h"

namespace soundcard {

class FileStreams {
 public:
  // Either name may be empty. A file that cannot be opened is left out.
  FileStreams(const std::string& inputPath, const std::string& outputPath);
  ~FileStreams();  // writes what is left and closes the files

  bool hasInput() const { return input_ != nullptr; }
  bool hasOutput() const { return output_ != nullptr; }

  // Card's thread. Interleaved stereo at 44100 Hz.
  void read(float* frames, std::uint32_t count) noexcept;
  void write(const float* frames, std::uint32_t count) noexcept;

  std::uint64_t inputShortfall() const { return shortfall_.load(); }
  std::uint64_t outputDropped() const { return dropped_.load(); }

 private:
  struct Reader;
  struct Writer;
  void serve();

  std::unique_ptr<Reader> input_;
  std::unique_ptr<Writer> output_;
  std::unique_ptr<SpscRing> inRing_;
  std::unique_ptr<SpscRing> outRing_;
  std::atomic<std::uint64_t> shortfall_{0};
  std::atomic<std::uint64_t> dropped_{0};
  StopSignal quit_;
  std::thread thread_;
};

}  // namespace soundcard
