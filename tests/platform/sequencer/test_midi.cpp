// MIDI accompaniment: lengths from the file's tempo map, the position that
// reaches the length exactly, the synthesizer's sound on the card's "SW
// Synth" line at the notes' frames, and the transport (pause, stop, seek).
#include <algorithm>

#include "seqtest.h"

using namespace seqtest;

namespace {

class Midi : public SeqTest {
 protected:
  // Opens a file made of `tracks` and waits until its instruments are in.
  MCIDEVICEID OpenSong(int format, std::uint16_t division, const std::vector<Track>& tracks) {
    MCIDEVICEID id = 0;
    EXPECT_EQ(Open(Write(dir, "song.mid", Smf(format, division, tracks)), id), 0u);
    EXPECT_TRUE(sequencer::WaitDevicesSettled(30000));
    return id;
  }
  // First frame of `tap` from frame `from` on whose sample is not silent, or -1.
  static long FirstSound(const std::vector<float>& tap, long from = 0) {
    for (std::size_t i = std::size_t(2 * from); i < tap.size(); ++i)
      if (std::fabs(tap[i]) > 1e-6f) return long(i / 2);
    return -1;
  }
};

TEST_F(Midi, LengthFollowsEveryTempoChangeOfType0And1AndSmpteFiles) {
  // Type 0: three tempos, notes between them.
  Track t0;
  t0.tempo(0, 600000).note(0, 480).tempo(480, 300000).note(480, 960, 64).tempo(1200, 1000000).note(1200, 1500);
  t0.end(1600);
  // Type 1: the tempo map alone in the first track, notes in the second.
  Track map, notes;
  map.tempo(0, 400000).tempo(960, 750000).end(960);
  notes.at(0, {0xC0, 24}).note(0, 480).note(960, 2000, 67).end(2100);
  // 100 ms: one note at 120 bpm, 96 ticks per quarter = 19.2 ticks.
  Track shortTrack;
  shortTrack.note(0, 19).end(19);

  struct Case {
    int format;
    std::uint16_t division;
    std::vector<Track> tracks;
  } cases[] = {{0, 480, {t0}}, {1, 240, {map, notes}}, {0, 96, {shortTrack}}};
  for (const Case& c : cases) {
    const MCIDEVICEID id = OpenSong(c.format, c.division, c.tracks);
    const double expected = ExpectedSeconds(c.division, c.tracks) * 1000.0;
    EXPECT_NEAR(double(Status(id, MCI_STATUS_LENGTH)), expected, 1.0) << "format " << c.format;
    EXPECT_EQ(Simple(id, MCI_CLOSE), 0u);
  }

  // SMPTE: 25 frames per second, 40 ticks per frame: 1000 ticks per second.
  Track smpte;
  smpte.tempo(0, 250000).note(0, 1234).end(2345);  // tempo changes do not count in SMPTE time
  MCIDEVICEID id = OpenSong(0, std::uint16_t((std::uint8_t(-25) << 8) | 40), {smpte});
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 2345u);
}

TEST_F(Midi, PlaysToTheEndWherePositionEqualsLengthAndTheModeIsStopped) {
  Track t;
  t.tempo(0, 500000).note(0, 240).note(240, 480, 62).end(480);  // 0.5 s
  const MCIDEVICEID id = OpenSong(0, 480, {t});
  const DWORD length = Status(id, MCI_STATUS_LENGTH);
  ASSERT_EQ(length, 500u);
  std::vector<WPARAM> notices;
  HWND wnd = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == MM_MCINOTIFY) notices.push_back(w);
    return 0;
  });
  ASSERT_EQ(Play(id, wnd), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  DWORD last = 0;
  for (int i = 0; i < 49; ++i) {  // 490 ms: not there yet
    soundcard::AdvanceAndPump(441);
    const DWORD pos = Status(id, MCI_STATUS_POSITION);
    EXPECT_GE(pos, last);
    EXPECT_LT(pos, length);
    last = pos;
  }
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  soundcard::AdvanceAndPump(441);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  soundcard::AdvanceAndPump(4410);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);
  EXPECT_EQ(notices, std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
  DeallocateHWnd(wnd);
}

TEST_F(Midi, TheSynthLineIsSilentBeforeTheFirstNoteAndSoundsWithin64SamplesOfIt) {
  Track t;
  t.at(0, {0xC0, 0}).note(240, 960).end(1000);  // first note at 250 ms
  const MCIDEVICEID id = OpenSong(0, 480, {t});
  // Earlier songs' reverb rings on for a while: wait for silence.
  for (int p = 0; p < 1000; ++p) {
    soundcard::EnableMixTap(soundcard::Mix::Playback, 441);
    soundcard::Advance(441);
    const std::vector<float> tap = soundcard::MixTap(soundcard::Mix::Playback);
    if (!tap.empty() && FirstSound(tap) < 0) break;
  }
  soundcard::EnableMixTap(soundcard::Mix::Playback, 44100);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 44100);
  soundcard::Advance(441);  // the taps start with the next period
  const std::uint64_t start = soundcard::ClockFrames();
  ASSERT_EQ(Play(id), 0u);
  soundcard::Advance(44100 / 2);
  const std::uint64_t noteFrame = 11025;  // 250 ms
  for (auto mix : {soundcard::Mix::Playback, soundcard::Mix::Recording}) {
    const std::vector<float> tap = soundcard::MixTap(mix);
    const long offset = long(start - soundcard::MixTapStartFrame(mix));
    const long first = FirstSound(tap, offset) - offset;
    EXPECT_GE(first, long(noteFrame)) << "sound before the note";
    EXPECT_LE(first, long(noteFrame) + 64) << "the note came late";
  }
}

TEST_F(Midi, PauseContinuesStopAndSeekReturnToTheStartSecondOpenIsRefusedWhileOneIsOpen) {
  Track t;
  t.note(0, 1920).end(1920);  // 2 s
  const MCIDEVICEID id = OpenSong(0, 480, {t});
  ASSERT_EQ(Play(id), 0u);
  soundcard::Advance(44100);
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);  // pause: the position stays
  const DWORD paused = Status(id, MCI_STATUS_POSITION);
  EXPECT_NEAR(double(paused), 1000.0, 10.0);
  soundcard::Advance(44100);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), paused);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  ASSERT_EQ(Play(id), 0u);
  soundcard::Advance(22050);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), paused + 500.0, 10.0);
  // Stop, then seek to 0: the next play starts from the beginning.
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  ASSERT_EQ(SeekTo(id, 0), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
  ASSERT_EQ(Play(id), 0u);
  soundcard::Advance(4410);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 100.0, 10.0);
  EXPECT_EQ(SeekTo(id, 5000), MCIERR_OUTOFRANGE);

  // The synthesizer plays one song: a second sequencer waits for the first
  // to close.
  MCIDEVICEID second = 0;
  EXPECT_EQ(Open(Write(dir, "other.mid", Smf(0, 480, {t})), second), MCIERR_SEQ_PORT_INUSE);
  ASSERT_EQ(Simple(id, MCI_CLOSE), 0u);
  EXPECT_EQ(Open(Write(dir, "other.mid", Smf(0, 480, {t})), second), 0u);
  EXPECT_EQ(Status(second, MCI_STATUS_LENGTH), 2000u);
}

}  // namespace
