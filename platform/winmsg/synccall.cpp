// The synchronous calls: a window procedure called directly (SendMessage)
// and a function run on the main thread while the caller waits
// (SynchronizeMain). A call from another thread travels through the message
// queue as a job, so it keeps its order relative to the posted messages.
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/winmsg/messagequeue.h"
#include "platform/winmsg/winmsg.h"

using namespace winmsg_detail;

void winmsg_detail::RunSyncJob(SyncJob& job) {
  MessageQueue& q = queue();
  try {
    (*job.fn)();
  } catch (...) {
    job.error = std::current_exception();
  }
  {
    std::lock_guard lock(q.mutex);
    job.done = true;
  }
  q.jobDone.notify_all();
}

LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsMainThread()) {
    LRESULT result = 0;
    SynchronizeMain([&] { result = SendMessage(wnd, msg, wParam, lParam); });
    return result;
  }
  const std::shared_ptr<WindowRec> rec = FindWindowRec(wnd);
  if (!rec) return 0;
  return rec->proc ? rec->proc(wnd, msg, wParam, lParam) : DefWindowProc(wnd, msg, wParam, lParam);
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
