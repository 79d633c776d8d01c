// The worker-thread base of the sound components.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

class TMMCustomSoundComponent;

// A worker thread of a sound component (cmThread mode). Created suspended:
// Resume starts Execute on a new thread. Registered while it exists, so that
// SynchronizeCall can tell its calls from the main thread's.
class TMMDSPThread {
 public:
  explicit TMMDSPThread(TMMCustomSoundComponent* Owner);
  // Waits for Execute to end (unless called on the thread itself, as with
  // FreeOnTerminate) and leaves the registry.
  virtual ~TMMDSPThread();
  TMMDSPThread(const TMMDSPThread&) = delete;
  TMMDSPThread& operator=(const TMMDSPThread&) = delete;

  void Resume();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated.load(); }
  // Waits until Execute has returned. Not from the thread itself.
  void WaitFor();
  bool Finished() const { return FFinished.load(); }
  // Delete the object on its own thread when Execute returns.
  bool FreeOnTerminate = false;

  TMMCustomSoundComponent* Owner() const { return FOwner; }
  std::thread::id ThreadID() const { return FThreadId.load(); }

  static bool IsDSPThread(std::thread::id id);
  static std::size_t InstanceCount();

 protected:
  virtual void Execute() = 0;

 private:
  void Run();
  TMMCustomSoundComponent* FOwner;
  std::thread FThread;
  std::atomic<std::thread::id> FThreadId{};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FLaunched{false};  // FThread is assigned; Run may go on
};
