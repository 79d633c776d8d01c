// The mixer: the default table through every query, volume and mute acting
// on what reaches each destination, change notices, custom tables.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "cardtest.h"
#include "platform/soundcard/pcm.h"
#include "platform/winmsg/winmsg.h"

using namespace cardtest;

namespace {

class Mixer : public CardTest {
 protected:
  void TearDown() override {
    if (mixer) mixerClose(mixer);
    CardTest::TearDown();
  }
  void Open(UINT id = 0) { ASSERT_EQ(mixerOpen(&mixer, id, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR); }

  MIXERLINE Line(DWORD flags, const std::function<void(MIXERLINE&)>& fill, MMRESULT* result = nullptr) {
    MIXERLINE ml{};
    ml.cbStruct = sizeof ml;
    fill(ml);
    const MMRESULT r = mixerGetLineInfo(mixer, &ml, flags | MIXER_OBJECTF_HMIXER);
    if (result)
      *result = r;
    else
      EXPECT_EQ(r, MMSYSERR_NOERROR);
    return ml;
  }
  MIXERCONTROL Control(DWORD lineId, DWORD type) {
    MIXERCONTROL mc{};
    MIXERLINECONTROLS lc{};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = lineId;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof mc;
    lc.pamxctrl = &mc;
    EXPECT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    return mc;
  }
  // Transfers values of `channels` channels, no items.
  MMRESULT Set(DWORD control, std::vector<LONG> values) {
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = DWORD(values.size());
    d.cbDetails = sizeof(LONG);
    d.paDetails = values.data();
    return mixerSetControlDetails(mixer, &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
  }
  std::vector<LONG> Get(DWORD control, DWORD channels, DWORD items = 0) {
    std::vector<LONG> values(channels * std::max<DWORD>(1, items), -7);
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = channels;
    d.cMultipleItems = items;
    d.cbDetails = sizeof(LONG);
    d.paDetails = values.data();
    EXPECT_EQ(mixerGetControlDetails(mixer, &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
              MMSYSERR_NOERROR);
    return values;
  }

  HMIXER mixer = nullptr;
};

TEST_F(Mixer, TheDefaultTableAnswersEveryLineQuery) {
  EXPECT_EQ(mixerGetNumDevs(), 1u);
  MIXERCAPS caps{};
  ASSERT_EQ(mixerGetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.cDestinations, 2u);
  EXPECT_EQ(mixerGetDevCaps(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  Open();

  const char* speakers[] = {"Wave Out", "SW Synth", "Microphone"};
  const char* recording[] = {"Microphone", "SW Synth", "Wave Out"};
  for (DWORD d = 0; d < 2; ++d) {
    MIXERLINE dest = Line(MIXER_GETLINEINFOF_DESTINATION, [&](MIXERLINE& m) { m.dwDestination = d; });
    EXPECT_STREQ(dest.szName, d == 0 ? "Speakers" : "Recording");
    EXPECT_EQ(dest.dwComponentType, d == 0 ? MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
                                           : MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(dest.cConnections, 3u);
    EXPECT_EQ(dest.cControls, 3u);
    EXPECT_EQ(dest.cChannels, 2u);
    EXPECT_FALSE(dest.fdwLine & MIXERLINE_LINEF_SOURCE);
    for (DWORD s = 0; s < 3; ++s) {
      MIXERLINE src = Line(MIXER_GETLINEINFOF_SOURCE, [&](MIXERLINE& m) {
        m.dwDestination = d;
        m.dwSource = s;
      });
      EXPECT_STREQ(src.szName, d == 0 ? speakers[s] : recording[s]);
      EXPECT_TRUE(src.fdwLine & MIXERLINE_LINEF_SOURCE);
      EXPECT_EQ(src.dwDestination, d);
      EXPECT_EQ(src.dwSource, s);
      MIXERLINE byId = Line(MIXER_GETLINEINFOF_LINEID, [&](MIXERLINE& m) { m.dwLineID = src.dwLineID; });
      EXPECT_STREQ(byId.szName, src.szName);
      EXPECT_EQ(byId.dwDestination, d);
    }
  }
  // By component type: the first such line, here the microphone monitor.
  MIXERLINE mic = Line(MIXER_GETLINEINFOF_COMPONENTTYPE,
                       [](MIXERLINE& m) { m.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE; });
  EXPECT_EQ(mic.dwDestination, 0u);
  EXPECT_EQ(mic.dwSource, 2u);
  // By target: the card's wave output device.
  WAVEOUTCAPS woc{};
  waveOutGetDevCapsA(0, &woc, sizeof woc);
  MIXERLINE wave = Line(MIXER_GETLINEINFOF_TARGETTYPE, [&](MIXERLINE& m) {
    m.Target.dwType = MIXERLINE_TARGETTYPE_WAVEOUT;
    m.Target.wMid = woc.wMid;
    m.Target.wPid = woc.wPid;
    m.Target.vDriverVersion = woc.vDriverVersion;
    std::strcpy(m.Target.szPname, woc.szPname);
  });
  EXPECT_STREQ(wave.szName, "Wave Out");

  MMRESULT r = 0;
  Line(MIXER_GETLINEINFOF_DESTINATION, [](MIXERLINE& m) { m.dwDestination = 2; }, &r);
  EXPECT_EQ(r, MIXERR_INVALLINE);
  Line(MIXER_GETLINEINFOF_COMPONENTTYPE,
       [](MIXERLINE& m) { m.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC; }, &r);
  EXPECT_EQ(r, MIXERR_INVALLINE);
  Line(9, [](MIXERLINE&) {}, &r);
  EXPECT_EQ(r, MMSYSERR_INVALFLAG);
}

TEST_F(Mixer, ControlsAreFoundAllByIdAndByTypeWithTheirDefaults) {
  Open();
  MIXERLINE monitor = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) { m.dwSource = 2; });
  std::vector<MIXERCONTROL> all(3);
  MIXERLINECONTROLS lc{};
  lc.cbStruct = sizeof lc;
  lc.dwLineID = monitor.dwLineID;
  lc.cControls = 3;
  lc.cbmxctrl = sizeof(MIXERCONTROL);
  lc.pamxctrl = all.data();
  ASSERT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ALL | MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  EXPECT_EQ(all[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_EQ(all[0].Bounds.s2.dwMaximum, 65535u);
  EXPECT_EQ(all[1].dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);
  EXPECT_EQ(all[2].dwControlType, MIXERCONTROL_CONTROLTYPE_PEAKMETER);
  lc.cControls = 2;
  EXPECT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ALL | MIXER_OBJECTF_HMIXER), MMSYSERR_INVALPARAM);

  MIXERCONTROL one{};
  lc.dwControlID = all[1].dwControlID;
  lc.dwLineID = 0;
  lc.cControls = 1;
  lc.pamxctrl = &one;
  ASSERT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ONEBYID | MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  EXPECT_EQ(lc.dwLineID, monitor.dwLineID);
  EXPECT_STREQ(one.szName, all[1].szName);
  lc.dwControlID = 9999;
  EXPECT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ONEBYID | MIXER_OBJECTF_HMIXER), MIXERR_INVALCONTROL);

  // Out of the box: everything full and unmuted but the microphone monitor.
  EXPECT_EQ(Get(all[0].dwControlID, 2), (std::vector<LONG>{65535, 65535}));
  EXPECT_EQ(Get(all[1].dwControlID, 1), (std::vector<LONG>{1}));
  MIXERLINE recMic = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) { m.dwDestination = 1; });
  EXPECT_EQ(Get(Control(recMic.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE).dwControlID, 1), (std::vector<LONG>{0}));
  MIXERLINE synth = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) { m.dwSource = 1; });
  EXPECT_EQ(Get(Control(synth.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE).dwControlID, 1), (std::vector<LONG>{0}));
}

TEST_F(Mixer, VolumeAndMuteScaleWhatReachesEachDestination) {
  Open();
  soundcard::SetMicrophoneTestSignal();
  const MIXERLINE recMic = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) { m.dwDestination = 1; });
  const DWORD volume = Control(recMic.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME).dwControlID;
  const DWORD mute = Control(recMic.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE).dwControlID;
  const MIXERLINE monitor = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) { m.dwSource = 2; });
  const DWORD monitorMute = Control(monitor.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE).dwControlID;
  const DWORD master = Control(0, MIXERCONTROL_CONTROLTYPE_VOLUME).dwControlID;

  // Left at half, right full, on the recording; the recorded 16-bit samples
  // are the test signal halved within 1 LSB on the left, exact on the right.
  ASSERT_EQ(Set(volume, {32768, 65535}), MMSYSERR_NOERROR);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 2000);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 2000);
  const std::uint64_t start = soundcard::ClockFrames();
  soundcard::Advance(2000);
  std::vector<float> rec = soundcard::MixTap(soundcard::Mix::Recording);
  std::vector<std::uint8_t> bytes(rec.size() * 2);
  soundcard::EncodePcm(rec.data(), 2000, 2, 16, bytes.data());
  const auto s = Samples16(bytes);
  for (std::size_t i = 0; i < 2000; ++i) {
    const double left = soundcard::TestSignalSample(start + i, 0) * 32768.0;
    const double right = soundcard::TestSignalSample(start + i, 1) * 32768.0;
    ASSERT_LE(std::fabs(s[2 * i] - left / 2), 1.0) << i;
    ASSERT_EQ(s[2 * i + 1], right) << i;
  }
  // The monitor is muted: the speakers stay silent, and its meter at 0.
  for (float v : soundcard::MixTap(soundcard::Mix::Playback)) ASSERT_EQ(v, 0.0f);

  // Unmuting the monitor puts the microphone into the speakers; the master
  // volume at a quarter scales it.
  ASSERT_EQ(Set(monitorMute, {0}), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(master, {16384}), MMSYSERR_NOERROR);  // one channel sets both
  EXPECT_EQ(Get(master, 2), (std::vector<LONG>{16384, 16384}));
  ASSERT_EQ(Set(mute, {1}), MMSYSERR_NOERROR);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 441);
  soundcard::EnableMixTap(soundcard::Mix::Playback, 441);
  const std::uint64_t again = soundcard::ClockFrames();
  soundcard::Advance(441);
  for (float v : soundcard::MixTap(soundcard::Mix::Recording)) ASSERT_EQ(v, 0.0f);
  const std::vector<float> play = soundcard::MixTap(soundcard::Mix::Playback);
  float peak = 0;
  for (std::size_t i = 0; i < 441; ++i) {
    ASSERT_NEAR(play[2 * i], soundcard::TestSignalSample(again + i, 0) * 16384.0f / 65535.0f, 1e-6);
    peak = std::max(peak, std::fabs(play[2 * i]));
  }
  const MIXERCONTROL meter = Control(0, MIXERCONTROL_CONTROLTYPE_PEAKMETER);
  const std::vector<LONG> level = Get(meter.dwControlID, 2);
  EXPECT_NEAR(level[0], peak * 32767, 1.0);
  EXPECT_EQ(soundcard::LinePeak(0, -1)[0], level[0]);
  EXPECT_EQ(Set(meter.dwControlID, {1, 1}), MMSYSERR_NOTSUPPORTED);
}

TEST_F(Mixer, AValueChangeIsPostedToEveryWindowThatOpenedTheMixer) {
  std::vector<std::pair<WPARAM, LPARAM>> first, second;
  HWND w1 = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (msg == MM_MIXM_CONTROL_CHANGE) first.emplace_back(w, l);
    return 0;
  });
  HWND w2 = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (msg == MM_MIXM_CONTROL_CHANGE) second.emplace_back(w, l);
    return 0;
  });
  HMIXER m1 = nullptr, m2 = nullptr;
  ASSERT_EQ(mixerOpen(&m1, 0, DWORD_PTR(w1), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&m2, 0, DWORD_PTR(w2), 0, CALLBACK_WINDOW | MIXER_OBJECTF_MIXER), MMSYSERR_NOERROR);
  mixer = m1;
  const DWORD master = Control(0, MIXERCONTROL_CONTROLTYPE_VOLUME).dwControlID;
  ASSERT_EQ(Set(master, {1000, 2000}), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(master, {1000, 2000}), MMSYSERR_NOERROR);  // no change, no notice
  ProcessMessages();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first[0], std::make_pair(WPARAM(m1), LPARAM(master)));
  EXPECT_EQ(second[0], std::make_pair(WPARAM(m2), LPARAM(master)));
  EXPECT_EQ(mixerClose(m2), MMSYSERR_NOERROR);
  EXPECT_EQ(mixerClose(m2), MMSYSERR_INVALHANDLE);
  DeallocateHWnd(w1);
  DeallocateHWnd(w2);
}

TEST_F(Mixer, ObjectsOfOtherKindsNameTheirMixer) {
  UINT id = 99;
  EXPECT_EQ(mixerGetID(nullptr, &id, MIXER_OBJECTF_MIXER), MMSYSERR_NOERROR);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(UINT_PTR(WAVE_MAPPER)), &id, MIXER_OBJECTF_WAVEOUT),
            MMSYSERR_NOERROR);
  EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(UINT_PTR(3)), &id, MIXER_OBJECTF_WAVEIN), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(mixerGetID(nullptr, &id, MIXER_OBJECTF_MIDIOUT), MMSYSERR_NODRIVER);
  EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(UINT_PTR(1)), &id, MIXER_OBJECTF_MIXER), MMSYSERR_BADDEVICEID);
  const WAVEFORMATEX f = Pcm(22050, 1, 8);
  HWAVEIN in = nullptr;
  ASSERT_EQ(waveInOpen(&in, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  id = 99;
  EXPECT_EQ(mixerGetID(in, &id, MIXER_OBJECTF_HWAVEIN), MMSYSERR_NOERROR);
  EXPECT_EQ(id, 0u);
  ASSERT_EQ(mixerOpen(&mixer, UINT_PTR(in), 0, 0, MIXER_OBJECTF_HWAVEIN), MMSYSERR_NOERROR);
  waveInClose(in);
  EXPECT_EQ(mixerGetID(in, &id, MIXER_OBJECTF_HWAVEIN), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  MIDIOUTCAPS moc{};
  EXPECT_EQ(midiOutGetDevCaps(UINT_PTR(MIDI_MAPPER), &moc, sizeof moc), MMSYSERR_BADDEVICEID);
}

// A table with a mono line, a line without controls, a MUX on the recording
// destination, a third destination and a second mixer.
std::vector<soundcard::MixerDesc> CustomTable() {
  using namespace soundcard;
  auto plain = [](DWORD type, std::string name, DWORD channels, std::vector<ControlDesc> controls) {
    LineDesc l;
    l.componentType = type;
    l.name = name;
    l.shortName = name.substr(0, 15);
    l.channels = channels;
    l.controls = std::move(controls);
    return l;
  };
  MixerDesc first;
  first.name = "Custom A";
  DestinationDesc out{plain(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Out", 2, {VolumeControl("Out")}),
                      {plain(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD", 2, {})}};
  DestinationDesc rec{plain(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Rec", 2,
                            {ListControl(MIXERCONTROL_CONTROLTYPE_MUX, "Rec Source", {"Mic", "Synth"})}),
                      {plain(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Mic", 1,
                             {VolumeControl("Mic"), MuteControl("Mic", false)}),
                       plain(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "Synth", 2, {VolumeControl("Synth")})}};
  DestinationDesc phone{plain(MIXERLINE_COMPONENTTYPE_DST_TELEPHONE, "Phone", 1, {}), {}};
  first.destinations = {out, rec, phone};
  MixerDesc second;
  second.name = "Custom B";
  second.destinations = {{plain(MIXERLINE_COMPONENTTYPE_DST_HEADPHONES, "Head", 2, {MuteControl("Head", true)}), {}}};
  return {first, second};
}

void HalfSynth(void*, float* out, std::uint32_t frames) { std::fill(out, out + 2 * frames, 0.5f); }

TEST_F(Mixer, ACustomTableAnswersEveryQueryAndDrivesTheMix) {
  soundcard::InstallMixers(CustomTable());
  EXPECT_EQ(mixerGetNumDevs(), 2u);
  MIXERCAPS caps{};
  ASSERT_EQ(mixerGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Custom B");
  EXPECT_EQ(caps.cDestinations, 1u);
  Open();

  MIXERLINE phone = Line(MIXER_GETLINEINFOF_DESTINATION, [](MIXERLINE& m) { m.dwDestination = 2; });
  EXPECT_STREQ(phone.szName, "Phone");
  EXPECT_EQ(phone.cControls, 0u);
  EXPECT_EQ(phone.cConnections, 0u);
  MIXERLINE cd = Line(MIXER_GETLINEINFOF_COMPONENTTYPE,
                      [](MIXERLINE& m) { m.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC; });
  EXPECT_EQ(cd.cControls, 0u);
  MIXERLINE mic = Line(MIXER_GETLINEINFOF_SOURCE, [](MIXERLINE& m) {
    m.dwDestination = 1;
    m.dwSource = 0;
  });
  EXPECT_EQ(mic.cChannels, 1u);
  MIXERLINE byId = Line(MIXER_GETLINEINFOF_LINEID, [&](MIXERLINE& m) { m.dwLineID = mic.dwLineID; });
  EXPECT_STREQ(byId.szName, "Mic");
  MMRESULT r = 0;
  Line(MIXER_GETLINEINFOF_TARGETTYPE, [](MIXERLINE& m) { m.Target.dwType = MIXERLINE_TARGETTYPE_WAVEOUT; }, &r);
  EXPECT_EQ(r, MIXERR_INVALLINE);

  // The mono volume has one channel; the MUX names its lines.
  const DWORD micVolume = Control(mic.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME).dwControlID;
  EXPECT_EQ(Get(micVolume, 1), (std::vector<LONG>{65535}));
  const MIXERCONTROL mux = Control(1, MIXERCONTROL_CONTROLTYPE_MUX);
  EXPECT_EQ(mux.cMultipleItems, 2u);
  EXPECT_TRUE(mux.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE);
  std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(2);
  MIXERCONTROLDETAILS d{};
  d.cbStruct = sizeof d;
  d.dwControlID = mux.dwControlID;
  d.cChannels = 1;
  d.cMultipleItems = 2;
  d.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXT);
  d.paDetails = texts.data();
  ASSERT_EQ(mixerGetControlDetails(mixer, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT | MIXER_OBJECTF_HMIXER),
            MMSYSERR_NOERROR);
  EXPECT_STREQ(texts[0].szName, "Mic");
  EXPECT_EQ(texts[0].dwParam1, mic.dwLineID);
  EXPECT_EQ(texts[1].dwParam2, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER);
  EXPECT_EQ(Get(mux.dwControlID, 1, 2), (std::vector<LONG>{1, 0}));

  // The MUX picks what is recorded: first the microphone, then the synth.
  soundcard::SetMicrophoneSamples(std::vector<float>(2 * 441, 0.25f), true);
  soundcard::SetSynthRender(&HalfSynth, nullptr);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 441);
  soundcard::Advance(441);
  for (float v : soundcard::MixTap(soundcard::Mix::Recording)) ASSERT_EQ(v, 0.25f);
  std::vector<LONG> pick{0, 1};
  d.cbDetails = sizeof(LONG);
  d.paDetails = pick.data();
  ASSERT_EQ(mixerSetControlDetails(mixer, &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER),
            MMSYSERR_NOERROR);
  soundcard::EnableMixTap(soundcard::Mix::Recording, 441);
  soundcard::Advance(441);
  for (float v : soundcard::MixTap(soundcard::Mix::Recording)) ASSERT_EQ(v, 0.5f);

  // The second mixer is reached by its id.
  HMIXER other = nullptr;
  ASSERT_EQ(mixerOpen(&other, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  MIXERLINE head{};
  head.cbStruct = sizeof head;
  ASSERT_EQ(mixerGetLineInfo(other, &head, MIXER_GETLINEINFOF_DESTINATION | MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  EXPECT_STREQ(head.szName, "Head");
  UINT id = 0;
  EXPECT_EQ(mixerGetID(other, &id, MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  EXPECT_EQ(id, 1u);
  mixerClose(other);
}

}  // namespace
