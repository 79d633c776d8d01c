// The melody a singer is scored against: the notes of one channel of a MIDI
// song, one at a time, in the song's own milliseconds and as written (the
// singer's key is added where the notes are compared or drawn).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sequencer {
struct Song;
}

namespace score {

struct Note {
  std::uint32_t startMs = 0;
  std::uint32_t endMs = 0;  // after startMs
  int pitch = 60;           // MIDI note number as written
};

struct Melody {
  std::vector<Note> notes;  // in time order, never overlapping
  int channel = -1;         // 0..15 (channel 10 is 9), -1 without notes
  bool empty() const { return notes.empty(); }
};

// Channel `channel` (0..15) of `song` when the singer chose one (where its
// notes overlap, the highest sounding one), else found: the notes of the
// track that carries the words (.kar text or lyric events; among its
// channels by the next rule), else the monophonic channel with the most
// notes between MIDI 40 and 84. Drums are never a melody. Overlapping notes
// are cut where the next one starts. Empty when the song has no such notes.
Melody MelodyOfSong(const sequencer::Song& song, int channel = -1);

// The same from a file. A file that is no MIDI file (a WAV or MP3 backing)
// has no melody; an unreadable one raises EScoreError.
Melody ReadMelody(const std::string& path, int channel = -1);

}  // namespace score
