#include "audio/MMDSPThread.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Worker threads register and leave from their own threads, so this list,
// unlike the component list, is locked.
struct ThreadRegistry {
  std::mutex mutex;
  std::vector<const TMMDSPThread*> threads;
};
ThreadRegistry& threadRegistry() {
  static ThreadRegistry r;
  return r;
}

}  // namespace

// ---------------------------------------------------------------- TMMDSPThread

TMMDSPThread::TMMDSPThread(TMMCustomSoundComponent* Owner) : FOwner(Owner) {
  ThreadRegistry& r = threadRegistry();
  std::lock_guard lock(r.mutex);
  r.threads.push_back(this);
}

TMMDSPThread::~TMMDSPThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id())
      FThread.detach();
    else
      FThread.join();
  }
  ThreadRegistry& r = threadRegistry();
  std::lock_guard lock(r.mutex);
  r.threads.erase(std::remove(r.threads.begin(), r.threads.end(), this), r.threads.end());
}

void TMMDSPThread::Resume() {
  if (FThread.joinable() || FFinished) return;
  FThread = std::thread([this] { Run(); });
  FLaunched = true;
  FLaunched.notify_one();
}

void TMMDSPThread::Run() {
  FThreadId = std::this_thread::get_id();
  // With FreeOnTerminate the object may be deleted here; not before Resume
  // has finished storing the thread.
  FLaunched.wait(false);
  Execute();
  FFinished = true;
  if (FreeOnTerminate) delete this;
}

void TMMDSPThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

bool TMMDSPThread::IsDSPThread(std::thread::id id) {
  ThreadRegistry& r = threadRegistry();
  std::lock_guard lock(r.mutex);
  return std::any_of(r.threads.begin(), r.threads.end(),
                     [&](const TMMDSPThread* t) { return t->ThreadID() == id; });
}

std::size_t TMMDSPThread::InstanceCount() {
  ThreadRegistry& r = threadRegistry();
  std::lock_guard lock(r.mutex);
  return r.threads.size();
}
