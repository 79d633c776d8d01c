// A test song (two phrases, with or without words, over chords, bass and
// drums) and voices that sing it: sines at its notes' frequencies with a
// 5 Hz vibrato of +-0.3 semitone, 20 to 40 ms late, with short fades.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "score/melody.h"
#include "tests/lyrics/smf_writer.h"

namespace scoretest {

constexpr unsigned kRate = 44100;
constexpr std::uint32_t kTicks = 480;  // a beat: 500 ms at the song's 120 beats a minute

struct TuneNote {
  double beat, beats;
  int pitch;
  const char* syllable;
};

// Two phrases of eight notes with a rest of two beats between them.
inline const std::vector<TuneNote>& Tune() {
  static const std::vector<TuneNote> tune = {
      {0, 1, 60, "Twin"},  {1, 1, 60, "kle "},  {2, 1, 67, "twin"},  {3, 1, 67, "kle "},
      {4, 1, 69, "lit"},   {5, 1, 69, "tle "},  {6, 2, 67, "star\r"}, {10, 1, 65, "How "},
      {11, 1, 65, "I "},   {12, 1, 64, "won"},  {13, 1, 64, "der "},  {14, 0.5, 62, "what "},
      {14.5, 0.5, 64, "you "}, {15, 1, 62, "a"}, {16, 2, 60, "re\r"}};
  return tune;
}

inline std::uint32_t Tick(double beat) { return std::uint32_t(std::lround(beat * kTicks)); }

// Events at absolute ticks, turned into a track.
struct Timed {
  std::uint32_t tick;
  smftest::Bytes bytes;
};
inline smftest::Track TrackOf(std::vector<Timed> events) {
  std::stable_sort(events.begin(), events.end(), [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
  smftest::Track t;
  std::uint32_t at = 0;
  for (Timed& e : events) {
    t.At(e.tick - at, std::move(e.bytes));
    at = e.tick;
  }
  return t;
}
inline void AddNote(std::vector<Timed>& events, double beat, double beats, int channel, int pitch) {
  events.push_back({Tick(beat + beats), {std::uint8_t(0x80 | channel), std::uint8_t(pitch), 0}});
  events.push_back({Tick(beat), {std::uint8_t(0x90 | channel), std::uint8_t(pitch), 100}});
}

// The tune on channel 1 (0), its syllables as lyric events when `words`;
// beside it: chords on channel 2, bass below the singable range on channel
// 3, a drum kit chosen by bank 127 on channel 4 and drums on channel 10,
// the last two with more singable, single notes than the tune.
inline smftest::Bytes TestSong(bool words) {
  smftest::Track tempo;
  tempo.Tempo(0, 500000);
  std::vector<Timed> melody;
  for (const TuneNote& n : Tune()) {
    AddNote(melody, n.beat, n.beats, 0, n.pitch);
    if (words) {
      const std::string s = n.syllable;
      smftest::Bytes meta{0xFF, 0x05, std::uint8_t(s.size())};
      meta.insert(meta.end(), s.begin(), s.end());
      melody.push_back({Tick(n.beat), meta});
    }
  }
  std::vector<Timed> band{{0, {0xB3, 0, 127}}};
  for (int bar = 0; bar < 9; ++bar) {
    for (int p : {48, 52, 55}) AddNote(band, bar * 2, 2, 1, p);
    AddNote(band, bar * 2, 1.5, 2, 36);
    for (int half = 0; half < 4; ++half) {
      AddNote(band, bar * 2 + half * 0.5, 0.25, 9, 42);
      AddNote(band, bar * 2 + half * 0.5, 0.25, 3, 45);
    }
  }
  return smftest::File({tempo, TrackOf(melody), TrackOf(band)}, kTicks);
}

struct Singing {
  double semitones = 0;  // sung this much above the tune
  int tempo = 100;       // the song played at this percentage of its speed
};

// The voice singing the tune, mono at kRate.
inline std::vector<float> Sing(const Singing& how) {
  const double scale = 100.0 / how.tempo;  // song time to voice time
  const double end = (Tune().back().beat + Tune().back().beats) * 0.5 * scale + 1;
  std::vector<float> voice(std::size_t(end * kRate), 0.0f);
  double phase = 0;
  for (std::size_t i = 0; i < Tune().size(); ++i) {
    const TuneNote& n = Tune()[i];
    const double late = 0.020 + 0.020 * double(i % 3) / 2;
    const double from = n.beat * 0.5 * scale + late, to = (n.beat + n.beats) * 0.5 * scale + late - 0.03;
    const double hz = 440 * std::pow(2.0, (n.pitch + how.semitones - 69) / 12);
    for (std::size_t f = std::size_t(from * kRate); f < std::size_t(to * kRate); ++f) {
      const double t = double(f) / kRate;
      phase += 2 * M_PI * hz * std::pow(2.0, 0.3 * std::sin(2 * M_PI * 5 * t) / 12) / kRate;
      const double fade = std::min({1.0, (t - from) / 0.015, (to - t) / 0.015});
      voice[f] = float(0.4 * fade * std::sin(phase));
    }
  }
  return voice;
}

// White noise as loud as the voice.
inline std::vector<float> Noise(std::size_t frames) {
  std::vector<float> noise(frames);
  std::uint32_t x = 12345;
  for (float& s : noise) {
    x = x * 1664525u + 1013904223u;
    s = float(x >> 8) / float(1u << 24) * 0.8f - 0.4f;
  }
  return noise;
}

class ScoreFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tl_score_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string write(const std::string& name, const smftest::Bytes& bytes) const {
    std::ofstream out(path(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path(name);
  }
  // A 16-bit WAV of the samples in each channel.
  std::string writeWav(const std::string& name, const std::vector<float>& mono, int channels = 1) const {
    std::vector<short> pcm;
    for (float s : mono)
      for (int c = 0; c < channels; ++c) pcm.push_back(short(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767)));
    SF_INFO info{};
    info.samplerate = int(kRate);
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    if (f) {
      sf_writef_short(f, pcm.data(), sf_count_t(mono.size()));
      sf_close(f);
    }
    return path(name);
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace scoretest
