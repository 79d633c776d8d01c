// The words of a MIDI song: lyric events (FF 05) and the .kar convention of
// text events (FF 01), timed by the song's own tempo map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lyrics/lyrics.h"
#include "platform/sequencer/smf.h"

namespace lyrics {

// The lyrics of a parsed song; `encoding` empty: detected from the texts.
//
// Lyric events: one syllable each; a CR or LF in one ends a line, a second
// one a page. Text events (.kar): "@" starts a header ("@T" the title, a
// second "@T" the artist; "@K", "@V", "@I", "@L" and others are skipped),
// a leading "\" starts a new page, a leading "/" a new line; they are words
// only in a file with such headers, on a track with such markers, or on a
// track that spreads four or more of them over the song (other files' text
// events are remarks). Each kind is
// taken from the track that holds most of it; where a file has both, the
// kind with more syllables (text events on a tie: lyric events copied from
// them may have lost their line ends). Lyric events without any CR or LF
// whose texts start with "\" or "/" follow the .kar markers too.
Lyrics LyricsOfSong(const sequencer::Song& song, const std::string& encoding);

// Parses a MIDI file's bytes (plain or RMID) and returns its lyrics; empty
// when the bytes are no MIDI file the sequencer would play.
Lyrics ReadMidiLyrics(const std::uint8_t* data, std::size_t size, const std::string& encoding);

}  // namespace lyrics
