// The card's engine: one per process. It owns the open handles, the mixer
// table and the sources, and runs the periods for whichever clock drives
// it. A probe (cardprobe.h), when a test installs one, sees each period.
//
// With the card's calls over it (the *_api.cpp files, devicecaps.cpp,
// mixerapi.cpp) it is the card's core; the parts never include this
// header. A clock sees the engine as a CardRunner (clockdriver.h); the
// delay lines, the click measurement, the probe, the handles and the mixer
// table are handed what they work on, and the calls that reach them
// through the engine live in the core.
//
// Locking: `lock` guards everything here. The card's thread holds it for
// one period's work (no I/O, no allocation, no waiting inside); the calls of
// the multimedia API hold it for a few pointer operations. Callback
// functions are never called under it. A period also holds its barrier
// (periodbarrier.h, taken first), so two periods never run at once.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/effects/monitorchain.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/clockdriver.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/mixertable.h"
#include "platform/soundcard/notes.h"
#include "platform/soundcard/periodbarrier.h"
#include "platform/soundcard/soundcard.h"

struct MixerHandle {
  UINT mixerId = 0;
  soundcard::Callback callback;
};

namespace soundcard {

class CardProbe;
class ClickMeasurement;
struct WaveInProbeRecord;

class Engine final : public CardRunner {
 public:
  static constexpr std::size_t kMaxHandles = 32;
  static constexpr std::uint32_t kMaxFrames = 4096;  // frames per internal step

  static Engine& instance();

  std::mutex lock;

  // ---- guarded by `lock`
  std::array<WaveInHandle*, kMaxHandles> waveIns{};
  std::array<WaveOutHandle*, kMaxHandles> waveOuts{};
  std::vector<MixerHandle*> mixers;
  std::unique_ptr<MixerTable> table;
  CardProbe* probe = nullptr;  // installed by tests; never removed
  Latency latency;  // the recording mix's delay, the virtual round trip
  std::unique_ptr<ClickMeasurement> measurement;  // a round-trip measurement

  // ---- the monitor's effects (monitor_api.cpp): settings and reverbs reach
  // the card's thread lock-free (monitorchain.h); only clear() needs `lock`.
  effects::MonitorChain monitor;
  std::atomic<bool> monitorRecorded{false};  // the recording mix takes the effected microphone

  bool isOpen(HWAVEIN h) const;
  bool isOpen(HWAVEOUT h) const;
  bool isOpen(HMIXER h) const;

  // Delivers `notes` once the card's thread has finished delivering those
  // of its current period (and any window messages it still keeps), so a
  // buffer's messages keep their order. Call without holding `lock`.
  void callInOrder(NoteList& notes);
  // The card's notices kept back or dropped (see NoteList).
  std::uint64_t deferredNotices() const { return cardNotes_.refusals(); }
  std::uint64_t droppedNotices() const { return cardNotes_.dropped(); }

  // ---- the clock (main thread)
  void ensureClock();
  void selectClock(Clock clock);
  Clock activeClock();
  void advance(std::uint64_t frames, bool pump);
  std::uint64_t clockFrames() const { return clockFrames_.load(std::memory_order_acquire); }
  bool unhurried() const { return unhurried_.load(std::memory_order_relaxed); }
  void selectHostDevices(const std::string& input, const std::string& output);
  std::string hostInput();
  std::string hostOutput();
  // The running clock's reported round trip and its kind.
  std::uint32_t clockRoundTrip(Clock* kind);
  CardBackend backend();
  void hostLost() noexcept override { lostPending_.store(true); }

  // ---- sources (any thread but the card's)
  // Probe: the installed probe's microphone (silence without one).
  enum class MicMode { Host, Silence, Probe, Samples };
  void setMicrophone(MicMode mode, std::vector<float> samples = {}, bool loop = false);
  void setSynth(RenderFn fn, void* user);
  void reset();

  void run(const float* hostIn, float* hostOut, std::uint64_t frames,
           std::uint32_t step) noexcept override;

 private:
  Engine();
  void period(const float* hostIn, float* hostOut, std::uint32_t frames) noexcept;
  void fillMicrophone(const float* hostIn, std::uint32_t frames) noexcept;
  void startClock(Clock clock);  // under clockMutex_
  void tellLost() noexcept;      // card's thread, under `lock`

  // Held by the card's thread for a whole period, up to the return of its
  // callback functions; taken before `lock`.
  PeriodBarrier barrier_;
  NoteList cardNotes_;
  std::vector<float> waveOut_, synth_, mic_, playback_, recording_, voice_, monitored_;
  std::atomic<std::uint64_t> clockFrames_{0};

  MicMode micMode_ = MicMode::Host;
  std::shared_ptr<std::vector<float>> micSamples_;
  bool micLoop_ = false;
  std::size_t micAt_ = 0;
  RenderFn synthFn_ = nullptr;
  void* synthUser_ = nullptr;
  std::mutex synthLock_;  // held while the synthesizer renders or is swapped

  std::mutex clockMutex_;
  std::unique_ptr<ClockDriver> driver_;
  Clock active_ = Clock::Automatic;
  CardBackend::Why why_ = CardBackend::Why::NoHost;  // of the virtual device
  std::atomic<bool> lostPending_{false};
  // The clock's periods may take as long as they need (the stepped clock):
  // the reverb then waits for its threads, so results never depend on load.
  std::atomic<bool> unhurried_{false};
  std::string hostInput_, hostOutput_;
};

// The delay lines are sized for the longest step a period takes.
static_assert(Engine::kMaxFrames <= Latency::kMaxPeriod);

// The monitor's effects off at once, their reverbs freed (monitor_api.cpp):
// ResetCard, and at exit once the clocks are stopped.
void ResetMonitorEffects();

// The installed probe of `engine`, installing it first. Takes the lock.
CardProbe& InstallProbe(Engine& engine);
// waveInOpen: a fresh record for a handle of `format` when a probe is
// installed, else null. Takes the lock; allocates outside it.
std::shared_ptr<WaveInProbeRecord> NewWaveInRecord(Engine& engine, const WAVEFORMATEX& format);

// Finds the mixer that a mixer call's object names (a mixer id or handle,
// or a wave device id or handle, as the MIXER_OBJECTF_ bits of `flags`
// say): its id, or an error code. Call with the engine's lock held.
MMRESULT ResolveMixer(Engine& engine, HMIXEROBJ obj, DWORD flags, UINT* mixerId);

// Identity of the card's wave devices (capabilities and mixer targets).
constexpr WORD kCardMid = 0x00FF;
constexpr WORD kWaveOutPid = 1;
constexpr WORD kWaveInPid = 2;
constexpr UINT kCardDriverVersion = 0x0106;
constexpr const char* kCardName = "Tunelark Sound Card";

}  // namespace soundcard
