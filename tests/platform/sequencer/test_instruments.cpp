// A song's instruments: everything the song selects is loaded before the
// card's thread renders it (the card's thread never reads the soundfont),
// and what is rendered is what FluidSynth renders from the same events when
// it loads each instrument as it is selected.
#include <fluidsynth.h>

#include "platform/sequencer/smf.h"
#include "platform/sequencer/synth.h"
#include "seqtest.h"

using namespace seqtest;

namespace {

const char* const kTimSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

class Instruments : public SeqTest {
 protected:
  // Instruments chosen every way a song chooses them: a program change
  // that no note plays (24, then 41 at once), a channel that plays its
  // default before its first program change (piano, then 56 later), a bank
  // the soundfont lacks (1: its bank 0 instrument plays), a drum kit the
  // soundfont lacks (its standard kit plays), and a program change after
  // the last note.
  static std::vector<Track> Song() {
    Track strings, piano, bank, drums, last;
    strings.at(0, {0xC0, 24}).at(0, {0xC0, 41}).note(0, 400, 60, 0).note(480, 900, 64, 0).note(1440, 1900, 67, 0);
    strings.end(1920);  // 2 s at 120 bpm
    piano.note(0, 300, 48, 3).note(480, 900, 52, 3).at(960, {0xC3, 56}).note(960, 1400, 55, 3).end(1920);
    bank.at(0, {0xB2, 0, 1}).at(240, {0xC2, 19}).note(480, 1400, 52, 2).end(1920);
    drums.at(0, {0xC9, 25}).note(0, 100, 36, 9).note(480, 580, 38, 9).note(960, 1060, 42, 9).end(1920);
    last.at(1900, {0xC4, 73}).end(1920);
    return {strings, piano, bank, drums, last};
  }
};

TEST_F(Instruments, TheCardsThreadNeverReadsTheSoundfontThroughPlaySeekAndReplay) {
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Write(dir, "song.mid", Smf(1, 480, Song())), id), 0u);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  const std::uint64_t before = sequencer::Synth::RenderFileReads();
  ASSERT_EQ(Play(id), 0u);
  Run(44100);
  ASSERT_EQ(Simple(id, MCI_STOP), 0u);
  ASSERT_EQ(SeekTo(id, 1200), 0u);  // a chase: the programs in force there
  ASSERT_EQ(Play(id), 0u);
  Run(44100);
  ASSERT_EQ(SeekTo(id, 0), 0u);
  ASSERT_EQ(Play(id), 0u);
  Run(3 * 44100);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  EXPECT_EQ(sequencer::Synth::RenderFileReads(), before);
}

// The same events, at the same frames and with FluidSynth's blocks in the
// same place (the song's first note on a block's first frame), through a
// plain synthesizer that loads an instrument's samples when a program
// change selects it, as the program loaded them before it pinned them
// ahead. (With every sample loaded with the soundfont, FluidSynth 2.3
// renders this soundfont's snare differently after its release, whoever
// drives it.)
std::vector<float> RenderLoadingOnSelection(const sequencer::Song& song, std::size_t frames) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", 44100.0);
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings, "synth.threadsafe-api", 0);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_settings_setnum(settings, "synth.gain", 0.4);
  fluid_synth_t* synth = new_fluid_synth(settings);
  EXPECT_NE(fluid_synth_sfload(synth, kTimSoundfont, 1), FLUID_FAILED);
  for (int c = 0; c < 16; ++c) {
    fluid_synth_cc(synth, c, 121, 0);
    fluid_synth_cc(synth, c, 0, 0);
    fluid_synth_cc(synth, c, 7, 100);
    fluid_synth_cc(synth, c, 10, 64);
    fluid_synth_cc(synth, c, 11, 127);
    fluid_synth_pitch_bend(synth, c, 8192);
    fluid_synth_program_change(synth, c, 0);
  }
  std::uint64_t firstNote = 0;
  for (const auto& e : song.events)
    if ((e.status & 0xF0) == 0x90 && e.data2 > 0) {
      firstNote = e.frame;
      break;
    }
  std::vector<float> skip(2 * 64);
  const int align = int((64 - firstNote % 64) % 64);
  if (align > 0) fluid_synth_write_float(synth, align, skip.data(), 0, 2, skip.data(), 1, 2);
  std::vector<float> out(2 * frames);
  std::size_t next = 0, done = 0;
  while (done < frames) {
    for (; next < song.events.size() && song.events[next].frame <= done; ++next) {
      const auto& e = song.events[next];
      const int c = e.status & 0x0F;
      switch (e.status & 0xF0) {
        case 0x80: fluid_synth_noteoff(synth, c, e.data1); break;
        case 0x90: fluid_synth_noteon(synth, c, e.data1, e.data2); break;
        case 0xB0: fluid_synth_cc(synth, c, e.data1, e.data2); break;
        case 0xC0: fluid_synth_program_change(synth, c, e.data1); break;
        default: break;
      }
    }
    std::size_t n = frames - done;
    if (next < song.events.size()) n = std::min<std::size_t>(n, song.events[next].frame - done);
    fluid_synth_write_float(synth, int(n), out.data() + 2 * done, 0, 2, out.data() + 2 * done, 1, 2);
    done += n;
  }
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return out;
}

TEST_F(Instruments, TheSongSoundsAsWithEachInstrumentLoadedWhenSelected) {
  const auto bytes = Smf(1, 480, Song());
  sequencer::Song song;
  ASSERT_EQ(sequencer::ParseSmf(bytes.data(), bytes.size(), song), sequencer::SmfResult::Ok);
  // The first song after the soundfont, as the command line plays it.
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(Write(dir, "song.mid", bytes), id), 0u);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  ASSERT_EQ(Play(id), 0u);
  // The synthesizer's own output, period by period, from the song's start.
  const std::size_t frames = std::size_t(song.lengthFrames);
  std::vector<float> rendered(2 * frames);
  for (std::size_t done = 0; done < frames; done += 441) {
    const auto n = std::uint32_t(std::min<std::size_t>(441, frames - done));
    sequencer::Synth::Render(&sequencer::Synth::instance(), rendered.data() + 2 * done, n);
  }
  const std::vector<float> expected = RenderLoadingOnSelection(song, frames);
  // The reverb's and the chorus's modulation run on from the synthesizer's
  // earlier (silent) periods, so the tails differ a little; an instrument
  // missing or replaced would differ by about as much as the sound itself.
  double error = 0, energy = 0;
  for (std::size_t i = 0; i < rendered.size(); ++i) {
    error += double(rendered[i] - expected[i]) * double(rendered[i] - expected[i]);
    energy += double(expected[i]) * double(expected[i]);
  }
  ASSERT_GT(energy, 1.0);
  EXPECT_LT(10.0 * std::log10(error / energy), -40.0);
}

}  // namespace
