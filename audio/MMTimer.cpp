#include "audio/MMTimer.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/winmsg/mmtimer.h"

struct TMMTimerClient {
  int interval = MMTimerPeriod;  // ms, at least 25
  void* owner = nullptr;
  TMMTimerCallback callback;
  int pauseCount = 0;  // 0 = running
  int elapsed = 0;     // ms since the last call or pause
  TMMTimerClient* next = nullptr;
};

namespace {

class TickService {
 public:
  // The timer table must outlive the service, so it is created first.
  TickService() { timeKillEvent(0); }
  ~TickService() {
    // Process end: a timer that still runs is killed and the period restored.
    if (timerId != 0) {
      timeKillEvent(timerId);
      timerId = 0;
      timeEndPeriod(MMTimerPeriod);
    }
    std::lock_guard guard(lock);
    while (first) {
      TMMTimerClient* c = first;
      first = c->next;
      delete c;
    }
  }

  // Under `lock`: the client before `client`, or nullptr when it is the first.
  // False when `client` is not subscribed.
  bool find(TMMTimerClient* client, TMMTimerClient** before) const {
    TMMTimerClient* prev = nullptr;
    for (TMMTimerClient* c = first; c; prev = c, c = c->next)
      if (c == client) {
        *before = prev;
        return true;
      }
    return false;
  }

  UINT timerId = 0;  // main thread only
  TMMTimerClient* first = nullptr;
  std::atomic<int> clientCount{0};
  std::atomic<int> busyCount{0};
  std::mutex lock;  // the list, and every client's pause count and elapsed time
};

TickService& service() {
  static TickService s;
  return s;
}

void tickProc(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) { MMTimerTick(); }

}  // namespace

PMMTimerClient MMTimerSubscribe(int intervalMs, bool paused, TMMTimerCallback callback, void* owner) {
  TickService& s = service();
  if (s.clientCount++ == 0) {
    timeBeginPeriod(MMTimerPeriod);
    s.timerId = timeSetEvent(MMTimerPeriod, 0, tickProc, 0, TIME_PERIODIC);
    if (s.timerId == 0) {
      s.clientCount = 0;
      timeEndPeriod(MMTimerPeriod);  // leave nothing behind
      return nullptr;
    }
  }
  auto* client = new TMMTimerClient;
  client->interval = std::max(intervalMs, MMTimerPeriod);
  client->owner = owner;
  client->callback = std::move(callback);
  client->pauseCount = paused ? 1 : 0;

  std::lock_guard guard(s.lock);
  TMMTimerClient** tail = &s.first;
  while (*tail) tail = &(*tail)->next;
  *tail = client;
  return client;
}

void MMTimerPause(PMMTimerClient client) {
  TickService& s = service();
  if (!client) return;
  std::lock_guard guard(s.lock);
  TMMTimerClient* before;
  if (!s.find(client, &before)) return;
  ++client->pauseCount;
  client->elapsed = 0;
}

void MMTimerResume(PMMTimerClient client) {
  TickService& s = service();
  if (!client) return;
  std::lock_guard guard(s.lock);
  TMMTimerClient* before;
  if (!s.find(client, &before)) return;
  if (client->pauseCount > 0) --client->pauseCount;
}

void MMTimerUnsubscribe(PMMTimerClient client) {
  TickService& s = service();
  if (!client) return;
  {
    std::lock_guard guard(s.lock);
    TMMTimerClient* before;
    if (!s.find(client, &before)) return;
    (before ? before->next : s.first) = client->next;
    delete client;
    --s.clientCount;
  }
  // Outside the lock: killing waits for a running tick, which takes the lock.
  if (s.clientCount == 0 && s.timerId != 0) {
    timeKillEvent(s.timerId);
    s.timerId = 0;
    timeEndPeriod(MMTimerPeriod);
  }
}

void MMTimerTick() {
  TickService& s = service();
  if (s.busyCount.fetch_add(1) == 0) {
    std::lock_guard guard(s.lock);
    for (TMMTimerClient* c = s.first; c; c = c->next) {
      if (c->pauseCount != 0) continue;
      c->elapsed += MMTimerPeriod;
      if (c->elapsed >= c->interval) {
        if (c->callback) c->callback(c, c->owner);
        c->elapsed = 0;
      }
    }
  }
  s.busyCount.fetch_sub(1);
}

int MMTimerClientCount() { return service().clientCount.load(); }

UINT MMTimerId() { return service().timerId; }
