// The body of the lyrics fuzz target, shared with the test that runs it over
// the seeds and their mutations: the same bytes read as a MIDI file (its
// parser, then its lyric and text events) and as an LRC file. Whatever the
// bytes, the lyrics must be well formed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lyrics/lrc.h"
#include "lyrics/midilyrics.h"

namespace lyrics_exercise {

// Well-formed UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
inline bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + std::size_t(extra) >= s.size()) return false;
    std::uint32_t cp = extra == 0 ? c : c & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + std::size_t(k)]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += std::size_t(extra) + 1;
  }
  return true;
}

// Empty when `l` is well formed, else what is wrong.
inline std::string Check(const lyrics::Lyrics& l) {
  if (!ValidUtf8(l.title) || !ValidUtf8(l.artist)) return "title or artist not UTF-8";
  if (!l.lines.empty() && !l.lines.front().newPage) return "the first line starts no page";
  for (const lyrics::Line& line : l.lines) {
    if (line.syllables.empty()) return "a line without syllables";
    std::uint32_t last = 0;
    for (const lyrics::Syllable& s : line.syllables) {
      if (s.text.empty()) return "an empty syllable";
      if (!ValidUtf8(s.text)) return "a syllable not UTF-8";
      for (char c : s.text)
        if (static_cast<unsigned char>(c) < 0x20) return "a control character in a syllable";
      if (s.startMs < last) return "syllables out of time order";
      if (s.endMs < s.startMs) return "a syllable ending before it starts";
      last = s.startMs;
    }
  }
  return {};
}

inline std::string Run(const std::uint8_t* data, std::size_t size) {
  const std::string midi = Check(lyrics::ReadMidiLyrics(data, size, {}));
  if (!midi.empty()) return "MIDI: " + midi;
  const lyrics::Lyrics lrc = lyrics::ParseLrc(std::string_view(reinterpret_cast<const char*>(data), size), {});
  const std::string problem = Check(lrc);
  if (!problem.empty()) return "LRC: " + problem;
  // Lines are in time order in an LRC file's lyrics.
  for (std::size_t i = 1; i < lrc.lines.size(); ++i)
    if (lrc.lines[i].startMs() < lrc.lines[i - 1].startMs()) return "LRC: lines out of time order";
  return {};
}

}  // namespace lyrics_exercise
