#include "platform/soundcard/notes.h"

#include "platform/winmsg/winmsg.h"

namespace soundcard {

NoteList::NoteList(std::size_t capacity) : bounded_(capacity) { notes_.reserve(capacity); }

void NoteList::add(const Callback& cb, void* handle, UINT msg, DWORD_PTR param) {
  switch (cb.type) {
    case CALLBACK_WINDOW:
      PostMessage(reinterpret_cast<HWND>(cb.target), msg, WPARAM(handle), LPARAM(param));
      break;
    case CALLBACK_FUNCTION:
      if (hasRoom())
        notes_.push_back(Note{reinterpret_cast<WAVECALLBACK>(cb.target), handle, msg, cb.instance,
                              param});
      break;
    default:
      break;
  }
}

void NoteList::call() {
  for (const Note& n : notes_) n.fn(n.handle, n.msg, n.instance, n.param, 0);
  notes_.clear();
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
