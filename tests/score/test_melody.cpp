#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "score/melody.h"
#include "score/scoreerror.h"
#include "tests/score/score_fixture.h"

using namespace scoretest;

namespace {

class Melodies : public ScoreFiles {};

std::vector<int> Pitches(const score::Melody& m) {
  std::vector<int> pitches;
  for (const score::Note& n : m.notes) pitches.push_back(n.pitch);
  return pitches;
}

// The address space this process takes now, from /proc/self/status.
std::uint64_t AddressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string word; status >> word;)
    if (word == "VmSize:") {
      std::uint64_t kb = 0;
      status >> kb;
      return kb * 1024;
    }
  return 0;
}

}  // namespace

// The tune is found with its words, and without them among chords, a bass,
// and drums (channel 10 and a kit chosen by bank) with more single notes.
TEST_F(Melodies, TheTuneIsFoundBesideChordsBassAndDrums) {
  std::vector<int> tune;
  for (const TuneNote& n : Tune()) tune.push_back(n.pitch);
  for (bool words : {true, false}) {
    const score::Melody m = score::ReadMelody(write("song.mid", TestSong(words)));
    EXPECT_EQ(m.channel, 0);
    EXPECT_EQ(Pitches(m), tune);
    ASSERT_EQ(m.notes.size(), Tune().size());
    EXPECT_EQ(m.notes[12].startMs, 7250u);
    EXPECT_EQ(m.notes[12].endMs, 7500u);
  }
  // Not MIDI: no melody; a damaged MIDI file: an error.
  EXPECT_TRUE(score::ReadMelody(write("backing.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'})).empty());
  smftest::Bytes cut = TestSong(true);
  cut.resize(cut.size() / 2);
  EXPECT_THROW(score::ReadMelody(write("cut.mid", cut)), score::EScoreError);
}

// The words' track wins over a channel with more notes elsewhere, and in
// a one-track file the words' track holds every channel: the rule for
// channels chooses among them. Overlapping notes are cut; the .kar headers
// are no words.
TEST_F(Melodies, TheWordsTrackCarriesTheMelody) {
  smftest::Track headers, sung, other;
  for (int i = 0; i < 8; ++i) headers.Meta(0, 0x01, "@Iheader");
  // Channel 5 on the words' track, legato: each note runs 120 ticks into the next.
  sung.Meta(0, 0x01, "@TSong").At(0, {0x94, 64, 90}).Meta(0, 0x01, "Hel");
  sung.At(480, {0x94, 65, 90}).Meta(0, 0x01, "lo ").At(120, {0x84, 64, 0});
  sung.At(360, {0x94, 67, 90}).Meta(0, 0x01, "/world").At(120, {0x84, 65, 0}).At(360, {0x84, 67, 0});
  for (int i = 0; i < 12; ++i) other.At(0, {0x90, std::uint8_t(60 + i), 90}).At(240, {0x80, std::uint8_t(60 + i), 0});
  const score::Melody kar = score::ReadMelody(write("song.kar", smftest::File({headers, other, sung}, 480)));
  EXPECT_EQ(kar.channel, 4);
  EXPECT_EQ(Pitches(kar), (std::vector<int>{64, 65, 67}));
  ASSERT_EQ(kar.notes.size(), 3u);
  EXPECT_EQ(kar.notes[0].endMs, 500u);  // cut where the next starts
  EXPECT_EQ(kar.notes[2].endMs, 1500u);

  // One track: chords on channel 1, the tune on channel 2, words.
  smftest::Track one;
  for (int i = 0; i < 6; ++i) {
    one.At(0, {0x90, 60, 80}).At(0, {0x90, 64, 80}).At(0, {0x90, 67, 80});
    one.At(0, {0x91, std::uint8_t(70 + i), 90}).Meta(0, 0x05, "la ");
    one.At(480, {0x80, 60, 0}).At(0, {0x80, 64, 0}).At(0, {0x80, 67, 0}).At(0, {0x81, std::uint8_t(70 + i), 0});
  }
  const score::Melody type0 = score::ReadMelody(write("one.mid", smftest::File({one}, 480)));
  EXPECT_EQ(type0.channel, 1);
  EXPECT_EQ(Pitches(type0), (std::vector<int>{70, 71, 72, 73, 74, 75}));
}

// A channel the singer chooses is taken as it is, one note at a time: of
// a chord the highest; a lower note held on sounds again where the
// higher one ends.
TEST_F(Melodies, TheSingersChannelSoundsItsHighestNote) {
  smftest::Track t;
  t.At(0, {0x91, 48, 80}).At(0, {0x91, 55, 80}).At(0, {0x91, 52, 80});  // a chord, 55 on top
  t.At(480, {0x81, 55, 0}).At(0, {0x81, 52, 0});                     // 48 held on alone
  t.At(480, {0x91, 60, 80}).At(480, {0x81, 60, 0}).At(0, {0x81, 48, 0});
  const std::string song = write("chords.mid", smftest::File({t}, 480));
  const score::Melody m = score::ReadMelody(song, 1);
  EXPECT_EQ(m.channel, 1);
  ASSERT_EQ(m.notes.size(), 3u);
  EXPECT_EQ(Pitches(m), (std::vector<int>{55, 48, 60}));
  EXPECT_EQ(m.notes[1].startMs, 500u);
  EXPECT_EQ(m.notes[1].endMs, 1000u);
  EXPECT_EQ(m.notes[2].endMs, 1500u);
  EXPECT_TRUE(score::ReadMelody(song, 9).empty());
}

// A backing that is no MIDI file is told by its first bytes: a WAV far
// larger than the memory the reader may still take has no melody.
TEST_F(Melodies, ABackingLargerThanMemoryIsToldByItsFirstBytes) {
  const std::string wav = write("backing.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
  std::filesystem::resize_file(wav, std::uintmax_t(1) << 30);  // sparse: no room on the disk
  EXPECT_EXIT(
      {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlim_t wanted = AddressSpaceBytes() + (256u << 20);
        if (limit.rlim_max == RLIM_INFINITY || wanted < limit.rlim_max) limit.rlim_cur = wanted;
        setrlimit(RLIMIT_AS, &limit);
        std::exit(score::ReadMelody(wav).empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
