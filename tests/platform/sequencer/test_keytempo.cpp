// The singer's key and tempo on a MIDI song, heard on the card's playback
// mix: the pitch of a note measured in the rendered sound, the drums left
// alone, lengths and positions at another tempo, a key change while a note
// is held, and a note played after a seek as the song set its channel.
#include <algorithm>
#include <functional>
#include <numbers>

#include "seqtest.h"

using namespace seqtest;

namespace {

constexpr double kRate = 44100.0;

class KeyAndTempo : public SeqTest {
 protected:
  MCIDEVICEID OpenSong(const std::vector<Track>& tracks) {
    MCIDEVICEID id = 0;
    EXPECT_EQ(Open(Write(dir, "song.mid", Smf(tracks.size() > 1 ? 1 : 0, 480, tracks)), id), 0u);
    EXPECT_TRUE(sequencer::WaitDevicesSettled(30000));
    return id;
  }
  static void SetKeyTempo(MCIDEVICEID id, int key, int tempo) {
    ASSERT_TRUE(sequencer::SetKeyTempo(id, sequencer::KeyTempo{key, tempo}));
  }
  // Runs the card until an earlier song's sound has died away.
  static void WaitForSilence() {
    for (int p = 0; p < 1000; ++p) {
      soundcard::EnableMixTap(soundcard::Mix::Playback, 441);
      soundcard::Advance(441);
      const std::vector<float> tap = soundcard::MixTap(soundcard::Mix::Playback);
      if (!tap.empty() && std::all_of(tap.begin(), tap.end(), [](float v) { return std::fabs(v) < 1e-6f; })) break;
    }
    soundcard::EnableMixTap(soundcard::Mix::Playback, 0);
  }
  // Plays from the start (or `fromMs`) for `seconds`, calling `at(second)`
  // before each tenth of a second; the playback mix from the play on, as
  // mono.
  static std::vector<double> Record(MCIDEVICEID id, double seconds,
                                    const std::function<void(double)>& at = [](double) {}, DWORD fromMs = 0) {
    WaitForSilence();
    EXPECT_EQ(SeekTo(id, fromMs), 0u);
    EXPECT_TRUE(sequencer::WaitDevicesSettled(10000));
    const auto frames = std::size_t(seconds * kRate);
    soundcard::EnableMixTap(soundcard::Mix::Playback, frames + 4410);
    soundcard::Advance(441);  // the tap starts with the next period
    const std::uint64_t start = soundcard::ClockFrames();
    EXPECT_EQ(Play(id), 0u);
    for (std::size_t done = 0; done < frames; done += 4410) {
      at(double(done) / kRate);
      soundcard::AdvanceAndPump(4410);
    }
    const std::vector<float> tap = soundcard::MixTap(soundcard::Mix::Playback);
    const auto offset = std::size_t(start - soundcard::MixTapStartFrame(soundcard::Mix::Playback));
    std::vector<double> mono;
    for (std::size_t i = offset; i < offset + frames && 2 * i + 1 < tap.size(); ++i)
      mono.push_back(0.5 * (double(tap[2 * i]) + tap[2 * i + 1]));
    EXPECT_EQ(Simple(id, MCI_STOP), 0u);
    return mono;
  }
  static std::vector<double> Segment(const std::vector<double>& s, double from, double to) {
    const auto a = std::min(s.size(), std::size_t(from * kRate)), b = std::min(s.size(), std::size_t(to * kRate));
    return std::vector<double>(s.begin() + std::ptrdiff_t(a), s.begin() + std::ptrdiff_t(b));
  }
  // Power of `hz` in a Hann-windowed segment (Goertzel).
  static double Power(const std::vector<double>& s, double hz) {
    const double w = 2 * std::numbers::pi * hz / kRate, coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(s.size()));
      const double s0 = s[i] * hann + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
  }
  // The loudest frequency between 100 Hz and 2 kHz, to half a hertz.
  static double PeakHz(const std::vector<double>& s) {
    double best = 0, bestHz = 0;
    for (double hz = 100; hz <= 2000; hz += 0.5) {
      const double p = Power(s, hz);
      if (p > best) best = p, bestHz = hz;
    }
    return bestHz;
  }
  static double Rms(const std::vector<double>& s) {
    double sum = 0;
    for (double v : s) sum += v * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
  }
};

TEST_F(KeyAndTempo, AnOctaveUpPlaysA4At880HzAndLeavesTheDrumChannelAndADrumKitBankAsTheyWere) {
  Track t;
  t.at(0, {0xC0, 73});                               // flute on channel 1
  t.at(0, {0xB3, 0, 127}).at(0, {0xC3, 0});          // channel 4: the XG drum kit bank
  t.note(0, 240, 38, 9);                             // snare on channel 10, 0 to 0.25 s
  t.note(480, 720, 38, 3);                           // the kit's note 38, 0.5 to 0.75 s
  t.note(960, 1920, 69, 0);                          // A4, 1 to 2 s
  t.end(2400);
  const MCIDEVICEID id = OpenSong({t});
  const std::vector<double> written = Record(id, 2.2);
  SetKeyTempo(id, 12, 100);
  const std::vector<double> up = Record(id, 2.2);
  ASSERT_EQ(up.size(), written.size());

  EXPECT_NEAR(PeakHz(Segment(written, 1.2, 1.8)), 440.0, 2.0);
  EXPECT_NEAR(PeakHz(Segment(up, 1.2, 1.8)), 880.0, 4.4);
  for (auto [from, to] : {std::pair(0.0, 0.45), std::pair(0.5, 0.95)}) {
    const std::vector<double> a = Segment(written, from, to), b = Segment(up, from, to);
    std::vector<double> diff(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) diff[i] = a[i] - b[i];
    ASSERT_GT(Rms(a), 1e-3) << "silent at " << from << " s";
    EXPECT_LT(Rms(diff), 0.05 * Rms(a)) << "the drum at " << from << " s changed";
  }
}

TEST_F(KeyAndTempo, HalfTempoDoublesLengthPositionAndEndAndAChangeWhilePlayingKeepsTheSongPosition) {
  Track t;
  t.note(0, 960, 60).end(960);  // 1 s at 120 bpm
  const MCIDEVICEID id = OpenSong({t});
  ASSERT_EQ(Status(id, MCI_STATUS_LENGTH), 1000u);
  SetKeyTempo(id, 0, 50);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 2000u);

  std::uint64_t start = soundcard::ClockFrames(), end = 0;
  ASSERT_EQ(Play(id), 0u);
  soundcard::AdvanceAndPump(44100);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 1000.0, 10.0);
  ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
  EXPECT_EQ(end, start + 88200);
  soundcard::AdvanceAndPump(88200 - 44100 - 441);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  soundcard::AdvanceAndPump(441);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 2000u);

  // Half way through at the written tempo, then twice as fast: the heard
  // position halves at once and the rest takes a quarter of a second.
  ASSERT_EQ(SeekTo(id, 0), 0u);
  SetKeyTempo(id, 0, 100);
  ASSERT_EQ(Play(id), 0u);
  soundcard::AdvanceAndPump(22050);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 500.0, 10.0);
  SetKeyTempo(id, 0, 200);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 500u);
  EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 250.0, 10.0);
  start = soundcard::ClockFrames();
  soundcard::AdvanceAndPump(441);
  ASSERT_TRUE(sequencer::AccompanimentEnd(id, end));
  EXPECT_NEAR(double(end - start), 11025.0, 441.0);
  std::uint64_t played = 441;
  while (Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY && played < 44100) {
    soundcard::AdvanceAndPump(441);
    played += 441;
  }
  EXPECT_NEAR(double(played), 11025.0, 441.0);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 500u);
}

TEST_F(KeyAndTempo, AKeyChangeDuringAHeldNoteEndsItAndLeavesNothingSoundingAfterTheSongsReleases) {
  Track t;  // ticks in order
  t.at(0, {0xC0, 73}).at(0, {0x90, 69, 100});          // A4, held from 0 to 2 s
  t.at(0, {0xC1, 73}).at(0, {0xB1, 64, 127});          // channel 2: the sustain pedal down,
  t.at(0, {0x91, 64, 100}).at(240, {0x81, 64, 0});     // E4 struck and released: the pedal holds it
  t.at(960, {0x90, 72, 100}).at(1440, {0x80, 72, 0});  // C5, 1 to 1.5 s: C6 after the change
  t.at(1920, {0x80, 69, 0}).at(1920, {0xB1, 64, 0}).end(3840);  // 4 s
  const MCIDEVICEID id = OpenSong({t});
  const std::vector<double> s = Record(id, 3.9, [&](double second) {
    if (std::fabs(second - 0.5) < 0.05) SetKeyTempo(id, 12, 100);
  });
  const std::vector<double> c6 = Segment(s, 1.2, 1.45);
  EXPECT_NEAR(PeakHz(c6), 1046.5, 10.0);
  // The held A4 neither rings on at its old pitch nor sounds again an
  // octave up.
  const double peak = Power(c6, 1046.5);
  EXPECT_LT(Power(c6, 440.0), 0.01 * peak);
  EXPECT_LT(Power(c6, 880.0), 0.01 * peak);
  // Nor does the note the pedal holds.
  EXPECT_LT(Power(c6, 329.63), 0.01 * peak);
  EXPECT_LT(Power(c6, 659.26), 0.01 * peak);
  // Every note has been released by 2 s.
  EXPECT_LT(Rms(Segment(s, 3.0, 3.9)), 0.01 * Rms(c6));
}

TEST_F(KeyAndTempo, ANoteAfterASeekSoundsWithTheProgramVolumeBendRangeAndBendTheSongSetBeforeIt) {
  Track t;
  t.at(0, {0xB0, 0, 1}).at(0, {0xC0, 73}).at(0, {0xB0, 0, 0});  // a flute, chosen from bank 1
  t.at(0, {0xB0, 7, 20});                                          // volume, raised later
  t.at(0, {0xB0, 101, 0}).at(0, {0xB0, 100, 0}).at(0, {0xB0, 6, 12});  // bend range: an octave
  t.at(0, {0xB0, 101, 127}).at(0, {0xB0, 100, 127});                  // no parameter selected
  t.at(240, {0xE0, 0x00, 0x60});                                       // half way up: +6 semitones
  t.at(480, {0xB0, 7, 50});
  t.note(960, 1920, 69, 0);  // A4, 1 to 2 s
  t.end(2400);
  const MCIDEVICEID id = OpenSong({t});
  // The seek first, on channels as the song's opening left them.
  const std::vector<double> sought = Record(id, 1.45, [](double) {}, 750);
  const std::vector<double> whole = Record(id, 2.2);

  // The note starts at 1 s in the one, at 0.25 s in the other.
  std::vector<double> a = Segment(whole, 1.05, 1.9), b = Segment(sought, 0.3, 1.15);
  a.resize(std::min(a.size(), b.size()));
  b.resize(a.size());
  EXPECT_NEAR(PeakHz(a), 622.25, 3.0);
  EXPECT_NEAR(PeakHz(b), 622.25, 3.0);
  std::vector<double> diff(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) diff[i] = a[i] - b[i];
  ASSERT_GT(Rms(a), 1e-3);
  // The same instrument at the same level (the chorus's sweep, which runs
  // on whatever the synthesizer renders, differs a little).
  EXPECT_NEAR(Rms(b), Rms(a), 0.1 * Rms(a));
  EXPECT_LT(Rms(diff), 0.3 * Rms(a));
}

}  // namespace
