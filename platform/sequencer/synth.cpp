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
// inside the render hook.
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

// Never destroyed: the card's thread may render until the process ends. The
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

// The job in hand finishes; those still queued are dropped.
void Synth::StopWorker() {
  {
    std::lock_guard g(jobsLock_);
    quit_ = true;
  }
  jobsCv_.notify_all();
  if (worker_.joinable()) worker_.join();
  idleCv_.notify_all();
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
// silenced and every instrument the song selects is pinned; then the card's
// thread may set the channels as the song has them and play it.
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

bool Synth::WaitReady(int timeoutMs) {
  StartLoading();
  std::unique_lock g(jobsLock_);
  const bool idle = idleCv_.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                     [this] { return jobs_.empty() && !working_; });
  return idle && loaded_.load();
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
  }
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
  std::lock_guard g(perfLock_);
  if (song_.get() != song) return;
  if (run_) Notify(MCI_NOTIFY_ABORTED);
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

void Synth::Play(HWND notify, UINT id) {
  // The card may have been reset since the song was attached.
  soundcard::SetSynthRender(&Synth::Render, this);
  std::lock_guard g(perfLock_);
  if (!song_) return;
  if (notifyWnd_) Notify(MCI_NOTIFY_SUPERSEDED);
  notifyWnd_ = notify;
  notifyId_ = id;
  ended_.store(false);
  endKnown_.store(false);
  used_ = true;
  if (frame_ >= song_->lengthFrames) {
    // Nothing left to play: done at once.
    ended_.store(true);
    Notify(MCI_NOTIFY_SUCCESSFUL);
    return;
  }
  run_ = true;
  align_ = true;
  playing_.store(true);
}

void Synth::Stop() {
  std::lock_guard g(perfLock_);
  endKnown_.store(false);
  if (run_) {
    run_ = false;
    notesOff_ = true;
    playing_.store(false);
  }
  if (notifyWnd_) Notify(MCI_NOTIFY_ABORTED);
}

void Synth::Seek(std::uint64_t frame) {
  std::shared_ptr<const Song> song;
  std::size_t cursor = 0;
  std::uint64_t serial = 0;
  {
    std::lock_guard g(perfLock_);
    endKnown_.store(false);
    if (run_) {
      run_ = false;
      playing_.store(false);
    }
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
    if (cursor_ == 0) {
      ChaseFromStart();
      return;
    }
    song = song_;
    cursor = cursor_;
    serial = ++chaseSerial_;
    chaseDue_ = true;
    chaseReady_ = false;
  }
  // Gathered on the worker, so that neither the caller nor the card's thread
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

// ---------------------------------------------------------------- card's thread

std::uint64_t Synth::RenderFileReads() { return gRenderFileReads.load(); }

void Synth::Render(void* user, float* out, std::uint32_t frames) noexcept {
  auto& self = *static_cast<Synth*>(user);
  tRendering = true;
  struct Leave {
    ~Leave() { tRendering = false; }
  } leave;
  std::unique_lock taken(self.synthLock_, std::try_to_lock);
  if (!taken.owns_lock() || !self.loaded_.load() || !self.prepared_.load()) {
    // A playing song stands still meanwhile, so its end comes later.
    if (self.playing_.load()) self.endClock_.fetch_add(frames);
    std::fill_n(out, 2 * frames, 0.0f);
    return;
  }
  std::lock_guard g(self.perfLock_);
  self.RenderLocked(out, frames);
}

void Synth::RenderLocked(float* out, std::uint32_t frames) noexcept {
  if (notesOff_) {
    fluid_synth_all_notes_off(synth_, -1);
    ForgetNotes();
    notesOff_ = false;
  }
  if (chaseDue_ && !chaseReady_) {
    // The worker is still gathering the state at the position: the song
    // stands still meanwhile.
    std::fill_n(out, 2 * frames, 0.0f);
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
  if (run_ && song_) {
    // The card's clock stands at this period's first frame while it runs.
    endClock_.store(soundcard::ClockFrames() + CardFramesTo(song_->lengthFrames));
    endKnown_.store(true);
  }
  std::uint32_t done = 0;
  while (done < frames) {
    std::uint32_t n = frames - done;
    bool advance = run_ && song_;
    if (advance) {
      const auto& ev = song_->events;
      while (cursor_ < ev.size() && ev[cursor_].frame <= frame_) Dispatch(ev[cursor_++]);
      if (frame_ >= song_->lengthFrames) {
        Finish();
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
  // A song that ends on this period's last frame is over now, not a period
  // later: its final events go out and the position stops at the length.
  if (run_ && song_ && frame_ >= song_->lengthFrames) {
    const auto& ev = song_->events;
    while (cursor_ < ev.size()) Dispatch(ev[cursor_++]);
    Finish();
  }
  if (song_) {
    position_.store(frame_, std::memory_order_release);
  }
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
// into the mix while the song already counts as stopped.
void Synth::Finish() noexcept {
  frame_ = song_->lengthFrames;
  frac_ = 0;
  run_ = false;
  fluid_synth_all_notes_off(synth_, -1);
  ForgetNotes();
  playing_.store(false, std::memory_order_release);
  ended_.store(true, std::memory_order_release);
  Notify(MCI_NOTIFY_SUCCESSFUL);
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
