#include "platform/soundcard/notes.h"

#include "platform/winmsg/winmsg.h"

namespace soundcard {

NoteList::NoteList(std::size_t capacity) : bounded_(capacity) {
  calls_.reserve(capacity);
  if (bounded()) ring_.resize(kWindowPosts);
}

bool NoteList::hasRoom() const {
  if (!bounded()) return true;
  if (calls_.size() < bounded_ && ringCount_ < ring_.size()) return true;
  refusals_.fetch_add(1, std::memory_order_relaxed);
  return false;
}

void NoteList::add(const Callback& cb, void* handle, UINT msg, DWORD_PTR param) {
  if (cb.type != CALLBACK_WINDOW && cb.type != CALLBACK_FUNCTION) return;
  const Note note{cb.type == CALLBACK_WINDOW, cb.target, handle, msg, cb.instance, param};
  if (!bounded()) {
    calls_.push_back(note);
  } else if (note.window) {
    if (ringCount_ == ring_.size()) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    ring_[(ringHead_ + ringCount_) % ring_.size()] = note;
    ++ringCount_;
  } else {
    if (calls_.size() == bounded_) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    calls_.push_back(note);  // within the reserved capacity
  }
}

void NoteList::deliver(const Note& n) {
  if (n.window)
    PostMessage(reinterpret_cast<HWND>(n.target), n.msg, WPARAM(n.handle), LPARAM(n.param));
  else
    reinterpret_cast<WAVECALLBACK>(n.target)(n.handle, n.msg, n.instance, n.param, 0);
}

void NoteList::call() {
  // Window messages first: they belong to other handles than the function
  // calls, and a callback function may send new messages of its own.
  while (ringCount_ > 0) {
    const Note& n = ring_[ringHead_];
    const PostResult r =
        TryPostMessage(reinterpret_cast<HWND>(n.target), n.msg, WPARAM(n.handle), LPARAM(n.param));
    if (r == PostResult::Full) break;  // waits for the next period
    ringHead_ = (ringHead_ + 1) % ring_.size();
    --ringCount_;
  }
  for (const Note& n : calls_) deliver(n);
  calls_.clear();
}

void NoteList::postAll() {
  while (ringCount_ > 0) {
    deliver(ring_[ringHead_]);
    ringHead_ = (ringHead_ + 1) % ring_.size();
    --ringCount_;
  }
}

MMRESULT ParseCallback(DWORD_PTR target, DWORD_PTR instance, DWORD flags, Callback* cb) {
  cb->type = flags & CALLBACK_TYPEMASK;
  cb->target = target;
  cb->instance = instance;
  switch (cb->type) {
    case CALLBACK_NULL: return MMSYSERR_NOERROR;
    case CALLBACK_WINDOW:
    case CALLBACK_FUNCTION: return target ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    default: return MMSYSERR_INVALFLAG;
  }
}

void SendNow(const Callback& cb, void* handle, UINT msg, DWORD_PTR param) {
  NoteList list;
  list.add(cb, handle, msg, param);
  list.call();
}

}  // namespace soundcard
