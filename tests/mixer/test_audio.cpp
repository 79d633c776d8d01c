// Mixer line access: the scan, the lists, reading and writing volume and
// mute with their partial deliveries, change notices, and the recorder's and
// player's buffers.
#include "mixer/Audio.h"
#include "mixer_fixture.h"

using namespace mixtest;

namespace {

class AudioTest : public MixerTest {};

TEST_F(AudioTest, TheDefaultMixerListsItsDestinationsAndLinesByPosition) {
  TAudio audio;
  TMixerSettings& m = audio.Mixer();
  ASSERT_TRUE(m.Opened());
  EXPECT_EQ(m.Lines()->name, "Tunelark Mixer");
  EXPECT_EQ(m.Lines()->flags, 0);
  EXPECT_EQ(m.GetDestinations(), (QStringList{"Speakers", "Recording"}));
  EXPECT_EQ(m.GetLines(0), (QStringList{"Speakers", "Wave Out", "SW Synth", "Microphone"}));
  EXPECT_EQ(m.GetLines(1), (QStringList{"Recording", "Microphone", "SW Synth", "Wave Out"}));
  EXPECT_TRUE(m.GetLines(-1).isEmpty());
  EXPECT_TRUE(m.GetLines(2).isEmpty());

  // The speakers' microphone is the monitor, muted out of the box.
  std::uint8_t flags = 0xFF;
  bool mute = false;
  std::uint16_t left = 1, right = 1;
  ASSERT_TRUE(m.GetVolume(0, 3, flags, mute, right, left));
  EXPECT_EQ(flags, 0);
  EXPECT_TRUE(mute);
  EXPECT_EQ(left, 65535);
  EXPECT_EQ(right, 65535);
  EXPECT_TRUE(audio.ErrorMessage.empty());
  for (const TMixDetails* r = m.Lines()->next; r; r = r->next) {
    EXPECT_NE(r->meterControl, kNoMixControl) << r->name;
    EXPECT_EQ(r->meterChannels, 2);
    EXPECT_EQ(r->speakers, r->destination == 0) << r->name;
  }
}

TEST_F(AudioTest, ListPositionsEqualLineNumbersAndReadsDeliverAsFarAsTheyGot) {
  Install(TwoDestinations());
  TAudio audio;
  TMixerSettings& m = audio.Mixer();
  ASSERT_TRUE(m.Opened());
  EXPECT_EQ(m.GetDestinations(), (QStringList{"Speakers", "Recording"}));
  // "Aux" has no control: an empty string that keeps its place.
  EXPECT_EQ(m.GetLines(0), (QStringList{"Speakers", "Wave Out", "Mono In", ""}));
  EXPECT_EQ(m.GetLines(1), (QStringList{"Recording", "Microphone", "Line In"}));

  std::uint8_t flags = 0xFF;
  bool mute = true;
  std::uint16_t left = 7, right = 7;
  // The mono line has a volume but no mute: flags, left and right arrive,
  // the mute stays as it was.
  Set(ControlOf(SourceLineId(0, 1), MIXERCONTROL_CONTROLTYPE_VOLUME), {1234});
  EXPECT_FALSE(m.GetVolume(0, 2, flags, mute, right, left));
  EXPECT_EQ(flags, kMixNoMute | kMixMonoVolume);
  EXPECT_EQ(left, 1234);
  EXPECT_EQ(right, 1234);
  EXPECT_TRUE(mute);
  EXPECT_EQ(audio.ErrorMessage, "Mute GetControlError in Mixer");

  // The line without controls fails at the volume with only its flags.
  flags = 0;
  left = right = 7;
  audio.ErrorMessage.clear();
  EXPECT_FALSE(m.GetVolume(0, 3, flags, mute, right, left));
  EXPECT_EQ(flags, kMixNoMute);
  EXPECT_EQ(left, 7);
  EXPECT_EQ(audio.ErrorMessage, "Volume GetControlError in Mixer");

  // (-1, -1), asked when nothing is selected, finds the root record.
  flags = 0xFF;
  audio.ErrorMessage.clear();
  EXPECT_FALSE(m.GetVolume(-1, -1, flags, mute, right, left));
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(left, 7);
  EXPECT_EQ(audio.ErrorMessage, "Volume GetControlError in Mixer");

  // A line that does not exist writes nothing at all.
  flags = 0x33;
  EXPECT_FALSE(m.GetVolume(1, 3, flags, mute, right, left));
  EXPECT_EQ(flags, 0x33);
}

TEST_F(AudioTest, SetVolumeWritesLeftRightAndMuteAndOnlyLeftOnAMonoLine) {
  Install(TwoDestinations());
  TAudio audio;
  TMixerSettings& m = audio.Mixer();
  const DWORD waveVol = ControlOf(SourceLineId(0, 0), MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD waveMute = ControlOf(SourceLineId(0, 0), MIXERCONTROL_CONTROLTYPE_MUTE);
  ASSERT_TRUE(m.SetVolume(0, 1, 1000, 2000, true));
  EXPECT_EQ(Get(waveVol, 2), (std::vector<LONG>{1000, 2000}));
  EXPECT_EQ(Get(waveMute, 1), (std::vector<LONG>{1}));

  const DWORD monoVol = ControlOf(SourceLineId(0, 1), MIXERCONTROL_CONTROLTYPE_VOLUME);
  ASSERT_TRUE(m.SetVolume(0, 2, 3000, 9000, true));
  EXPECT_EQ(Get(monoVol, 1), (std::vector<LONG>{3000}));
  // A line without controls has nothing to write and succeeds.
  EXPECT_TRUE(m.SetVolume(0, 3, 1, 1, false));
  EXPECT_FALSE(m.SetVolume(4, 0, 1, 1, false));
  EXPECT_TRUE(audio.ErrorMessage.empty());

  std::uint8_t flags = 0;
  bool mute = false;
  std::uint16_t left = 0, right = 0;
  ASSERT_TRUE(m.GetVolume(0, 1, flags, mute, right, left));
  EXPECT_EQ(left, 1000);
  EXPECT_EQ(right, 2000);
  EXPECT_TRUE(mute);
}

TEST_F(AudioTest, WithoutAMixerEverythingIsEmptyOrFailsWithoutRaising) {
  Install({});
  TAudio audio;
  TMixerSettings& m = audio.Mixer();
  EXPECT_FALSE(m.Opened());
  EXPECT_EQ(m.Handle(), nullptr);
  EXPECT_TRUE(m.GetDestinations().isEmpty());
  EXPECT_TRUE(m.GetLines(0).isEmpty());
  std::uint8_t flags = 9;
  bool mute = false;
  std::uint16_t left = 0, right = 0;
  EXPECT_FALSE(m.GetVolume(-1, -1, flags, mute, right, left));
  EXPECT_EQ(flags, 9);
  EXPECT_FALSE(m.SetVolume(0, 0, 1, 1, false));

  // A mixer without destinations: open but not usable.
  MixerDesc empty;
  Install({empty});
  TAudio second;
  EXPECT_FALSE(second.Mixer().Opened());
  EXPECT_NE(second.Mixer().Handle(), nullptr);
  EXPECT_TRUE(second.Mixer().GetDestinations().isEmpty());
}

TEST_F(AudioTest, AControlChangeIsReportedWithItsDestinationAndLine) {
  TAudio audio;
  std::vector<std::pair<int, int>> seen;
  audio.OnMixerChange = [&](QObject* sender, std::int16_t d, std::int16_t s) {
    EXPECT_EQ(sender, &audio);
    seen.emplace_back(d, s);
  };
  Set(ControlOf(SourceLineId(1, 1), MIXERCONTROL_CONTROLTYPE_MUTE), {1});
  Set(ControlOf(SourceLineId(0, 0), MIXERCONTROL_CONTROLTYPE_VOLUME), {100, 100});
  ProcessMessages();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 2}, {0, 1}}));
  // Without a handler the notices are simply dropped.
  audio.OnMixerChange = nullptr;
  Set(ControlOf(SourceLineId(0, 0), MIXERCONTROL_CONTROLTYPE_VOLUME), {200, 200});
  ProcessMessages();
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(AudioTest, OwnRecorderAndPlayerFollowTheirSettingsWithoutOpeningTheCard) {
  TAudio audio;
  EXPECT_EQ(audio.Version(), "4.1 (32bit)");
  audio.SetVersion("9");
  EXPECT_EQ(audio.Version(), "4.1 (32bit)");
  EXPECT_EQ(audio.AudioDeviceID(), -1);
  EXPECT_EQ(audio.MixerDeviceID(), 0);
  ASSERT_EQ(audio.Recorder().BufferCount(), 4);
  ASSERT_EQ(audio.Player().BufferCount(), 4);
  EXPECT_EQ(audio.Recorder().Header(0)->dwBufferLength, 8192u);  // 8-bit mono
  EXPECT_EQ(audio.Recorder().SecondBufferSize(0), 4096u);

  // The main window's stored values: changes on one apply to both.
  audio.Recorder().SetBitsPerSample(_16);
  audio.Player().SetChannels(Stereo);
  audio.Recorder().SetSampleRate(44100);
  audio.Recorder().SetNoSamples(2000);
  for (TWaveSettings* w : {static_cast<TWaveSettings*>(&audio.Recorder()), static_cast<TWaveSettings*>(&audio.Player())}) {
    ASSERT_NE(w->Format(), nullptr);
    EXPECT_EQ(w->Format()->wBitsPerSample, 16);
    EXPECT_EQ(w->Format()->nChannels, 2);
    EXPECT_EQ(w->Format()->nSamplesPerSec, 44100u);
    EXPECT_EQ(w->Format()->nAvgBytesPerSec, 176400u);
    EXPECT_FALSE(w->IsOpen());
  }
  EXPECT_EQ(audio.Recorder().Header(3)->dwBufferLength, 8000u);
  EXPECT_EQ(audio.Player().Header(3)->dwBufferLength, 8192u * 4);

  audio.SeparateCtrls = true;
  audio.Player().SetChannels(Mono);
  EXPECT_EQ(audio.Recorder().Format()->nChannels, 2);
  EXPECT_EQ(audio.Player().Format()->nChannels, 1);
  audio.SetAudioDeviceID(12);
  EXPECT_EQ(audio.AudioDeviceID(), -1);
  audio.SetAudioDeviceID(0);
  EXPECT_EQ(audio.AudioDeviceID(), 0);
}

}  // namespace
