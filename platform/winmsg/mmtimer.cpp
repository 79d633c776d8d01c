// Multimedia timers over std::thread: one thread per timer, sleeping until
// absolute deadlines on the steady clock so that a periodic timer keeps its
// rate however long each callback takes. A tick that is already a whole
// period late is skipped rather than fired in a burst.
#include "platform/winmsg/mmtimer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  UINT id = 0;
  std::chrono::milliseconds period{0};
  bool periodic = false;
  LPTIMECALLBACK proc = nullptr;
  DWORD_PTR user = 0;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;  // under `mutex`
  std::thread thread;
};

class TimerTable {
 public:
  ~TimerTable() {
    // Process end: stop whatever still runs before the statics go.
    std::map<UINT, std::shared_ptr<Timer>> left;
    {
      std::lock_guard lock(mutex);
      left.swap(timers);
    }
    for (auto& [id, t] : left) stopAndJoin(t);
  }

  static void stopAndJoin(const std::shared_ptr<Timer>& t) {
    {
      std::lock_guard lock(t->mutex);
      t->stop = true;
    }
    t->wake.notify_all();
    if (t->thread.get_id() == std::this_thread::get_id())
      t->thread.detach();  // killed from its own callback: the loop ends after it returns
    else if (t->thread.joinable())
      t->thread.join();
  }

  std::mutex mutex;
  std::map<UINT, std::shared_ptr<Timer>> timers;
  UINT nextId = 1;
};

TimerTable& table() {
  static TimerTable t;
  return t;
}

std::atomic<int> gPeriods{0};

void run(std::shared_ptr<Timer> t) {
  auto next = Clock::now() + t->period;
  for (;;) {
    {
      std::unique_lock lock(t->mutex);
      if (t->wake.wait_until(lock, next, [&] { return t->stop; })) return;
    }
    t->proc(t->id, 0, t->user, 0, 0);
    if (!t->periodic) break;
    next += t->period;
    const auto now = Clock::now();
    if (next + t->period <= now) next = now + t->period;
  }
  // A one-shot timer removes itself unless timeKillEvent got there first.
  std::shared_ptr<Timer> self;
  {
    std::lock_guard lock(table().mutex);
    auto it = table().timers.find(t->id);
    if (it == table().timers.end() || it->second != t) return;
    self = std::move(it->second);
    table().timers.erase(it);
  }
  self->thread.detach();
}

}  // namespace

UINT timeSetEvent(UINT delay, UINT /*resolution*/, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags) {
  if (!proc || delay == 0) return 0;
  auto t = std::make_shared<Timer>();
  t->period = std::chrono::milliseconds(delay);
  t->periodic = (flags & TIME_PERIODIC) != 0;
  t->proc = proc;
  t->user = user;
  std::lock_guard lock(table().mutex);
  t->id = table().nextId++;
  if (table().nextId == 0) table().nextId = 1;
  try {
    t->thread = std::thread(run, t);
  } catch (const std::system_error&) {
    return 0;
  }
  table().timers[t->id] = t;
  return t->id;
}

MMRESULT timeKillEvent(UINT id) {
  std::shared_ptr<Timer> t;
  {
    std::lock_guard lock(table().mutex);
    auto it = table().timers.find(id);
    if (it == table().timers.end()) return MMSYSERR_INVALPARAM;
    t = std::move(it->second);
    table().timers.erase(it);
  }
  TimerTable::stopAndJoin(t);
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT period) {
  if (period == 0) return TIMERR_NOCANDO;
  ++gPeriods;
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  if (period == 0 || gPeriods.load() <= 0) return TIMERR_NOCANDO;
  --gPeriods;
  return TIMERR_NOERROR;
}

int timePeriodCount() { return gPeriods.load(); }

DWORD timeGetTime() {
  using namespace std::chrono;
  return DWORD(duration_cast<milliseconds>(Clock::now().time_since_epoch()).count());
}

bool QueryPerformanceFrequency(std::int64_t* frequency) {
  if (!frequency) return false;
  *frequency = 1'000'000;
  return true;
}

bool QueryPerformanceCounter(std::int64_t* counter) {
  if (!counter) return false;
  using namespace std::chrono;
  *counter = duration_cast<microseconds>(Clock::now().time_since_epoch()).count();
  return true;
}
