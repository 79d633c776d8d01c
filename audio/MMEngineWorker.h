// The worker thread of a wave engine in cmThread mode. The driver's callback
// (the card's thread) posts notices of returned buffers into a bounded
// lock-free queue and wakes the worker through an atomic: nothing on the
// card's thread blocks or allocates. The worker hands each notice, in order,
// to the engine's handling function. Quit wakes it and ends the loop once
// the queue is empty; destroying the worker joins the thread.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <exception>
#include <memory>
#include <mutex>
#include <semaphore>
#include <utility>

#include "audio/MMAlloc.h"
#include "audio/MMDSPObj.h"
#include "audio/MMNoticeQueue.h"
#include "platform/mmsystem.h"

struct TMMEngineNotice {
  UINT Msg = 0;
  WPARAM WParam = 0;  // the device handle
  LPARAM LParam = 0;  // the buffer
  std::uint32_t Run = 0;  // the engine's run the notice belongs to
};

class TMMEngineWorker : public TMMDSPThread {
 public:
  // Handles one notice on the worker; false ends the loop. `Quit` is set
  // once the worker is told to end (a handler that waits watches it).
  using THandler = std::function<bool(const TMMEngineNotice& Notice, const std::atomic<bool>& Quit)>;

  TMMEngineWorker(TMMCustomSoundComponent* Owner, THandler Handler);
  ~TMMEngineWorker() override;

  // A running worker; null when its thread did not report running in time.
  static std::unique_ptr<TMMEngineWorker> Launch(TMMCustomSoundComponent* Owner, THandler Handler);
  // Any thread, never blocks or allocates; false when the queue is full.
  bool Post(const TMMEngineNotice& Notice) noexcept;
  // Any thread: ends the loop once the queue is empty.
  void Quit() noexcept;
  // The thread's scheduling priority (raising it may be refused).
  void ApplyPriority(TThreadPriority Priority);

 protected:
  void Execute() override;

 private:
  void Wake() noexcept;

  THandler FHandler;
  MMNoticeQueue<TMMEngineNotice, 1024> FQueue;  // more than the ring's 500 buffers
  std::atomic<std::uint32_t> FWake{0};
  std::atomic<bool> FQuit{false};
  std::atomic<pid_t> FTid{0};
  std::binary_semaphore FRunning{0};
};

// A failure of an engine's buffer handling on its worker. The worker records
// it and posts MM_ENGINE_THREADFAIL to the engine's window; the main thread
// takes it there, closes the device and reports it (error boxes belong to
// the main thread).
class TMMEngineFailure {
 public:
  // Main thread, before a new worker starts.
  void Clear() {
    FFailed = false;
    std::lock_guard guard(FLock);
    FError = nullptr;
  }
  // Worker: keeps `error` for the main thread.
  void Record(std::exception_ptr error) {
    {
      std::lock_guard guard(FLock);
      FError = std::move(error);
    }
    FFailed = true;
  }
  bool Failed() const { return FFailed.load(); }
  // Main thread: the recorded error, once.
  std::exception_ptr Take() {
    std::lock_guard guard(FLock);
    return std::exchange(FError, nullptr);
  }

 private:
  std::atomic<bool> FFailed{false};
  std::mutex FLock;
  std::exception_ptr FError;
};
