#include <gtest/gtest.h>

#include <thread>

#include "lyrics/readlyrics.h"
#include "score/session.h"
#include "tests/score/score_fixture.h"

using namespace scoretest;

namespace {

class Session : public ScoreFiles {};

}  // namespace

// A take scored live, in the recorder's buffers of 16-bit stereo, ends with
// the score of its WAV file scored afterwards; a snapshot on the way has
// scored what was pushed so far.
TEST_F(Session, FinishEqualsTheScoreOfTheFile) {
  const std::string song = write("song.kar", TestSong(true));
  score::Melody melody = score::ReadMelody(song);
  const std::vector<score::Span> lines = score::LinesOf(lyrics::ReadLyrics(song), melody);
  const std::string take = writeWav("take.wav", Sing({-12}), 2);

  unsigned rate = 0;
  const std::vector<score::PitchPoint> points = score::PitchOfFile(take, rate);
  const score::Timeline timeline(rate, 0, 100);
  const score::Result offline = score::Score(melody, lines, points, timeline, score::Difficulty::Hard);

  std::vector<std::uint8_t> pcm;
  {
    SF_INFO info{};
    SNDFILE* f = sf_open(take.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> s(std::size_t(info.frames) * 2);
    sf_readf_short(f, s.data(), info.frames);
    sf_close(f);
    for (short v : s) pcm.insert(pcm.end(), {std::uint8_t(v & 0xFF), std::uint8_t(std::uint16_t(v) >> 8)});
  }
  score::ScoreSession session(melody, lines, score::Difficulty::Hard, rate);
  EXPECT_EQ(session.Snapshot().score, 0);
  session.SetTimeline(timeline);
  constexpr std::size_t kBuffer = 3048;
  const std::size_t half = pcm.size() / 2 / kBuffer * kBuffer;
  for (std::size_t at = 0; at < half; at += kBuffer) session.PushPcm(pcm.data() + at, kBuffer, 2, 16);
  // The first half of the song sung: about half the score, once analysed.
  score::Result partial;
  for (int i = 0; i < 500 && partial.points.size() < half / 4 / 512 - 8; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    partial = session.Snapshot();
  }
  EXPECT_GT(partial.score, 3000);
  EXPECT_LT(partial.score, 7000);
  for (std::size_t at = half; at < pcm.size(); at += kBuffer)
    session.PushPcm(pcm.data() + at, std::min(kBuffer, pcm.size() - at), 2, 16);

  const score::Result live = session.Finish();
  EXPECT_GE(offline.score, 9000);
  EXPECT_EQ(live.score, offline.score);
  EXPECT_EQ(live.noteHit, offline.noteHit);
  ASSERT_EQ(live.points.size(), offline.points.size());
  for (std::size_t i = 0; i < live.points.size(); ++i) ASSERT_EQ(live.points[i].midi, offline.points[i].midi) << i;
  EXPECT_EQ(score::ScoreJson(live), score::ScoreJson(offline));
}
