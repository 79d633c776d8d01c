#include <gtest/gtest.h>

#include "lyrics/lrc.h"
#include "lyrics/readlyrics.h"
#include "tests/lyrics/lyrics_fixture.h"
#include "tests/lyrics/smf_writer.h"

using smftest::Track;

namespace {

// Bytes written out by hand in the file's own encoding.
const std::string kGbkTitle = "\xD0\xA1\xD0\xC7\xD0\xC7";  // 小星星
const std::vector<std::string> kGbkLine1 = {"\xD2\xBB", "\xC9\xC1", "\xD2\xBB", "\xC9\xC1", "\xC1\xC1", "\xBE\xA7",
                                            "\xBE\xA7"};  // 一闪一闪亮晶晶
const std::vector<std::string> kGbkLine2 = {"\xC2\xFA", "\xCC\xEC", "\xB6\xBC", "\xCA\xC7", "\xD0\xA1", "\xD0\xC7",
                                            "\xD0\xC7"};  // 满天都是小星星
// きらきらひかる / おそらのほしよ in Shift-JIS.
const std::vector<std::string> kSjisLine1 = {"\x82\xAB", "\x82\xE7", "\x82\xAB", "\x82\xE7", "\x82\xD0", "\x82\xA9",
                                             "\x82\xE9"};
const std::vector<std::string> kSjisLine2 = {"\x82\xA8", "\x82\xBB", "\x82\xE7", "\x82\xCC", "\x82\xD9", "\x82\xB5",
                                             "\x82\xE6"};

// Two lines of text events, "\" before the first and "/" before the second.
smftest::Bytes Kar(const std::string& title, const std::vector<std::string>& a, const std::vector<std::string>& b) {
  Track t;
  t.Meta(0, 0x01, "@KMIDI KARAOKE FILE").Meta(0, 0x01, "@T" + title).Note(0);
  for (std::size_t i = 0; i < a.size(); ++i) t.Meta(i ? 240 : 0, 0x01, (i ? "" : "\\") + a[i]);
  for (std::size_t i = 0; i < b.size(); ++i) t.Meta(240, 0x01, (i ? "" : "/") + b[i]);
  return smftest::File({t}, 480);
}

}  // namespace

TEST_F(LyricsFiles, GbkShiftJisAndLatin1FilesAreFoundAndDecoded) {
  const std::string gbk = write("gbk.kar", Kar(kGbkTitle, kGbkLine1, kGbkLine2));
  const lyrics::Lyrics chinese = lyrics::ReadLyrics(gbk);
  EXPECT_EQ(chinese.encoding, "GB18030");
  EXPECT_EQ(chinese.title, "小星星");
  ASSERT_EQ(chinese.lines.size(), 2u);
  EXPECT_EQ(chinese.lines[0].text(), "一闪一闪亮晶晶");
  EXPECT_EQ(chinese.lines[1].text(), "满天都是小星星");
  EXPECT_EQ(chinese.lines[1].syllables.size(), 7u);
  EXPECT_EQ(chinese.lines[1].startMs(), 1750u);  // the 8th syllable: 7 x 240 ticks of 500/480 ms

  // Shift-JIS, whose markers must not turn into yen signs.
  const lyrics::Lyrics japanese = lyrics::ReadLyrics(write("sjis.kar", Kar("\x82\xE6", kSjisLine1, kSjisLine2)));
  EXPECT_EQ(japanese.encoding, "CP932");
  ASSERT_EQ(japanese.lines.size(), 2u);
  EXPECT_EQ(japanese.lines[0].text(), "きらきらひかる");
  EXPECT_EQ(japanese.lines[1].text(), "おそらのほしよ");
  EXPECT_FALSE(japanese.lines[1].newPage);

  // Latin-1: an LRC file beside a WAV backing of the same name.
  write("backing.wav", std::string("RIFF....WAVE"));
  write("backing.lrc", std::string("[ti:Chanson d'\xE9t\xE9]\n[00:01.00]D\xE9j\xE0 vu, \xE7" "a va\n"
                                   "[00:03.50]\xDC" "ber die Br\xFC" "cke, gr\xFC\xDF" "e dich\n"));
  const lyrics::Lyrics latin = lyrics::ReadLyrics(path("backing.wav"));
  EXPECT_EQ(latin.encoding, "WINDOWS-1252");
  EXPECT_EQ(latin.title, "Chanson d'été");
  ASSERT_EQ(latin.lines.size(), 2u);
  EXPECT_EQ(latin.lines[0].text(), "Déjà vu, ça va");
  EXPECT_EQ(latin.lines[1].text(), "Über die Brücke, grüße dich");

  // The user's choice overrides the guess; bytes that are no text in it
  // become replacement characters, never a failure.
  const lyrics::Lyrics forced = lyrics::ReadLyrics(gbk, "UTF-8");
  EXPECT_EQ(forced.encoding, "UTF-8");
  ASSERT_EQ(forced.lines.size(), 2u);
  EXPECT_EQ(forced.lines[0].syllables[1].text, "\uFFFD\uFFFD");  // C9 C1: a lead byte and no follower
  EXPECT_THROW(lyrics::ReadLyrics(gbk, "NO-SUCH-ENCODING"), lyrics::ELyricsError);
}

// An LRC file with an offset, word times, a closing word time, a line sung
// twice, a fraction of one digit, a timed empty line and lines to skip.
TEST(Lrc, OffsetWordTimesRepeatsAndBreaks) {
  const std::string file =
      "\xEF\xBB\xBF[ti:Song]\r\n[ar: Band ]\r\n[offset:+500]\r\n"
      "[00:10.00]<00:10.00>Hel<00:10.50>lo <00:11.25>there<00:12.00>\r\n"
      "[00:13.00]\r\n"
      "[00:20.00][01:00.00]Cho<00:20.40>rus\r\n"
      "[00:15.5]Plain line\r\n"
      "words without a time\r\n"
      "[xx:yy]junk\r\n";
  const lyrics::Lyrics l = lyrics::ParseLrc(file, {});
  EXPECT_EQ(l.title, "Song");
  EXPECT_EQ(l.artist, "Band");
  ASSERT_EQ(l.lines.size(), 4u);
  ExpectLine(l.lines[0], true, {{9500, 10000, "Hel"}, {10000, 10750, "lo "}, {10750, 11500, "there"}});
  ExpectLine(l.lines[1], false, {{15000, 19500, "Plain line"}});
  ExpectLine(l.lines[2], false, {{19500, 19900, "Cho"}, {19900, 21900, "rus"}});
  ExpectLine(l.lines[3], false, {{59500, 59900, "Cho"}, {59900, 61900, "rus"}});

  // Written as enhanced LRC, in hundredths, and read back the same.
  const std::string written = lyrics::WriteLrc(l);
  EXPECT_EQ(written,
            "[ti:Song]\n[ar:Band]\n"
            "[00:09.50]<00:09.50>Hel<00:10.00>lo <00:10.75>there\n"
            "[00:15.00]<00:15.00>Plain line\n"
            "[00:19.50]<00:19.50>Cho<00:19.90>rus\n"
            "[00:59.50]<00:59.50>Cho<00:59.90>rus\n");
  const lyrics::Lyrics again = lyrics::ParseLrc(written, {});
  ASSERT_EQ(again.lines.size(), 4u);
  EXPECT_EQ(again.lines[3].syllables[1].startMs, 59900u);
  EXPECT_EQ(lyrics::WriteText(l), "Hello there\nPlain line\nChorus\nChorus\n");
}
