#include <gtest/gtest.h>

#include "lyrics/readlyrics.h"
#include "score/pitch.h"
#include "score/scorer.h"
#include "tests/score/score_fixture.h"

using namespace scoretest;

namespace {

class Scoring : public ScoreFiles {
 protected:
  // The score of a voice, through its WAV file, against the test song.
  int scoreOf(const std::vector<float>& voice, bool words, int key = 0, int tempo = 100,
              score::Difficulty difficulty = score::Difficulty::Normal) {
    const std::string song = write(words ? "song.kar" : "song.mid", TestSong(words));
    const score::Melody melody = score::ReadMelody(song);
    unsigned rate = 0;
    const std::vector<score::PitchPoint> points = score::PitchOfFile(writeWav("voice.wav", voice), rate);
    EXPECT_EQ(rate, kRate);
    const score::Result r = score::Score(melody, score::LinesOf(lyrics::ReadLyrics(song), melody), points,
                                         score::Timeline(rate, key, tempo), difficulty);
    return r.score;
  }
};

}  // namespace

// The expected range of each kind of singer, with the words' lines and
// with the melody's phrases for the bonus.
TEST_F(Scoring, VoicesScoreByTheirPitchWithAndWithoutWords) {
  for (bool words : {true, false}) {
    SCOPED_TRACE(words ? "with words" : "without words");
    const std::vector<float> sung = Sing({});
    EXPECT_GE(scoreOf(sung, words), 9000);
    EXPECT_GE(scoreOf(Sing({-12}), words), 9000);  // an octave low
    EXPECT_LE(scoreOf(Sing({3}), words), 2000);
    EXPECT_EQ(scoreOf(std::vector<float>(sung.size(), 0.0f), words), 0);
    EXPECT_LE(scoreOf(Noise(sung.size()), words), 1000);
  }
}

// A key moves the notes to sing; a tempo stretches the song under the
// voice; the difficulty sets how far off a note may be sung.
TEST_F(Scoring, KeyTempoAndDifficultyMoveTheTarget) {
  const std::vector<float> up = Sing({2});
  EXPECT_GE(scoreOf(up, true, 2), 9000);
  EXPECT_LE(scoreOf(up, true, 0), 2000);
  const std::vector<float> slow = Sing({0, 80});
  EXPECT_GE(scoreOf(slow, true, 0, 80), 9000);
  EXPECT_LE(scoreOf(slow, true, 0, 100), 5000);
  // With the vibrato: 1.1 to 1.7 semitones sharp, then 0.35 to 0.95.
  const std::vector<float> far = Sing({1.4}), near = Sing({0.65});
  EXPECT_GE(scoreOf(far, true, 0, 100, score::Difficulty::Easy), 9000);
  EXPECT_LE(scoreOf(far, true, 0, 100, score::Difficulty::Normal), 2000);
  EXPECT_GE(scoreOf(near, true, 0, 100, score::Difficulty::Normal), 9000);
  EXPECT_LE(scoreOf(near, true, 0, 100, score::Difficulty::Hard), 4000);
}

// Each line's points and bonus, and the file they are saved in.
TEST_F(Scoring, LinesCarryTheirPointsAndBonusIntoTheJson) {
  const std::string song = write("song.kar", TestSong(true));
  const score::Melody melody = score::ReadMelody(song);
  const std::vector<score::Span> lines = score::LinesOf(lyrics::ReadLyrics(song), melody);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, "How I wonder what you are");
  // The first line sung, the second out of tune: its notes' share without bonus.
  std::vector<float> half = Sing({});
  const std::vector<float> sharp = Sing({3});
  std::copy(sharp.begin() + 4 * kRate, sharp.end(), half.begin() + 4 * kRate);
  unsigned rate = 0;
  const std::vector<score::PitchPoint> points = score::PitchOfFile(writeWav("half.wav", half, 2), rate);
  const score::Result r =
      score::Score(melody, lines, points, score::Timeline(rate, 0, 100), score::Difficulty::Normal);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_GE(r.lines[0].onPitch, 0.9);
  EXPECT_NEAR(r.lines[0].points, 4500 + 500, 300);  // half the notes' length, half the bonus
  EXPECT_LT(r.lines[1].points, 100);
  EXPECT_NEAR(r.lines[0].points + r.lines[1].points, r.score, 1);
  const std::string json = score::ScoreJson(r);
  EXPECT_NE(json.find("\"score\":" + std::to_string(r.score)), std::string::npos) << json;
  EXPECT_NE(json.find("\"text\":\"Twinkle twinkle little star\""), std::string::npos) << json;
  // Points with one decimal, the part on pitch with two, words escaped.
  score::Result made;
  made.lines.push_back({{1000, 2500, "\"星\" \\"}, 0.987, 4809.44});
  EXPECT_EQ(score::ScoreJson(made),
            "{\"difficulty\":\"normal\",\"lines\":[{\"end_ms\":2500,\"on_pitch\":0.99,\"points\":4809.4,"
            "\"start_ms\":1000,\"text\":\"\\\"星\\\" \\\\\"}],\"score\":0}");
  EXPECT_EQ(score::ScoreFileName("a.b/take.WAV"), "a.b/take.score.json");
  EXPECT_EQ(score::ScoreFileName("take"), "take.score.json");
}
