#include "mixer/MMObsrv.h"

#include <algorithm>

TMMObserver::~TMMObserver() {
  if (FSubject) FSubject->RemoveObserver(this);
}

void TMMObserver::Notify(TMMMixerChange* Data) {
  if (FLockCount == 0 && OnNotify) OnNotify(this, Data);
}

TMMObservable::~TMMObservable() {
  while (!FObservers.empty()) RemoveObserver(FObservers.back());
}

void TMMObservable::AddObserver(TMMObserver* o) {
  if (!o) return;
  if (o->FSubject) o->FSubject->RemoveObserver(o);
  FObservers.push_back(o);
  o->FSubject = this;
}

void TMMObservable::RemoveObserver(TMMObserver* o) {
  if (!o || o->FSubject != this) return;
  FObservers.erase(std::find(FObservers.begin(), FObservers.end(), o));
  o->FSubject = nullptr;
}

void TMMObservable::NotifyObservers(TMMMixerChange* Data) {
  if (FSuspendCount > 0) return;
  // A handler may add or remove observers (a line re-binding moves its
  // controls' links); walk a copy and skip those that left meanwhile.
  const std::vector<TMMObserver*> snapshot = FObservers;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
    if (std::find(FObservers.begin(), FObservers.end(), *it) != FObservers.end()) (*it)->Notify(Data);
}
