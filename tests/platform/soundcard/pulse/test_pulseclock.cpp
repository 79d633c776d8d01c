// The Host clock through a real PulseAudio server (a private one with a
// null sink whose monitor is the microphone): the device list, a take that
// is the played signal sample for sample, the reported round trip against
// the measured loop-back, and lost frames counted when the card stalls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/soundcard/calibration.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/probes.h"
#include "platform/devicesheet/devicedialog.h"
#include "platform/soundcard/soundcard.h"
#include "soundserver.h"
#include "tests/platform/soundcard/clicktrack.h"
#include "stallwatch.h"

using namespace std::chrono_literals;
using soundservertest::PrivateSoundServer;
using soundservertest::ServerKind;
using soundservertest::KindName;
using soundservertest::StallWatch;

namespace {

// Speakers hear the synthesizer only, the recording mix is the microphone
// only (with `withSynth`, the synthesizer too), all at unity gain: what the
// card plays comes back unchanged.
std::vector<soundcard::MixerDesc> LoopTable(bool withSynth = false) {
  auto line = [](DWORD type, const char* name) {
    soundcard::LineDesc l;
    l.componentType = type;
    l.name = name;
    l.shortName = name;
    return l;
  };
  soundcard::MixerDesc m;
  m.destinations = {
      {line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers"),
       {line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "SW Synth")}},
      {line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording"),
       {line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone")}}};
  if (withSynth) m.destinations[1].sources.push_back(line(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "SW Synth"));
  return {m};
}

// The synthesizer's part: the card's test signal from its own frame 0, or
// a click (one frame at 0.5) every `clickEvery` frames; optionally one stall
// of the card's thread.
struct Player {
  std::uint64_t frame = 0;
  std::uint64_t clickEvery = 0;
  std::atomic<int> stallMs{0};

  static void Render(void* user, float* out, std::uint32_t frames) {
    auto* self = static_cast<Player*>(user);
    if (const int ms = self->stallMs.exchange(0)) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    for (std::uint32_t i = 0; i < frames; ++i, ++self->frame) {
      if (self->clickEvery) {
        const float v = self->frame % self->clickEvery == self->clickEvery / 2 ? 0.5f : 0.0f;
        out[2 * i] = out[2 * i + 1] = v;
      } else {
        out[2 * i] = soundcard::TestSignalSample(self->frame, 0);
        out[2 * i + 1] = soundcard::TestSignalSample(self->frame, 1);
      }
    }
  }
};

// Collects a wave-in handle's buffers and queues them again; notes when the
// card says its sound server was lost.
struct Take {
  std::mutex mutex;
  std::vector<std::int16_t> samples;
  std::atomic<bool> requeue{true};
  std::atomic<bool> lost{false};
  std::atomic<MMRESULT> lostCode{0};
  std::chrono::steady_clock::time_point lostAt;
  static void Proc(void* handle, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<Take*>(instance);
    if (msg == MM_WIM_DEVICELOST) {
      self->lostAt = std::chrono::steady_clock::now();
      self->lostCode = MMRESULT(p1);
      self->lost = true;
      return;
    }
    if (msg != MM_WIM_DATA) return;
    auto* hdr = reinterpret_cast<WAVEHDR*>(p1);
    {
      std::lock_guard g(self->mutex);
      const auto* s = reinterpret_cast<const std::int16_t*>(hdr->lpData);
      self->samples.insert(self->samples.end(), s, s + hdr->dwBytesRecorded / 2);
    }
    if (self->requeue) waveInAddBuffer(static_cast<HWAVEIN>(handle), hdr, sizeof *hdr);
  }
};

// A wave-in handle at 44100 Hz 16-bit stereo with 16 buffers of 40 ms
// queued, collecting into `take`.
struct TakeHandle {
  HWAVEIN h = nullptr;
  std::vector<std::vector<char>> memory{16, std::vector<char>(4 * soundcard::kPeriodFrames * 4)};
  std::vector<WAVEHDR> headers{16};
  explicit TakeHandle(Take& take) {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(&Take::Proc),
                         reinterpret_cast<DWORD_PTR>(&take), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    for (std::size_t i = 0; i < memory.size(); ++i) {
      headers[i] = WAVEHDR{};
      headers[i].lpData = memory[i].data();
      headers[i].dwBufferLength = DWORD(memory[i].size());
      waveInPrepareHeader(h, &headers[i], sizeof(WAVEHDR));
      waveInAddBuffer(h, &headers[i], sizeof(WAVEHDR));
    }
  }
  ~TakeHandle() { close(); }
  void close() {
    if (!h) return;
    waveInReset(h);
    waveInClose(h);
    h = nullptr;
  }
};

// Clock frames of the non-zero frames of a mix tap.
std::vector<std::uint64_t> Clicks(const std::vector<float>& tap, std::uint64_t start) {
  std::vector<std::uint64_t> at;
  for (std::size_t i = 0; i < tap.size() / 2; ++i)
    if (std::fabs(tap[2 * i]) > 0.25f) at.push_back(start + i);
  return at;
}

// 16-bit value of the test signal, as a converter must produce it: the
// signal is made of multiples of 1/32768.
std::int16_t Expected(std::uint64_t frame, unsigned channel) {
  return std::int16_t(std::lround(double(soundcard::TestSignalSample(frame, channel)) * 32768.0));
}

// A take of the card's test signal through the server and back, compared
// frame by frame with what was played.
struct SignalTake {
  int stalls = 0;  // times the machine stopped this process
  double worstStallMs = 0;
  std::uint64_t lost = 0;        // frames the clock counted as lost
  std::uint64_t handleLost = 0;  // frames that found no queued buffer
  std::size_t frames = 0;        // frames of the take from the signal's return on
  std::size_t wrong = 0;         // of them, frames that are not the signal's
  std::size_t firstWrong = 0;
  std::string broken;  // why the take could not be compared at all
  std::int64_t measuredRoundTrip = 0;
  soundcard::HostLatencyFrames reported;  // the last figure known during the take

  // A break this process caused by not running, rather than one the card
  // or the server's stream made.
  bool spoiltByStall() const { return stalls > 0 && (lost > 0 || wrong > 0 || !broken.empty()); }
};

// Each test runs against each kind of server that is installed; the
// servers start once and run side by side (a test that ends one has it
// started again for the next).
class PulseClock : public ::testing::TestWithParam<ServerKind> {
 protected:
  static void TearDownTestSuite() {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    for (auto& s : servers_) s.reset();
  }

  void SetUp() override {
    const std::string missing = PrivateSoundServer::Missing(GetParam());
    if (!missing.empty()) GTEST_SKIP() << missing << ": no " << KindName(GetParam()) << " server to test against";
    auto& server = servers_[int(GetParam())];
    if (server && !server->alive()) server.reset();
    if (!server) server = std::make_unique<PrivateSoundServer>(GetParam());
    ASSERT_TRUE(server->ready()) << server->error();
    server->select();
    soundcard::InstallCardProbe();  // wave-in history and mix taps
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::InstallMixers(LoopTable());
    soundcard::SelectHostDevices("", "");
  }
  void TearDown() override {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::SetSynthRender(nullptr, nullptr);
    soundcard::ResetCard();
  }

  PrivateSoundServer& server() { return *servers_[int(GetParam())]; }

  // Selects the Host clock and waits for its first periods.
  void StartHost() {
    soundcard::SelectClock(soundcard::Clock::Host);
    ASSERT_EQ(soundcard::ActiveClock(), soundcard::Clock::Host);
    ASSERT_TRUE(soundcard::HostUsesSoundServer());
    const std::uint64_t from = soundcard::ClockFrames();
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (soundcard::ClockFrames() == from && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(1ms);
    ASSERT_GT(soundcard::ClockFrames(), from) << "the server never asked for frames";
  }

  // Plays `player` for `seconds`, recording the mixes; the reported round
  // trips, sampled every 20 ms once known.
  // With `stallAt` > 0 the card's thread stalls for `stallMs` at that time
  // and only round trips reported in the last half second are returned.
  // `inUse`, if given, gets the round trip the recording mix used at the end.
  // `laterLoss_` counts the frames lost from a second after the stall on.
  std::vector<std::int32_t> PlayAndTap(Player& player, double seconds, double stallAt = 0,
                                       int stallMs = 0, std::uint32_t* inUse = nullptr) {
    const auto frames = std::size_t(seconds * soundcard::kSampleRate);
    soundcard::EnableMixTap(soundcard::Mix::Playback, frames);
    soundcard::EnableMixTap(soundcard::Mix::Recording, frames);
    soundcard::SetSynthRender(&Player::Render, &player);
    StartHost();
    std::vector<std::int32_t> reported;
    const auto begin = std::chrono::steady_clock::now();
    auto elapsed = [&] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    bool stalled = false;
    std::optional<std::uint64_t> lostAfterStall;
    while (elapsed() < seconds) {
      std::this_thread::sleep_for(20ms);
      if (stallAt > 0 && !stalled && elapsed() >= stallAt) {
        stalled = true;
        player.stallMs = stallMs;
      }
      if (stalled && !lostAfterStall && elapsed() >= stallAt + 1.0) lostAfterStall = soundcard::HostLostFrames();
      const soundcard::HostLatencyFrames l = soundcard::HostLatency();
      if (l.known && (stallAt <= 0 || elapsed() > seconds - 0.5)) reported.push_back(l.input + l.output);
    }
    if (inUse) *inUse = soundcard::RoundTripFrames();
    laterLoss_ = lostAfterStall ? soundcard::HostLostFrames() - *lostAfterStall : 0;
    soundcard::SelectClock(soundcard::Clock::Stepped);
    return reported;
  }

  // Round trips measured on the taps: each click of the speakers' mix
  // paired with its copy in the microphone's.
  static std::vector<std::int64_t> MeasuredRoundTrips() {
    const auto played = Clicks(soundcard::MixTap(soundcard::Mix::Playback),
                               soundcard::MixTapStartFrame(soundcard::Mix::Playback));
    const auto heard = Clicks(soundcard::MixTap(soundcard::Mix::Recording),
                              soundcard::MixTapStartFrame(soundcard::Mix::Recording));
    std::vector<std::int64_t> trips;
    std::size_t h = 0;
    for (std::uint64_t p : played) {
      while (h < heard.size() && heard[h] <= p) ++h;
      if (h < heard.size()) trips.push_back(std::int64_t(heard[h]) - std::int64_t(p));
    }
    return trips;
  }

  // Records `seconds` of the test signal played by the synthesizer from a
  // stream's start, as the microphone hears it through the server's
  // monitor.
  SignalTake RecordSignal(double seconds);
  static void ExpectIntact(const SignalTake& t, double seconds);
  static void ExpectBreaksCounted(const SignalTake& t);

  static std::string NotSampleForSample() {
    return "PipeWire resamples the card's 44100 Hz to its graph's 48 kHz and back: a take there is not "
           "the played signal sample for sample";
  }

  // Runs spoilt by the machine stopping the whole process are repeated.
  static constexpr int kAttempts = 3;
  static constexpr std::int64_t kTwoMs = 88;  // frames at 44100 Hz

  static std::string StalledText() {
    return "every attempt was broken by this machine stopping the test process (or the sound "
           "server's) for longer than the buffers last; an unbroken stream cannot be checked here";
  }

  std::uint64_t laterLoss_ = 0;
  static inline std::unique_ptr<PrivateSoundServer> servers_[2];
};

std::string ServerName(const ::testing::TestParamInfo<ServerKind>& info) { return KindName(info.param); }

INSTANTIATE_TEST_SUITE_P(Servers, PulseClock, ::testing::Values(ServerKind::PulseAudio, ServerKind::PipeWire),
                         ServerName);

TEST_P(PulseClock, ListsTheServersDevicesAndFallsBackToItsDefaults) {
  const auto devices = soundcard::HostDevices();
  auto find = [&](const char* name) {
    return std::find_if(devices.begin(), devices.end(), [&](const auto& d) { return d.name == name; });
  };
  const auto sink = find(soundservertest::kSink);
  const auto monitor = find(soundservertest::kMonitor);
  ASSERT_NE(sink, devices.end());
  ASSERT_NE(monitor, devices.end());
  EXPECT_EQ(sink->outputChannels, 2u);
  EXPECT_EQ(sink->inputChannels, 0u);
  EXPECT_TRUE(sink->defaultOutput);
  EXPECT_FALSE(sink->description.empty());
  EXPECT_EQ(monitor->inputChannels, 2u);
  EXPECT_TRUE(monitor->defaultInput);

  // The device sheet offers them by description and chooses them by name.
  static int argc = 1;
  static char name[] = "test_soundcard_pulse";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  (void)app;
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  {
    soundcard::DeviceDialog dialog;
    const auto boxes = dialog.findChildren<QComboBox*>();
    ASSERT_EQ(boxes.size(), 2);
    const int in = boxes[0]->findData(QString::fromUtf8(soundservertest::kMonitor));
    const int out = boxes[1]->findData(QString::fromUtf8(soundservertest::kSink));
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    EXPECT_EQ(boxes[0]->itemText(in).toStdString(), monitor->description);
    EXPECT_EQ(boxes[1]->itemText(out).toStdString(), sink->description);
    EXPECT_EQ(boxes[1]->findData(QString::fromUtf8(soundservertest::kMonitor)), -1);
  }

  // Named devices, then names the server does not know: the defaults.
  soundcard::SelectHostDevices(soundservertest::kMonitor, soundservertest::kSink);
  StartHost();
  soundcard::SelectHostDevices("no such source", "no such sink");
  ASSERT_EQ(soundcard::ActiveClock(), soundcard::Clock::Host);
  StartHost();
  const soundcard::HostStartTimes t = soundcard::HostStartDelays();
  EXPECT_GE(t.firstOutputMs, 0.0);
  // The first microphone frame follows within milliseconds; a busy machine
  // may take longer, which the benchmark, not this test, measures.
  for (int i = 0; i < 200 && soundcard::HostStartDelays().firstInputMs < 0.0; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_GE(soundcard::HostStartDelays().firstInputMs, 0.0);
  RecordProperty("start_to_first_output_ms", std::to_string(t.firstOutputMs));
  RecordProperty("start_to_first_input_ms", std::to_string(soundcard::HostStartDelays().firstInputMs));
  soundcard::SelectClock(soundcard::Clock::Stepped);
  EXPECT_FALSE(soundcard::HostUsesSoundServer());
  EXPECT_FALSE(soundcard::HostLatency().known);
}

TEST_P(PulseClock, ReportedRoundTripMatchesTheLoopBack) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StallWatch watch;
    Player player;
    player.clickEvery = soundcard::kSampleRate / 4;
    const std::uint64_t lostBefore = soundcard::HostLostFrames();
    const auto reported = PlayAndTap(player, 3.0);
    // A counted loss moves the round trip: that run says nothing here.
    if (watch.stalls() > 0 || soundcard::HostLostFrames() != lostBefore) continue;
    const auto measured = MeasuredRoundTrips();
    ASSERT_GE(measured.size(), 6u) << "the clicks did not come back through the monitor";
    ASSERT_GE(reported.size(), 50u);
    // A run in which the server's own round trip moved says nothing here.
    const bool moved = std::any_of(measured.begin(), measured.end(),
                                   [&](std::int64_t m) { return m != measured.front(); });
    if (moved && attempt + 1 < kAttempts) continue;
    for (std::int64_t m : measured) EXPECT_EQ(m, measured.front()) << "the round trip moved";
    // Every report within 2 ms, but for a lone one in fifty: PipeWire now and
    // then reports between two of its graph cycles, a cycle off for one
    // report. The compensation adopts a settled median (the round-trip
    // watch), which that report does not move; a run of them would.
    std::vector<std::int32_t> off;
    for (std::int32_t r : reported)
      if (std::abs(std::int64_t(r) - measured.front()) > kTwoMs) off.push_back(r);
    std::vector<std::int32_t> sorted = reported;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    // The settled figure within 1 ms of the loop-back; on PipeWire within
    // 2 ms: its reports of a stream resampled to its graph's 48 kHz and back
    // sit 0.5 to 1.1 ms above the loop-back (20 to 48 frames over a dozen
    // runs), far below a graph cycle (5.3 ms), which is what this catches.
    const std::int64_t within = GetParam() == ServerKind::PipeWire ? kTwoMs : kTwoMs / 2;
    // Now and then (about one run in eight under CI's load) PipeWire's
    // figure still creeps for a while after it first settled: such a run is
    // tried again; the last attempt asserts.
    const bool offRun = off.size() > reported.size() / 50 ||
                        std::abs(std::int64_t(sorted[sorted.size() / 2]) - measured.front()) > within;
    if (offRun && attempt + 1 < kAttempts) continue;
    EXPECT_LE(off.size(), reported.size() / 50) << "reports more than 2 ms off: " << ::testing::PrintToString(off);
    EXPECT_NEAR(sorted[sorted.size() / 2], measured.front(), within);
    RecordProperty("round_trip_frames", std::to_string(measured.front()));
    RecordProperty("reported_median_frames", std::to_string(sorted[sorted.size() / 2]));
    return;
  }
  GTEST_SKIP() << StalledText();
}

SignalTake PulseClock::RecordSignal(double seconds) {
  SignalTake t;
  StallWatch watch;
  Player player;
  Take take;
  TakeHandle handle(take);
  if (!handle.h) {
    t.broken = "the wave-in handle did not open";
    return t;
  }
  soundcard::SetSynthRender(&Player::Render, &player);
  const std::uint64_t lostBefore = soundcard::HostLostFrames();
  const std::uint64_t firstFrame = soundcard::ClockFrames();  // the player's frame 0
  EXPECT_EQ(waveInStart(handle.h), MMSYSERR_NOERROR);
  StartHost();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(50ms);
    if (soundcard::HostLatency().known) t.reported = soundcard::HostLatency();
  }
  soundcard::SelectClock(soundcard::Clock::Stepped);
  soundcard::SetSynthRender(nullptr, nullptr);
  take.requeue = false;
  handle.close();
  t.stalls = watch.stalls();
  t.worstStallMs = watch.worstMs();
  t.lost = soundcard::HostLostFrames() - lostBefore;
  const auto history = soundcard::WaveInHistory();
  if (history.empty()) {
    t.broken = "the card kept no record of the handle";
    return t;
  }
  const soundcard::WaveInRecord rec = history.back();
  t.handleLost = rec.lostFrames;

  // Silence until the loop-back brings the signal (from the first frame
  // the card played once the microphone ran), then every frame of it.
  std::lock_guard g(take.mutex);
  const std::vector<std::int16_t>& s = take.samples;
  const std::size_t frames = s.size() / 2;
  std::size_t k0 = 0;
  while (k0 < frames && s[2 * k0] == 0 && s[2 * k0 + 1] == 0) ++k0;
  if (k0 + 1000 >= frames) {
    t.broken = "the played signal never came back";
    return t;
  }
  auto matchesAt = [&](std::uint64_t j) {
    for (std::size_t i = 0; i < 16; ++i)
      if (s[2 * (k0 + i)] != Expected(j + i, 0) || s[2 * (k0 + i) + 1] != Expected(j + i, 1)) return false;
    return true;
  };
  std::uint64_t j0 = 0;
  while (j0 < soundcard::kSampleRate && !matchesAt(j0)) ++j0;
  if (j0 >= soundcard::kSampleRate) {
    t.broken = "the take does not begin with the played signal";
    return t;
  }
  t.frames = frames - k0;
  for (std::size_t k = k0; k < frames; ++k) {
    const std::uint64_t j = j0 + (k - k0);
    if (s[2 * k] != Expected(j, 0) || s[2 * k + 1] != Expected(j, 1)) {
      if (t.wrong++ == 0) t.firstWrong = k;
    }
  }
  t.measuredRoundTrip = std::int64_t(rec.startFrame + k0) - std::int64_t(firstFrame + j0);
  return t;
}

// Every break in a take is counted, whatever caused it.
void PulseClock::ExpectBreaksCounted(const SignalTake& t) {
  if (t.wrong > 0) {
    EXPECT_GT(t.lost, 0u) << "the take broke at frame " << t.firstWrong << " and no lost frame was counted";
  }
}

// Fails the test for whatever is wrong with `t`, a take of `seconds` that
// this process's stalls did not spoil.
void PulseClock::ExpectIntact(const SignalTake& t, double seconds) {
  EXPECT_EQ(t.handleLost, 0u);
  ASSERT_TRUE(t.broken.empty()) << t.broken;
  EXPECT_GT(t.frames, std::size_t((seconds - 1.0) * soundcard::kSampleRate));
  ExpectBreaksCounted(t);
  // Frames lost while this process ran on time are the card's or the
  // stream's fault, never the machine's.
  EXPECT_EQ(t.lost, 0u) << "frames lost and counted while this process ran on time";
  EXPECT_EQ(t.wrong, 0u) << "first wrong frame " << t.firstWrong << " of " << t.frames;
  // The round trip of this take, against the figure reported at its end.
  ASSERT_TRUE(t.reported.known);
  EXPECT_NEAR(t.reported.input + t.reported.output, t.measuredRoundTrip, kTwoMs);
}

TEST_P(PulseClock, ALongTakeIsThePlayedSignalSampleForSampleAndLosesNothing) {
  if (GetParam() == ServerKind::PipeWire) GTEST_SKIP() << NotSampleForSample();
  constexpr double kSeconds = 30.0;
  const SignalTake t = RecordSignal(kSeconds);
  ExpectBreaksCounted(t);
  if (t.spoiltByStall())
    GTEST_SKIP() << "this machine stopped the test process " << t.stalls << " times (worst " << t.worstStallMs
                 << " ms, " << t.lost << " frames lost and counted); an unbroken stream cannot be checked here";
  ExpectIntact(t, kSeconds);
}

// The same in several short takes, each on a new stream, so that a busy
// machine rarely stops this process within one: a take it spoilt is
// recorded again.
TEST_P(PulseClock, ShortTakesAreThePlayedSignalSampleForSampleAndLoseNothing) {
  if (GetParam() == ServerKind::PipeWire) GTEST_SKIP() << NotSampleForSample();
  constexpr int kTakes = 4;
  constexpr double kSeconds = 3.0;
  int checked = 0, spoilt = 0;
  for (int take = 0; take < kTakes; ++take) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const SignalTake t = RecordSignal(kSeconds);
      ExpectBreaksCounted(t);
      if (t.spoiltByStall()) {
        ++spoilt;
        continue;
      }
      SCOPED_TRACE("take " + std::to_string(take + 1) + " of " + std::to_string(kTakes));
      ExpectIntact(t, kSeconds);
      if (HasFatalFailure()) return;
      ++checked;
      break;
    }
  }
  RecordProperty("takes_checked", std::to_string(checked));
  RecordProperty("takes_spoilt_by_stalls", std::to_string(spoilt));
  if (checked == 0) GTEST_SKIP() << StalledText();
}

TEST_P(PulseClock, AStallOfTheCardIsCountedAsLostAndTheRoundTripFollowsIt) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StallWatch watch;
    Player player;
    player.clickEvery = soundcard::kSampleRate / 4;
    const std::uint64_t lostBefore = soundcard::HostLostFrames();
    const auto reported = PlayAndTap(player, 4.0, 1.5, 300);
    // A loss after the stall's own (the server's process stopped) moves the
    // round trip again: that run says nothing here.
    if (watch.stalls() > 0 || (laterLoss_ > 0 && attempt + 1 < kAttempts)) continue;
    // The server played silence for the stall but the sink's queue (about
    // 300 - 20 ms), and the microphone's frames of the stall waited beyond
    // what the card keeps (about 300 ms more): both are counted, about
    // 0.58 s in all. On a busy machine the server's own process can miss
    // some more; counting the stall twice would give about 1.16 s.
    // PipeWire now and then drops the microphone's frames of the stall
    // itself, leaving only the underrun to count (about 0.3 s).
    const bool pipeWire = GetParam() == ServerKind::PipeWire;
    const std::uint64_t lost = soundcard::HostLostFrames() - lostBefore;
    EXPECT_GE(lost, soundcard::kSampleRate * (pipeWire ? 25 : 45) / 100);
    EXPECT_LE(lost, soundcard::kSampleRate * 95 / 100);
    const auto measured = MeasuredRoundTrips();
    ASSERT_GE(measured.size(), 10u);
    ASSERT_FALSE(reported.empty());
    // The settled figure (the median the compensation adopts) is the
    // loop-back's again. PipeWire's graph may come back from the underrun a
    // cycle (about 5 ms) later or earlier than its reports show; the figure
    // then follows only within that cycle.
    const std::int64_t within = pipeWire ? kTwoMs + 240 : kTwoMs;
    std::vector<std::int32_t> sorted = reported;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    // A run whose figure has not yet come back (seen on PipeWire under CI's
    // load) is tried again; the last attempt asserts.
    if (std::abs(std::int64_t(sorted[sorted.size() / 2]) - measured.back()) > within && attempt + 1 < kAttempts)
      continue;
    EXPECT_NEAR(sorted[sorted.size() / 2], measured.back(), within) << ::testing::PrintToString(reported);
    return;
  }
  GTEST_SKIP() << StalledText();
}

// The recording mix holds each click twice: the synthesizer's, delayed by
// the compensation, and its copy that came back through the monitor. With
// the measured round trip adopted the two are one click; without
// compensation they lie a round trip apart.
TEST_P(PulseClock, TheAccompanimentInATakeSitsOnItsLoopBackCopy) {
  soundcard::InstallMixers(LoopTable(true));
  // Clusters of click frames in the recording tap after `from`: the span of
  // each (first to last frame).
  auto spans = [](std::uint64_t from) {
    const auto at = Clicks(soundcard::MixTap(soundcard::Mix::Recording),
                           soundcard::MixTapStartFrame(soundcard::Mix::Recording));
    std::vector<std::int64_t> out;
    std::uint64_t first = 0, last = 0;
    bool open = false;
    for (std::uint64_t f : at) {
      if (f < from) continue;
      if (open && f - last < soundcard::kSampleRate / 20) {
        last = f;
        continue;
      }
      if (open) out.push_back(std::int64_t(last - first));
      first = last = f;
      open = true;
    }
    if (open) out.push_back(std::int64_t(last - first));
    return out;
  };
  std::vector<std::int64_t> missed;  // widest pairs of streams tried again
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StallWatch watch;
    Player player;
    player.clickEvery = soundcard::kSampleRate / 4;
    const std::uint64_t lostBefore = soundcard::HostLostFrames();
    soundcard::SetLatencyCompensation(true);
    std::uint32_t adopted = 0;
    PlayAndTap(player, 3.0, 0, 0, &adopted);
    if (watch.stalls() > 0 || soundcard::HostLostFrames() != lostBefore) continue;
    const auto measured = MeasuredRoundTrips();
    ASSERT_FALSE(measured.empty());
    // A run in which the server's own round trip moved says nothing here.
    const bool moved = std::any_of(measured.begin(), measured.end(),
                                   [&](std::int64_t m) { return m != measured.front(); });
    if (moved && attempt + 1 < kAttempts) continue;
    // The watch adopts the figure within half a second of the start.
    const auto on = spans(soundcard::MixTapStartFrame(soundcard::Mix::Recording) + soundcard::kSampleRate);
    // A stream whose PipeWire figure settled a graph cycle or more off (seen
    // about one run in eight under load) is tried again; the last asserts.
    const bool far = std::abs(std::int64_t(adopted) - measured.back()) > kTwoMs ||
                     (!on.empty() && *std::max_element(on.begin(), on.end()) > kTwoMs);
    if (far && attempt + 1 < kAttempts) {
      if (!on.empty()) missed.push_back(*std::max_element(on.begin(), on.end()));
      continue;
    }
    // The round trip the mix used is the loop-back's own.
    EXPECT_NEAR(std::int64_t(adopted), measured.back(), kTwoMs);
    ASSERT_GE(on.size(), 6u);
    // The server's figure for the monitor of a null sink falls short of
    // the loop-back by a different amount for each stream: mostly well
    // under a millisecond, for about one stream in eight a little over.
    // Every stream is within the 2 ms the figure is good for; the pair is
    // within 1 ms on the first stream that gets a figure that close, and
    // a stream that misses it is tried again.
    const std::int64_t widest = *std::max_element(on.begin(), on.end());
    EXPECT_LE(widest, kTwoMs) << "accompaniment and its loop-back copy apart";
    if (widest > 44 && attempt + 1 < kAttempts) {
      missed.push_back(widest);
      continue;
    }
    for (std::int64_t span : on) EXPECT_LE(span, 44) << "accompaniment and its loop-back copy apart";
    RecordProperty("widest_click_pair_frames", std::to_string(widest));
    if (!missed.empty()) RecordProperty("streams_tried_again_widest_pair_frames", std::to_string(missed.back()));

    soundcard::SetLatencyCompensation(false);
    Player again;
    again.clickEvery = soundcard::kSampleRate / 4;
    PlayAndTap(again, 2.0);
    const auto off = spans(soundcard::MixTapStartFrame(soundcard::Mix::Recording) + soundcard::kSampleRate / 2);
    soundcard::SetLatencyCompensation(true);
    if (watch.stalls() > 0 || soundcard::HostLostFrames() != lostBefore) continue;
    ASSERT_GE(off.size(), 4u);
    // A new stream has a round trip of its own.
    const auto measuredOff = MeasuredRoundTrips();
    ASSERT_FALSE(measuredOff.empty());
    // PipeWire may move the new stream's loop-back a graph cycle while it
    // runs: such a run is tried again; the last attempt asserts.
    const bool moves = std::any_of(off.begin(), off.end(), [&](std::int64_t span) {
      return std::abs(span - measuredOff.back()) > kTwoMs;
    });
    if (moves && attempt + 1 < kAttempts) continue;
    for (std::int64_t span : off) EXPECT_NEAR(span, measuredOff.back(), kTwoMs);
    return;
  }
  GTEST_SKIP() << StalledText();
}

// The device sheet's measurement, with the monitor as the microphone, finds
// the round trip the server reports, so it proposes no correction.
TEST_P(PulseClock, CalibrationFindsTheServersRoundTrip) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StallWatch watch;
    const std::uint64_t lostBefore = soundcard::HostLostFrames();
    StartHost();
    std::this_thread::sleep_for(300ms);  // the server's timing settles
    ASSERT_TRUE(soundcard::StartCalibration());
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!soundcard::CalibrationDone() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(20ms);
    const soundcard::HostLatencyFrames l = soundcard::HostLatency();
    const soundcard::CalibrationResult r = soundcard::FinishCalibration();
    soundcard::SelectClock(soundcard::Clock::Stepped);
    if (watch.stalls() > 0 || soundcard::HostLostFrames() != lostBefore) continue;
    ASSERT_TRUE(r.found) << r.clicksHeard << " clicks heard";
    ASSERT_TRUE(l.known);
    // PipeWire's figure now and then sits a graph cycle or more off the
    // loop-back for a while after it first settles (seen about one run in
    // eight): such a run is tried again; the last attempt still asserts.
    const std::int64_t apart = std::abs(std::int64_t(r.roundTripFrames) - (l.input + l.output));
    if (apart > kTwoMs && attempt + 1 < kAttempts) continue;
    EXPECT_NEAR(std::int64_t(r.roundTripFrames), l.input + l.output, kTwoMs);
    EXPECT_NEAR(r.proposedOffsetMs, 0, 2);
    RecordProperty("calibrated_round_trip_ms", std::to_string(r.roundTripMs));
    return;
  }
  GTEST_SKIP() << StalledText();
}

// A take begun at once after the card started on the server, as `record`
// begins one: the accompaniment is compensated from its first click (the
// clicks keep their spacing from the first to the last, no jump when the
// round trip is adopted) and each sits on its loop-back copy.
TEST_P(PulseClock, ATakeIsCompensatedFromItsFirstFrame) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StallWatch watch;
    clicktrack::InstallSplitMixers();  // microphone left, accompaniment right
    const std::uint64_t lostBefore = soundcard::HostLostFrames();
    soundcard::SelectClock(soundcard::Clock::Host);
    ASSERT_TRUE(soundcard::HostUsesSoundServer());
    Take take;
    bool compensationMoved = false;
    {
      TakeHandle handle(take);
      clicktrack::Synth synth;
      soundcard::SetSynthRender(&clicktrack::Synth::Render, &synth);
      ASSERT_EQ(waveInStart(handle.h), MMSYSERR_NOERROR);
      const std::uint32_t atStart = soundcard::RoundTripFrames();
      const auto end = std::chrono::steady_clock::now() + 3s;
      while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        compensationMoved |= soundcard::RoundTripFrames() != atStart;
      }
      take.requeue = false;
      handle.close();
      soundcard::SetSynthRender(nullptr, nullptr);
    }
    const std::uint32_t inForce = soundcard::RoundTripFrames();
    soundcard::SelectClock(soundcard::Clock::Stepped);
    if (watch.stalls() > 0 || soundcard::HostLostFrames() != lostBefore) continue;
    std::vector<float> left, right;
    {
      std::lock_guard g(take.mutex);
      for (std::size_t i = 0; i + 1 < take.samples.size(); i += 2) {
        left.push_back(take.samples[i] / 32768.0f);
        right.push_back(take.samples[i + 1] / 32768.0f);
      }
    }
    const auto accompaniment = clicktrack::ClickPeaks(right, clicktrack::kWidth * 4);
    const auto sung = clicktrack::ClickPeaks(left, clicktrack::kWidth * 4);
    ASSERT_GE(accompaniment.size(), 4u);
    // The server's own round trip moved during the take (PipeWire changes
    // its graph's cycle now and then): the compensation follows it, so the
    // take may jump with it, and the run says nothing here. So does a run
    // whose reported figure crept on after the compensation adopted it
    // (PipeWire's does for a while now and then, seen moving it by 3.1 ms
    // while the loop-back stayed put): the accompaniment follows the
    // figure, as it must when the figure is right.
    bool moved = compensationMoved;
    for (std::size_t i = 1; i < sung.size(); ++i)
      moved |= std::abs(sung[i] - sung[i - 1] - std::int64_t(clicktrack::kInterval)) > 2;
    if (moved && attempt + 1 < kAttempts) continue;
    for (std::size_t i = 1; i < accompaniment.size(); ++i)
      EXPECT_NEAR(accompaniment[i] - accompaniment[i - 1], std::int64_t(clicktrack::kInterval), 2)
          << "the accompaniment jumped between its clicks " << i - 1 << " and " << i;
    const auto apart = clicktrack::Distances(accompaniment, sung, kTwoMs);
    ASSERT_EQ(apart.size(), accompaniment.size()) << "a click did not come back through the monitor";
    for (std::int64_t d : apart) EXPECT_LE(std::abs(d), kTwoMs) << "accompaniment and its loop-back copy apart";
    RecordProperty("first_click_pair_frames", std::to_string(apart.front()));
    RecordProperty("round_trip_in_force_frames", std::to_string(inForce));
    return;
  }
  GTEST_SKIP() << StalledText();
}

// A server that dies mid-take: the card notices, tells the open handle
// with the text that says so, and keeps its periods running on the virtual
// device, so the take's buffers still come back and nothing waits for
// ever. The next handle opened tries the host again and, with no server,
// runs on the virtual device.
TEST_P(PulseClock, ALostServerIsToldToTheOpenHandlesAndThePeriodsGoOn) {
  const std::uint64_t lossesBefore = soundcard::HostLosses();
  soundcard::SelectClock(soundcard::Clock::Host);
  ASSERT_TRUE(soundcard::HostUsesSoundServer());
  Take take;
  TakeHandle handle(take);
  ASSERT_EQ(waveInStart(handle.h), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(500ms);
  const auto killedAt = std::chrono::steady_clock::now();
  server().crash();
  for (int i = 0; i < 1000 && !take.lost; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(take.lost) << "the handle never heard that the server was lost";
  EXPECT_EQ(take.lostCode.load(), WAVERR_SERVERLOST);
  EXPECT_EQ(soundcard::HostLosses(), lossesBefore + 1);
  EXPECT_FALSE(soundcard::HostUsesSoundServer());
  char text[256] = {};
  ASSERT_EQ(waveInGetErrorText(take.lostCode, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_NE(std::string(text).find("sound server was lost"), std::string::npos) << text;
  RecordProperty("loss_noticed_after_ms",
                 std::to_string(std::chrono::duration<double, std::milli>(take.lostAt - killedAt).count()));
  // The periods go on: buffers keep coming back.
  std::size_t before = 0;
  {
    std::lock_guard g(take.mutex);
    before = take.samples.size();
  }
  const std::uint64_t frames = soundcard::ClockFrames();
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(soundcard::ClockFrames(), frames);
  {
    std::lock_guard g(take.mutex);
    EXPECT_GT(take.samples.size(), before);
  }
  take.requeue = false;
  handle.close();
  Take next;
  TakeHandle again(next);
  EXPECT_EQ(soundcard::ActiveClock(), soundcard::Clock::Virtual);
  EXPECT_EQ(soundcard::CardBackendInUse().why, soundcard::CardBackend::Why::NoHost);
}

// `record --seconds 10` whose sound server dies two seconds in: it ends
// soon after (not frozen), exit code 1, one line that says the server was
// lost and how much was kept, and the take is a finished WAV of what was
// recorded.
TEST_P(PulseClock, RecordWhoseServerIsLostKeepsTheTakeAndSaysSoInOneLine) {
  QTemporaryDir dir;
  const QString wav = dir.filePath(QStringLiteral("take.wav"));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("TUNELARK_AUDIO"));  // the server, not the virtual device
  env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TUNELARK_BIN), {"record", "--seconds", "10", "--out", wav});
  ASSERT_TRUE(p.waitForStarted(10000));
  // The first progress line comes once the take runs.
  for (int i = 0; i < 100 && !p.readAllStandardError().contains("Recording"); ++i) p.waitForReadyRead(100);
  std::this_thread::sleep_for(2s);
  const auto killedAt = std::chrono::steady_clock::now();
  server().crash();
  const bool finished = p.waitForFinished(20000);
  if (!finished) p.kill();
  ASSERT_TRUE(finished) << "record froze after its sound server was lost";
  RecordProperty("exit_after_loss_ms", std::to_string(std::chrono::duration<double, std::milli>(
                                                          std::chrono::steady_clock::now() - killedAt)
                                                          .count()));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(out.startsWith(QStringLiteral("Latency compensation "))) << out.toStdString();
  QStringList errors;
  for (const QString& line : QString::fromUtf8(p.readAllStandardError()).split(QLatin1Char('\n')))
    if (line.startsWith(QStringLiteral("tunelark"))) errors << line;
  ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(errors[0].contains(QStringLiteral("sound server was lost after"))) << errors[0].toStdString();

  QFile f(wav);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the take was not kept";
  const QByteArray b = f.readAll();
  ASSERT_GE(b.size(), 46);
  auto u32 = [&](int at) { return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
                                  std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24; };
  EXPECT_EQ(b.left(4), QByteArray("RIFF"));
  EXPECT_EQ(u32(4), std::uint32_t(b.size() - 8)) << "the take was not finished";
  ASSERT_EQ(b.mid(38, 4), QByteArray("data"));
  const double seconds = double(u32(42)) / (44100.0 * 4);
  EXPECT_GT(seconds, 1.5);
  EXPECT_LT(seconds, 9.0);
  // The line says what the file holds.
  EXPECT_TRUE(errors[0].contains(QString::number(seconds, 'f', 1))) << errors[0].toStdString() << " vs " << seconds;
}

}  // namespace
