#include "platform/soundcard/pulseclock.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "platform/soundcard/clockdriver.h"
#include "platform/soundcard/roundtripwatch.h"
#include "platform/soundcard/spscring.h"
#include "platform/soundcard/stopsignal.h"

namespace soundcard {

namespace {

using Steady = std::chrono::steady_clock;

constexpr std::uint32_t kFrameBytes = 2 * sizeof(float);
// Requested buffering. The server keeps two periods queued for the sink and
// asks for half a period at a time; the source sends the microphone a
// period at a time. With the microphone's margin below, the round trip on a
// null sink comes to about 25 ms.
constexpr std::uint32_t kQueuedFrames = 2 * kPeriodFrames;
constexpr std::uint32_t kRequestFrames = kPeriodFrames / 2;
constexpr std::uint32_t kFragmentFrames = kPeriodFrames;
// Microphone frames the card has not taken yet: far more than the streams
// ever hold apart, so only a stalled or drifting stream reaches it.
constexpr std::size_t kFifoFrames = 16384;
// Microphone frames kept waiting for the card beyond what it takes at once:
// the source delivers in bursts of up to a fragment. Beyond the margin and
// this surplus the FIFO is trimmed.
constexpr std::uint32_t kMarginFrames = kFragmentFrames;
constexpr std::uint32_t kSurplusFrames = 8 * kPeriodFrames;
// Frames between two requests for the server's timing (50 ms).
constexpr std::uint32_t kTimingFrames = kSampleRate / 20;
// Frames per run of the card: the largest block the scratch buffers take.
constexpr std::uint32_t kChunkFrames = 2048;
// How long a pause between periods is remembered for judging an underrun.
constexpr double kPauseMemoryMs = 250.0;
// Waiting in start() for the first settled round trip, at most: the
// record stream's first frames may come two seconds after the playback's,
// and PipeWire's figure takes a second or two more to settle.
constexpr auto kSettleWait = std::chrono::seconds(5);
// The server counts as lost when its connection fails, or when it has
// asked for no frames for this long while this process ran (a hung
// server). The guard looks every 100 ms; a look that comes much later than
// that means this process itself was stopped, and the silence is judged
// from then on.
constexpr auto kGuardInterval = std::chrono::milliseconds(100);
constexpr auto kGuardLate = std::chrono::milliseconds(400);
constexpr auto kSilence = std::chrono::milliseconds(750);

// The running server stream's figures. Written by the main loop's thread
// (and by start/stop), read by any thread through the card calls.
// Input latency in the high half, output in the low: one store keeps the
// pair consistent.
std::atomic<std::uint64_t> gLatency{0};
std::atomic<bool> gLatencyKnown{false};
std::atomic<bool> gRunning{false};
std::atomic<std::uint64_t> gLostFrames{0};
std::atomic<double> gFirstOutputMs{-1.0};
std::atomic<double> gFirstInputMs{-1.0};
std::atomic<std::uint64_t> gLosses{0};

const pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, kSampleRate, kChannels};

double MsSince(Steady::time_point t0) {
  return std::chrono::duration<double, std::milli>(Steady::now() - t0).count();
}

// ---------------------------------------------------------------- the clock

// The round trip of the running stream in frames, once the server has
// reported its timing.
std::optional<std::uint32_t> MeasuredRoundTrip() {
  const HostLatencyFrames l = HostLatency();
  if (!l.known) return std::nullopt;
  return std::uint32_t(std::max(0, l.input + l.output));
}

class PulseClock final : public ClockDriver {
 public:
  PulseClock(CardRunner& card, std::string input, std::string output)
      : card_(card),
        inputName_(std::move(input)),
        outputName_(std::move(output)),
        fifo_(2 * kFifoFrames),
        in_(2 * kChunkFrames),
        zeros_(2 * kChunkFrames, 0.0f) {}
  ~PulseClock() override { stop(); }

  Clock kind() const override { return Clock::Host; }

  // The settled round trip the watch adopted (0 until then).
  std::uint32_t roundTripFrames() const override { return adopted_.load(); }
  bool lost() const override { return lost_.load(); }
  Devices devices() const override { return devices_; }

  bool start() override {
    started_ = Steady::now();
    gFirstOutputMs = -1.0;
    gFirstInputMs = -1.0;
    gLatencyKnown = false;
    loop_ = pa_threaded_mainloop_new();
    if (!loop_) return false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Tunelark");
    if (!context_) return fail();
    pa_context_set_state_callback(context_, &PulseClock::onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return fail();
    pa_threaded_mainloop_lock(loop_);
    if (pa_threaded_mainloop_start(loop_) < 0) {
      pa_threaded_mainloop_unlock(loop_);
      return fail();
    }
    bool ok = waitContext();
    // Without a sink there is nothing to run the card; without a source it
    // plays only. Both streams are made corked, so the server has set the
    // devices up for their small buffers before either runs; then they
    // start together.
    if (ok) ok = openStream(play_, PA_STREAM_PLAYBACK, outputName_);
    if (ok) openStream(rec_, PA_STREAM_RECORD, inputName_);
    if (ok) {
      describe();
      if (rec_) uncork(rec_);
      uncork(play_);
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!ok) return fail();
    gRunning = true;
    // The recording mix follows the round trip once the server has timed
    // it. The clock is in use only once the first figure has settled, so
    // a take is compensated from its first frame, and begins only once
    // both streams run.
    watch_.start(&MeasuredRoundTrip, [this](std::uint32_t frames) {
      adopted_ = frames;
      AdoptClockRoundTrip(Clock::Host, frames);
    });
    watch_.waitFirst(kSettleWait);
    if (gFirstOutputMs.load() < 0) return fail();  // the server never asked for frames
    failed_ = false;  // a named device that did not connect is no loss
    lastPumpNs_ = Steady::now().time_since_epoch().count();
    guardQuit_.lower();
    guard_ = std::thread([this] { guard(); });
    return true;
  }

  void stop() override {
    if (guard_.joinable()) {
      guardQuit_.raise();
      guard_.join();
    }
    fallback_.reset();
    watch_.stop();
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    if (underflowAt_) addLost(underrunMs());
    underflowAt_.reset();
    closeStream(rec_);
    closeStream(play_);
    if (context_) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    gRunning = false;
    gLatencyKnown = false;
  }

 private:
  bool fail() {
    stop();
    return false;
  }

  // ---- start and stop (the selecting thread, main loop locked)

  bool waitContext() {
    for (;;) {
      const pa_context_state_t s = pa_context_get_state(context_);
      if (s == PA_CONTEXT_READY) return true;
      if (!PA_CONTEXT_IS_GOOD(s)) return false;
      pa_threaded_mainloop_wait(loop_);
    }
  }

  // Connects `s` to the named device, else to the default one; leaves it
  // nullptr when neither connects. The stream is in place before it
  // connects: the server asks for the first frames as soon as it is ready.
  bool openStream(pa_stream*& s, pa_stream_direction_t direction, const std::string& device) {
    if (connectStream(s, direction, device.empty() ? nullptr : device.c_str())) return true;
    return !device.empty() && connectStream(s, direction, nullptr);
  }

  bool connectStream(pa_stream*& s, pa_stream_direction_t direction, const char* device) {
    const bool playback = direction == PA_STREAM_PLAYBACK;
    s = pa_stream_new(context_, playback ? "Tunelark playback" : "Tunelark recording", &kSpec,
                      nullptr);
    if (!s) return false;
    pa_stream_set_state_callback(s, &PulseClock::onStreamState, this);
    pa_buffer_attr attr;
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = kQueuedFrames * kFrameBytes;
    attr.prebuf = kRequestFrames * kFrameBytes;
    attr.minreq = kRequestFrames * kFrameBytes;
    attr.fragsize = kFragmentFrames * kFrameBytes;
    const auto flags =
        pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                          PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_START_CORKED);
    int rc;
    if (playback) {
      pa_stream_set_write_callback(s, &PulseClock::onWritable, this);
      pa_stream_set_underflow_callback(s, &PulseClock::onUnderflow, this);
      pa_stream_set_started_callback(s, &PulseClock::onStarted, this);
      rc = pa_stream_connect_playback(s, device, &attr, flags, nullptr, nullptr);
    } else {
      pa_stream_set_read_callback(s, &PulseClock::onReadable, this);
      pa_stream_set_overflow_callback(s, &PulseClock::onOverflow, this);
      rc = pa_stream_connect_record(s, device, &attr, flags);
    }
    while (rc == 0 && pa_stream_get_state(s) != PA_STREAM_READY) {
      if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
        rc = -1;
        break;
      }
      pa_threaded_mainloop_wait(loop_);
    }
    if (rc != 0) {
      closeStream(s);
      return false;
    }
    const pa_buffer_attr* got = pa_stream_get_buffer_attr(s);
    if (!playback && got) fragmentFrames_ = std::max<std::uint32_t>(1, got->fragsize / kFrameBytes);
    return true;
  }

  void uncork(pa_stream* s) {
    if (pa_operation* op = pa_stream_cork(s, 0, nullptr, nullptr)) pa_operation_unref(op);
  }

  static bool Ready(pa_stream* s) { return s && pa_stream_get_state(s) == PA_STREAM_READY; }

  void closeStream(pa_stream*& s) {
    if (!s) return;
    pa_stream_set_state_callback(s, nullptr, nullptr);
    pa_stream_set_write_callback(s, nullptr, nullptr);
    pa_stream_set_read_callback(s, nullptr, nullptr);
    pa_stream_set_underflow_callback(s, nullptr, nullptr);
    pa_stream_set_overflow_callback(s, nullptr, nullptr);
    pa_stream_set_started_callback(s, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(s))) pa_stream_disconnect(s);
    pa_stream_unref(s);
    s = nullptr;
  }

  // The server's name and version and the devices the streams play to
  // and record from.
  void describe() {
    struct Answer {
      PulseClock* self;
      bool done = false;
    } answer{this};
    pa_operation* op = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* user) {
          auto* a = static_cast<Answer*>(user);
          if (info && info->server_name)
            a->self->devices_.server =
                std::string(info->server_name) + (info->server_version ? std::string(" ") + info->server_version : "");
          a->done = true;
          pa_threaded_mainloop_signal(a->self->loop_, 0);
        },
        &answer);
    awaitAnswer(op, answer.done);
    const char* sink = pa_stream_get_device_name(play_);
    devices_.output = sink ? sink : "";
    const char* source = rec_ ? pa_stream_get_device_name(rec_) : nullptr;
    devices_.input = source ? source : "";
    if (devices_.server.find("PipeWire") != std::string::npos) {
      graphFrames_ = pipeWireCycle();
      smoothedOutput_ = true;
    }
  }

  // Waits on the main loop (its lock held) until an introspection
  // operation's callback has answered or the operation ended, and frees it.
  void awaitAnswer(pa_operation* op, const bool& done) {
    while (op && !done && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
    if (op) pa_operation_unref(op);
  }

  // PipeWire's graph holds what a stream gives it for one cycle (a
  // quantum) before the sink takes it, and its timing reports leave that
  // out. The graph runs at the sink's rate with the smallest latency its
  // streams ask for, rounded down to a power of two; this stream asks for
  // its request size (the server sets the stream's latency to it), the
  // smallest a desktop's streams usually ask for. The cycle in the card's
  // frames.
  std::int32_t pipeWireCycle() {
    struct Answer {
      PulseClock* self;
      std::uint32_t rate = 0;
      bool done = false;
    } answer{this};
    pa_operation* op = pa_context_get_sink_info_by_name(
        context_, devices_.output.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* user) {
          auto* a = static_cast<Answer*>(user);
          if (info && !eol) a->rate = info->sample_spec.rate;
          if (eol) {
            a->done = true;
            pa_threaded_mainloop_signal(a->self->loop_, 0);
          }
        },
        &answer);
    awaitAnswer(op, answer.done);
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(play_);
    if (!attr || answer.rate == 0) return 0;
    const double request = double(attr->minreq / kFrameBytes) * answer.rate / kSampleRate;
    std::uint32_t quantum = 1;
    while (quantum * 2 <= request) quantum *= 2;
    return std::int32_t(std::llround(double(quantum) * kSampleRate / answer.rate));
  }

  // ---- the guard's thread

  void guard() {
    auto judgedFrom = Steady::now();
    auto lastLook = judgedFrom;
    while (!guardQuit_.waitFor(kGuardInterval)) {
      const auto now = Steady::now();
      if (now - lastLook > kGuardLate) judgedFrom = now;  // this process was stopped
      lastLook = now;
      const Steady::time_point pumped{Steady::duration(lastPumpNs_.load(std::memory_order_relaxed))};
      const auto silent = now - std::max(pumped, judgedFrom);
      if (failed_.load() || silent > kSilence) {
        takeOver();
        return;
      }
    }
  }

  // The server is lost: the card's periods go on at real time on the
  // virtual device (silent microphone), so nothing waits for ever, and the
  // open wave handles are told.
  void takeOver() {
    lost_ = true;
    gRunning = false;
    gLatencyKnown = false;
    gLosses.fetch_add(1);
    fallback_ = MakeVirtualClock(card_);
    fallback_->start();
    card_.hostLost();
  }

  // ---- the main loop's thread

  // A connection or stream that fails once running means the server is
  // lost; the guard takes over.
  static void onContextState(pa_context* c, void* user) {
    auto* self = static_cast<PulseClock*>(user);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) self->failed_ = true;
    pa_threaded_mainloop_signal(self->loop_, 0);
  }
  static void onStreamState(pa_stream* s, void* user) {
    auto* self = static_cast<PulseClock*>(user);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) self->failed_ = true;
    pa_threaded_mainloop_signal(self->loop_, 0);
  }
  static void onWritable(pa_stream*, size_t, void* user) {
    static_cast<PulseClock*>(user)->pump();
  }
  static void onReadable(pa_stream*, size_t, void* user) {
    static_cast<PulseClock*>(user)->pump();
  }
  static void onUnderflow(pa_stream*, void* user) {
    auto* self = static_cast<PulseClock*>(user);
    if (!self->underflowAt_) self->underflowAt_ = Steady::now();
  }
  // Playback (re)starts: after an underrun the silence between is lost.
  static void onStarted(pa_stream*, void* user) {
    auto* self = static_cast<PulseClock*>(user);
    if (!self->underflowAt_) return;
    self->addLost(self->underrunMs());
    self->underflowAt_.reset();
    self->readCount_ = 0;  // the sink read nothing meanwhile: earlier reports no longer project
  }

  // How long the sink played silence. The two notices often arrive together
  // once this process runs again after a stall, so their distance alone
  // says little. A long pause between two periods just before tells more:
  // the sink's queue ran dry one output latency into it.
  double underrunMs() const {
    double ms = MsSince(*underflowAt_);
    if (MsSince(pause_.at) < kPauseMemoryMs)
      ms = std::max(ms, pause_.ms - MsOfFrames(pause_.queued));
    return ms;
  }

  // Notes the longest pause between two periods of the last moments.
  void notePause() noexcept {
    const auto now = Steady::now();
    if (lastPump_) {
      const double ms = std::chrono::duration<double, std::milli>(now - *lastPump_).count();
      if (ms > pause_.ms || MsSince(pause_.at) >= kPauseMemoryMs) pause_ = Pause{ms, now, lastOutput_};
    }
    lastPump_ = now;
  }

  // The server dropped microphone data it could not hand over: at least a
  // fragment.
  static void onOverflow(pa_stream*, void* user) {
    gLostFrames.fetch_add(static_cast<PulseClock*>(user)->fragmentFrames_);
  }

  void addLost(double ms) { gLostFrames.fetch_add(std::uint64_t(std::llround(FramesOfMs(ms)))); }

  void raisePriority() noexcept {
    // Best effort, as a desktop audio thread asks for; fine to run without.
    sched_param p{};
    p.sched_priority = std::min(sched_get_priority_max(SCHED_FIFO), 20);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0)
      NoteCardThreadRealtimePriority(p.sched_priority);
  }

  // Runs the card for every frame the server asks for. Microphone frames
  // wait in the FIFO until it holds a period's margin, so that their
  // arrival in bursts never leaves the card without one; a FIFO that runs
  // dry all the same gives silence (lost frames), one that overfills is
  // trimmed back (lost frames too).
  void pump() noexcept {
    if (lost_.load(std::memory_order_relaxed) || !Ready(play_)) return;
    lastPumpNs_.store(Steady::now().time_since_epoch().count(), std::memory_order_relaxed);
    if (!prioritySet_) {
      prioritySet_ = true;
      raisePriority();
    }
    takeInput();
    const std::size_t writable = pa_stream_writable_size(play_);
    if (writable == std::size_t(-1)) return;
    // The microphone's arrivals call here too: wait until the server wants
    // at least its request size, rather than running slivers of a period.
    const auto frames = std::uint32_t(writable / kFrameBytes);
    if (frames < kRequestFrames) return;
    const std::size_t held = fifo_.available() / 2;
    if (inputBegun_ && !inputFlowing_ && held >= kMarginFrames + frames) inputFlowing_ = true;
    if (inputFlowing_ && held > kMarginFrames + kSurplusFrames + frames)
      drop(held - kMarginFrames - frames);
    notePause();
    play(frames);
    if (gFirstOutputMs.load(std::memory_order_relaxed) < 0) gFirstOutputMs = MsSince(started_);
    refreshTiming(frames);
    publishLatency();
  }

  // The microphone frames the server holds, into the FIFO.
  void takeInput() noexcept {
    if (!Ready(rec_)) return;
    for (;;) {
      const std::size_t readable = pa_stream_readable_size(rec_);
      if (readable == 0 || readable == std::size_t(-1)) return;
      const void* data = nullptr;
      std::size_t bytes = 0;
      if (pa_stream_peek(rec_, &data, &bytes) < 0 || bytes == 0) return;
      if (!inputBegun_) {
        inputBegun_ = true;
        gFirstInputMs = MsSince(started_);
      }
      const std::size_t frames = bytes / kFrameBytes;
      if (data) {
        pushInput(static_cast<const float*>(data), frames);
      } else {
        // A gap in the recording: silence in its place keeps the timing.
        gLostFrames.fetch_add(frames);
        for (std::size_t left = frames; left > 0;) {
          const std::size_t n = std::min<std::size_t>(left, kChunkFrames);
          pushInput(zeros_.data(), n);
          left -= n;
        }
      }
      pa_stream_drop(rec_);
    }
  }

  void pushInput(const float* frames, std::size_t count) noexcept {
    const std::size_t pushed = fifo_.push(frames, 2 * count) / 2;
    if (pushed < count) gLostFrames.fetch_add(count - pushed);
  }

  void drop(std::size_t frames) noexcept {
    gLostFrames.fetch_add(fifo_.discard(2 * frames) / 2);
  }

  // Runs `frames` card frames straight into the server's buffer.
  void play(std::uint32_t frames) noexcept {
    while (frames > 0) {
      std::size_t bytes = std::size_t(std::min(frames, kChunkFrames)) * kFrameBytes;
      void* out = nullptr;
      if (pa_stream_begin_write(play_, &out, &bytes) < 0 || !out) return;
      const auto n = std::uint32_t(bytes / kFrameBytes);
      if (n == 0) {
        pa_stream_cancel_write(play_);
        return;
      }
      card_.run(takeMicrophone(n), static_cast<float*>(out), n, kPeriodFrames);
      pa_stream_write(play_, out, std::size_t(n) * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
      frames -= n;
    }
  }

  // `frames` microphone frames for the card (silence where the FIFO has
  // none to give yet); nullptr without a record stream.
  const float* takeMicrophone(std::uint32_t frames) noexcept {
    if (!rec_) return nullptr;
    std::size_t got = 0;
    if (inputFlowing_) got = fifo_.pop(in_.data(), 2 * std::size_t(frames)) / 2;
    if (got < frames) {
      std::fill(in_.begin() + std::ptrdiff_t(2 * got), in_.begin() + std::ptrdiff_t(2 * frames), 0.0f);
      if (inputFlowing_) gLostFrames.fetch_add(frames - got);
    }
    return in_.data();
  }

  // Asks the server for both streams' timing every kTimingFrames: its own
  // automatic reports grow sparse (over a second apart), and the two
  // latencies are only as good as their last reports.
  void refreshTiming(std::uint32_t frames) noexcept {
    sinceTiming_ += frames;
    if (sinceTiming_ < kTimingFrames) return;
    sinceTiming_ = 0;
    requestTiming(play_);
    if (Ready(rec_)) requestTiming(rec_);
  }

  void requestTiming(pa_stream* s) noexcept {
    if (pa_operation* op = pa_stream_update_timing_info(s, &PulseClock::onTiming, this))
      pa_operation_unref(op);
  }

  // A report counts once it was made while the stream ran: before that the
  // server's figures describe a stream that has not started.
  static void onTiming(pa_stream* s, int success, void* user) {
    auto* self = static_cast<PulseClock*>(user);
    const pa_timing_info* t = pa_stream_get_timing_info(s);
    if (!success || !t) return;
    if (s == self->play_ && t->playing) {
      self->playTimed_ = true;
      if (!t->write_index_corrupt && !t->read_index_corrupt) self->noteOutput(*t);
    }
    if (s == self->rec_ && self->inputFlowing_ && !t->write_index_corrupt && !t->read_index_corrupt) {
      self->noteInput(self->inputLatency(*t));
      self->recTimed_ = true;
    }
  }

  // The age of the next microphone frame the card takes, from a fresh
  // report of the record stream: the frames the server has captured and
  // this process not yet taken (the server's queue and the FIFO), the
  // source's own latency, less the sink's for a monitor (it hears the sink
  // before its latency has passed), plus the report's way here. Taken at
  // the report, unlike the client library's interpolation between reports,
  // which follows PipeWire's stepwise record position only after seconds
  // (first several milliseconds short, then over). Frames captured and
  // frames taken both move at the card's rate, so the figure holds until
  // the next report.
  // The median of the last reports' figures: now and then a report lands
  // while a burst of frames is on its way to this process and falls short.
  void noteInput(std::int32_t frames) noexcept {
    inputs_[inputCount_++ % inputs_.size()] = frames;
    const std::size_t n = std::min(inputCount_, inputs_.size());
    std::array<std::int32_t, 5> sorted = inputs_;
    std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.begin() + n);
    input_ = sorted[n / 2];
  }

  // Where the sink reads the stream, from a fresh report: the read index
  // moved on by the report's way here, less the sink's own latency (the
  // frames it took but has not played), as a stream position at the
  // moment the report came. On PulseAudio the client library's
  // interpolation between reports smooths over an underrun only after
  // seconds, drifting several milliseconds meanwhile; projected from the
  // last reports at the card's rate, the figure is right from the first
  // report after one. PipeWire's read index moves a graph cycle at a time,
  // and on a busy machine its reports lag a cycle for a while: there the
  // interpolation's smoothing is the better figure.
  void noteOutput(const pa_timing_info& t) noexcept {
    const double usec = double(t.transport_usec) - double(t.sink_usec);
    reads_[readCount_++ % reads_.size()] =
        Read{double(t.read_index) / kFrameBytes + usec * kSampleRate / 1e6, Steady::now()};
  }

  // The frames between the stream's write position and what the sink
  // plays now: the median of the last reports' projections.
  std::optional<std::int32_t> outputLatency() const noexcept {
    const std::size_t n = std::min(readCount_, reads_.size());
    if (n == 0) return std::nullopt;
    const pa_timing_info* t = pa_stream_get_timing_info(play_);
    if (!t || t->write_index_corrupt) return std::nullopt;
    const auto now = Steady::now();
    std::array<double, 5> at{};
    for (std::size_t i = 0; i < n; ++i)
      at[i] = reads_[i].frame + FramesOfMs(std::chrono::duration<double, std::milli>(now - reads_[i].when).count());
    std::nth_element(at.begin(), at.begin() + std::ptrdiff_t(n / 2), at.begin() + std::ptrdiff_t(n));
    return std::int32_t(std::llround(double(t->write_index) / kFrameBytes - at[n / 2]));
  }

  std::int32_t inputLatency(const pa_timing_info& t) const {
    const double queued = double(t.write_index - t.read_index) / kFrameBytes;
    const double usec = double(t.source_usec) + double(t.transport_usec) - double(t.sink_usec);
    return std::int32_t(std::llround(queued + usec * kSampleRate / 1e6)) + std::int32_t(fifo_.available() / 2);
  }

  // The next card frame is heard `output` frames from now, and takes the
  // microphone frame captured `input` frames ago: the record stream's
  // latency to its next unread frame, plus the frames waiting in the FIFO
  // (older than that one).
  void publishLatency() noexcept {
    if (!playTimed_ || (rec_ && !recTimed_)) return;
    std::optional<std::int32_t> queued;
    if (smoothedOutput_) {
      pa_usec_t usec = 0;
      int negative = 0;
      if (pa_stream_get_latency(play_, &usec, &negative) == 0)
        queued = std::int32_t(std::llround(double(usec) * kSampleRate / 1e6)) * (negative ? -1 : 1);
    } else {
      queued = outputLatency();
    }
    if (!queued) return;
    const std::int32_t output = *queued + graphFrames_;
    lastOutput_ = output;
    const std::int32_t input = Ready(rec_) ? input_ : 0;
    gLatency.store(std::uint64_t(std::uint32_t(input)) << 32 | std::uint32_t(output),
                   std::memory_order_relaxed);
    gLatencyKnown.store(true, std::memory_order_release);
  }

  CardRunner& card_;
  const std::string inputName_, outputName_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  // Set by start() under the main loop's lock before they connect (the
  // callbacks use them once they are ready); cleared by stop() under it.
  pa_stream* play_ = nullptr;
  pa_stream* rec_ = nullptr;
  std::uint32_t fragmentFrames_ = kFragmentFrames;
  Steady::time_point started_;
  Devices devices_;  // written by start()
  std::int32_t graphFrames_ = 0;  // PipeWire's graph cycle, left out of its reports
  bool smoothedOutput_ = false;   // the output figure is the client library's (PipeWire)
  std::atomic<std::uint32_t> adopted_{0};

  // ---- losing the server
  std::atomic<bool> failed_{false};  // the connection or a stream failed
  std::atomic<bool> lost_{false};    // the guard took over: no more periods here
  std::atomic<Steady::rep> lastPumpNs_{0};  // when the server last asked for frames
  StopSignal guardQuit_;
  std::thread guard_;
  std::unique_ptr<ClockDriver> fallback_;  // the virtual clock, once lost

  // ---- the main loop's thread only
  SpscRing fifo_;  // microphone frames, interleaved, not yet taken by the card
  std::vector<float> in_, zeros_;
  bool inputBegun_ = false;
  bool inputFlowing_ = false;  // the card takes the FIFO's frames
  bool playTimed_ = false, recTimed_ = false;  // a report of the running stream came
  std::int32_t input_ = 0;  // input latency of the record stream's last reports
  std::array<std::int32_t, 5> inputs_{};
  std::size_t inputCount_ = 0;
  struct Read {
    double frame = 0;  // the sink's read position in the stream, in frames
    Steady::time_point when;
  };
  std::array<Read, 5> reads_{};  // the playback stream's last reports
  std::size_t readCount_ = 0;
  std::uint32_t sinceTiming_ = 0;
  bool prioritySet_ = false;
  std::optional<Steady::time_point> underflowAt_;
  std::optional<Steady::time_point> lastPump_;
  RoundTripWatch watch_;  // adopts the measured round trip, off the card's thread
  std::int32_t lastOutput_ = 0;  // output latency after the last period
  struct Pause {
    double ms = 0;           // between two periods
    Steady::time_point at;   // when the later one ran
    std::int32_t queued = 0;  // output latency before the pause
  } pause_;
};

}  // namespace

std::unique_ptr<ClockDriver> MakePulseClock(CardRunner& card, const std::string& input,
                                            const std::string& output) {
  return std::make_unique<PulseClock>(card, input, output);
}

HostLatencyFrames HostLatency() {
  HostLatencyFrames l;
  l.known = gRunning.load() && gLatencyKnown.load(std::memory_order_acquire);
  if (!l.known) return l;
  const std::uint64_t both = gLatency.load(std::memory_order_relaxed);
  l.input = std::int32_t(std::uint32_t(both >> 32));
  l.output = std::int32_t(std::uint32_t(both));
  return l;
}

bool HostUsesSoundServer() { return gRunning.load(); }

std::uint64_t HostLostFrames() { return gLostFrames.load(); }

HostStartTimes HostStartDelays() { return HostStartTimes{gFirstOutputMs.load(), gFirstInputMs.load()}; }

std::uint64_t HostLosses() { return gLosses.load(); }

}  // namespace soundcard
