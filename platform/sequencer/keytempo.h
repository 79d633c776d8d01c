// The singer's key and tempo for the accompaniment: semitones up or down and
// a playing speed in percent. At the defaults (0, 100%) the accompaniment
// plays exactly as written.
//
// Times the media control service reports for a device (length, position,
// seek) are heard times: the song's own times scaled by 100/tempo, at the
// tempo in force. Song times (a lyric's, a note's) convert with the two
// functions below.
#pragma once

#include <cstdint>

namespace sequencer {

struct KeyTempo {
  static constexpr int kMinKey = -12;
  static constexpr int kMaxKey = 12;
  static constexpr int kMinTempo = 50;
  static constexpr int kMaxTempo = 200;

  int key = 0;      // semitones
  int tempo = 100;  // percent of the written speed

  bool IsDefault() const { return key == 0 && tempo == 100; }
  static bool ValidKey(int k) { return k >= kMinKey && k <= kMaxKey; }
  static bool ValidTempo(int t) { return t >= kMinTempo && t <= kMaxTempo; }
  bool Valid() const { return ValidKey(key) && ValidTempo(tempo); }
  // Clamped into range.
  KeyTempo Clamped() const;
  bool operator==(const KeyTempo&) const = default;
};

// A song time heard at `tempo` percent, and back (rounded to the nearest).
std::uint64_t HeardFromSong(std::uint64_t songTime, int tempo);
std::uint64_t SongFromHeard(std::uint64_t heardTime, int tempo);

}  // namespace sequencer
