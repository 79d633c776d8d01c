#include "platform/soundcard/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/soundcard/calibration.h"
#include "platform/soundcard/cardprobe.h"
#include "platform/soundcard/clocks.h"
#include "platform/soundcard/devicesettings.h"
#include "platform/soundcard/inspection.h"
#include "platform/soundcard/wavein.h"
#include "platform/soundcard/waveout.h"
#include "platform/winmsg/winmsg.h"

namespace soundcard {

namespace {

// Messages per period that can wait for their callback functions; at 32
// bytes per buffer a period could fill about 110 buffers of each handle.
constexpr std::size_t kNotesPerPeriod = 8192;

void stopAtExit() {
  Engine::instance().selectClock(Clock::Stepped);
  ResetMonitorEffects();
}

}  // namespace

Engine& Engine::instance() {
  // Never destroyed: the clock threads must not outlive it at exit, and the
  // exit handler stops them first.
  static Engine* engine = new Engine();
  return *engine;
}

Engine::Engine()
    : table(std::make_unique<MixerTable>(DefaultMixers())),
      monitor(std::uint32_t(std::lround(FramesOfMs(kMaxEchoMs)))),
      cardNotes_(kNotesPerPeriod),
      waveOut_(2 * kMaxFrames),
      synth_(2 * kMaxFrames),
      mic_(2 * kMaxFrames),
      playback_(2 * kMaxFrames),
      recording_(2 * kMaxFrames),
      voice_(2 * kMaxFrames),
      monitored_(2 * kMaxFrames) {}

bool Engine::isOpen(HWAVEIN h) const {
  return h && std::find(waveIns.begin(), waveIns.end(), h) != waveIns.end();
}
bool Engine::isOpen(HWAVEOUT h) const {
  return h && std::find(waveOuts.begin(), waveOuts.end(), h) != waveOuts.end();
}
bool Engine::isOpen(HMIXER h) const {
  return h && std::find(mixers.begin(), mixers.end(), h) != mixers.end();
}

void Engine::callInOrder(NoteList& notes) {
  // Window messages the card could not post yet go first (they are older).
  barrier_.afterRunningPeriod([this] { cardNotes_.postAll(); });
  notes.call();
}

// ---------------------------------------------------------------- periods

void Engine::run(const float* hostIn, float* hostOut, std::uint64_t frames,
                 std::uint32_t step) noexcept {
  step = std::min({step, kMaxFrames, latency.periodLimit()});
  while (frames > 0) {
    const auto n = std::uint32_t(std::min<std::uint64_t>(frames, step));
    period(hostIn, hostOut, n);
    if (hostIn) hostIn += 2 * n;
    if (hostOut) hostOut += 2 * n;
    frames -= n;
  }
}

void Engine::period(const float* hostIn, float* hostOut, std::uint32_t n) noexcept {
  // The barrier comes first and stays held until this period's callback
  // functions have returned. So periods never overlap (a clock being
  // replaced while the stepped clock runs one), and the order of the two
  // locks is the same here as in a callback function that calls a wave
  // function: barrier, then lock.
  auto held = barrier_.holdForPeriod();
  // The synthesizer renders outside the card's lock: it may take a while
  // and needs nothing the lock guards.
  {
    std::lock_guard s(synthLock_);
    if (synthFn_)
      synthFn_(synthUser_, synth_.data(), n);
    else
      std::fill_n(synth_.data(), 2 * n, 0.0f);
  }
  std::unique_lock g(lock);
  const std::uint64_t now = clockFrames_.load(std::memory_order_relaxed);
  if (lostPending_.load(std::memory_order_relaxed)) tellLost();

  std::fill_n(waveOut_.data(), 2 * n, 0.0f);
  for (WaveOutHandle* h : waveOuts)
    if (h) h->pull(waveOut_.data(), n, cardNotes_);
  fillMicrophone(hostIn, n);
  latency.hearSpeakers(mic_.data(), n);
  // The monitor's effects, off while a round trip is measured (their echoes
  // would be heard as clicks): the speakers hear them, the recording mix
  // only when they are recorded, the voice never.
  const float* monitored = mic_.data();
  if (!measurement && monitor.active()) {
    monitor.process(mic_.data(), monitored_.data(), n, unhurried_.load(std::memory_order_relaxed));
    monitored = monitored_.data();
  }
  const bool recorded = monitorRecorded.load(std::memory_order_relaxed);
  const MixInputs live{waveOut_.data(), synth_.data(), monitored};
  const MixInputs taken{waveOut_.data(), synth_.data(), recorded ? monitored : mic_.data(), mic_.data()};
  // The microphone alone is mixed only while a handle keeps its voice.
  const bool voiceWanted =
      std::any_of(waveIns.begin(), waveIns.end(), [](const WaveInHandle* h) { return h && h->voice; });
  float* voice = voiceWanted ? voice_.data() : nullptr;
  table->mix(live, latency.compensate(taken, n), playback_.data(), recording_.data(), n, voice);
  if (measurement) measurement->period(mic_.data(), playback_.data(), n);
  latency.speakersPlayed(playback_.data(), n);
  if (hostOut) std::memcpy(hostOut, playback_.data(), 2 * n * sizeof(float));
  if (probe) probe->mixed(playback_.data(), recording_.data(), n, now);
  for (WaveInHandle* h : waveIns)
    if (h) h->capture(recording_.data(), voice, n, now, cardNotes_);
  clockFrames_.store(now + n, std::memory_order_release);

  // Callback functions run after the lock is released, but before anyone
  // else may send messages of the same handles (see callInOrder).
  g.unlock();
  PostDeferredMessages();  // what callback functions could not post before
  PeriodBarrier::Dispatching dispatching;
  cardNotes_.call();
}

// Each open handle hears of the loss once, before this period's buffers;
// those the notes have no room for now hear of it in a later period.
void Engine::tellLost() noexcept {
  bool all = true;
  auto tell = [&](auto* h, UINT msg) {
    if (!h || h->toldLost) return;
    if (!cardNotes_.hasRoom()) {
      all = false;
      return;
    }
    cardNotes_.add(h->callback, h, msg, WAVERR_SERVERLOST);
    h->toldLost = true;
  };
  for (WaveInHandle* h : waveIns) tell(h, MM_WIM_DEVICELOST);
  for (WaveOutHandle* h : waveOuts) tell(h, MM_WOM_DEVICELOST);
  if (all) lostPending_.store(false, std::memory_order_relaxed);
}

void Engine::fillMicrophone(const float* hostIn, std::uint32_t n) noexcept {
  float* mic = mic_.data();
  switch (micMode_) {
    case MicMode::Host:
      if (hostIn)
        std::memcpy(mic, hostIn, 2 * n * sizeof(float));
      else
        std::fill_n(mic, 2 * n, 0.0f);
      break;
    case MicMode::Silence: std::fill_n(mic, 2 * n, 0.0f); break;
    case MicMode::Probe:
      if (probe)
        probe->microphone(mic, n, clockFrames_.load(std::memory_order_relaxed));
      else
        std::fill_n(mic, 2 * n, 0.0f);
      break;
    case MicMode::Samples: {
      const std::vector<float>& s = *micSamples_;
      const std::size_t total = s.size() / 2;
      for (std::uint32_t i = 0; i < n; ++i) {
        if (micAt_ >= total && micLoop_ && total > 0) micAt_ = 0;
        if (micAt_ < total) {
          mic[2 * i] = s[2 * micAt_];
          mic[2 * i + 1] = s[2 * micAt_ + 1];
          ++micAt_;
        } else {
          mic[2 * i] = mic[2 * i + 1] = 0.0f;
        }
      }
      break;
    }
  }
}

// ---------------------------------------------------------------- sources

void Engine::setMicrophone(MicMode mode, std::vector<float> samples, bool loop) {
  auto fresh = std::make_shared<std::vector<float>>(std::move(samples));
  std::shared_ptr<std::vector<float>> old;
  std::lock_guard g(lock);
  old = std::move(micSamples_);  // freed after the lock is released
  micSamples_ = std::move(fresh);
  micMode_ = mode;
  micLoop_ = loop;
  micAt_ = 0;
}

void Engine::setSynth(RenderFn fn, void* user) {
  if (fn) ensureClock();
  std::lock_guard s(synthLock_);
  synthFn_ = fn;
  synthUser_ = user;
}

void Engine::reset() {
  auto fresh = std::make_unique<MixerTable>(DefaultMixers());
  setSynth(nullptr, nullptr);
  setMicrophone(MicMode::Host);
  CardProbe::State oldProbe;  // freed after the lock is released
  std::unique_ptr<ClickMeasurement> oldMeasurement;
  {
    std::lock_guard g(lock);
    std::swap(table, fresh);
    if (probe) std::swap(probe->state, oldProbe);
    std::swap(measurement, oldMeasurement);
    latency.forget();
  }
  Clock kind = Clock::Automatic;
  const std::uint32_t roundTrip = clockRoundTrip(&kind);
  ResetRoundTrip(kind, roundTrip);
}

// ---------------------------------------------------------------- clocks

void Engine::ensureClock() {
  std::lock_guard c(clockMutex_);
  if (driver_ && driver_->lost()) {
    // The sound server went away: try the host again (a desktop restarts
    // its server), else the virtual device.
    driver_->stop();
    driver_.reset();
    startClock(Clock::Host);
  }
  if (!driver_) startClock(Clock::Automatic);
}

void Engine::selectClock(Clock clock) {
  std::lock_guard c(clockMutex_);
  if (driver_) {
    driver_->stop();
    driver_.reset();
  }
  startClock(clock);
}

Clock Engine::activeClock() {
  std::lock_guard c(clockMutex_);
  return active_;
}

void Engine::startClock(Clock clock) {
  static bool exitHandler = false;
  if (!exitHandler) {
    exitHandler = true;
    // Make sure the message queue exists before the handler is registered,
    // so it is destroyed only after the handler has stopped the clock.
    PostMessage(nullptr, 0, 0, 0);
    std::atexit(stopAtExit);
  }
  if (clock == Clock::Automatic) {
    const char* env = std::getenv("TUNELARK_AUDIO");
    std::string in, out;
    const bool remembered = RememberedDevices(&in, &out);
    if ((env && std::string(env) == "virtual") || (remembered && out == VirtualDeviceName())) {
      why_ = env && std::string(env) == "virtual" ? CardBackend::Why::Asked : CardBackend::Why::Chosen;
      clock = Clock::Virtual;
    } else {
      if (remembered) {
        hostInput_ = in;
        hostOutput_ = out;
      }
      clock = Clock::Host;
    }
    int offsetMs = 0;
    if (RememberedLatencyOffsetMs(&offsetMs)) SetLatencyOffsetMs(offsetMs);
  } else if (clock == Clock::Virtual) {
    why_ = CardBackend::Why::Chosen;
  }
  NoteCardThreadRealtimePriority(0);  // until the new clock's thread raises itself
  if (clock == Clock::Host) {
    driver_ = MakeHostClock(*this, hostInput_, hostOutput_);
    if (!driver_->start()) {
      clock = Clock::Virtual;
      why_ = CardBackend::Why::NoHost;
    }
  }
  if (clock == Clock::Virtual) {
    driver_ = MakeVirtualClock(*this);
    driver_->start();
  }
  if (clock == Clock::Stepped) {
    driver_ = MakeSteppedClock();
    driver_->start();
  }
  active_ = clock;
  unhurried_.store(clock == Clock::Stepped, std::memory_order_relaxed);
  AdoptClockRoundTrip(clock, driver_->roundTripFrames());
}

std::uint32_t Engine::clockRoundTrip(Clock* kind) {
  std::lock_guard c(clockMutex_);
  *kind = active_;
  return driver_ ? driver_->roundTripFrames() : 0;
}

CardBackend Engine::backend() {
  std::lock_guard c(clockMutex_);
  CardBackend b;
  b.clock = active_;
  b.why = why_;
  if (driver_) {
    const ClockDriver::Devices d = driver_->devices();
    b.server = d.server;
    b.output = d.output;
    b.input = d.input;
  }
  b.soundServer = active_ == Clock::Host && !b.server.empty();
  return b;
}

void Engine::advance(std::uint64_t frames, bool pump) {
  // Another clock may be selected meanwhile; stepping ends with it.
  while (frames > 0 && activeClock() == Clock::Stepped) {
    const auto n = std::min<std::uint64_t>(frames, kPeriodFrames);
    run(nullptr, nullptr, n, kPeriodFrames);
    if (pump) ProcessMessages();
    frames -= n;
  }
}

void Engine::selectHostDevices(const std::string& input, const std::string& output) {
  std::lock_guard c(clockMutex_);
  hostInput_ = input;
  hostOutput_ = output;
  if (active_ == Clock::Host) {
    driver_->stop();
    driver_.reset();
    startClock(Clock::Host);
  }
}

std::string Engine::hostInput() {
  std::lock_guard c(clockMutex_);
  return hostInput_;
}

std::string Engine::hostOutput() {
  std::lock_guard c(clockMutex_);
  return hostOutput_;
}

// ---------------------------------------------------------------- public control

void SelectClock(Clock clock) { Engine::instance().selectClock(clock); }
Clock ActiveClock() { return Engine::instance().activeClock(); }
void Advance(std::uint64_t frames) { Engine::instance().advance(frames, false); }
void AdvanceAndPump(std::uint64_t frames) { Engine::instance().advance(frames, true); }
std::uint64_t ClockFrames() { return Engine::instance().clockFrames(); }
bool PeriodsMayWait() { return Engine::instance().unhurried(); }

std::vector<HostDevice> HostDevices() { return ListHostDevices(); }
CardBackend CardBackendInUse() {
  Engine& e = Engine::instance();
  e.ensureClock();
  return e.backend();
}
void SelectHostDevices(const std::string& input, const std::string& output) {
  Engine::instance().selectHostDevices(input, output);
}
std::string SelectedHostInput() { return Engine::instance().hostInput(); }
std::string SelectedHostOutput() { return Engine::instance().hostOutput(); }
const char* VirtualDeviceName() { return "Tunelark virtual device"; }

void SetMicrophoneHost() { Engine::instance().setMicrophone(Engine::MicMode::Host); }
void SetMicrophoneSilence() { Engine::instance().setMicrophone(Engine::MicMode::Silence); }
void SetMicrophoneSamples(std::vector<float> interleaved, bool loop) {
  Engine::instance().setMicrophone(Engine::MicMode::Samples, std::move(interleaved), loop);
}

void SetSynthRender(RenderFn fn, void* user) { Engine::instance().setSynth(fn, user); }

void InstallMixers(std::vector<MixerDesc> mixers) {
  auto fresh = std::make_unique<MixerTable>(std::move(mixers));
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  std::swap(e.table, fresh);
}

std::array<int, 2> LinePeak(unsigned destination, int source) {
  Engine& e = Engine::instance();
  InspectionLock g(e.lock);
  const MixMixer* m = e.table->mixer(0);
  const MixLine* line = m ? m->line(destination, source) : nullptr;
  if (!line) return {0, 0};
  return {line->peak[0].load(), line->peak[1].load()};
}

void ResetCard() {
  Engine::instance().reset();
  ResetMonitorEffects();
}

}  // namespace soundcard
