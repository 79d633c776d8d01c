// The queue of buffers an application lent to a wave handle, the same for
// wave-in and wave-out handles.
#pragma once

#include "platform/mmsystem.h"

namespace soundcard {

struct HeaderQueue {
  // Guarded by the card's lock, like the rest of the handle.
  WAVEHDR* head = nullptr;  // queued buffers, linked through lpNext
  WAVEHDR* tail = nullptr;

  void append(WAVEHDR* hdr) {
    hdr->lpNext = nullptr;
    if (tail)
      tail->lpNext = hdr;
    else
      head = hdr;
    tail = hdr;
  }

  // Unlinks the first buffer and marks it done and no longer queued. The
  // queue must not be empty. Runs on the card's thread too: no allocation.
  WAVEHDR* takeHeadDone() noexcept {
    WAVEHDR* hdr = head;
    head = hdr->lpNext;
    if (!head) tail = nullptr;
    hdr->lpNext = nullptr;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return hdr;
  }
};

}  // namespace soundcard
