// Writes the demo accompaniment, a Standard MIDI file (type 1, General MIDI):
// an original tune of twelve bars in C major at 96 beats a minute (30 s),
// a melody on the flute, chords on the strings, a walking bass and a light
// drum pattern, and words to sing as lyric events (one syllable a melody
// note; a CR ends a line, two a page of two lines) with the title and artist
// as .kar headers. Usage: tunelark_makedemo OUT.mid
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/demo/demotune.h"

namespace {

using namespace demotune;

struct Event {
  int tick;
  std::vector<std::uint8_t> bytes;
};

class Track {
 public:
  void Add(int tick, std::vector<std::uint8_t> bytes) { events_.push_back({tick, std::move(bytes)}); }
  // A note of `length` ticks; the note-off comes a little early so that a
  // repeated pitch is struck again.
  void Note(int channel, int tick, int length, int pitch, int velocity) {
    Add(tick, {std::uint8_t(0x90 | channel), std::uint8_t(pitch), std::uint8_t(velocity)});
    Add(tick + length - 10, {std::uint8_t(0x80 | channel), std::uint8_t(pitch), 0});
  }
  std::vector<std::uint8_t> Bytes(int endTick) {
    // Stable by time, note-offs first at the same tick.
    std::vector<Event> sorted = events_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Event& a, const Event& b) {
      if (a.tick != b.tick) return a.tick < b.tick;
      return (a.bytes[0] & 0xF0) == 0x80 && (b.bytes[0] & 0xF0) != 0x80;
    });
    std::vector<std::uint8_t> out;
    int last = 0;
    for (const Event& e : sorted) {
      VarLen(out, e.tick - last);
      last = e.tick;
      out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    }
    VarLen(out, endTick > last ? endTick - last : 0);
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
    return out;
  }

 private:
  static void VarLen(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7F;
    while (v >>= 7) buf[n++] = std::uint8_t(0x80 | (v & 0x7F));
    while (n) out.push_back(buf[--n]);
  }
  std::vector<Event> events_;
};

// One chord a bar (bar 11 has two): root for the bass and the triad.
struct Chord {
  int bar;
  int beat;
  int beats;
  int root;  // bass pitch
  int notes[3];
};
const std::vector<Chord> kChords = {
    {0, 0, 4, 36, {60, 64, 67}},  {1, 0, 4, 45, {57, 60, 64}},  {2, 0, 4, 41, {57, 60, 65}},
    {3, 0, 4, 43, {55, 59, 62}},  {4, 0, 4, 36, {60, 64, 67}},  {5, 0, 4, 45, {57, 60, 64}},
    {6, 0, 4, 41, {57, 60, 65}},  {7, 0, 4, 43, {55, 59, 62}},  {8, 0, 4, 36, {60, 64, 67}},
    {9, 0, 4, 45, {57, 60, 64}},  {10, 0, 2, 41, {57, 60, 65}}, {10, 2, 2, 43, {55, 59, 62}},
    {11, 0, 4, 36, {55, 60, 64}},
};

// One syllable for each note of the melody, in order; a rest has none.
// "\r" ends a line, "\r\r" a page.
const std::vector<const char*> kWords = {
    "Sing ", "a", "long ", "with ", "Tune", "lark ", "now\r",
    "Ev", "ery ", "word ", "will ", "light ", "up ", "in ", "time\r\r",
    "Re", "cord ", "and ", "sing ", "a", "long ", "to", "day\r",
    "Keep ", "the ", "take ", "you ", "made\r\r",
    "Play ", "it ", "back ", "and ", "hear ", "your ", "voice\r",
    "Save ", "the ", "song ", "you ", "sang\r\r",
};

std::vector<std::uint8_t> Meta(std::uint8_t type, const std::string& text) {
  std::vector<std::uint8_t> bytes{0xFF, type, std::uint8_t(text.size())};
  for (char c : text) bytes.push_back(std::uint8_t(c));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.mid\n", argv[0]);
    return 2;
  }
  const int end = kBars * kBar;

  Track conductor;
  conductor.Add(0, {0xFF, 0x03, 4, 'D', 'e', 'm', 'o'});
  conductor.Add(0, {0xFF, 0x51, 0x03, std::uint8_t(kTempo >> 16), std::uint8_t(kTempo >> 8), std::uint8_t(kTempo)});
  conductor.Add(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8});

  Track melody;  // channel 0: flute
  melody.Add(0, {0xC0, 73});
  melody.Add(0, {0xB0, 7, 110});
  int tick = 0;
  for (const Step& s : kMelody) {
    const int length = s.eighths * kDivision / 2;
    if (s.pitch) melody.Note(0, tick, length, s.pitch, 96);
    tick += length;
  }

  Track words;  // the title, the artist and a syllable on each melody note
  words.Add(0, Meta(0x03, "Words"));
  words.Add(0, Meta(0x01, "@TSing Along with Tunelark"));
  words.Add(0, Meta(0x01, "@TTunelark"));
  tick = 0;
  std::size_t syllable = 0;
  for (const Step& s : kMelody) {
    if (s.pitch && syllable < kWords.size()) words.Add(tick, Meta(0x05, kWords[syllable++]));
    tick += s.eighths * kDivision / 2;
  }

  Track chords;  // channel 1: string ensemble, channel 2: acoustic bass
  chords.Add(0, {0xC1, 48});
  chords.Add(0, {0xB1, 7, 80});
  chords.Add(0, {0xC2, 32});
  chords.Add(0, {0xB2, 7, 100});
  for (const Chord& c : kChords) {
    const int start = c.bar * kBar + c.beat * kDivision;
    for (int n : c.notes) chords.Note(1, start, c.beats * kDivision, n, 64);
    // Bass: root, fifth on the third beat of a whole bar.
    if (c.beats == 4) {
      chords.Note(2, start, 2 * kDivision, c.root, 90);
      chords.Note(2, start + 2 * kDivision, 2 * kDivision, c.root + 7, 80);
    } else {
      chords.Note(2, start, c.beats * kDivision, c.root, 90);
    }
  }

  Track drums;  // channel 10 (9): kick, snare, closed hi-hat
  for (int bar = 0; bar < 11; ++bar) {
    const int start = bar * kBar;
    for (int beat = 0; beat < 4; ++beat) {
      const int at = start + beat * kDivision;
      drums.Note(9, at, kDivision / 2, beat % 2 == 0 ? 36 : 38, beat % 2 == 0 ? 90 : 70);
      drums.Note(9, at, kDivision / 2, 42, 50);
      drums.Note(9, at + kDivision / 2, kDivision / 2, 42, 40);
    }
  }
  drums.Note(9, 11 * kBar, kDivision, 49, 80);  // crash on the last chord

  std::vector<std::vector<std::uint8_t>> tracks = {conductor.Bytes(end), melody.Bytes(end), chords.Bytes(end),
                                                    drums.Bytes(end), words.Bytes(end)};
  std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, std::uint8_t(tracks.size()),
                                    std::uint8_t(kDivision >> 8), std::uint8_t(kDivision & 0xFF)};
  for (const auto& t : tracks) {
    const std::uint32_t n = std::uint32_t(t.size());
    file.insert(file.end(), {'M', 'T', 'r', 'k', std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8),
                             std::uint8_t(n)});
    file.insert(file.end(), t.begin(), t.end());
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
