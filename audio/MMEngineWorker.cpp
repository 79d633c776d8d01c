#include "audio/MMEngineWorker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr int kStartWaitMs = 5000;

int NiceValue(TThreadPriority p) {
  switch (p) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -15;
  }
  return 0;
}

}  // namespace

TMMEngineWorker::TMMEngineWorker(TMMCustomSoundComponent* Owner, THandler Handler)
    : TMMDSPThread(Owner), FHandler(std::move(Handler)) {}

// The loop uses the queue and the wake word to its last step, so it must have
// ended before they go; the base destructor would join only after them.
TMMEngineWorker::~TMMEngineWorker() {
  Quit();
  if (std::this_thread::get_id() != ThreadID()) WaitFor();
}

std::unique_ptr<TMMEngineWorker> TMMEngineWorker::Launch(TMMCustomSoundComponent* Owner, THandler Handler) {
  auto worker = std::make_unique<TMMEngineWorker>(Owner, std::move(Handler));
  worker->Resume();
  if (!worker->FRunning.try_acquire_for(std::chrono::milliseconds(kStartWaitMs))) worker.reset();
  return worker;
}

bool TMMEngineWorker::Post(const TMMEngineNotice& Notice) noexcept {
  if (!FQueue.Push(Notice)) return false;
  Wake();
  return true;
}

void TMMEngineWorker::Quit() noexcept {
  FQuit = true;
  Wake();
}

void TMMEngineWorker::Wake() noexcept {
  FWake.fetch_add(1);
  FWake.notify_one();
}

void TMMEngineWorker::ApplyPriority(TThreadPriority Priority) {
  const pid_t tid = FTid.load();
  if (tid != 0) setpriority(PRIO_PROCESS, id_t(tid), NiceValue(Priority));
}

void TMMEngineWorker::Execute() {
  FTid = gettid();
  FRunning.release();
  for (;;) {
    const std::uint32_t seen = FWake.load();
    TMMEngineNotice notice;
    bool any = false;
    while (FQueue.Pop(notice)) {
      any = true;
      if (!FHandler(notice, FQuit)) return;
    }
    if (FQuit.load()) return;
    if (!any) FWake.wait(seen);
  }
}
