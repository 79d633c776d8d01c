// Window messaging over the Qt event loop: hidden message windows with a
// window procedure, messages posted from any thread and delivered in order on
// the main thread, and the framework services the components rely on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

#include "platform/mmsystem.h"

// The window procedure of a hidden message window. Runs on the main thread.
using WndMethod = std::function<LRESULT(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

// Creates a hidden window whose messages go to `proc`. Main thread only.
HWND AllocateHWnd(WndMethod proc);
// Destroys the window; messages still queued for it are dropped.
void DeallocateHWnd(HWND wnd);
// What the window procedure returns for messages it does not handle.
LRESULT DefWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Queues a message for `wnd`. Safe from any thread; never blocks for long.
// Returns false for a window that does not exist.
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues a message like PostMessage but never grows the queue, so it never
// allocates: the form for real-time threads. Full: the queue is at its
// capacity (or messages of PostMessageRealtime still wait) and nothing was
// queued; the caller keeps the message and tries again later.
enum class PostResult { Posted, Full, NoWindow };
PostResult TryPostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues a message from the sound card's thread (its callback functions):
// never grows the queue, never allocates. A message the full queue cannot
// take waits, counted, in a fixed list of kDeferredPosts, and so does every
// later one while any waits, so nothing is lost and the order is kept. The
// waiting messages go into the queue as it has room, at the card's next
// period (PostDeferredMessages) or once the main thread has delivered what
// was queued. Only when more than kDeferredPosts wait does the queue grow
// (counted as overflowed). Safe from any thread; false for a window that
// does not exist.
constexpr std::size_t kDeferredPosts = 4096;
bool PostMessageRealtime(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Moves waiting messages into the queue as far as it has room, without
// growing it. The card calls it every period.
void PostDeferredMessages();
struct DeferredPostCounts {
  std::uint64_t deferred = 0;    // messages that had to wait, since the start
  std::uint64_t overflowed = 0;  // of those, messages the queue grew for
  std::size_t waiting = 0;       // waiting now
};
DeferredPostCounts DeferredPosts();
// Calls the window procedure directly (main thread only).
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Drops every pending message `msg` of `wnd`; returns how many were dropped.
int RemovePendingMessages(HWND wnd, UINT msg);

// Delivers every message pending now (posted messages and Qt events) once.
// Messages posted while it runs wait for the next call. Main thread only.
void ProcessMessages();
// Delivers messages as they arrive for `ms` milliseconds (a wait that keeps
// the main thread answering); returns early once the application terminates.
// Off the main thread it only sleeps.
void PumpMessagesFor(int ms);
// True once the application has begun to shut down.
bool ApplicationTerminated();
void SetApplicationTerminated(bool terminated);

// The application's exception handler. Exceptions that escape a window
// procedure during delivery end here (the message loop goes on); without a
// handler the message is written to stderr.
using ExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(ExceptionHandler handler);
void ApplicationHandleException(std::exception_ptr error);

// Runs `fn` on the main thread and waits for it; an exception it throws is
// thrown again in the caller. Called on the main thread it simply runs `fn`.
// The main thread serves these calls in its message loop and in
// ProcessMessages/PumpMessagesFor, so it must not block waiting for the
// calling thread meanwhile.
void SynchronizeMain(const std::function<void()>& fn);
bool IsMainThread();
