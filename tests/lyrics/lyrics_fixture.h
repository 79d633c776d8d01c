// A temporary folder for the lyrics tests' files, and what they compare.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lyrics/lyrics.h"

inline std::string Slurp(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LyricsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tl_lyrics_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  template <typename Bytes>
  std::string write(const std::string& name, const Bytes& bytes) const {
    std::ofstream out(path(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path(name);
  }
  static std::string slurp(const std::string& file) { return Slurp(file); }

 private:
  std::filesystem::path dir_;
};

// A line as the tests write it down: (start, end, text) per syllable.
struct Expected {
  std::uint32_t start, end;
  const char* text;
};

inline void ExpectLine(const lyrics::Line& line, bool newPage, const std::vector<Expected>& syllables) {
  EXPECT_EQ(line.newPage, newPage) << line.text();
  ASSERT_EQ(line.syllables.size(), syllables.size()) << line.text();
  for (std::size_t i = 0; i < syllables.size(); ++i) {
    EXPECT_EQ(line.syllables[i].startMs, syllables[i].start) << syllables[i].text;
    EXPECT_EQ(line.syllables[i].endMs, syllables[i].end) << syllables[i].text;
    EXPECT_EQ(line.syllables[i].text, syllables[i].text);
  }
}
