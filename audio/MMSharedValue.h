// An atomic that copies (a load, then a store), so that a record holding
// some can be reset by one assignment. Each field stays atomic on its own;
// the record as a whole is not.
#pragma once

#include <atomic>

template <typename T>
struct TMMSharedValue : std::atomic<T> {
  using std::atomic<T>::atomic;
  using std::atomic<T>::operator=;
  TMMSharedValue(const TMMSharedValue& other) noexcept : std::atomic<T>(other.load()) {}
  TMMSharedValue& operator=(const TMMSharedValue& other) noexcept {
    this->store(other.load());
    return *this;
  }
};
