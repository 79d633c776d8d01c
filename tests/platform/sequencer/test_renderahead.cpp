// The synthesizer renders ahead of the card: what the song reports (its
// position, its end on the card's clock, its mode and end notice) is what
// the card has played, not what has been rendered; a stop is heard at once
// and a play goes on from where the card stopped; a tempo change is heard
// after the audio already queued. The stepped clock keeps the real clocks'
// depth queued here, so every figure is exact.
#include "platform/sequencer/synth.h"
#include "seqtest.h"

using namespace seqtest;

namespace {

class RenderAhead : public SeqTest {
 protected:
  void SetUp() override {
    SeqTest::SetUp();
    sequencer::Synth::instance().SetSteppedAhead(kDepth);
  }
  void TearDown() override {
    sequencer::Synth::instance().SetSteppedAhead(0);
    SeqTest::TearDown();
  }
  static constexpr std::uint64_t kDepth = sequencer::Synth::kAheadFrames;
};

TEST_F(RenderAhead, PositionEndAndNoticeAreWhatTheCardPlayedAStopIsHeardAtOnceATempoChangeAfterTheQueue) {
  Track t;
  t.note(0, 480).note(480, 960, 64).note(960, 1440, 67).note(1440, 1920, 72).end(1920);  // 2 s
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Write(dir, "song.mid", Smf(0, 480, {t})), id), 0u);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  const sequencer::Synth& synth = sequencer::Synth::instance();
  const std::uint64_t length = 88200;
  const std::uint64_t underruns = synth.UnderrunFrames();
  std::vector<WPARAM> notices;
  HWND wnd = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == MM_MCINOTIFY) notices.push_back(w);
    return 0;
  });
  std::uint64_t end = 0;

  // A play is heard from the next period: the end is the length away.
  std::uint64_t start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id), 0u);
  soundcard::AdvanceAndPump(441);
  ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
  EXPECT_EQ(end, start + length);
  soundcard::AdvanceAndPump(22050 - 441);
  EXPECT_EQ(synth.PositionFrames(), 22050u) << "the played position, not the rendered one";

  // A stop keeps the played position; the next play goes on from it.
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  soundcard::AdvanceAndPump(44100);
  EXPECT_EQ(synth.PositionFrames(), 22050u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), DWORD(MCI_MODE_STOP));
  start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id, wnd), 0u);
  soundcard::AdvanceAndPump(441);
  ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
  EXPECT_EQ(end, start + length - 22050);

  // Half tempo from 1 s of the song on: the queued audio plays at the old
  // tempo first, and the end stays where that tempo puts it until the card
  // plays the first frame rendered at the new one, at most the depth
  // later; then the rest of the song takes twice as long.
  soundcard::AdvanceAndPump(22050 - 441);
  ASSERT_EQ(synth.PositionFrames(), 44100u);
  const std::uint64_t change = soundcard::ClockFrames();
  const std::uint64_t before = change + length - 44100;
  ASSERT_TRUE(sequencer::SetKeyTempo(id, sequencer::KeyTempo{0, 50}));
  do {
    soundcard::AdvanceAndPump(441);
    ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
    ASSERT_LE(soundcard::ClockFrames() - change, kDepth + 441) << "the change is not heard";
  } while (end == before);
  // Heard from `queued` card frames after the change on, in this period.
  const std::uint64_t queued = change + 2 * (length - 44100) - end;
  EXPECT_LE(queued, kDepth);
  EXPECT_LE(soundcard::ClockFrames() - 441 - change, queued);
  EXPECT_LT(queued, soundcard::ClockFrames() - change);
  EXPECT_EQ(synth.PositionFrames(), 44100 + queued + (soundcard::ClockFrames() - change - queued) / 2);

  // Playing, with no notice, until the card has played the last frame,
  // although the renderer had the end a queue's depth before.
  while (soundcard::ClockFrames() + 441 < end) {
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), DWORD(MCI_MODE_PLAY));
    ASSERT_TRUE(notices.empty()) << "at card frame " << soundcard::ClockFrames() << ", end " << end;
    soundcard::AdvanceAndPump(441);
  }
  soundcard::AdvanceAndPump(441);
  EXPECT_EQ(notices, std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), DWORD(MCI_MODE_STOP));
  EXPECT_EQ(synth.PositionFrames(), length);
  std::uint64_t after = 0;
  ASSERT_TRUE(sequencer::AccompanimentEnd(id, after));
  EXPECT_EQ(after, end) << "the end stays where it was heard";
  EXPECT_EQ(synth.UnderrunFrames(), underruns) << "the stepped card waits for its audio";
  DeallocateHWnd(wnd);
}

// A cue renders the stopped song's opening without a sound; the play then
// starts it at the next period, and a stop or a seek in between voids it:
// the song goes on from where that command put it.
TEST_F(RenderAhead, ACuedOpeningSoundsOnlyOnThePlayAndAnyOtherCommandVoidsIt) {
  Track t;
  t.note(0, 1920).end(1920);  // one note held for 2 s
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Write(dir, "held.mid", Smf(0, 480, {t})), id), 0u);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  const sequencer::Synth& synth = sequencer::Synth::instance();
  const std::uint64_t length = 88200;
  const auto loudest = [](std::uint64_t frames) {
    soundcard::EnableMixTap(soundcard::Mix::Playback, std::uint32_t(frames));
    soundcard::AdvanceAndPump(frames);
    float peak = 0;
    for (float v : soundcard::MixTap(soundcard::Mix::Playback)) peak = std::max(peak, std::fabs(v));
    return peak;
  };
  // Played from the song's frame `from`: the end is the rest of the song
  // away from the next period.
  const auto expectEnd = [&](std::uint64_t start, std::uint64_t from) {
    std::uint64_t end = 0;
    ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
    EXPECT_EQ(end, start + length - from);
  };

  ASSERT_TRUE(sequencer::Cue(id));
  EXPECT_EQ(loudest(22050), 0.0f) << "a cue is not heard";
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), DWORD(MCI_MODE_STOP));
  EXPECT_EQ(synth.PositionFrames(), 0u);
  std::uint64_t start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id), 0u);
  EXPECT_GT(loudest(441), 0.01f) << "the note from the next period";
  expectEnd(start, 0);
  soundcard::AdvanceAndPump(44100 - 441);
  EXPECT_EQ(synth.PositionFrames(), 44100u) << "the song goes on from its opening";

  // Cued at 1 s, then sought to 1.5 s: played from 1.5 s.
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  ASSERT_TRUE(sequencer::Cue(id));
  ASSERT_EQ(SeekTo(id, 1500), 0u);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(10000));  // the worker gathers the channels there
  soundcard::AdvanceAndPump(441);
  EXPECT_EQ(synth.PositionFrames(), 66150u);
  start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id), 0u);
  soundcard::AdvanceAndPump(4410);
  expectEnd(start, 66150);

  // Cued, then stopped: played from where the card stopped.
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  const std::uint64_t stopped = synth.PositionFrames();
  ASSERT_TRUE(sequencer::Cue(id));
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  soundcard::AdvanceAndPump(441);
  EXPECT_EQ(synth.PositionFrames(), stopped);
  start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id), 0u);
  soundcard::AdvanceAndPump(441);
  expectEnd(start, stopped);
}

}  // namespace
