#include <gtest/gtest.h>
#include <lame/lame.h>

#include <cmath>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include "lyrics/id3lyrics.h"
#include "lyrics/readlyrics.h"
#include "tests/lyrics/lyrics_fixture.h"

namespace {

// Half a second of a 440 Hz tone, encoded by libmp3lame with its defaults
// at `rate` (no tag of its own).
std::string ToneMp3(int rate = 44100) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, 1);
  lame_set_write_id3tag_automatic(lame, 0);
  lame_init_params(lame);
  std::vector<short> pcm(std::size_t(rate / 2));
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = short(8000 * std::sin(2 * M_PI * 440 * double(i) / rate));
  std::vector<unsigned char> out(pcm.size() * 2 + 7200);
  int n = lame_encode_buffer(lame, pcm.data(), pcm.data(), int(pcm.size()), out.data(), int(out.size()));
  n += lame_encode_flush(lame, out.data() + n, int(out.size()) - n);
  lame_close(lame);
  return std::string(reinterpret_cast<const char*>(out.data()), std::size_t(n));
}

lyrics::Line MakeLine(bool newPage, std::vector<lyrics::Syllable> syllables) {
  lyrics::Line line;
  line.newPage = newPage;
  line.syllables = std::move(syllables);
  return line;
}

}  // namespace

// The tags are read back with TagLib itself; behind them the MP3's bytes are
// the encoder's, unchanged. Lyrics without lines leave the file untouched.
TEST_F(LyricsFiles, Mp3TagsCarryTitleWordsAndSyllableTimes) {
  const std::string mp3 = ToneMp3();
  ASSERT_GT(mp3.size(), 1000u);
  const std::string file = write("take.mp3", mp3);

  lyrics::WriteLyricsTags(file, lyrics::Lyrics{}, "demo");
  EXPECT_EQ(slurp(file), mp3);

  lyrics::Lyrics words;
  words.artist = "Tunelark";
  words.lines.push_back(MakeLine(true, {{1000, 1500, "你"}, {1500, 2500, "好"}}));
  words.lines.push_back(MakeLine(false, {{2500, 4000, "world"}}));
  words.lines.push_back(MakeLine(true, {{4000, 4600, "Ä"}, {4600, 5000, "!"}}));
  lyrics::WriteLyricsTags(file, words, "demo");

  const std::string tagged = slurp(file);
  ASSERT_EQ(tagged.compare(0, 3, "ID3"), 0);
  EXPECT_EQ(tagged[3], 3);  // ID3v2.3
  const std::size_t tagSize = 10 + (std::size_t(tagged[6] & 0x7F) << 21 | std::size_t(tagged[7] & 0x7F) << 14 |
                                    std::size_t(tagged[8] & 0x7F) << 7 | std::size_t(tagged[9] & 0x7F));
  EXPECT_EQ(tagged.substr(tagSize), mp3);

  TagLib::MPEG::File read(file.c_str());
  ASSERT_TRUE(read.hasID3v2Tag());
  TagLib::ID3v2::Tag& tag = *read.ID3v2Tag();
  EXPECT_EQ(tag.title().to8Bit(true), "demo");
  EXPECT_EQ(tag.artist().to8Bit(true), "Tunelark");
  ASSERT_EQ(tag.frameList("USLT").size(), 1u);
  const auto* uslt = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame*>(tag.frameList("USLT").front());
  ASSERT_NE(uslt, nullptr);
  EXPECT_EQ(uslt->text().to8Bit(true), "你好\nworld\nÄ!");
  ASSERT_EQ(tag.frameList("SYLT").size(), 1u);
  const auto* sylt = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame*>(tag.frameList("SYLT").front());
  ASSERT_NE(sylt, nullptr);
  EXPECT_EQ(sylt->timestampFormat(), TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
  EXPECT_EQ(sylt->type(), TagLib::ID3v2::SynchronizedLyricsFrame::Lyrics);
  const std::vector<std::pair<unsigned, std::string>> expected = {
      {1000, "你"}, {1500, "好"}, {2500, "\nworld"}, {4000, "\n\nÄ"}, {4600, "!"}};
  const auto synched = sylt->synchedText();
  ASSERT_EQ(synched.size(), expected.size());
  std::size_t i = 0;
  for (const auto& entry : synched) {
    EXPECT_EQ(entry.time, expected[i].first);
    EXPECT_EQ(entry.text.to8Bit(true), expected[i].second);
    ++i;
  }

  // And our own reader finds the same lines, pages and times in them.
  const lyrics::Lyrics back = lyrics::ReadLyrics(file);
  ASSERT_EQ(back.lines.size(), 3u);
  ExpectLine(back.lines[0], true, {{1000, 1500, "你"}, {1500, 2500, "好"}});
  ExpectLine(back.lines[1], false, {{2500, 4000, "world"}});
  EXPECT_TRUE(back.lines[2].newPage);
  EXPECT_EQ(back.title, "demo");

  // Syllable times in MPEG frames, as some taggers write them: a frame of
  // Layer III at 22.05 kHz holds 576 samples.
  const std::string low = write("low.mp3", ToneMp3(22050));
  {
    TagLib::MPEG::File f(low.c_str());
    ASSERT_EQ(f.audioProperties()->sampleRate(), 22050);
    auto* framed = new TagLib::ID3v2::SynchronizedLyricsFrame(TagLib::String::Latin1);
    framed->setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMpegFrames);
    TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList texts;
    texts.append({0, "One"});
    texts.append({49, "\ntwo"});
    framed->setSynchedText(texts);
    f.ID3v2Tag(true)->addFrame(framed);
    ASSERT_TRUE(f.save());
  }
  const lyrics::Lyrics framed = lyrics::ReadLyrics(low);
  ASSERT_EQ(framed.lines.size(), 2u);
  EXPECT_EQ(framed.lines[1].startMs(), 1280u);  // 49 x 576 / 22050 s
}
