// Writes a voice-like test signal for the virtual microphone: the demo's
// melody sung on the vowel "a" (harmonics shaped by three formants, with
// vibrato and soft note edges), a WAV file of 44100 Hz 16-bit stereo as long
// as the demo. Usage: tunelark_makevoice OUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "cli/demo/demotune.h"

namespace {

using namespace demotune;

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// The vowel's formants (Hz) and their bandwidths and weights.
constexpr double kFormant[3] = {700, 1220, 2600};
constexpr double kWidth[3] = {110, 120, 160};
constexpr double kWeight[3] = {1.0, 0.5, 0.25};

double Envelope(double f) {
  double a = 0;
  for (int i = 0; i < 3; ++i) {
    const double d = (f - kFormant[i]) / kWidth[i];
    a += kWeight[i] / (1.0 + d * d);
  }
  return a;
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.wav\n", argv[0]);
    return 2;
  }
  const double secondsPerTick = kTempo / 1e6 / kDivision;
  const std::size_t total = std::size_t(kBars * kBar * secondsPerTick * kRate);
  std::vector<float> voice(total, 0.0f);
  int tick = 0;
  for (const Step& s : kMelody) {
    const int ticks = s.eighths * kDivision / 2;
    const std::size_t from = std::size_t(tick * secondsPerTick * kRate);
    const std::size_t length = std::size_t(ticks * secondsPerTick * kRate);
    tick += ticks;
    if (!s.pitch) continue;
    // An octave below the flute, where a voice sings.
    const double f0 = 440.0 * std::pow(2.0, (s.pitch - 12 - 69) / 12.0);
    double phase = 0;
    for (std::size_t i = 0; i < length && from + i < total; ++i) {
      const double t = double(i) / kRate;
      const double vibrato = 1.0 + 0.006 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t / 0.3);
      phase += 2 * kPi * f0 * vibrato / kRate;
      double v = 0;
      for (int k = 1; k * f0 < 4000; ++k) v += Envelope(k * f0) * std::sin(k * phase) / std::sqrt(double(k));
      const double left = double(length - i) / kRate;
      const double edge = std::min({1.0, t / 0.04, left / 0.08});
      voice[from + i] = float(0.3 * v * edge);
    }
  }
  std::vector<std::uint8_t> file;
  const std::uint32_t dataBytes = std::uint32_t(total * 4);
  file.insert(file.end(), {'R', 'I', 'F', 'F'});
  Put32(file, 36 + dataBytes);
  file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(file, 16);
  Put16(file, 1);
  Put16(file, 2);
  Put32(file, kRate);
  Put32(file, kRate * 4);
  Put16(file, 4);
  Put16(file, 16);
  file.insert(file.end(), {'d', 'a', 't', 'a'});
  Put32(file, dataBytes);
  for (float v : voice) {
    const auto s = std::int16_t(std::lround(std::fmax(-1.0, std::fmin(1.0, v)) * 32767.0));
    Put16(file, std::uint16_t(s));
    Put16(file, std::uint16_t(s));
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
