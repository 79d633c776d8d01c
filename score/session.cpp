#include "score/session.h"

#include <chrono>
#include <utility>

#include "score/scoreerror.h"

namespace score {

namespace {

// The voice waiting for the worker is held to this many seconds; a push
// beyond it waits for the worker (which runs at a small part of real time,
// so only a stalled machine ever gets there) rather than lose the voice.
constexpr std::size_t kPendingSeconds = 30;
// The score is refreshed once this many hops (about 90 ms at 44.1 kHz) are
// analysed, or when no more voice came for kRefreshWait: scoring a long
// take after every buffer would cost more than finding its pitch.
constexpr std::size_t kRefreshHops = 8;
constexpr auto kRefreshWait = std::chrono::milliseconds(50);

}  // namespace

struct ScoreSession::Worker {
  Worker(const Melody& m, std::vector<Span> l, Difficulty d, unsigned r)
      : melody(m), lines(std::move(l)), difficulty(d), rate(r), tracker(r) {}

  const Melody& melody;
  const std::vector<Span> lines;
  const Difficulty difficulty;
  const unsigned rate;
  PitchTracker tracker;          // the worker's alone
  std::vector<PitchPoint> points;  // the worker's, read by Finish while it waits

  std::mutex mutex;
  std::condition_variable wake;   // the worker: something to do
  std::condition_variable moved;  // PushPcm and Finish: the worker took a batch or finished one
  std::vector<float> pending;     // guarded by `mutex`: mono samples not analysed yet
  Timeline timeline;              // guarded by `mutex`
  bool rescore = false;           // guarded by `mutex`: the timeline changed
  bool busy = false;              // guarded by `mutex`: a batch is being analysed
  bool quit = false;              // guarded by `mutex`

  mutable std::mutex resultMutex;
  std::shared_ptr<const Result> latest;  // guarded by `resultMutex`

  std::thread thread;

  void Publish(Result result) {
    auto published = std::make_shared<const Result>(std::move(result));
    std::lock_guard guard(resultMutex);
    latest = std::move(published);
  }

  void Run() {
    std::vector<float> batch;
    std::size_t scored = 0;  // points in the published result
    std::unique_lock lock(mutex);
    auto ready = [&] { return quit || rescore || !pending.empty(); };
    for (;;) {
      if (scored == points.size()) {
        wake.wait(lock, ready);
      } else if (!wake.wait_for(lock, kRefreshWait, ready)) {
        const Timeline at = timeline;
        lock.unlock();
        Publish(Score(melody, lines, points, at, difficulty));
        scored = points.size();
        lock.lock();
        continue;
      }
      if (quit) return;
      batch.swap(pending);
      const bool retimed = std::exchange(rescore, false);
      busy = true;
      const Timeline at = timeline;
      lock.unlock();
      moved.notify_all();
      tracker.Push(batch.data(), batch.size(), points);
      batch.clear();
      if (retimed || points.size() >= scored + kRefreshHops) {
        Publish(Score(melody, lines, points, at, difficulty));
        scored = points.size();
      }
      lock.lock();
      busy = false;
      moved.notify_all();
    }
  }
};

ScoreSession::ScoreSession(Melody melody, std::vector<Span> lines, Difficulty difficulty, unsigned rate)
    : melody_(std::move(melody)), worker_(std::make_unique<Worker>(melody_, std::move(lines), difficulty, rate)) {
  worker_->Publish(Score(melody_, worker_->lines, {}, Timeline(), difficulty));
  worker_->thread = std::thread([w = worker_.get()] { w->Run(); });
}

ScoreSession::~ScoreSession() {
  {
    std::lock_guard guard(worker_->mutex);
    worker_->quit = true;
  }
  worker_->wake.notify_all();
  worker_->thread.join();
}

void ScoreSession::SetTimeline(const Timeline& timeline) {
  {
    // A take is placed again every tenth of a second while it records,
    // mostly where it was: only a new place is worth scoring it all again.
    std::lock_guard guard(worker_->mutex);
    if (worker_->timeline == timeline) return;
    worker_->timeline = timeline;
    worker_->rescore = true;
  }
  worker_->wake.notify_all();
}

void ScoreSession::PushPcm(const std::uint8_t* bytes, std::size_t size, unsigned channels, unsigned bits) {
  if ((channels != 1 && channels != 2) || (bits != 8 && bits != 16))
    throw EScoreError("the voice is PCM of 8 or 16 bits, mono or stereo");
  const std::size_t block = channels * bits / 8;
  const std::size_t frames = size / block;
  if (frames == 0) return;
  Worker& w = *worker_;
  std::unique_lock lock(w.mutex);
  w.moved.wait(lock, [&] { return w.quit || w.pending.size() < kPendingSeconds * w.rate; });
  // Scaled as libsndfile reads a file, so that a take scores the same
  // live and from its WAV file.
  for (std::size_t f = 0; f < frames; ++f) {
    float sum = 0;
    for (unsigned c = 0; c < channels; ++c) {
      const std::size_t at = f * block + c * (bits / 8);
      if (bits == 8) {
        sum += float(int(bytes[at]) - 128) * (1.0f / 128.0f);
      } else {
        const auto sample = std::int16_t(std::uint16_t(bytes[at] | bytes[at + 1] << 8));
        sum += float(sample) * (1.0f / 32768.0f);
      }
    }
    w.pending.push_back(channels == 1 ? sum : sum * 0.5f);
  }
  lock.unlock();
  w.wake.notify_all();
}

Result ScoreSession::Snapshot() const { return *Latest(); }

std::shared_ptr<const Result> ScoreSession::Latest() const {
  std::lock_guard guard(worker_->resultMutex);
  return worker_->latest;
}

Result ScoreSession::Finish() {
  Worker& w = *worker_;
  std::unique_lock lock(w.mutex);
  w.moved.wait(lock, [&] { return w.pending.empty() && !w.busy; });
  // Holding the lock keeps the worker from starting another batch, so its
  // points stay as they are while they are scored.
  Result result = Score(melody_, w.lines, w.points, w.timeline, w.difficulty);
  w.Publish(result);
  return result;
}

}  // namespace score
