// Hidden message windows over the Qt event loop.
//
// Every posted message goes into one process-wide queue (a ring that only
// grows when PostMessage finds it full; TryPostMessage refuses instead, so a
// real-time poster never allocates). A poster wakes the main thread through an eventfd watched by a
// QSocketNotifier: writing to it is a non-blocking system call without
// allocation, which keeps PostMessage usable from real-time threads. The main
// thread drains the queue in the notifier's handler and in ProcessMessages.
// Calls handed over by SynchronizeMain travel through the same queue, so they
// keep their order relative to messages.
#include "platform/winmsg/winmsg.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

struct WindowRec {
  WndMethod proc;
};

// A call handed to the main thread by SynchronizeMain. Lives on the waiting
// thread's stack until `done` is set.
struct SyncJob {
  const std::function<void()>* fn = nullptr;
  std::exception_ptr error;
  bool done = false;
};

struct Entry {
  HWND wnd = nullptr;  // nullptr with a job, or a dropped message
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  SyncJob* job = nullptr;
  std::uint64_t seq = 0;
};

class MessageQueue {
 public:
  MessageQueue() : ring_(kInitialCapacity) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  }
  ~MessageQueue() {
    delete notifier.data();  // stop watching before the descriptor goes
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }

  std::mutex mutex;
  std::condition_variable posted;  // signalled on every push
  std::condition_variable jobDone;
  // Windows by handle, under `mutex`. Handles come from a counter and are
  // never reused, so a message posted to a window that has gone cannot reach
  // a newer one.
  std::unordered_map<HWND, std::shared_ptr<WindowRec>> windows;
  std::uintptr_t nextHandle = 0x1000;
  // Watches the wake-up descriptor on the main thread; a child of the
  // application, so it goes with it.
  QPointer<QSocketNotifier> notifier;

  // Both under `mutex`.
  void push(const Entry& e) {
    if (count_ == ring_.size()) grow();
    Entry& slot = ring_[(head_ + count_) % ring_.size()];
    slot = e;
    slot.seq = ++lastSeq_;
    ++count_;
  }
  bool popUpTo(std::uint64_t maxSeq, Entry* out) {
    while (count_ > 0) {
      Entry& front = ring_[head_];
      if (front.seq > maxSeq) return false;
      *out = front;
      head_ = (head_ + 1) % ring_.size();
      --count_;
      if (out->wnd || out->job) return true;  // skip dropped entries
    }
    return false;
  }
  // Marks matching entries as dropped; returns how many.
  int drop(HWND wnd, bool anyMsg, UINT msg) {
    int n = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      Entry& e = ring_[(head_ + i) % ring_.size()];
      if (!e.job && e.wnd == wnd && (anyMsg || e.msg == msg)) {
        e.wnd = nullptr;
        ++n;
      }
    }
    return n;
  }
  std::uint64_t lastSeq() const { return lastSeq_; }
  bool empty() const { return count_ == 0; }
  bool full() const { return count_ == ring_.size(); }

  void wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wakeFd_, &one, sizeof one);
  }
  void clearWake() {
    if (wakeFd_ < 0) return;
    std::uint64_t value;
    [[maybe_unused]] ssize_t r = ::read(wakeFd_, &value, sizeof value);
  }
  int wakeFd() const { return wakeFd_; }

 private:
  static constexpr std::size_t kInitialCapacity = 1024;
  void grow() {
    std::vector<Entry> bigger(ring_.size() * 2);
    for (std::size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
    ring_.swap(bigger);
    head_ = 0;
  }
  std::vector<Entry> ring_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  std::uint64_t lastSeq_ = 0;
  int wakeFd_ = -1;
};

MessageQueue& queue() {
  static MessageQueue q;
  return q;
}

std::unordered_map<HWND, std::shared_ptr<WindowRec>>& windows() { return queue().windows; }

// The thread that initialised the program's statics, normally the main thread;
// QCoreApplication's thread takes precedence once it exists.
const std::thread::id gStartThread = std::this_thread::get_id();
std::atomic<bool> gTerminated{false};
// Inside ProcessMessages the Qt events are processed after the queue; the
// wake-up must not deliver what was posted meanwhile (that waits a round).
// This holds only at the event loop level ProcessMessages was called on: a
// loop that a Qt event opens meanwhile (a modal dialog) delivers as the main
// loop does, or the devices' messages would wait until the dialog closes.
// The level of the innermost ProcessMessages, or -1 outside; main thread only.
int gProcessLoopLevel = -1;

std::mutex gHandlerMutex;
ExceptionHandler gHandler;

QPointer<QSocketNotifier>& notifier() { return queue().notifier; }

void drainQueue();

// Creates the wake-up watcher on the main thread once an application exists.
void ensureNotifier() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || notifier() || !IsMainThread() || queue().wakeFd() < 0) return;
  auto* n = new QSocketNotifier(queue().wakeFd(), QSocketNotifier::Read, app);
  QObject::connect(n, &QSocketNotifier::activated, n, [] {
    queue().clearWake();
    if (gProcessLoopLevel < 0 || QThread::currentThread()->loopLevel() > gProcessLoopLevel)
      drainQueue();
  });
  notifier() = n;
}

void runEntry(const Entry& e) {
  if (e.job) {
    MessageQueue& q = queue();
    try {
      (*e.job->fn)();
    } catch (...) {
      e.job->error = std::current_exception();
    }
    {
      std::lock_guard lock(q.mutex);
      e.job->done = true;
    }
    q.jobDone.notify_all();
    return;
  }
  std::shared_ptr<WindowRec> rec;
  {
    std::lock_guard lock(queue().mutex);
    auto it = windows().find(e.wnd);
    if (it == windows().end()) return;
    rec = it->second;
  }
  try {
    if (rec->proc)
      rec->proc(e.wnd, e.msg, e.wParam, e.lParam);
    else
      DefWindowProc(e.wnd, e.msg, e.wParam, e.lParam);
  } catch (...) {
    // Nothing above the message loop could catch it; the application decides.
    ApplicationHandleException(std::current_exception());
  }
}

// Delivers the entries queued before the call. Entries posted meanwhile wait
// for the next round, so a busy producer cannot starve the Qt event loop.
void deliverPending() {
  MessageQueue& q = queue();
  std::uint64_t upTo;
  {
    std::lock_guard lock(q.mutex);
    upTo = q.lastSeq();
  }
  for (;;) {
    Entry e;
    {
      std::lock_guard lock(q.mutex);
      if (!q.popUpTo(upTo, &e)) break;
    }
    runEntry(e);
  }
}

void drainQueue() {
  deliverPending();
  std::lock_guard lock(queue().mutex);
  if (!queue().empty()) queue().wake();
}

}  // namespace

bool IsMainThread() {
  if (QCoreApplication* app = QCoreApplication::instance())
    return QThread::currentThread() == app->thread();
  return std::this_thread::get_id() == gStartThread;
}

HWND AllocateHWnd(WndMethod proc) {
  ensureNotifier();
  std::lock_guard lock(queue().mutex);
  HWND wnd = reinterpret_cast<HWND>(queue().nextHandle);
  queue().nextHandle += 0x10;
  windows()[wnd] = std::make_shared<WindowRec>(WindowRec{std::move(proc)});
  return wnd;
}

void DeallocateHWnd(HWND wnd) {
  std::shared_ptr<WindowRec> rec;  // released outside the lock
  std::lock_guard lock(queue().mutex);
  auto it = windows().find(wnd);
  if (it == windows().end()) return;
  rec = std::move(it->second);
  windows().erase(it);
  queue().drop(wnd, true, 0);
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

namespace {

// Queues a message; a full queue grows only when `grow` says so.
PostResult Post(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, bool grow) {
  MessageQueue& q = queue();
  {
    std::lock_guard lock(q.mutex);
    if (!windows().contains(wnd)) return PostResult::NoWindow;
    if (!grow && q.full()) return PostResult::Full;
    q.push(Entry{wnd, msg, wParam, lParam, nullptr, 0});
  }
  q.posted.notify_all();
  q.wake();
  return PostResult::Posted;
}

}  // namespace

bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Post(wnd, msg, wParam, lParam, true) == PostResult::Posted;
}

PostResult TryPostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Post(wnd, msg, wParam, lParam, false);
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsMainThread()) {
    LRESULT result = 0;
    SynchronizeMain([&] { result = SendMessage(wnd, msg, wParam, lParam); });
    return result;
  }
  std::shared_ptr<WindowRec> rec;
  {
    std::lock_guard lock(queue().mutex);
    auto it = windows().find(wnd);
    if (it == windows().end()) return 0;
    rec = it->second;
  }
  return rec->proc ? rec->proc(wnd, msg, wParam, lParam) : DefWindowProc(wnd, msg, wParam, lParam);
}

int RemovePendingMessages(HWND wnd, UINT msg) {
  std::lock_guard lock(queue().mutex);
  return queue().drop(wnd, false, msg);
}

void ProcessMessages() {
  if (!IsMainThread()) return;
  ensureNotifier();
  deliverPending();
  if (QCoreApplication::instance()) {
    const int outer = gProcessLoopLevel;
    gProcessLoopLevel = QThread::currentThread()->loopLevel();
    QCoreApplication::processEvents();
    gProcessLoopLevel = outer;
  }
  std::lock_guard lock(queue().mutex);
  if (!queue().empty()) queue().wake();
}

void PumpMessagesFor(int ms) {
  using Clock = std::chrono::steady_clock;
  if (!IsMainThread()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  // Qt's own events do not signal `posted`; look at them every millisecond.
  constexpr auto kQtPoll = std::chrono::milliseconds(1);
  for (;;) {
    ProcessMessages();
    if (ApplicationTerminated()) return;
    const auto now = Clock::now();
    if (now >= deadline) return;
    std::unique_lock lock(queue().mutex);
    queue().posted.wait_until(lock, std::min(deadline, now + kQtPoll),
                              [] { return !queue().empty(); });
  }
}

bool ApplicationTerminated() {
  return gTerminated.load() || QCoreApplication::closingDown();
}

void SetApplicationTerminated(bool terminated) { gTerminated.store(terminated); }

void SetApplicationExceptionHandler(ExceptionHandler handler) {
  std::lock_guard lock(gHandlerMutex);
  gHandler = std::move(handler);
}

void ApplicationHandleException(std::exception_ptr error) {
  ExceptionHandler handler;
  {
    std::lock_guard lock(gHandlerMutex);
    handler = gHandler;
  }
  if (handler) {
    handler(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "unknown exception\n");
  }
}

void SynchronizeMain(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  MessageQueue& q = queue();
  SyncJob job;
  job.fn = &fn;
  {
    std::lock_guard lock(q.mutex);
    q.push(Entry{nullptr, 0, 0, 0, &job, 0});
  }
  q.posted.notify_all();
  q.wake();
  {
    std::unique_lock lock(q.mutex);
    q.jobDone.wait(lock, [&] { return job.done; });
  }
  if (job.error) std::rethrow_exception(job.error);
}
