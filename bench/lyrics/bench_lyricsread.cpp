// Opening the words of a long song: a .kar file of 100 000 syllables (text
// events in lines of eight, a new page every four lines, GBK text, a tempo
// change every bar) read from a file through ReadLyrics, encoding detection
// included; and the same words from an enhanced LRC file. Goal: well under
// a second each.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lyrics/lrc.h"
#include "lyrics/readlyrics.h"

namespace {

constexpr int kSyllables = 100000;

void VarLen(std::string& out, std::uint32_t v) {
  char buf[5];
  int n = 0;
  buf[n++] = char(v & 0x7F);
  while (v >>= 7) buf[n++] = char(0x80 | (v & 0x7F));
  while (n) out += buf[--n];
}

void Meta(std::string& track, std::uint32_t delta, int type, const std::string& text) {
  VarLen(track, delta);
  track += '\xFF';
  track += char(type);
  VarLen(track, std::uint32_t(text.size()));
  track += text;
}

std::string Chunk(const std::string& body) {
  const std::uint32_t n = std::uint32_t(body.size());
  return std::string("MTrk") + char(n >> 24) + char(n >> 16) + char(n >> 8) + char(n) + body;
}

std::string LongKar() {
  std::string tempo, words;
  for (int bar = 0; bar < kSyllables / 4; ++bar) {
    const std::uint32_t us = bar % 2 ? 500000 : 480000;
    VarLen(tempo, bar ? 1920 : 0);
    tempo += "\xFF\x51\x03";
    tempo += char(us >> 16);
    tempo += char(us >> 8);
    tempo += char(us);
  }
  tempo += std::string("\x00\xFF\x2F\x00", 4);
  Meta(words, 0, 0x01, "@KMIDI KARAOKE FILE");
  Meta(words, 0, 0x01, "@T\xD0\xA1\xD0\xC7\xD0\xC7");  // 小星星
  const char* chars[] = {"\xD2\xBB", "\xC9\xC1", "\xC1\xC1", "\xBE\xA7",
                         "\xC2\xFA", "\xCC\xEC", "\xD0\xA1", "\xD0\xC7"};
  for (int i = 0; i < kSyllables; ++i) {
    const std::string mark = i % 32 == 0 ? "\\" : i % 8 == 0 ? "/" : "";
    Meta(words, i ? 480 : 0, 0x01, mark + chars[i % 8]);
  }
  words += std::string("\x00\xFF\x2F\x00", 4);
  std::string notes = std::string("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00\x00\xFF\x2F\x00", 13);
  return std::string("MThd\0\0\0\x06\0\x01\0\x03\x01\xE0", 14) + Chunk(tempo) + Chunk(words) + Chunk(notes);
}

std::string Write(const std::string& name, const std::string& bytes) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tl_bench_" + std::to_string(::getpid()) + name)).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

void OpenLongKar(benchmark::State& state) {
  const std::string path = Write(".kar", LongKar());
  std::size_t syllables = 0;
  for (auto _ : state) {
    const lyrics::Lyrics l = lyrics::ReadLyrics(path);
    syllables = 0;
    for (const lyrics::Line& line : l.lines) syllables += line.syllables.size();
    benchmark::DoNotOptimize(syllables);
  }
  state.counters["syllables"] = double(syllables);
  std::filesystem::remove(path);
}
BENCHMARK(OpenLongKar)->Unit(benchmark::kMillisecond);

void OpenLongLrc(benchmark::State& state) {
  const std::string kar = Write(".kar", LongKar());
  const std::string path = Write(".lrc", lyrics::WriteLrc(lyrics::ReadLyrics(kar)));
  std::filesystem::remove(kar);
  for (auto _ : state) benchmark::DoNotOptimize(lyrics::ReadLyrics(path).lines.size());
  std::filesystem::remove(path);
}
BENCHMARK(OpenLongLrc)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
