// The message queue behind the hidden windows, shared by the posting and
// delivery (winmsg.cpp) and the synchronous calls (synccall.cpp). Private to
// this library.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/winmsg/winmsg.h"

namespace winmsg_detail {

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
  MessageQueue() : ring_(kInitialCapacity), deferred_(kDeferredPosts) {
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
  // Marks matching entries as dropped, waiting ones too; returns how many.
  int drop(HWND wnd, bool anyMsg, UINT msg) {
    int n = 0;
    auto mark = [&](std::vector<Entry>& ring, std::size_t head, std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        Entry& e = ring[(head + i) % ring.size()];
        if (!e.job && e.wnd == wnd && (anyMsg || e.msg == msg)) {
          e.wnd = nullptr;
          ++n;
        }
      }
    };
    mark(ring_, head_, count_);
    mark(deferred_, deferredHead_, deferredCount_);
    return n;
  }
  std::uint64_t lastSeq() const { return lastSeq_; }
  bool empty() const { return count_ == 0; }
  bool full() const { return count_ == ring_.size(); }

  // The real-time posts that found the queue full, oldest first, in a list
  // sized once (all under `mutex`; deferring() may be read without it).
  bool deferring() const { return deferring_.load(std::memory_order_acquire); }
  // False when the list is full.
  bool defer(const Entry& e) {
    if (deferredCount_ == deferred_.size()) return false;
    deferred_[(deferredHead_ + deferredCount_) % deferred_.size()] = e;
    ++deferredCount_;
    ++counts_.deferred;
    deferring_.store(true, std::memory_order_release);
    return true;
  }
  // Moves waiting entries into the queue while it has room (every one when
  // `grow`); returns how many went in.
  std::size_t undefer(bool grow) {
    std::size_t moved = 0;
    while (deferredCount_ > 0 && (grow || !full())) {
      const Entry& e = deferred_[deferredHead_];
      if (e.wnd) {  // not dropped meanwhile
        push(e);
        ++moved;
      }
      deferredHead_ = (deferredHead_ + 1) % deferred_.size();
      --deferredCount_;
    }
    deferring_.store(deferredCount_ > 0, std::memory_order_release);
    return moved;
  }
  void countOverflow() { ++counts_.overflowed; }
  DeferredPostCounts counts() const {
    DeferredPostCounts c = counts_;
    c.waiting = deferredCount_;
    return c;
  }

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
  std::vector<Entry> deferred_;
  std::size_t deferredHead_ = 0;
  std::size_t deferredCount_ = 0;
  std::atomic<bool> deferring_{false};
  DeferredPostCounts counts_;
  int wakeFd_ = -1;
};

// The process-wide queue.
MessageQueue& queue();
// The window procedure's record of `wnd`; null for a window that has gone.
std::shared_ptr<WindowRec> FindWindowRec(HWND wnd);
// Runs a call handed over by SynchronizeMain and tells its waiting thread
// (main thread).
void RunSyncJob(SyncJob& job);

}  // namespace winmsg_detail
