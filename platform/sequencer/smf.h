// Standard MIDI files (types 0, 1 and 2, plain or wrapped in a RIFF "RMID"
// file): parsed once, off the audio thread, into one time-ordered list of
// events stamped with their sample frame at 44100 Hz, from the file's own
// tempo map (every tempo change, or the SMPTE division).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sequencer {

constexpr std::uint32_t kSongRate = 44100;

struct MidiEvent {
  std::uint64_t frame = 0;     // when it sounds, in frames at kSongRate
  std::uint8_t status = 0;     // 0x80..0xEF channel message, 0xF0 system exclusive
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
  std::uint32_t sysexOffset = 0;  // F0: the message's bytes in Song::sysex (without F0)
  std::uint32_t sysexLength = 0;
  std::uint16_t track = 0;  // index of the track among the file's tracks (65535 at most)
};

// A text meta event (text FF 01, track name FF 03, lyric FF 05) as its bytes,
// in the file's own encoding, timed by the same tempo map as the events.
struct MetaText {
  std::uint64_t frame = 0;  // in frames at kSongRate
  std::uint32_t ms = 0;     // the same moment in milliseconds (rounded to nearest)
  std::uint8_t type = 0;    // 0x01, 0x03 or 0x05
  int track = 0;            // index of the track among the file's tracks
  std::string bytes;
};

struct Song {
  std::vector<MidiEvent> events;  // in time order; equal times keep file order
  std::vector<char> sysex;
  std::vector<MetaText> texts;    // in time order; equal times keep file order
  // The end: the time of the last event of any track (its end-of-track
  // event included), in frames and in milliseconds (rounded to nearest).
  std::uint64_t lengthFrames = 0;
  std::uint32_t lengthMs = 0;
  int format = 0;
  int tracks = 0;
  // (bank, program) of every instrument the song selects: each program
  // change with its channel's bank, and the default instrument of the
  // channels in `defaultChannels`; bank 128 is the percussion bank of
  // channel 10.
  std::vector<std::pair<int, int>> presets;
  // Bit c: channel c plays a note before its first program change, so it
  // plays with the default instrument.
  std::uint16_t defaultChannels = 0;
};

enum class SmfResult {
  Ok,
  NotMidi,    // no MIDI header, or a header that makes no sense
  Truncated,  // a track, or the number of tracks the header promises, runs past the end
  NoNotes,    // a valid file without a single note
};

// Parses a whole file's bytes. Every size is checked against the data.
SmfResult ParseSmf(const std::uint8_t* data, std::size_t size, Song& song);

// True when the bytes start like a MIDI file ("MThd", or RIFF "RMID").
bool LooksLikeMidi(const std::uint8_t* data, std::size_t size);

// The millisecond at which a frame is heard when the song plays at `tempo`
// percent of its speed, rounded down.
inline std::uint32_t FramesToMs(std::uint64_t frames, int tempo = 100) {
  return std::uint32_t(frames * 100'000 / (std::uint64_t(kSongRate) * std::uint64_t(tempo)));
}
// The first frame heard at or after a millisecond, at `tempo` percent.
inline std::uint64_t MsToFrames(std::uint64_t ms, int tempo = 100) {
  return (ms * kSongRate * std::uint64_t(tempo) + 99'999) / 100'000;
}

}  // namespace sequencer
