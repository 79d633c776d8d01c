#include <gtest/gtest.h>

#include "lyrics/readlyrics.h"
#include "tests/lyrics/lyrics_fixture.h"
#include "tests/lyrics/smf_writer.h"

using smftest::Track;

// A .kar file: headers, "\" pages and "/" lines in text events, timed over
// two tempo changes (480 ticks a quarter: 500 ms, then 250 ms, then 1 s).
TEST_F(LyricsFiles, KarTextEventsFollowTempoChangesPagesAndLines) {
  Track tempo;
  tempo.Tempo(0, 500000).Tempo(960, 250000).Tempo(960, 1000000);
  Track words;
  words.Meta(0, 0x01, "@KMIDI KARAOKE FILE").Meta(0, 0x01, "@V0100").Meta(0, 0x01, "@TMy Song");
  words.Meta(0, 0x01, "@TThe Singer").Meta(0, 0x01, "@LENGL");
  words.Meta(0, 0x01, "\\Hel").Meta(480, 0x01, "lo ").Meta(480, 0x01, "/world");
  words.Meta(480, 0x01, "\\Sec").Meta(480, 0x01, "ond ").Meta(480, 0x01, "end");
  Track notes;
  notes.Note(0);
  // The words' track ends at tick 2880: 1000 + 500 + 2000 ms.
  const lyrics::Lyrics l = lyrics::ReadLyrics(write("song.kar", smftest::File({tempo, words, notes}, 480, 480)));
  EXPECT_EQ(l.title, "My Song");
  EXPECT_EQ(l.artist, "The Singer");
  ASSERT_EQ(l.lines.size(), 3u);
  ExpectLine(l.lines[0], true, {{0, 500, "Hel"}, {500, 1000, "lo"}});
  ExpectLine(l.lines[1], false, {{1000, 1250, "world"}});  // one syllable: held to the next line
  ExpectLine(l.lines[2], true, {{1250, 1500, "Sec"}, {1500, 2500, "ond "}, {2500, 3500, "end"}});  // to the song's end
}

// Lyric events under an SMPTE division (25 frames of 40 ticks: a tick is a
// millisecond): a CR or LF ends a line, two end a page, also in an event of
// their own; a space sent alone joins the syllable before it.
TEST_F(LyricsFiles, LyricEventsUnderSmpteDivisionBreakAtCrAndLf) {
  Track t;
  t.Meta(0, 0x03, "Vocals").Meta(0, 0x05, "One ").Meta(1234, 0x05, "line\r").Meta(766, 0x05, "Next");
  t.Meta(500, 0x05, "\r\n\r\n").Meta(500, 0x05, "Page").Meta(1, 0x05, " ").Meta(999, 0x05, "two\n");
  t.Note(0);
  const lyrics::Lyrics l = lyrics::ReadLyrics(write("smpte.mid", smftest::File({t}, 0xE728, 500)));
  ASSERT_EQ(l.lines.size(), 3u);
  ExpectLine(l.lines[0], true, {{0, 1234, "One "}, {1234, 2000, "line"}});
  ExpectLine(l.lines[1], false, {{2000, 3000, "Next"}});
  ExpectLine(l.lines[2], true, {{3000, 4000, "Page "}, {4000, 4500, "two"}});
  EXPECT_TRUE(l.title.empty());
}

// Where a file has both kinds, the kind with more syllables is shown, each
// from its own track; a text on another track is not part of the words.
TEST_F(LyricsFiles, BothKindsInOneFileTheOneWithMoreSyllablesWins) {
  auto song = [](int lyricEvents) {
    Track first;
    first.Meta(0, 0x01, "Made by hand").Note(0);
    Track lyric;
    for (int i = 0; i < lyricEvents; ++i) lyric.Meta(i == 0 ? 0 : 480, 0x05, i + 1 == lyricEvents ? "la" : "la ");
    Track text;
    text.Meta(0, 0x01, "@TTwinkle").Meta(0, 0x01, "\\Twin").Meta(240, 0x01, "kle ").Meta(240, 0x01, "twin");
    text.Meta(240, 0x01, "kle");
    return smftest::File({first, lyric, text}, 480);
  };
  const lyrics::Lyrics text = lyrics::ReadLyrics(write("text.kar", song(3)));
  ASSERT_EQ(text.lines.size(), 1u);
  EXPECT_EQ(text.lines[0].text(), "Twinkle twinkle");
  EXPECT_EQ(text.lines[0].syllables[3].startMs, 750u);  // 720 ticks of 500/480 ms
  EXPECT_EQ(text.title, "Twinkle");

  const lyrics::Lyrics lyric = lyrics::ReadLyrics(write("lyric.kar", song(5)));
  ASSERT_EQ(lyric.lines.size(), 1u);
  EXPECT_EQ(lyric.lines[0].text(), "la la la la la");
  EXPECT_EQ(lyric.lines[0].syllables[4].startMs, 2000u);
  // On a tie the text events, whose markers lyric events copied from them
  // may have lost.
  EXPECT_EQ(lyrics::ReadLyrics(write("tie.kar", song(4))).lines[0].text(), "Twinkle twinkle");

  // Lyric events that carry the .kar markers instead of line ends.
  Track marked;
  marked.Meta(0, 0x05, "\\Row ").Meta(240, 0x05, "row").Meta(240, 0x05, "/your ").Meta(240, 0x05, "boat").Note(0);
  const lyrics::Lyrics boat = lyrics::ReadLyrics(write("boat.mid", smftest::File({marked}, 480)));
  ASSERT_EQ(boat.lines.size(), 2u);
  EXPECT_EQ(boat.lines[0].text(), "Row row");
  EXPECT_EQ(boat.lines[1].text(), "your boat");
  EXPECT_FALSE(boat.lines[1].newPage);

  // The remarks of a plain MIDI file, without .kar headers or markers, are
  // no words.
  Track remarks;
  remarks.Meta(0, 0x01, "Sequenced by hand").Meta(0, 0x01, "for the tests").Note(0).Meta(480, 0x01, "Verse");
  EXPECT_TRUE(lyrics::ReadLyrics(write("plain.mid", smftest::File({remarks}, 480))).empty());
  // Unmarked syllables spread over a song are words: one line of them.
  Track sung;
  sung.Meta(0, 0x01, "Hel").Note(0).Meta(480, 0x01, "lo ").Meta(480, 0x01, "my ").Meta(480, 0x01, "friend");
  const lyrics::Lyrics unmarked = lyrics::ReadLyrics(write("unmarked.kar", smftest::File({sung}, 480)));
  ASSERT_EQ(unmarked.lines.size(), 1u);
  EXPECT_EQ(unmarked.lines[0].text(), "Hello my friend");
  EXPECT_EQ(unmarked.lines[0].syllables[3].startMs, 1500u);
}
