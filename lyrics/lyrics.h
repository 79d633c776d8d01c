// A song's lyrics in time: pages of lines of syllables, each with the
// millisecond it is sung at, in the song's own time (every tempo change of a
// MIDI file counted, an LRC file's offset applied). Text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lyrics {

struct Syllable {
  std::uint32_t startMs = 0;  // when it is sung
  std::uint32_t endMs = 0;    // when the next syllable starts (or the line ends)
  std::string text;           // as shown, without the file's markers
};

struct Line {
  std::vector<Syllable> syllables;  // in time order, never empty
  bool newPage = false;             // the line starts a new page (the first line does)
  std::uint32_t startMs() const { return syllables.front().startMs; }
  std::uint32_t endMs() const { return syllables.back().endMs; }
  std::string text() const {
    std::string all;
    for (const Syllable& s : syllables) all += s.text;
    return all;
  }
};

struct Lyrics {
  std::string title;     // empty when the file names none
  std::string artist;
  std::string encoding;  // the text encoding the words were read in ("UTF-8", "GB18030", ...)
  std::vector<Line> lines;
  bool empty() const { return lines.empty(); }
};

}  // namespace lyrics
