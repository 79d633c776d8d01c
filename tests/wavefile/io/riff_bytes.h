// Byte-level helpers for building and inspecting RIFF files in tests.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
inline void put16(Bytes& b, std::uint16_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
inline void putId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(id[i]));
}
inline std::uint32_t get32(const Bytes& b, size_t off) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + off, 4);
  return v;
}
inline std::uint16_t get16(const Bytes& b, size_t off) {
  std::uint16_t v = 0;
  std::memcpy(&v, b.data() + off, 2);
  return v;
}
inline std::string idAt(const Bytes& b, size_t off) { return std::string(b.begin() + off, b.begin() + off + 4); }

// A chunk: id, the given size (or the real one), data, pad byte when odd.
inline void putChunk(Bytes& b, const char* id, const Bytes& data, std::int64_t declared = -1) {
  putId(b, id);
  put32(b, declared < 0 ? std::uint32_t(data.size()) : std::uint32_t(declared));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
}

inline Bytes pcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                       std::uint16_t blockAlign = 0, std::uint32_t avg = 0, bool withCbSize = true) {
  if (blockAlign == 0) blockAlign = std::uint16_t(channels * bits / 8);
  if (avg == 0) avg = blockAlign * rate;
  Bytes f;
  put16(f, 1);
  put16(f, channels);
  put32(f, rate);
  put32(f, avg);
  put16(f, blockAlign);
  put16(f, bits);
  if (withCbSize) put16(f, 0);
  return f;
}

// "RIFF" size "WAVE" and the chunks; size -1 means the real one.
inline Bytes riffWave(const Bytes& chunks, std::int64_t declared = -1, const char* form = "WAVE") {
  Bytes b;
  putId(b, "RIFF");
  put32(b, declared < 0 ? std::uint32_t(chunks.size() + 4) : std::uint32_t(declared));
  putId(b, form);
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tl_waveio_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const Bytes& b) const {
    const std::string p = path(name);
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return p;
  }

  static Bytes slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::filesystem::path dir_;
};
