// The observer pair the mixer components use to tell each other about
// changes, and the notices they send.
//
// A subject (TMMObservable) keeps an ordered list of observers and hands each
// notice to them from the last added to the first. A notice is created, sent
// and freed by its sender; observers only look at it during the call.
// Everything here runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// ---------------------------------------------------------------- notices
class TMMMixerChange {
 public:
  virtual ~TMMMixerChange() = default;
};

// A line of the mixer changed (its state, not its controls).
class TMMLineChange : public TMMMixerChange {
 public:
  explicit TMMLineChange(std::int32_t lineId) : LineId(lineId) {}
  std::int32_t LineId;
};

// A control's value changed.
class TMMControlChange : public TMMMixerChange {
 public:
  TMMControlChange(std::int32_t lineId, std::int32_t ctlId) : LineId(lineId), CtlId(ctlId) {}
  std::int32_t LineId;
  std::int32_t CtlId;
};

// A line component was bound again (its LineId may differ).
class TMMLineIdChange : public TMMMixerChange {};
// A control component was bound again (its ControlId may differ).
class TMMControlIdChange : public TMMMixerChange {};
// A device component changed (id, identity or open state).
class TMMDeviceChange : public TMMMixerChange {};

// ---------------------------------------------------------------- observers
class TMMObservable;

class TMMObserver {
 public:
  using TNotifyProc = std::function<void(TMMObserver* Sender, TMMMixerChange* Data)>;

  TMMObserver() = default;
  // Detaches from the subject.
  virtual ~TMMObserver();
  TMMObserver(const TMMObserver&) = delete;
  TMMObserver& operator=(const TMMObserver&) = delete;

  // Calls OnNotify unless locked.
  virtual void Notify(TMMMixerChange* Data);
  void Lock() { ++FLockCount; }
  void Unlock() { --FLockCount; }
  bool IsLocked() const { return FLockCount > 0; }
  TMMObservable* Subject() const { return FSubject; }

  TNotifyProc OnNotify;

 private:
  friend class TMMObservable;
  TMMObservable* FSubject = nullptr;
  std::int32_t FLockCount = 0;
};

class TMMObservable {
 public:
  TMMObservable() = default;
  // Removes the observers one by one, the last added first.
  virtual ~TMMObservable();
  TMMObservable(const TMMObservable&) = delete;
  TMMObservable& operator=(const TMMObservable&) = delete;

  // Detaches `o` from its current subject and appends it here.
  void AddObserver(TMMObserver* o);
  // Removes `o` only when it is attached to this subject.
  void RemoveObserver(TMMObserver* o);
  // Notify on every observer, the last added first, unless suspended. An
  // observer removed by an earlier one during the walk is skipped.
  void NotifyObservers(TMMMixerChange* Data);

  void Suspend() { ++FSuspendCount; }
  void Resume() { --FSuspendCount; }
  std::size_t Count() const { return FObservers.size(); }

 private:
  std::vector<TMMObserver*> FObservers;
  std::int32_t FSuspendCount = 0;
};

// Detaches `observer` from its subject and attaches it to `to` (or to none).
inline void MoveObserver(TMMObserver& observer, TMMObservable* to) {
  if (observer.Subject()) observer.Subject()->RemoveObserver(&observer);
  if (to) to->AddObserver(&observer);
}
