// Hidden message windows over the Qt event loop.
//
// Every posted message goes into one process-wide queue (a ring that only
// grows when PostMessage finds it full; TryPostMessage refuses instead, and
// PostMessageRealtime keeps the message in a fixed list until there is room,
// so a real-time poster never allocates). A poster wakes the main thread through
// an eventfd watched by a QSocketNotifier: writing to it is a non-blocking
// system call without allocation, which keeps PostMessage usable from
// real-time threads. The main thread drains the queue in the notifier's
// handler and in ProcessMessages. The synchronous calls are in synccall.cpp.
#include "platform/winmsg/winmsg.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/winmsg/messagequeue.h"

using namespace winmsg_detail;

namespace winmsg_detail {

MessageQueue& queue() {
  static MessageQueue q;
  return q;
}

std::shared_ptr<WindowRec> FindWindowRec(HWND wnd) {
  std::lock_guard lock(queue().mutex);
  auto it = queue().windows.find(wnd);
  return it == queue().windows.end() ? nullptr : it->second;
}

}  // namespace winmsg_detail

namespace {

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
    RunSyncJob(*e.job);
    return;
  }
  const std::shared_ptr<WindowRec> rec = FindWindowRec(e.wnd);
  if (!rec) return;
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

// After a round of delivery: the waiting real-time posts take the room it
// made, so they never depend on the card's next period; what is queued now
// waits for the next round.
void wakeForTheRest() {
  std::lock_guard lock(queue().mutex);
  queue().undefer(false);
  if (!queue().empty()) queue().wake();
}

void drainQueue() {
  deliverPending();
  wakeForTheRest();
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

enum class Room {
  Grow,   // a full queue grows (after the waiting real-time posts)
  Refuse, // a full queue, or one behind which real-time posts wait, refuses
  Defer,  // the message waits behind the queue if it is full
};

PostResult Post(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, Room room) {
  MessageQueue& q = queue();
  {
    std::lock_guard lock(q.mutex);
    if (!windows().contains(wnd)) return PostResult::NoWindow;
    const Entry e{wnd, msg, wParam, lParam, nullptr, 0};
    switch (room) {
      case Room::Grow: q.undefer(true); break;
      case Room::Refuse:
        if (q.full() || q.deferring()) return PostResult::Full;
        break;
      case Room::Defer:
        if (!q.full() && !q.deferring()) break;
        if (q.defer(e)) return PostResult::Posted;  // the main thread is woken already
        q.countOverflow();
        q.undefer(true);
        break;
    }
    q.push(e);
  }
  q.posted.notify_all();
  q.wake();
  return PostResult::Posted;
}

}  // namespace

bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Post(wnd, msg, wParam, lParam, Room::Grow) == PostResult::Posted;
}

PostResult TryPostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Post(wnd, msg, wParam, lParam, Room::Refuse);
}

bool PostMessageRealtime(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return Post(wnd, msg, wParam, lParam, Room::Defer) == PostResult::Posted;
}

void PostDeferredMessages() {
  MessageQueue& q = queue();
  if (!q.deferring()) return;
  {
    std::lock_guard lock(q.mutex);
    if (q.undefer(false) == 0) return;
  }
  q.posted.notify_all();
  q.wake();
}

DeferredPostCounts DeferredPosts() {
  std::lock_guard lock(queue().mutex);
  return queue().counts();
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
  wakeForTheRest();
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

