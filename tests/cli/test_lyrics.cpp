// tunelark lyrics, the lyric line of record's progress, and the lyrics tags
// of the MP3s that record --mp3 and convert --lyrics make, read back with
// TagLib.
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include "cli_fixture.h"
#include "../lyrics/smf_writer.h"

using namespace clitest;
using smftest::Track;

namespace {

void WriteBytes(const QString& path, const smftest::Bytes& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

// A .kar song: 480 ticks a quarter at 500 ms, so 240 ticks are 250 ms.
smftest::Bytes StarKar() {
  Track tempo;
  tempo.Tempo(0, 500000);
  Track words;
  words.Meta(0, 0x01, "@TStar").Meta(0, 0x01, "@TKids").Meta(0, 0x01, "\\Twin").Meta(240, 0x01, "kle ");
  words.Meta(240, 0x01, "star").Meta(480, 0x01, "/Up ").Meta(240, 0x01, "high");
  Track notes;
  notes.At(0, {0xC0, 0}).At(0, {0x90, 60, 90}).At(480, {0x80, 60, 0}).At(0, {0x90, 64, 90}).At(960, {0x80, 64, 0});
  return smftest::File({tempo, words, notes}, 480);
}

// A song of lyric events without a title, and one without words.
smftest::Bytes Nameless() {
  Track t;
  t.Meta(0, 0x05, "la ").Meta(0, 0x05, "").At(0, {0x90, 60, 90}).Meta(480, 0x05, "la\r").At(480, {0x80, 60, 0});
  return smftest::File({t}, 480);
}
smftest::Bytes Wordless() {
  Track t;
  t.At(0, {0x90, 60, 90}).At(480, {0x80, 60, 0});
  return smftest::File({t}, 480);
}

struct Tags {
  bool present = false;
  std::string title, artist, plain;
  std::vector<std::pair<unsigned, std::string>> synched;
};

Tags ReadTags(const QString& path) {
  Tags t;
  TagLib::MPEG::File file(QFile::encodeName(path).constData());
  if (!file.isValid() || !file.hasID3v2Tag()) return t;
  TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
  t.present = true;
  t.title = tag.title().to8Bit(true);
  t.artist = tag.artist().to8Bit(true);
  for (auto* f : tag.frameList("USLT"))
    if (auto* u = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame*>(f)) t.plain = u->text().to8Bit(true);
  for (auto* f : tag.frameList("SYLT"))
    if (auto* s = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame*>(f))
      for (const auto& e : s->synchedText()) t.synched.emplace_back(e.time, e.text.to8Bit(true));
  return t;
}

QByteArray Slurp(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(Lyrics, PrintsEnhancedLrcOrLinesAndFailsInOneLine) {
  QTemporaryDir dir;
  const QString star = dir.filePath("star.kar");
  WriteBytes(star, StarKar());
  Result r = Tunelark({"lyrics", star});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_EQ(r.out.toStdString(),
            "[ti:Star]\n[ar:Kids]\n"
            "[00:00.00]<00:00.00>Twin<00:00.25>kle <00:00.50>star\n"
            "[00:01.00]<00:01.00>Up <00:01.25>high\n");
  EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
  r = Tunelark({"lyrics", "--format", "text", star});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.toStdString(), "Twinkle star\nUp high\n");

  // The demo song's own words.
  r = Tunelark({"lyrics", Demo(), "--format=text"});
  EXPECT_EQ(r.out.toStdString(),
            "Sing along with Tunelark now\nEvery word will light up in time\nRecord and sing along today\n"
            "Keep the take you made\nPlay it back and hear your voice\nSave the song you sang\n");
  r = Tunelark({"lyrics", Demo()});
  EXPECT_TRUE(r.out.startsWith("[ti:Sing Along with Tunelark]\n[ar:Tunelark]\n"
                               "[00:00.00]<00:00.00>Sing <00:00.63>a<00:01.25>long "))
      << r.out.constData();

  const QString wordless = dir.filePath("wordless.mid");
  WriteBytes(wordless, Wordless());
  struct Case {
    QStringList args;
    int code;
  };
  for (const Case& c : {Case{{"lyrics", wordless}, 1}, Case{{"lyrics", dir.filePath("missing.kar")}, 1},
                        Case{{"lyrics", "--format", "xml", star}, 2}, Case{{"lyrics"}, 2},
                        Case{{"lyrics", star, star}, 2}, Case{{"lyrics", "--encoding", "NO-SUCH", star}, 2}}) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    r = Tunelark(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_TRUE(r.out.isEmpty());
    if (c.code == 1) EXPECT_EQ(r.ErrLines().size(), 1) << r.err.constData();
  }
  EXPECT_TRUE(Tunelark({"lyrics", wordless}).err.contains("has no lyrics"));

  // Words longer than stdio's buffer into a file that takes only some of
  // them (a file size limit, as a full disk would): a failure, not success.
  Track many;
  many.Meta(0, 0x01, "@TLong");
  for (int i = 0; i < 600; ++i) many.Meta(i ? 120 : 0, 0x01, (i % 8 ? "la " : "/la "));
  const QString longSong = dir.filePath("long.kar");
  WriteBytes(longSong, smftest::File({many}, 480));
  const QString cut = dir.filePath("cut.lrc");
  QProcess p;
  p.setProcessEnvironment(Environment());
  p.start("bash", {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" lyrics \"$1\" > \"$2\"", TUNELARK_BIN, longSong, cut});
  ASSERT_TRUE(p.waitForStarted());
  r = Finish(p);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.ErrLines().size(), 1) << r.err.constData();
  EXPECT_LT(QFileInfo(cut).size(), Tunelark({"lyrics", longSong}).out.size());
}

// At a tempo every time is as heard: the song's time x 100 / tempo, in
// what lyrics prints and in the tags of a take recorded at that tempo.
TEST(Lyrics, ATempoScalesEveryTimePrintedAndTaggedInATake) {
  QTemporaryDir dir;
  const QString star = dir.filePath("star.kar");
  WriteBytes(star, StarKar());
  Result r = Tunelark({"lyrics", star, "--tempo", "50"});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  EXPECT_EQ(r.out.toStdString(),
            "[ti:Star]\n[ar:Kids]\n"
            "[00:00.00]<00:00.00>Twin<00:00.50>kle <00:01.00>star\n"
            "[00:02.00]<00:02.00>Up <00:02.50>high\n");
  r = Tunelark({"lyrics", star, "--tempo=200", "--format", "text"});
  EXPECT_EQ(r.code, 0) << r.err.constData();
  // Out of range: bad usage that names the range.
  r = Tunelark({"lyrics", star, "--tempo", "201"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("--tempo needs a whole number from 50 to 200")) << r.err.constData();
  r = Tunelark({"play", star, "--key", "-13"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("--key needs a whole number from -12 to 12")) << r.err.constData();

  const QString mp3 = dir.filePath("take.mp3");
  r = Tunelark({"record", "-a", star, "--key", "-12", "--tempo", "50", "-s", "1", "-o", dir.filePath("take.wav"),
                "--mp3", mp3, "-q"});
  ASSERT_EQ(r.code, 0) << r.err.constData();
  const std::vector<std::pair<unsigned, std::string>> heard = {
      {0, "Twin"}, {500, "kle "}, {1000, "star"}, {2000, "\nUp "}, {2500, "high"}};
  EXPECT_EQ(ReadTags(mp3).synched, heard);
}

TEST(Lyrics, RecordShowsTheLineSungAndBothMp3sCarryTheWordsInTime) {
  QTemporaryDir dir;
  const QString star = dir.filePath("star.kar");
  WriteBytes(star, StarKar());
  const QString wav = dir.filePath("take.wav");
  const QString mp3 = dir.filePath("take.mp3");
  Result r = Tunelark({"record", "-a", star, "--seconds", "2", "-o", wav, "--mp3", mp3});
  ASSERT_EQ(r.code, 0) << r.err.constData();
  EXPECT_TRUE(r.err.contains("Twinkle star")) << r.err.constData();

  Tags t = ReadTags(mp3);
  ASSERT_TRUE(t.present);
  EXPECT_EQ(t.title, "Star");
  EXPECT_EQ(t.artist, "Kids");
  EXPECT_EQ(t.plain, "Twinkle star\nUp high");
  const std::vector<std::pair<unsigned, std::string>> expected = {
      {0, "Twin"}, {250, "kle "}, {500, "star"}, {1000, "\nUp "}, {1250, "high"}};
  EXPECT_EQ(t.synched, expected);

  // convert --lyrics: a song without a title gives the MP3 its file name;
  // without lyrics the MP3 has no tag, and is the tagged one's audio.
  const QString nameless = dir.filePath("nameless.mid");
  WriteBytes(nameless, Nameless());
  r = Tunelark({"convert", wav, "--lyrics", nameless, "-o", dir.filePath("tagged.mp3"), "-q"});
  ASSERT_EQ(r.code, 0) << r.err.constData();
  t = ReadTags(dir.filePath("tagged.mp3"));
  EXPECT_EQ(t.title, "nameless");
  EXPECT_EQ(t.artist, "");
  EXPECT_EQ(t.synched, (std::vector<std::pair<unsigned, std::string>>{{0, "la "}, {500, "la"}}));
  r = Tunelark({"convert", wav, "-o", dir.filePath("bare.mp3"), "-q"});
  ASSERT_EQ(r.code, 0) << r.err.constData();
  const QByteArray bare = Slurp(dir.filePath("bare.mp3"));
  const QByteArray tagged = Slurp(dir.filePath("tagged.mp3"));
  EXPECT_FALSE(bare.startsWith("ID3"));
  EXPECT_TRUE(tagged.endsWith(bare));
  EXPECT_GT(tagged.size(), bare.size());

  // A file size limit that the MP3 fits in and the tagged MP3 does not:
  // the tagging fails in one line and the MP3 stays as the encoder made it.
  const QString limited = dir.filePath("limited.mp3");
  QProcess p;
  p.setProcessEnvironment(Environment());
  p.start("bash", {"-c",
                   QStringLiteral("ulimit -f %1; trap '' XFSZ; exec \"$0\" convert \"$1\" --lyrics \"$2\" -o \"$3\" -q")
                       .arg((bare.size() + 1023) / 1024),
                   TUNELARK_BIN, wav, star, limited});
  ASSERT_TRUE(p.waitForStarted());
  r = Finish(p);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.ErrLines().size(), 1) << r.err.constData();
  EXPECT_TRUE(r.err.contains("without its lyrics")) << r.err.constData();
  EXPECT_EQ(Slurp(limited), bare);
  EXPECT_EQ(Entries(dir.path()).filter(QStringLiteral("limited")), QStringList{QStringLiteral("limited.mp3")});

  // A song without words is refused before anything is made.
  const QString wordless = dir.filePath("wordless.mid");
  WriteBytes(wordless, Wordless());
  r = Tunelark({"convert", wav, "--lyrics", wordless, "-o", dir.filePath("none.mp3")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.ErrLines().size(), 1) << r.err.constData();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("none.mp3")));
}
