// A reference from one component to another that clears itself when the
// other is destroyed (the framework's free notification): the holder gets a
// callback after the pointer has been cleared.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

template <typename T>
class TMMRef {
 public:
  TMMRef() = default;
  ~TMMRef() { QObject::disconnect(FConnection); }
  TMMRef(const TMMRef&) = delete;
  TMMRef& operator=(const TMMRef&) = delete;

  T* get() const { return FTarget.data(); }
  explicit operator bool() const { return !FTarget.isNull(); }

  // Points at `target` (or nothing). `gone` runs, on the holder `context`,
  // when the target is destroyed; the reference is already empty then.
  void Set(QObject* context, T* target, std::function<void()> gone) {
    QObject::disconnect(FConnection);
    FTarget = target;
    if (!target) return;
    FConnection = QObject::connect(target, &QObject::destroyed, context, [this, gone = std::move(gone)] {
      FTarget.clear();
      if (gone) gone();
    });
  }

 private:
  QPointer<T> FTarget;
  QMetaObject::Connection FConnection;
};
