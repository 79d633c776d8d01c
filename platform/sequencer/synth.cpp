#include "platform/sequencer/synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sequencer/mci.h"
#include "platform/sequencer/soundfonts.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/winmsg/winmsg.h"

namespace sequencer {

namespace {

constexpr int kDrumBank = 128;
constexpr int kDrumChannel = 9;
// Bank select values that make a channel a drum kit: 120 in General MIDI 2,
// 127 in XG (FluidSynth's own drum bank, 128, cannot be selected by a
// controller). Such a channel keeps its notes at any key.
constexpr std::uint8_t kGm2DrumBank = 120;
constexpr std::uint8_t kXgDrumBank = 127;
constexpr int kSustain = 64;  // the sustain pedal's controller
constexpr std::uint64_t kBlock = 64;  // FluidSynth's rendering block
// Loud enough beside a microphone, with room for dense arrangements.
constexpr double kGain = 0.4;

// FluidSynth's errors and warnings (an instrument the soundfont lacks, an
// unknown system exclusive message) say nothing the user can act on: the
// synthesizer substitutes an instrument, and a soundfont that does not load
// is reported through the device's error code.
void QuietLog(int, const char*, void*) {}

void StopWorkerAtExit() { Synth::instance().StopWorker(); }

// The soundfont's file access, as FluidSynth's own, counting the reads made
// while rendering.
thread_local bool tRendering = false;
std::atomic<std::uint64_t> gRenderFileReads{0};

void* OpenSoundfontFile(const char* name) { return std::fopen(name, "rb"); }

int ReadSoundfontFile(void* buffer, fluid_long_long_t count, void* file) {
  if (tRendering) gRenderFileReads.fetch_add(1, std::memory_order_relaxed);
  return std::fread(buffer, std::size_t(count), 1, static_cast<FILE*>(file)) == 1 ? FLUID_OK : FLUID_FAILED;
}

int SeekSoundfontFile(void* file, fluid_long_long_t offset, int origin) {
  return fseeko(static_cast<FILE*>(file), off_t(offset), origin) == 0 ? FLUID_OK : FLUID_FAILED;
}

fluid_long_long_t TellSoundfontFile(void* file) { return ftello(static_cast<FILE*>(file)); }

int CloseSoundfontFile(void* file) { return std::fclose(static_cast<FILE*>(file)) == 0 ? FLUID_OK : FLUID_FAILED; }

}  // namespace

// Never destroyed: the card's thread may call the render hook until the
// process ends. The
// worker, though, is stopped at exit, before the libraries' own statics go:
// a soundfont still loading uses FluidSynth.
Synth& Synth::instance() {
  static Synth* synth = [] {
    auto* made = new Synth;
    std::atexit(StopWorkerAtExit);
    return made;
  }();
  return *synth;
}

Synth::Synth() {
  fluid_set_log_function(FLUID_ERR, QuietLog, nullptr);
  fluid_set_log_function(FLUID_WARN, QuietLog, nullptr);
  fluid_set_log_function(FLUID_INFO, QuietLog, nullptr);
  fluid_set_log_function(FLUID_DBG, QuietLog, nullptr);
  ForgetNotes();
  worker_ = std::thread([this] { WorkerLoop(); });
  renderer_ = std::thread([this] { RenderLoop(); });
}

Synth::~Synth() {
  soundcard::SetSynthRender(nullptr, nullptr);
  StopWorker();
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(static_cast<fluid_settings_t*>(settings_));
}

// ---------------------------------------------------------------- worker

void Synth::Post(std::function<void()> job) {
  {
    std::lock_guard g(jobsLock_);
    jobs_.push_back(std::move(job));
  }
  jobsCv_.notify_one();
}

// The job in hand finishes; those still queued are dropped. The renderer
// ends too: the card plays silence from then on.
void Synth::StopWorker() {
  {
    std::lock_guard g(jobsLock_);
    quit_ = true;
  }
  jobsCv_.notify_all();
  if (worker_.joinable()) worker_.join();
  idleCv_.notify_all();
  rendererQuit_.store(true);
  ahead_.Wake();
  if (renderer_.joinable()) renderer_.join();
}

void Synth::WorkerLoop() {
  std::unique_lock g(jobsLock_);
  for (;;) {
    jobsCv_.wait(g, [this] { return quit_ || !jobs_.empty(); });
    if (quit_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    working_ = true;
    g.unlock();
    job();
    g.lock();
    working_ = false;
    if (jobs_.empty()) idleCv_.notify_all();
  }
}

// The candidates are looked up here, on the caller's thread: the settings
// belong to the application's threads, and the worker must not touch them
// while the program ends.
void Synth::StartLoading() {
  if (started_.exchange(true)) return;
  Post([this, candidates = SoundfontCandidates()] { LoadSoundfont(candidates); });
}

void Synth::Reload() {
  started_.store(true);
  Post([this, candidates = SoundfontCandidates()] { LoadSoundfont(candidates); });
}

void Synth::LoadSoundfont(const std::vector<std::string>& candidates) {
  std::unique_lock taken(synthLock_);
  if (!synth_) {
    auto* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", double(kSongRate));
    fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    // One thread at a time touches the synthesizer (synthLock_).
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    fluid_settings_setnum(settings, "synth.gain", kGain);
    settings_ = settings;
    synth_ = new_fluid_synth(settings);
    // Tried before the synthesizer's own loader.
    fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
    if (synth_ && loader) {
      fluid_sfloader_set_callbacks(loader, OpenSoundfontFile, ReadSoundfontFile, SeekSoundfontFile,
                                   TellSoundfontFile, CloseSoundfontFile);
      fluid_synth_add_sfloader(synth_, loader);
    }
  }
  if (sfontId_ >= 0) {
    fluid_synth_sfunload(synth_, sfontId_, 1);
    sfontId_ = -1;
    pinned_.clear();
    keepDefaults_ = false;
  }
  std::string path;
  if (synth_) {
    // The headers only: no channel selects an instrument here, so no
    // sample is loaded until a song asks for its instruments.
    for (const std::string& candidate : candidates) {
      const int id = fluid_synth_sfload(synth_, candidate.c_str(), 0);
      if (id != FLUID_FAILED) {
        sfontId_ = id;
        path = candidate;
        break;
      }
    }
  }
  {
    std::lock_guard g(infoLock_);
    loadedPath_ = path;
  }
  if (sfontId_ >= 0) PrepareSong();
  failed_.store(sfontId_ < 0);
  loaded_.store(sfontId_ >= 0);
  taken.unlock();
  idleCv_.notify_all();
}

// Makes the attached song (or none) ready to render: the synthesizer is
// silenced and every instrument the song selects is pinned; then the
// renderer may set the channels as the song has them and play it.
void Synth::PrepareSong() {
  std::shared_ptr<const Song> song;
  bool used = false;
  std::size_t cursor = 0;
  {
    std::lock_guard g(perfLock_);
    song = song_;
    used = used_;
    used_ = false;
    cursor = cursor_;
  }
  Silence(used);
  const std::uint16_t defaults = PinPresets(song.get());
  // The reset cleared the channels: they are set again as the song has them
  // at its position (a load can come in the middle of a song).
  auto state = std::make_unique<ChaseState>();
  if (song && cursor > 0) state->Gather(*song, cursor);
  std::lock_guard g(perfLock_);
  if (song_ != song) return;  // another song came meanwhile: its own job prepares it
  defaults_ = defaults;
  if (cursor_ == cursor) {
    ++chaseSerial_;  // a seek's gathering for the same position is not needed
    chase_ = *state;
    chaseReady_ = true;
  }  // else a seek came meanwhile, and its own job gathers its position
  chaseDue_ = true;
  prepared_.store(true);
}

// Loads and pins the samples of every instrument the song selects (and of
// the channels' defaults once a reset has needed them), with the
// replacements FluidSynth picks for instruments the soundfont lacks.
// Instruments no longer needed are let go; no channel holds one then.
// Returns the channels that start with their default instrument.
std::uint16_t Synth::PinPresets(const Song* song) {
  std::vector<std::pair<int, int>> wanted;
  if (keepDefaults_) wanted = {{0, 0}, {kDrumBank, 0}};
  if (song) wanted.insert(wanted.end(), song->presets.begin(), song->presets.end());
  std::vector<std::pair<int, int>> now;
  for (auto preset : wanted) Pin(preset, now);
  for (auto p : pinned_)
    if (std::find(now.begin(), now.end(), p) == now.end()) fluid_synth_unpin_preset(synth_, sfontId_, p.first, p.second);
  pinned_ = std::move(now);
  return song ? song->defaultChannels : 0;
}

// Pins what a program change to `preset` selects: the preset, else the
// replacement FluidSynth picks for it.
void Synth::Pin(std::pair<int, int> preset, std::vector<std::pair<int, int>>& pinned) {
  const auto [bank, program] = preset;
  const std::pair<int, int> tries[] = {{bank, program},
                                       bank == kDrumBank ? std::pair(kDrumBank, 0) : std::pair(0, program),
                                       bank == kDrumBank ? std::pair(kDrumBank, 0) : std::pair(0, 0)};
  for (auto t : tries) {
    if (std::find(pinned.begin(), pinned.end(), t) != pinned.end()) return;
    if (fluid_synth_pin_preset(synth_, sfontId_, t.first, t.second) == FLUID_OK) {
      pinned.push_back(t);
      return;
    }
  }
}

bool Synth::Ready() const {
  if (!loaded_.load()) return false;
  std::lock_guard g(jobsLock_);
  return jobs_.empty() && !working_;
}

bool Synth::Working() const {
  std::lock_guard g(jobsLock_);
  return working_;
}

// On a real clock the renderer catches up too; on the stepped clock it
// renders only when a period asks, so it is idle whenever no period runs.
bool Synth::WaitReady(int timeoutMs) {
  StartLoading();
  std::unique_lock g(jobsLock_);
  const bool idle = idleCv_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                     [this] { return jobs_.empty() && !working_; });
  g.unlock();
  const bool caughtUp = soundcard::PeriodsMayWait() || ahead_.WaitServed(ahead_.Wake(), timeoutMs);
  return idle && caughtUp && loaded_.load();
}

std::string Synth::LoadedSoundfont() const {
  std::lock_guard g(infoLock_);
  return loadedPath_;
}

// ---------------------------------------------------------------- commands

bool Synth::Attach(std::shared_ptr<const Song> song) {
  StartLoading();
  {
    std::lock_guard g(perfLock_);
    if (song_) return false;
    song_ = std::move(song);
    cursor_ = 0;
    frame_ = 0;
    frac_ = 0;
    tempo_ = 100;
    newKey_ = 0;
    run_ = false;
    notesOff_ = true;
    ChaseFromStart();
    notifyWnd_ = nullptr;
    position_.store(0);
    playing_.store(false);
    ended_.store(false);
    prepared_.store(false);
    Flush(false);
    StartEpoch();
  }
  WakeRenderer();
  soundcard::SetSynthRender(&Synth::Render, this);
  Post([this] {
    if (!loaded_.load() || prepared_.load()) return;  // none yet, or the load prepared it
    std::lock_guard taken(synthLock_);
    PrepareSong();
  });
  return true;
}

// A new song starts from silence: a synthesizer that has played is reset
// (which selects every channel's default instrument, so those stay pinned
// from then on) and rendered (unheard) until the last song's reverb and
// chorus tails have died away, at most a few seconds of sound, which takes
// the worker a few ms. Then no channel holds an instrument until the song
// sets them.
void Synth::Silence(bool reset) {
  if (reset) {
    keepDefaults_ = true;
    Pin({0, 0}, pinned_);
    Pin({kDrumBank, 0}, pinned_);
    fluid_synth_system_reset(synth_);
  }
  for (int c = 0; c < kChannels; ++c) fluid_synth_unset_program(synth_, c);
  constexpr int kChunk = 1024;
  constexpr int kMaxChunks = 10 * int(kSongRate) / kChunk;
  std::vector<float> chunk(2 * kChunk);
  for (int i = 0; i < kMaxChunks; ++i) {
    fluid_synth_write_float(synth_, kChunk, chunk.data(), 0, 2, chunk.data(), 1, 2);
    rendered_ += kChunk;
    float loudest = 0;
    for (float v : chunk) loudest = std::max(loudest, std::fabs(v));
    if (loudest == 0.0f) break;
  }
}

void Synth::Detach(const Song* song) {
  {
    std::lock_guard g(perfLock_);
    if (song_.get() != song) return;
    Flush(false);
    if (run_ || playing_.load()) Notify(MCI_NOTIFY_ABORTED);
    song_.reset();
    prepared_.store(true);
    if (chaseDue_ && !chaseReady_) ChaseFromStart();
    run_ = false;
    endKnown_.store(false);
    notesOff_ = true;
    position_.store(0);
    playing_.store(false);
    ended_.store(false);
  }
  WakeRenderer();
}

// A stopped song starts from where the card has played it (a song rendered
// to its end but not yet played to it goes on playing). Its opening is
// queued under a new generation before the card may hear it, by Cue ahead
// of the play or by the play itself, so the song begins at the card's next
// period after the play; only a worker busy with the synthesizer (loading a
// soundfont) leaves the opening to the renderer.
void Synth::Play(HWND notify, UINT id) {
  // The card may have been reset since the song was attached.
  soundcard::SetSynthRender(&Synth::Render, this);
  std::unique_lock taken(synthLock_, std::defer_lock);
  if (!soundcard::PeriodsMayWait() && cued_.load() == 0) (void)TakeSynthBriefly(taken);
  {
    std::lock_guard g(perfLock_);
    if (!song_) return;
    if (notifyWnd_) Notify(MCI_NOTIFY_SUPERSEDED);
    notifyWnd_ = notify;
    notifyId_ = id;
    ended_.store(false);
    endKnown_.store(false);
    used_ = true;
    if (const std::uint32_t cued = cued_.exchange(0)) {
      playing_.store(true);
      generation_.store(cued, std::memory_order_release);
    } else if (run_) {
      playing_.store(true);
    } else if (!ToHeardPlace()) {
      // Nothing left to play: done at once.
      Flush(false);
      ended_.store(true);
      playing_.store(false);
      Notify(MCI_NOTIFY_SUCCESSFUL);
      return;
    } else {
      const std::uint32_t next = QueueOpening(taken.owns_lock());
      playing_.store(true);
      generation_.store(next, std::memory_order_release);
    }
  }
  if (taken.owns_lock()) taken.unlock();
  WakeRenderer();
}

void Synth::Cue() {
  std::unique_lock taken(synthLock_, std::defer_lock);
  if (!TakeSynthBriefly(taken)) return;
  std::lock_guard g(perfLock_);
  if (!song_ || run_ || !loaded_.load() || !prepared_.load() || !ToHeardPlace()) return;
  cued_.store(QueueOpening(true));
}

// The worker may hold the synthesizer for seconds (loading a soundfont), the
// renderer for a chunk: a command waits for it briefly, by trying.
bool Synth::TakeSynthBriefly(std::unique_lock<std::mutex>& taken) {
  const auto until = std::chrono::steady_clock::now() + kOpeningWait;
  while (!taken.try_lock()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// A stopped song goes back to the frame the card played last. The queue
// holds it standing still there, unless it was rendered to its end and the
// card is still playing that: then the queue is voided at once, so no frame
// is played twice. False when nothing is left to play.
bool Synth::ToHeardPlace() {
  const Place heard = HeardPlace();
  if (heard.frame != frame_ || heard.frac != frac_ || heard.cursor != cursor_) Flush(true);
  return frame_ < song_->lengthFrames;
}

// The song plays from its place: its first chunks (the depth kept ahead,
// when the synthesizer is in hand) are queued under the next generation,
// which is returned unpublished; until it is published the card goes on
// playing the stopped song, and the renderer waits.
std::uint32_t Synth::QueueOpening(bool haveSynth) {
  align_ = true;
  run_ = true;
  const std::uint32_t next = generation_.load(std::memory_order_relaxed) + 1;
  if (haveSynth) {
    for (std::uint64_t q; ahead_.HasRoom() && (q = ahead_.Queued(next)) < kAheadFrames;)
      QueueChunk(next, std::uint32_t(std::min<std::uint64_t>(AheadChunk::kMaxFrames, kAheadFrames - q)), true);
  }
  return next;
}

// The song stops where the card has played it, its notes released there.
void Synth::Stop() {
  {
    std::lock_guard g(perfLock_);
    endKnown_.store(false);
    if (run_ || playing_.load()) {
      Flush(true);
      run_ = false;
      notesOff_ = true;
      playing_.store(false);
    }
    if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
  }
  WakeRenderer();
}

void Synth::Seek(std::uint64_t frame) {
  std::shared_ptr<const Song> song;
  std::size_t cursor = 0;
  std::uint64_t serial = 0;
  {
    std::lock_guard g(perfLock_);
    endKnown_.store(false);
    run_ = false;
    playing_.store(false);
    if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
    if (!song_) return;
    used_ = true;
    frame_ = std::min(frame, song_->lengthFrames);
    frac_ = 0;
    const auto& ev = song_->events;
    cursor_ = std::size_t(std::lower_bound(ev.begin(), ev.end(), frame_,
                                           [](const MidiEvent& e, std::uint64_t f) { return e.frame < f; }) -
                          ev.begin());
    notesOff_ = true;
    ended_.store(frame_ >= song_->lengthFrames);
    position_.store(frame_, std::memory_order_release);
    Flush(false);
    StartEpoch();
    if (cursor_ == 0) {
      ChaseFromStart();
    } else {
      song = song_;
      cursor = cursor_;
      serial = ++chaseSerial_;
      chaseDue_ = true;
      chaseReady_ = false;
    }
  }
  WakeRenderer();
  if (!song) return;
  // Gathered on the worker, so that neither the caller nor the renderer
  // reads the song up to the position; a later seek or song makes it void.
  Post([this, song = std::move(song), cursor, serial] {
    auto state = std::make_unique<ChaseState>();
    state->Gather(*song, cursor);
    std::lock_guard g(perfLock_);
    if (serial != chaseSerial_ || song_ != song) return;
    chase_ = *state;
    chaseReady_ = true;
  });
}

// Nothing before the position: the channels' defaults, at once.
void Synth::ChaseFromStart() {
  ++chaseSerial_;
  chase_.Clear();
  chaseDue_ = true;
  chaseReady_ = true;
}

void Synth::SetKeyTempo(const KeyTempo& kt) {
  const KeyTempo k = kt.Clamped();
  std::lock_guard g(perfLock_);
  newKey_ = k.key;
  tempo_ = k.tempo;
}

bool Synth::EndClockFrame(std::uint64_t& frame) const {
  if (!endKnown_.load()) return false;
  frame = endClock_.load();
  return true;
}

void Synth::Notify(WPARAM how) {
  if (notifyWnd_) PostMessageRealtime(notifyWnd_, MM_MCINOTIFY, how, LPARAM(notifyId_));
  notifyWnd_ = nullptr;
}

// ---------------------------------------------------------------- rendering ahead

void Synth::Flush(bool rewind) {
  // A cued opening is voided with the rest.
  const std::uint32_t cued = cued_.exchange(0);
  generation_.store((cued ? cued : generation_.load(std::memory_order_relaxed)) + 1, std::memory_order_release);
  if (!rewind) return;
  const Place to = HeardPlace();
  frame_ = to.frame;
  frac_ = to.frac;
  cursor_ = to.cursor;
}

// Where the song stands after the last frame the card played: exact to the
// frame, so a stop and a play go on without a frame lost or repeated. An
// event is sent at the first frame at which the song has reached it, so
// those the song reached before that frame have been sent.
Synth::Place Synth::HeardPlace() const {
  const std::uint64_t heard = heard_.load(std::memory_order_acquire);
  const std::uint64_t serial = heard >> kTakenBits;
  const auto taken = std::uint32_t(heard & ((1u << kTakenBits) - 1));
  const Mark& m = marks_[serial % marks_.size()];
  if (serial == 0 || m.serial != serial || m.epoch != epoch_) return epochStart_;
  if (taken == 0) return m.before;
  if (taken >= m.advanced || !song_) return m.advanced == 0 ? m.before : m.after;
  const std::uint64_t reached = m.before.frac + std::uint64_t(taken) * m.tempo;
  Place p;
  p.frame = m.before.frame + reached / 100;
  p.frac = std::uint32_t(reached % 100);
  const std::uint64_t last = m.before.frame + (reached - m.tempo) / 100;
  const auto& ev = song_->events;
  p.cursor = std::size_t(std::upper_bound(ev.begin() + std::ptrdiff_t(m.before.cursor),
                                          ev.begin() + std::ptrdiff_t(m.after.cursor), last,
                                          [](std::uint64_t f, const MidiEvent& e) { return f < e.frame; }) -
                         ev.begin());
  return p;
}

void Synth::StartEpoch() {
  ++epoch_;
  epochStart_ = Place{frame_, frac_, cursor_};
}

// On the stepped clock only a period asks the renderer for audio, so what
// is rendered never depends on when a command came.
void Synth::WakeRenderer() {
  if (!soundcard::PeriodsMayWait()) ahead_.Wake();
}

void Synth::RenderLoop() {
  std::uint32_t answered = 0;
  while (!rendererQuit_.load()) {
    answered = ahead_.WaitForWork(answered);
    if (rendererQuit_.load()) break;
    RenderAhead();
    ahead_.Served(answered);
  }
}

// Fills the queue up to the depth kept ahead and what the card waits for,
// a chunk at a time.
void Synth::RenderAhead() {
  const std::uint64_t depth = soundcard::PeriodsMayWait() ? steppedAhead_.load() : kAheadFrames;
  while (ahead_.HasRoom() && !rendererQuit_.load()) {
    std::unique_lock taken(synthLock_, std::try_to_lock);
    std::lock_guard g(perfLock_);
    if (cued_.load() != 0) return;  // a cued opening waits for its play
    const std::uint32_t generation = generation_.load(std::memory_order_relaxed);
    const std::uint64_t queued = ahead_.Queued(generation);
    const std::uint64_t goal = depth + ahead_.Needed();
    if (queued >= goal) return;
    QueueChunk(generation, std::uint32_t(std::min<std::uint64_t>(AheadChunk::kMaxFrames, goal - queued)),
               taken.owns_lock());
  }
}

// Renders the next chunk (with the synthesizer in hand, else silence) and
// queues it with where the song stood before and after it. Pushed under
// the lock, so a command that voids the queue finds every chunk of the old
// generation queued before it.
void Synth::QueueChunk(std::uint32_t generation, std::uint32_t frames, bool haveSynth) {
  chunk_.generation = generation;
  chunk_.serial = ++serial_;
  Mark& mark = marks_[serial_ % marks_.size()];
  mark = Mark{serial_, epoch_, Place{frame_, frac_, cursor_}, {}, std::uint32_t(tempo_), 0};
  if (haveSynth && loaded_.load() && prepared_.load()) {
    tRendering = true;
    RenderChunk(chunk_, frames);
    tRendering = false;
  } else {
    StandStill(chunk_, frames);
  }
  mark.after = Place{frame_, frac_, cursor_};
  mark.advanced = chunk_.advancing ? (chunk_.ended ? chunk_.endAt : chunk_.frames) : 0;
  ahead_.Push(chunk_);
}

// The worker has the synthesizer, or the song is not ready: silence, and a
// playing song stands still (so its end comes later).
void Synth::StandStill(AheadChunk& chunk, std::uint32_t frames) noexcept {
  std::fill_n(chunk.samples, 2 * frames, 0.0f);
  chunk.frames = frames;
  chunk.advancing = false;
  chunk.ended = false;
  Describe(chunk);
  chunk.after = frame_;
}

// The song at the chunk's first frame.
void Synth::Describe(AheadChunk& chunk) const noexcept {
  chunk.song = song_ != nullptr;
  chunk.playing = run_ && song_;
  chunk.songFrame = frame_;
  chunk.frac = frac_;
  chunk.tempo = std::uint32_t(tempo_);
  chunk.toEnd = chunk.playing ? CardFramesTo(song_->lengthFrames) : 0;
}

// A chunk ends on the song's last frame, so the end is published when the
// card has played it.
void Synth::RenderChunk(AheadChunk& chunk, std::uint32_t frames) noexcept {
  float* out = chunk.samples;
  if (notesOff_) {
    fluid_synth_all_notes_off(synth_, -1);
    ForgetNotes();
    notesOff_ = false;
  }
  if (chaseDue_ && !chaseReady_) {
    // The worker is still gathering the state at the position: the song
    // stands still meanwhile.
    StandStill(chunk, frames);
    return;
  }
  if (newKey_ != key_) ApplyKey();
  if (chaseDue_) {
    chase_.Apply(synth_, song_.get(), defaults_);
    for (int c = 0; c < kChannels; ++c) bankMsb_[c] = chase_.BankMsb(c);
    chaseDue_ = false;
  }
  if (run_ && song_ && align_) {
    AlignToNextNote();
    align_ = false;
  }
  Describe(chunk);
  chunk.advancing = chunk.playing;
  chunk.ended = false;
  std::uint32_t done = 0;
  while (done < frames) {
    std::uint32_t n = frames - done;
    bool advance = run_ && song_;
    if (advance) {
      const auto& ev = song_->events;
      while (cursor_ < ev.size() && ev[cursor_].frame <= frame_) Dispatch(ev[cursor_++]);
      if (frame_ >= song_->lengthFrames) {
        Finish();
        chunk.ended = true;
        chunk.endAt = done;
        if (done > 0) break;
        advance = false;
      } else {
        std::uint64_t next = song_->lengthFrames;
        if (cursor_ < ev.size()) next = std::min(next, ev[cursor_].frame);
        n = std::uint32_t(std::min<std::uint64_t>(n, CardFramesTo(next)));
      }
    }
    fluid_synth_write_float(synth_, int(n), out + 2 * done, 0, 2, out + 2 * done, 1, 2);
    rendered_ += n;
    done += n;
    if (advance) Advance(n);
  }
  // A song that ends on the chunk's last frame is over now: its final
  // events go out and the position stops at the length.
  if (run_ && song_ && frame_ >= song_->lengthFrames) {
    const auto& ev = song_->events;
    while (cursor_ < ev.size()) Dispatch(ev[cursor_++]);
    Finish();
    chunk.ended = true;
    chunk.endAt = done;
  }
  chunk.frames = done;
  chunk.after = frame_;
}

// ---------------------------------------------------------------- card's thread

std::uint64_t Synth::RenderFileReads() { return gRenderFileReads.load(); }

void Synth::Render(void* user, float* out, std::uint32_t frames) noexcept {
  auto& self = *static_cast<Synth*>(user);
  constexpr int kSteppedWaitMs = 10000;
  // The real clocks wake the renderer once the queue has lost two periods,
  // which leaves it the rest of the depth to answer in.
  constexpr std::uint64_t kLowWater = kAheadFrames - 2 * soundcard::kPeriodFrames;
  self.PublishEnd();
  const std::uint32_t generation = self.generation_.load(std::memory_order_acquire);
  const std::uint64_t now = soundcard::ClockFrames();
  const auto take = [&](std::uint32_t from) {
    return self.ahead_.Take(out + 2 * from, frames - from, generation, [&](const AheadChunk& c, std::uint32_t at) {
      self.Heard(c, c.frames, now + from + at);
    });
  };
  std::uint32_t got = take(0);
  const bool stepped = soundcard::PeriodsMayWait();
  if (got < frames && stepped && !self.rendererQuit_.load()) {
    // The stepped clock has no deadline: the renderer renders the rest of
    // the period (and the depth kept ahead there) while the card waits.
    self.ahead_.Need(frames - got);
    self.ahead_.WaitServed(self.ahead_.Wake(), kSteppedWaitMs);
    self.ahead_.Need(0);
    got += take(got);
  }
  std::uint32_t taken = 0;
  if (const AheadChunk* begun = self.ahead_.Begun(generation, taken)) self.Heard(*begun, taken, now + got);
  if (got < frames) {
    std::fill_n(out + 2 * got, 2 * (frames - got), 0.0f);
    self.underruns_.fetch_add(frames - got, std::memory_order_relaxed);
    // The song stood still for as long.
    if (self.heardPlaying_) self.endClock_.fetch_add(frames - got);
  }
  if (!stepped && self.ahead_.Fill() < kLowWater) self.ahead_.Wake();
}

// The card has played the first `taken` frames of `chunk`, the last of them
// at card frame `clockFrame` - 1.
void Synth::Heard(const AheadChunk& chunk, std::uint32_t taken, std::uint64_t clockFrame) noexcept {
  if (chunk.generation != generation_.load(std::memory_order_acquire)) return;  // voided meanwhile
  heard_.store(chunk.serial << kTakenBits | taken, std::memory_order_release);
  const bool over = chunk.ended && taken >= chunk.endAt;
  heardPlaying_ = chunk.playing && !over;
  if (chunk.song) position_.store(chunk.SongFrameAt(taken), std::memory_order_release);
  if (chunk.playing) {
    const std::uint64_t first = clockFrame - taken;
    endClock_.store(chunk.ended       ? first + chunk.endAt
                    : chunk.advancing ? first + chunk.toEnd
                                      : clockFrame + chunk.toEnd);
    endKnown_.store(true);
  }
  if (over && chunk.serial != endSerial_) {
    endSerial_ = chunk.serial;
    endPending_ = true;
    endGeneration_ = chunk.generation;
    PublishEnd();
  }
}

// The end notice goes out under the performance lock, which the card only
// tries: while the renderer holds it, the notice waits for the next period.
void Synth::PublishEnd() noexcept {
  if (!endPending_) return;
  std::unique_lock g(perfLock_, std::try_to_lock);
  if (!g.owns_lock()) return;
  endPending_ = false;
  if (endGeneration_ != generation_.load(std::memory_order_relaxed)) return;  // a command came first
  playing_.store(false, std::memory_order_release);
  ended_.store(true, std::memory_order_release);
  Notify(MCI_NOTIFY_SUCCESSFUL);
}

// FluidSynth starts notes only at its 64-frame blocks, so a note sounds at
// the first block at or after its frame. When playing starts, the block grid
// is moved (by rendering up to 63 frames that are not heard) so that a block
// begins exactly at the next note: the first note sounds at its frame, the
// others at most 63 frames after theirs.
void Synth::AlignToNextNote() noexcept {
  const auto& ev = song_->events;
  std::uint64_t target = frame_;
  for (std::size_t i = cursor_; i < ev.size(); ++i) {
    if ((ev[i].status & 0xF0) == 0x90 && ev[i].data2 > 0) {
      target = ev[i].frame;
      break;
    }
  }
  const auto skip = std::uint32_t((kBlock - (rendered_ + CardFramesTo(target)) % kBlock) % kBlock);
  if (skip == 0) return;
  fluid_synth_write_float(synth_, int(skip), scratch_, 0, 2, scratch_, 1, 2);
  rendered_ += skip;
}

// At the end the remaining notes are released, so their tails ring out
// into the mix; the song counts as stopped once the card has played its
// last frame (Heard).
void Synth::Finish() noexcept {
  frame_ = song_->lengthFrames;
  frac_ = 0;
  run_ = false;
  fluid_synth_all_notes_off(synth_, -1);
  ForgetNotes();
}

// The card frames until the song reaches `songFrame` (0 if it has): the
// first card frame at which the position is at or past it.
std::uint64_t Synth::CardFramesTo(std::uint64_t songFrame) const noexcept {
  if (songFrame <= frame_) return 0;
  const std::uint64_t hundredths = (songFrame - frame_) * 100 - frac_;
  return (hundredths + std::uint64_t(tempo_) - 1) / std::uint64_t(tempo_);
}

void Synth::Advance(std::uint64_t cardFrames) noexcept {
  const std::uint64_t hundredths = frac_ + cardFrames * std::uint64_t(tempo_);
  frame_ += hundredths / 100;
  frac_ = std::uint32_t(hundredths % 100);
}

void Synth::ForgetNotes() noexcept { std::memset(sounding_, -1, sizeof sounding_); }

// The drum channel and channels whose bank is a drum kit.
bool Synth::Drums(int channel) const noexcept {
  return channel == kDrumChannel || bankMsb_[channel] == kGm2DrumBank || bankMsb_[channel] == kXgDrumBank;
}

// How far the key moves the notes of `channel`: not at all on drums.
int Synth::Shift(int channel) const noexcept { return Drums(channel) ? 0 : key_; }

// A new key releases every sounding note it would play elsewhere now, so
// that no chord of the old key rings on under the new one; the song's own
// release of such a note later finds nothing left to release. Notes that
// the sustain pedal holds after their release ring on too: on a channel the
// key moves, a pedal that is down is lifted and pressed again, which ends
// them and keeps the pedal for the notes to come.
void Synth::ApplyKey() noexcept {
  key_ = newKey_;
  for (int c = 0; c < kChannels; ++c) {
    const int shift = Shift(c);
    for (int n = 0; n < 128; ++n) {
      if (sounding_[c][n] < 0 || sounding_[c][n] == n + shift) continue;
      fluid_synth_noteoff(synth_, c, sounding_[c][n]);
      sounding_[c][n] = -1;
    }
    int pedal = 0;
    if (!Drums(c) && fluid_synth_get_cc(synth_, c, kSustain, &pedal) == FLUID_OK && pedal >= 64) {
      fluid_synth_cc(synth_, c, kSustain, 0);
      fluid_synth_cc(synth_, c, kSustain, pedal);
    }
  }
}

// Notes move by the channel's shift; a note the shift takes outside 0..127
// is not played. A release or a key pressure goes to the number its note
// was started with.
void Synth::DispatchNote(const MidiEvent& e) noexcept {
  const int channel = e.status & 0x0F;
  const int kind = e.status & 0xF0;
  const int original = e.data1 & 0x7F;
  const bool on = kind == 0x90 && e.data2 > 0;
  std::int8_t& started = sounding_[channel][original];
  int note = original + Shift(channel);
  if (started >= 0 && !on) {
    note = started;
  } else if (on && started >= 0 && started != note) {
    // Struck again after its channel turned to or from a drum kit: the
    // sounding one ends first, as a repeated note does.
    fluid_synth_noteoff(synth_, channel, started);
    started = -1;
  }
  if (note < 0 || note > 127) return;
  switch (kind) {
    case 0x80: fluid_synth_noteoff(synth_, channel, note); break;
    case 0x90: fluid_synth_noteon(synth_, channel, note, e.data2); break;
    default: fluid_synth_key_pressure(synth_, channel, note, e.data2); return;
  }
  started = std::int8_t(on ? note : -1);
}

void Synth::Dispatch(const MidiEvent& e) noexcept {
  const int channel = e.status & 0x0F;
  switch (e.status & 0xF0) {
    case 0x80:
    case 0x90:
    case 0xA0: DispatchNote(e); break;
    case 0xB0:
      if (e.data1 == 0) bankMsb_[channel] = e.data2;
      fluid_synth_cc(synth_, channel, e.data1, e.data2);
      break;
    case 0xC0: fluid_synth_program_change(synth_, channel, e.data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth_, channel, e.data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth_, channel, e.data1 | (e.data2 << 7)); break;
    case 0xF0:
      if (e.status == 0xF0 && e.sysexLength > 0)
        fluid_synth_sysex(synth_, song_->sysex.data() + e.sysexOffset, int(e.sysexLength), nullptr, nullptr,
                          nullptr, 0);
      break;
    default: break;
  }
}

}  // namespace sequencer
