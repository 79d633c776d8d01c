// Shared pieces of the playback tests: an application object, a fixture on
// the card's stepped clock with the speakers mix tapped, WAVE files written
// to a temporary folder, and a chain component that serves bytes from memory.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/MMDSPObj.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace playtest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "test_play";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication app(argc, argv);
  return app;
}

// A deterministic, non-repeating 16-bit signal.
inline std::vector<std::int16_t> Signal16(std::size_t samples, int seed = 1) {
  std::vector<std::int16_t> s(samples);
  std::uint32_t x = 2463534242u + std::uint32_t(seed);
  for (std::size_t i = 0; i < samples; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    s[i] = std::int16_t(int(x % 40000) - 20000);
  }
  return s;
}

inline std::vector<char> Bytes(const std::vector<std::int16_t>& s) {
  std::vector<char> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

// A canonical PCM WAVE file (44-byte header).
inline void WritePcmWave(const std::string& path, int rate, int channels, int bits, const std::vector<char>& data) {
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  const int align = channels * bits / 8;
  f.write("RIFF", 4);
  u32(std::uint32_t(36 + data.size()));
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(std::uint16_t(channels));
  u32(std::uint32_t(rate));
  u32(std::uint32_t(rate * align));
  u16(std::uint16_t(align));
  u16(std::uint16_t(bits));
  f.write("data", 4);
  u32(std::uint32_t(data.size()));
  f.write(data.data(), std::streamsize(data.size()));
}

// A WAVE file in a libsndfile format (SF_FORMAT_WAV | subtype) holding the
// interleaved 16-bit samples.
inline bool WriteSndfileWave(const std::string& path, int subtype, int rate, int channels,
                             const std::vector<std::int16_t>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  if (subtype == SF_FORMAT_FLOAT) {
    // Float files hold -1..1, as other programs write them.
    std::vector<float> v(samples.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = samples[i] / 32768.0f;
    sf_writef_float(f, v.data(), sf_count_t(v.size() / std::size_t(channels)));
  } else {
    sf_writef_short(f, samples.data(), sf_count_t(samples.size() / std::size_t(channels)));
  }
  sf_close(f);
  return true;
}

// What libsndfile itself decodes from a file, as 16-bit samples.
inline std::vector<std::int16_t> SndfileDecode(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<std::int16_t> out(std::size_t(info.frames) * std::size_t(info.channels));
  sf_count_t got = 0;
  if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
    // Float data at its level: -1..1 to the 16-bit range.
    std::vector<float> v(out.size());
    got = sf_readf_float(f, v.data(), info.frames);
    for (std::size_t i = 0; i < v.size(); ++i)
      out[i] = std::int16_t(std::clamp(std::nearbyint(v[i] * 32768.0f), -32768.0f, 32767.0f));
  } else {
    got = sf_readf_short(f, out.data(), info.frames);
  }
  out.resize(std::size_t(got) * std::size_t(info.channels));
  sf_close(f);
  return out;
}

// Serves `data` to whoever pulls: the head of a test chain.
class MemorySource : public TMMDSPComponent {
 public:
  explicit MemorySource(std::vector<char> data = {}) : data_(std::move(data)) {
    PublishInput();
    PublishOutput();
  }
  void SetData(std::vector<char> data) {
    data_ = std::move(data);
    pos_ = 0;
  }
  // Moves the read position now: only while no engine thread can pull.
  void Rewind(std::size_t pos) { pos_ = pos; }
  // Moves the read position when the engine resets the chain's position. An
  // engine's worker thread pulls under the engine's lock, and Reset tells the
  // chain under that lock, so no pull can come between the move and the
  // refill.
  void RewindAtReset(std::size_t pos) { rewindAtReset_ = pos; }
  void PositionReset() override {
    TMMDSPComponent::PositionReset();
    if (rewindAtReset_ != kNoRewind) pos_ = rewindAtReset_;
    rewindAtReset_ = kNoRewind;
  }
  std::size_t Position() const { return pos_; }
  int loads = 0;
  void BufferLoad(PMMBufferHeader h, bool& more) override {
    ++loads;
    const std::size_t n = std::min<std::size_t>(h->dwBufferLength, data_.size() - pos_);
    if (n > 0) std::memcpy(h->lpData, data_.data() + pos_, n);
    pos_ += n;
    h->dwBytesRecorded = DWORD(n);
    more = pos_ < data_.size();
  }

 private:
  static constexpr std::size_t kNoRewind = ~std::size_t(0);
  std::vector<char> data_;
  std::size_t pos_ = 0;
  std::size_t rewindAtReset_ = kNoRewind;
};

// The text of the E that `f` raises, or "<none>".
template <class E>
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<none>";
}

// Every test starts from a fresh card on the stepped clock, with the
// speakers mix tapped from the next period on.
class PlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMicrophoneSilence();
    ASSERT_TRUE(dir.isValid());
  }
  void TearDown() override {
    ProcessMessages();
    soundcard::ResetCard();
  }
  std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
  static void Tap(std::size_t frames) { soundcard::EnableMixTap(soundcard::Mix::Playback, frames); }
  static std::vector<float> Mix() { return soundcard::MixTap(soundcard::Mix::Playback); }
  // Runs the card period by period, delivering messages after each, until
  // `done` holds or `maxFrames` have run; returns the frames run.
  static std::uint64_t RunUntil(const std::function<bool()>& done, std::uint64_t maxFrames) {
    std::uint64_t ran = 0;
    while (!done() && ran < maxFrames) {
      soundcard::AdvanceAndPump(soundcard::kPeriodFrames);
      ran += soundcard::kPeriodFrames;
    }
    return ran;
  }
  static void Run(std::uint64_t frames) { soundcard::AdvanceAndPump(frames); }

  // Asserts that the mix from frame `at` on holds exactly `s` (interleaved
  // stereo 16-bit).
  static void ExpectMixHolds(const std::vector<float>& mix, std::size_t at, const std::vector<std::int16_t>& s) {
    ASSERT_GE(mix.size(), at + s.size());
    for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(mix[at + i], s[i] / 32768.0f) << "sample " << i;
  }

  QTemporaryDir dir;
};

}  // namespace playtest
