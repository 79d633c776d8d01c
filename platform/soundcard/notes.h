// Delivery of the driver messages (MM_WIM_*, MM_WOM_*) to a handle's
// callback: posted to a callback window or called as a callback function,
// always after the card's lock is released, so the callback may call the
// wave functions again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mmsystem.h"

namespace soundcard {

struct Callback {
  DWORD type = CALLBACK_NULL;  // CALLBACK_NULL, CALLBACK_WINDOW or CALLBACK_FUNCTION
  DWORD_PTR target = 0;        // HWND or WAVECALLBACK
  DWORD_PTR instance = 0;
};

class NoteList {
 public:
  // Window messages the card's list holds at most: those of about ten
  // periods at the smallest buffers the card is given in practice.
  static constexpr std::size_t kWindowPosts = 1024;

  // `capacity` > 0: a fixed list for the card's thread that never allocates.
  // It holds up to `capacity` function calls and kWindowPosts window
  // messages; a window message waits in its ring until the message queue
  // takes it (call() posts without growing the queue). When either is full,
  // hasRoom() says no and the handle keeps the buffer at the head of its
  // queue for a later period, so no buffer is ever lost.
  // 0: a list that grows, for other threads.
  explicit NoteList(std::size_t capacity = 0);

  // True when one more message can be taken. On a fixed list a "no" is
  // counted (refusals()).
  bool hasRoom() const;
  // Keeps the message for call(), in order.
  void add(const Callback& callback, void* handle, UINT msg, DWORD_PTR param);
  // Delivers the kept messages in order and empties the list. A fixed list
  // posts its waiting window messages as far as the message queue takes
  // them without growing; the rest wait for the next call.
  void call();
  // Posts every waiting window message, growing the message queue if need
  // be. Not on the card's thread.
  void postAll();
  bool empty() const { return calls_.empty() && ringCount_ == 0; }

  // Times a fixed list refused a message (hasRoom() said no): a buffer was
  // kept back for a later period.
  std::uint64_t refusals() const { return refusals_.load(std::memory_order_relaxed); }
  // Messages lost because add() found a fixed list full; the handles ask
  // hasRoom() first, so this stays 0.
  std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Note {
    bool window;
    DWORD_PTR target;
    void* handle;
    UINT msg;
    DWORD_PTR instance;
    DWORD_PTR param;
  };
  bool bounded() const { return bounded_ > 0; }
  void deliver(const Note& n);

  std::size_t bounded_;
  std::vector<Note> calls_;  // fixed list: function calls only; else everything
  std::vector<Note> ring_;   // fixed list: window messages waiting for the queue
  std::size_t ringHead_ = 0;
  std::size_t ringCount_ = 0;
  mutable std::atomic<std::uint64_t> refusals_{0};
  std::atomic<std::uint64_t> dropped_{0};
};

// Reads the callback of an open call: CALLBACK_NULL, CALLBACK_WINDOW or
// CALLBACK_FUNCTION (the latter two need a target).
MMRESULT ParseCallback(DWORD_PTR target, DWORD_PTR instance, DWORD flags, Callback* cb);

// Sends one message to a callback right now (window: posted).
void SendNow(const Callback& callback, void* handle, UINT msg, DWORD_PTR param);

}  // namespace soundcard
