// Delivery of the driver messages (MM_WIM_*, MM_WOM_*) to a handle's
// callback: posted at once to a callback window, or collected for a callback
// function and called once the card's lock is released, so the callback may
// call the wave functions again.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/mmsystem.h"

namespace soundcard {

struct Callback {
  DWORD type = CALLBACK_NULL;  // CALLBACK_NULL, CALLBACK_WINDOW or CALLBACK_FUNCTION
  DWORD_PTR target = 0;        // HWND or WAVECALLBACK
  DWORD_PTR instance = 0;
};

class NoteList {
 public:
  // `capacity` > 0: a fixed list for the card's thread that never grows
  // (add() refuses when full); 0: a list that grows, for other threads.
  explicit NoteList(std::size_t capacity = 0);

  // True when one more message can be taken.
  bool hasRoom() const { return bounded_ == 0 || notes_.size() < bounded_; }
  // Posts to a window now; keeps a function call for call().
  void add(const Callback& callback, void* handle, UINT msg, DWORD_PTR param);
  // Calls the kept functions in order and empties the list.
  void call();
  bool empty() const { return notes_.empty(); }

 private:
  struct Note {
    WAVECALLBACK fn;
    void* handle;
    UINT msg;
    DWORD_PTR instance;
    DWORD_PTR param;
  };
  std::size_t bounded_;
  std::vector<Note> notes_;
};

// Reads the callback of an open call: CALLBACK_NULL, CALLBACK_WINDOW or
// CALLBACK_FUNCTION (the latter two need a target).
MMRESULT ParseCallback(DWORD_PTR target, DWORD_PTR instance, DWORD flags, Callback* cb);

// Sends one message to a callback right now (window: posted).
void SendNow(const Callback& callback, void* handle, UINT msg, DWORD_PTR param);

}  // namespace soundcard
