// Small helpers for the wave object tests: temporary folders, raw file
// bytes, little-endian fields and hand-built WAVE files.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/mmsystem.h"

namespace wavetest {

inline std::filesystem::path TempDir(const std::string& tag) {
  auto dir = std::filesystem::temp_directory_path() /
             ("tl_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(std::rand()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}

inline std::string Tag(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

inline void Put(std::vector<std::uint8_t>& b, const std::string& tag) { b.insert(b.end(), tag.begin(), tag.end()); }
inline void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
inline void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}

inline WAVEFORMATEX Pcm(int bits, int channels, int rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = WORD(channels);
  f.nSamplesPerSec = DWORD(rate);
  f.wBitsPerSample = WORD(bits);
  f.nBlockAlign = WORD(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  f.cbSize = 0;
  return f;
}

// A finished WAVE file: "fmt " (16 bytes), then "data".
inline std::vector<std::uint8_t> MakeWave(const WAVEFORMATEX& f, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body;
  Put(body, "WAVE");
  Put(body, "fmt ");
  Put32(body, 16);
  Put16(body, f.wFormatTag);
  Put16(body, f.nChannels);
  Put32(body, f.nSamplesPerSec);
  Put32(body, f.nAvgBytesPerSec);
  Put16(body, f.nBlockAlign);
  Put16(body, f.wBitsPerSample);
  Put(body, "data");
  Put32(body, std::uint32_t(data.size()));
  body.insert(body.end(), data.begin(), data.end());
  if (data.size() % 2) body.push_back(0);
  std::vector<std::uint8_t> file;
  Put(file, "RIFF");
  Put32(file, std::uint32_t(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// Bytes 0, 1, 2, ... (mod 251), so that any shift or repeat shows.
inline std::vector<std::uint8_t> Ramp(std::size_t n, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t((i + seed) % 251);
  return v;
}

}  // namespace wavetest
