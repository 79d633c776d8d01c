// The mixer device, line and control components: binding by description,
// re-binding, value transfers per channel and item, pan, the errors, and the
// notices of an opened device.
#include <memory>

#include "mixer/MMMixer.h"
#include "mixer_fixture.h"

using namespace mixtest;

namespace {

class Components : public MixerTest {
 protected:
  // A mixer device with a line bound by component type.
  std::unique_ptr<TMMAudioLine> LineOf(TMMComponentType type) {
    auto line = std::make_unique<TMMAudioLine>();
    line->SetMixer(&mixer);
    line->SetComponentType(type);
    return line;
  }
  TMMMixerDevice mixer;
};

// Counts the notices an observer receives, by kind.
struct Recorder {
  TMMObserver observer;
  int lineIds = 0, controlIds = 0, devices = 0;
  std::vector<std::pair<int, int>> changes;
  Recorder() {
    observer.OnNotify = [this](TMMObserver*, TMMMixerChange* d) {
      if (auto* c = dynamic_cast<TMMControlChange*>(d)) changes.emplace_back(c->LineId, c->CtlId);
      if (dynamic_cast<TMMLineIdChange*>(d)) ++lineIds;
      if (dynamic_cast<TMMControlIdChange*>(d)) ++controlIds;
      if (dynamic_cast<TMMDeviceChange*>(d)) ++devices;
    };
  }
};

TEST_F(Components, ObserversAreNotifiedLastFirstAndLocksAndRemovalsHold) {
  TMMObservable subject, other;
  std::vector<int> order;
  TMMObserver a, b, c;
  a.OnNotify = [&](TMMObserver*, TMMMixerChange*) { order.push_back(1); };
  b.OnNotify = [&](TMMObserver*, TMMMixerChange*) {
    order.push_back(2);
    subject.RemoveObserver(&a);  // removed during the walk: not called
  };
  c.OnNotify = [&](TMMObserver*, TMMMixerChange*) { order.push_back(3); };
  subject.AddObserver(&a);
  subject.AddObserver(&b);
  subject.AddObserver(&c);
  c.Lock();
  TMMDeviceChange notice;
  subject.NotifyObservers(&notice);
  EXPECT_EQ(order, (std::vector<int>{2}));
  c.Unlock();
  other.AddObserver(&b);  // moves b
  EXPECT_EQ(b.Subject(), &other);
  subject.RemoveObserver(&b);  // not attached here: ignored
  EXPECT_EQ(b.Subject(), &other);
  order.clear();
  subject.NotifyObservers(&notice);
  EXPECT_EQ(order, (std::vector<int>{3}));
  {
    TMMObserver gone;
    subject.AddObserver(&gone);
  }
  EXPECT_EQ(subject.Count(), 1u);
}

TEST_F(Components, LinesAndControlsBindByTypeOnTheDefaultMixer) {
  EXPECT_TRUE(mixer.IsValid());
  EXPECT_EQ(mixer.DeviceCaps().ProductName, "Tunelark Mixer");
  EXPECT_EQ(mixer.Destinations(), 2);
  auto mic = LineOf(ctSrcMicrophone);
  auto speakers = LineOf(ctDstSpeakers);
  // The first microphone line: the speakers' monitor.
  EXPECT_EQ(mic->LineId(), TMMLineId(SourceLineId(0, 2)));
  EXPECT_EQ(mic->LineInfo().Name, "Microphone");
  EXPECT_EQ(mic->LineInfo().ShortName, "Mic");
  EXPECT_TRUE(mic->LineInfo().Flags & cfSource);
  EXPECT_EQ(mic->LineInfo().Channels, 2);
  EXPECT_EQ(mic->DestIndex(), -1);
  EXPECT_EQ(speakers->LineId(), 0);
  EXPECT_EQ(speakers->DestIndex(), 0);
  EXPECT_EQ(speakers->LineInfo().Connections, 3);

  TMMMixerControl mute;
  mute.SetControlType(ctMute);
  mute.SetAudioLine(mic.get());
  TMMVolumeControl volume;
  volume.SetAudioLine(speakers.get());
  EXPECT_TRUE(mute.IsValid());
  EXPECT_EQ(mute.ControlClass(), ccSwitch);
  EXPECT_EQ(mute.ControlInfo().ShortName, "Mute");
  EXPECT_EQ(mute.Channels(), 1);
  EXPECT_TRUE(mute.GetBooleanItem(chBoth, NoItem));  // the monitor is muted
  EXPECT_EQ(volume.ControlClass(), ccFader);
  EXPECT_EQ(volume.ControlInfo().MaxValue, 65535);
  EXPECT_EQ(volume.ControlInfo().Steps, 65535);
  EXPECT_EQ(volume.Channels(), 2);

  // Binding by id follows the id; setting LineId switches the mode.
  mic->SetLineId(TMMLineId(SourceLineId(1, 0)));
  EXPECT_EQ(mic->BindMode(), 0);
  EXPECT_EQ(mic->LineId(), TMMLineId(SourceLineId(1, 0)));
  EXPECT_FALSE(mute.GetBoolean());  // re-bound to the recording microphone
  mic->SetLineId(12345);
  EXPECT_EQ(mic->LineId(), badLineId);
  EXPECT_EQ(mute.ControlId(), badControlId);

  // A volume control refuses anything but a volume.
  TMMVolumeControl byId;
  byId.SetAudioLine(speakers.get());
  byId.SetControlId(mute.ControlId());
  EXPECT_EQ(byId.ControlId(), badControlId);
}

TEST_F(Components, ValuesMoveByChannelAndItemAndThroughThePan) {
  auto speakers = LineOf(ctDstSpeakers);
  TMMVolumeControl volume;
  volume.SetAudioLine(speakers.get());
  const DWORD id = DWORD(volume.ControlId());

  volume.SetSignedItem(chLeft, NoItem, 1000);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{1000, 65535}));
  volume.SetSignedItem(chRight, NoItem, 2000);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{1000, 2000}));
  EXPECT_EQ(volume.GetSignedItem(chRight, NoItem), 2000);
  EXPECT_EQ(volume.GetSignedItem(chBoth, NoItem), 2000);  // one value: the larger

  // Half to the left: the left channel gets about half, the right all.
  volume.SetPanValue(16384);
  volume.SetUnsigned(65535);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{32766, 65535}));
  volume.SetSignedItem(chBoth, NoItem, 40000);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{19999, 40000}));
  // A new pan rewrites the current value through the new factors.
  volume.SetPanValue(-16384);
  EXPECT_EQ(Get(id, 2), (std::vector<LONG>{40000, 20000}));

  TMMMixerControl mute;
  mute.SetControlType(ctMute);
  mute.SetAudioLine(speakers.get());
  mute.SetBooleanItem(chBoth, NoItem, true);
  EXPECT_TRUE(mute.GetBoolean());
  mute.SetBoolean(false);
  EXPECT_FALSE(mute.GetBooleanItem(chBoth, NoItem));
}

TEST_F(Components, AMuxSelectsOneItemAndFindsTheItemOfALine) {
  Install(TwoDestinations());
  auto recording = LineOf(ctDstWaveIn);
  auto lineIn = std::make_unique<TMMAudioLine>();
  lineIn->SetMixer(&mixer);
  lineIn->SetLineId(TMMLineId(SourceLineId(1, 1)));
  TMMMixerControl mux;
  mux.SetControlType(ctMux);
  mux.SetAudioLine(recording.get());
  ASSERT_TRUE(mux.IsValid());
  EXPECT_EQ(mux.ControlClass(), ccList);
  EXPECT_EQ(mux.Items(), 2);
  EXPECT_TRUE(mux.ControlInfo().Flags & cfMultiple);
  EXPECT_EQ(mux.GetItemInfo(1).Name, "Line In");
  EXPECT_EQ(mux.FindItemOfLine(lineIn.get()), 1);
  EXPECT_EQ(mux.FindItemOfLine(recording.get()), NoItem);

  EXPECT_TRUE(mux.GetBooleanItem(chBoth, 0));
  mux.SetBooleanItem(chBoth, 1, true);
  EXPECT_EQ(Get(DWORD(mux.ControlId()), 1, 2), (std::vector<LONG>{0, 1}));
  EXPECT_FALSE(mux.GetBooleanItem(chBoth, 0));
  try {
    mux.GetBooleanItem(chBoth, 2);
    FAIL();
  } catch (const EMMMixerControlError& e) {
    EXPECT_STREQ(e.what(), "Item index out of range");
  }
  // A whole-control read of a list is refused by the mixer.
  try {
    mux.GetSigned();
    FAIL();
  } catch (const EMMMCIError& e) {
    EXPECT_EQ(e.Code, MMSYSERR_INVALPARAM);
    EXPECT_STRNE(e.what(), "");
  }
  TMMVolumeControl volume;
  volume.SetAudioLine(recording.get());
  try {
    volume.GetItemInfo(0);
    FAIL();
  } catch (const EMMMixerControlError& e) {
    EXPECT_STREQ(e.what(), "Item info requested from non-multiple control");
  }
}

TEST_F(Components, AMissingMicrophoneUnbindsTheLineAndItsControls) {
  Install(TwoDestinations(false));
  auto mic = LineOf(ctSrcMicrophone);
  EXPECT_EQ(mic->LineId(), badLineId);
  EXPECT_EQ(mic->LineInfo().Name, "");
  EXPECT_EQ(mic->LineInfo().Channels, 0);
  TMMMixerControl mute;
  mute.SetControlType(ctMute);
  mute.SetAudioLine(mic.get());
  EXPECT_EQ(mute.ControlId(), badControlId);
  EXPECT_FALSE(mute.IsValid());
  EXPECT_EQ(mute.Channels(), 0);
  try {
    mute.GetBoolean();
    FAIL();
  } catch (const EMMDeviceError& e) {
    EXPECT_STREQ(e.what(), "Mixer required for this operation");
  }
  // A line that exists but has no such control: the control is not valid.
  auto mono = std::make_unique<TMMAudioLine>();
  mono->SetMixer(&mixer);
  mono->SetLineId(TMMLineId(SourceLineId(0, 1)));
  TMMMixerControl monoMute;
  monoMute.SetControlType(ctMute);
  monoMute.SetAudioLine(mono.get());
  try {
    monoMute.SetBoolean(true);
    FAIL();
  } catch (const EMMDeviceError& e) {
    EXPECT_STREQ(e.what(), "Control not valid");
  }
}

TEST_F(Components, LinesReBindWhenTheMixerChangesAndKeepTheirIdWhenItGoes) {
  auto mic = LineOf(ctSrcMicrophone);
  TMMMixerControl mute;
  mute.SetControlType(ctMute);
  mute.SetAudioLine(mic.get());
  Recorder links;
  mute.AddLink(&links.observer);

  Install(TwoDestinations(false));
  mixer.DeviceChanged();  // the device announces itself changed
  EXPECT_EQ(mic->LineId(), badLineId);
  EXPECT_EQ(mute.ControlId(), badControlId);
  EXPECT_EQ(links.controlIds, 1);
  Install(TwoDestinations(true));
  mixer.Changed();
  EXPECT_EQ(mic->LineId(), TMMLineId(SourceLineId(1, 0)));
  EXPECT_TRUE(mute.IsValid());

  auto gone = std::make_unique<TMMMixerDevice>();
  mic->SetMixer(gone.get());
  const TMMLineId before = mic->LineId();
  gone.reset();
  EXPECT_EQ(mic->Mixer(), nullptr);
  EXPECT_EQ(mic->LineId(), before);
  try {
    mute.GetBoolean();
    FAIL();
  } catch (const EMMDeviceError& e) {
    EXPECT_STREQ(e.what(), "Mixer required for this operation");
  }
  // The line going leaves the control without one, and its links told.
  const int told = links.controlIds;
  mic.reset();
  EXPECT_EQ(mute.AudioLine(), nullptr);
  EXPECT_EQ(mute.ControlId(), badControlId);
  EXPECT_EQ(links.controlIds, told + 1);
}

TEST_F(Components, DestLineAndTargetFindTheRightSource) {
  auto recording = LineOf(ctDstWaveIn);
  auto mic = std::make_unique<TMMAudioLine>();
  mic->SetMixer(&mixer);
  mic->SetComponentType(ctSrcMicrophone);
  mic->SetDestLine(recording.get());
  EXPECT_EQ(mic->LineId(), TMMLineId(SourceLineId(1, 0)));
  // The destination line re-binding makes its sources re-bind too.
  auto speakersAsDest = LineOf(ctDstSpeakers);
  mic->SetDestLine(speakersAsDest.get());
  EXPECT_EQ(mic->LineId(), TMMLineId(SourceLineId(0, 2)));
  recording->SetDestLine(nullptr);
  mic->SetDestLine(recording.get());
  // A line cannot become its own destination line, even through others.
  recording->SetDestLine(mic.get());
  EXPECT_EQ(recording->DestLine(), nullptr);

  TMMCustomAudioDevice waveOut(nullptr, dtWaveOut);
  EXPECT_EQ(waveOut.DeviceCount(), 1);
  EXPECT_TRUE(waveOut.Mapper());
  auto byTarget = std::make_unique<TMMAudioLine>();
  byTarget->SetMixer(&mixer);
  byTarget->SetTarget(&waveOut);
  EXPECT_EQ(byTarget->BindMode(), 2);
  EXPECT_EQ(byTarget->LineInfo().Name, "Wave Out");
  EXPECT_EQ(byTarget->ComponentType(), ctSrcWaveOut);

  try {
    byTarget->SetTarget(&mixer);
    FAIL();
  } catch (const EMMMixerDeviceError& e) {
    EXPECT_STREQ(e.what(), "Can't target to mixer");
  }
  try {
    byTarget->SetDestLine(&waveOut);
    FAIL();
  } catch (const EMMMixerDeviceError& e) {
    EXPECT_STREQ(e.what(), "DestLine should be TMMAudioLine");
  }
}

TEST_F(Components, TheDeviceFollowsAnotherDevicesMixerAndChecksItsId) {
  TMMCustomAudioDevice waveOut(nullptr, dtWaveOut);
  TMMCustomAudioDevice midiOut(nullptr, dtMidiOut);
  EXPECT_EQ(midiOut.DeviceId(), 0);
  EXPECT_FALSE(midiOut.IsValid());
  EXPECT_FALSE(midiOut.Mapper());
  mixer.SetDevice(&midiOut);
  EXPECT_EQ(mixer.DeviceId(), InvalidId);
  EXPECT_EQ(mixer.Destinations(), 0);
  mixer.SetDevice(&waveOut);
  EXPECT_EQ(mixer.DeviceId(), 0);
  EXPECT_EQ(mixer.Destinations(), 2);
  // A followed device without a valid id: no mixer, and no failure either.
  waveOut.SetDeviceId(InvalidId);
  EXPECT_EQ(mixer.DeviceId(), InvalidId);
  waveOut.SetDeviceId(0);
  EXPECT_EQ(mixer.DeviceId(), 0);
  TMMMixerDevice other;
  try {
    mixer.SetDevice(&other);
    FAIL();
  } catch (const EMMMixerDeviceError& e) {
    EXPECT_STREQ(e.what(), "Mixer can't reference mixer");
  }
  try {
    other.SetDeviceId(3);
    FAIL();
  } catch (const EMMDeviceError& e) {
    EXPECT_STREQ(e.what(), "Device id is out of range");
  }
  other.SetDeviceId(InvalidId);
  try {
    other.Open();
    FAIL();
  } catch (const EMMMixerDeviceError& e) {
    EXPECT_STREQ(e.what(), "Device not valid");
  }
  EXPECT_FALSE(other.Active());
}

TEST_F(Components, AnOpenedDeviceSpreadsEveryValueChangeWithinOneMessageRound) {
  auto speakers = LineOf(ctDstSpeakers);
  TMMVolumeControl volume, second;
  volume.SetAudioLine(speakers.get());
  second.SetAudioLine(speakers.get());
  Recorder lines, links;
  mixer.AddLineObserver(&lines.observer);
  volume.AddLink(&links.observer);
  std::vector<std::pair<int, int>> events;
  mixer.OnControlChange = [&](QObject*, TMMLineId l, TMMControlId c) { events.emplace_back(l, c); };
  int lineEvents = 0;
  speakers->OnControlChange = [&](QObject*, TMMLineId, TMMControlId) { ++lineEvents; };

  // Closed (as the settings window keeps it): nothing arrives.
  second.SetSigned(100);
  ProcessMessages();
  EXPECT_TRUE(lines.changes.empty());

  mixer.SetActive(true);
  ASSERT_TRUE(mixer.Active());
  ASSERT_NE(mixer.Handle(), nullptr);
  const int id = volume.ControlId();
  // Through another component (one channel: one write, one notice; the
  // whole-control write of a volume is two, left then right).
  second.SetSignedItem(chLeft, NoItem, 200);
  ProcessMessages();
  const std::vector<std::pair<int, int>> one{{0, id}};
  EXPECT_EQ(lines.changes, one);
  EXPECT_EQ(links.changes, one);
  EXPECT_EQ(events, one);
  EXPECT_EQ(lineEvents, 1);

  Set(DWORD(id), {300, 300});  // straight through the mixer calls
  ProcessMessages();
  EXPECT_EQ(links.changes.size(), 2u);

  mixer.SetActive(false);
  EXPECT_EQ(mixer.Handle(), nullptr);
  Set(DWORD(id), {400, 400});
  ProcessMessages();
  EXPECT_EQ(links.changes.size(), 2u);
}

TEST_F(Components, ComponentsLoadedTogetherBindWhenLoadingEnds) {
  TMMMixerDevice device;
  TMMAudioLine mic;
  TMMMixerControl mute;
  for (TMMComponent* c : std::initializer_list<TMMComponent*>{&device, &mic, &mute}) c->BeginLoading();
  device.SetActive(false);
  mic.SetMixer(&device);
  mic.SetComponentType(ctSrcMicrophone);
  mute.SetAudioLine(&mic);
  mute.SetControlType(ctMute);
  EXPECT_EQ(mic.LineId(), badLineId);
  EXPECT_EQ(mute.ControlClass(), ccSwitch);  // only the class while loading
  EXPECT_EQ(mute.ControlId(), badControlId);
  Recorder links;
  mute.AddLink(&links.observer);
  for (TMMComponent* c : std::initializer_list<TMMComponent*>{&device, &mic, &mute}) c->EndLoading();
  EXPECT_EQ(mic.LineId(), TMMLineId(SourceLineId(0, 2)));
  EXPECT_TRUE(mute.IsValid());
  EXPECT_GE(links.controlIds, 1);
}

TEST_F(Components, LineNoticesAndUnknownComponentTypes) {
  auto speakers = LineOf(ctDstSpeakers);
  int changes = 0;
  speakers->OnChange = [&](QObject*) { ++changes; };
  mixer.LineChange(0);
  mixer.LineChange(5);  // another line
  EXPECT_EQ(changes, 1);

  std::vector<MixerDesc> odd = TwoDestinations();
  odd[0].destinations[0].sources[2].componentType = 0x2000;
  Install(odd);
  TMMAudioLine line;
  line.SetMixer(&mixer);
  try {
    line.SetLineId(TMMLineId(SourceLineId(0, 2)));
    FAIL();
  } catch (const EMMMixerServiceError& e) {
    EXPECT_STREQ(e.what(), "Undefined API component type");
  }
}

TEST_F(Components, StoredIdentsReadBackCaseInsensitively) {
  EXPECT_EQ(LineIdToIdent(-1), "badLineId");
  EXPECT_EQ(ControlIdToIdent(-1), "badControlId");
  EXPECT_EQ(ItemIndexToIdent(-1), "NoItem");
  EXPECT_EQ(ItemIndexToIdent(3), "3");
  EXPECT_EQ(IdentToLineId("BADLINEID"), -1);
  EXPECT_EQ(IdentToControlId("badcontrolid"), -1);
  EXPECT_EQ(IdentToItemIndex("noitem"), -1);
  EXPECT_EQ(IdentToLineId("65536"), 65536);
  EXPECT_EQ(IdentToLineId("x"), std::nullopt);
  EXPECT_EQ(ComponentTypeOf(0x2000), std::nullopt);
  EXPECT_EQ(ControlClassOf(0x80000000), std::nullopt);
  EXPECT_EQ(ControlTypeValue(ctMilliTime), 0x61030000u);
}

}  // namespace
