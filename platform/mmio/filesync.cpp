#include "platform/mmio/filesync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace mmio {

namespace {

struct Request {
  int fd;
  dev_t device;
  ino_t inode;
};

// One helper thread, started by the first request and ended (after its
// queue) when the process exits.
class Syncer {
 public:
  ~Syncer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void Add(Request r) {
    {
      std::lock_guard lock(mutex_);
      for (Request& waiting : queue_) {
        if (waiting.device == r.device && waiting.inode == r.inode) {
          ::close(waiting.fd);
          waiting.fd = r.fd;
          return;
        }
      }
      queue_.push_back(r);
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
  }

  void WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      const Request r = queue_.front();
      queue_.pop_front();
      busy_ = true;
      lock.unlock();
      ::fdatasync(r.fd);
      ::close(r.fd);
      lock.lock();
      busy_ = false;
      idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Request> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

Syncer& TheSyncer() {
  static Syncer syncer;
  return syncer;
}

}  // namespace

void SyncInBackground(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return;
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return;
  TheSyncer().Add({copy, st.st_dev, st.st_ino});
}

void WaitForBackgroundSyncs() { TheSyncer().WaitIdle(); }

}  // namespace mmio
