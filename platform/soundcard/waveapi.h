// What the waveIn* and waveOut* calls share: the argument checks of an open,
// the handle tables, closing, queueing a header, and the calls that only
// look at or flip one field of an open handle. Each takes the card's lock
// for a few pointer operations and delivers any message after releasing it.
#pragma once

#include <algorithm>
#include <mutex>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/pcm.h"

namespace soundcard {

inline auto& HandleSlots(Engine& e, HWAVEIN) { return e.waveIns; }
inline auto& HandleSlots(Engine& e, HWAVEOUT) { return e.waveOuts; }

// The checks of waveInOpen/waveOutOpen before anything is created. Returns
// an error, or MMSYSERR_NOERROR with *query set when the call only asked
// whether the format would do.
inline MMRESULT CheckWaveOpen(UINT id, const WAVEFORMATEX* pwfx, DWORD flags, const void* out,
                              DWORD_PTR target, DWORD_PTR instance, Callback* cb, bool* query) {
  *query = false;
  if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (!pwfx) return MMSYSERR_INVALPARAM;
  if (!IsSupportedPcm(*pwfx)) return WAVERR_BADFORMAT;
  if (flags & WAVE_FORMAT_QUERY) {
    *query = true;
    return MMSYSERR_NOERROR;
  }
  if (!out) return MMSYSERR_INVALPARAM;
  return ParseCallback(target, instance, flags, cb);
}

// Puts a new handle into a free slot of the card (and runs `installed()`
// under the lock), then sends its open message. Deletes the handle when all
// slots are taken.
template <typename Handle, typename Installed>
MMRESULT InstallWaveHandle(Handle* h, Handle** out, UINT openMsg, Installed installed) {
  Engine& e = Engine::instance();
  {
    std::lock_guard g(e.lock);
    auto& slots = HandleSlots(e, h);
    auto slot = std::find(slots.begin(), slots.end(), nullptr);
    if (slot == slots.end()) {
      delete h;
      return MMSYSERR_ALLOCATED;
    }
    *slot = h;
    installed();
  }
  *out = h;
  SendNow(h->callback, h, openMsg, 0);
  return MMSYSERR_NOERROR;
}

// Takes an open handle without queued buffers off the card (running
// `closing()` under the lock), sends its close message in order after any
// message of the running period, and deletes it.
template <typename Handle, typename Closing>
MMRESULT CloseWaveHandle(Handle* h, UINT closeMsg, Closing closing) {
  Engine& e = Engine::instance();
  Callback cb;
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    if (h->head) return WAVERR_STILLPLAYING;
    auto& slots = HandleSlots(e, h);
    *std::find(slots.begin(), slots.end(), h) = nullptr;
    closing();
    cb = h->callback;
  }
  NoteList notes;
  notes.add(cb, h, closeMsg, 0);
  e.callInOrder(notes);
  delete h;
  return MMSYSERR_NOERROR;
}

// waveInAddBuffer/waveOutWrite: checks a prepared header that is not queued
// yet, marks it queued and hands it to `queue(hdr)` under the lock.
template <typename Handle, typename Queue>
MMRESULT QueueWaveHeader(Handle* h, WAVEHDR* hdr, UINT size, Queue queue) {
  if (!hdr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  if (!hdr->lpData && hdr->dwBufferLength > 0) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  queue(hdr);
  return MMSYSERR_NOERROR;
}

// Runs `change()` on an open handle under the lock (start, pause, restart).
template <typename Handle, typename Change>
MMRESULT ChangeWaveHandle(Handle* h, Change change) {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  change();
  return MMSYSERR_NOERROR;
}

// waveInGetPosition/waveOutGetPosition: the frames `frames()` counts, as
// samples when asked, else as bytes.
template <typename Handle, typename Frames>
MMRESULT GetWavePosition(Handle* h, MMTIME* t, UINT size, Frames frames) {
  if (!t || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  return ChangeWaveHandle(h, [&] {
    const std::uint64_t n = frames();
    if (t->wType == TIME_SAMPLES) {
      t->u.sample = DWORD(n);
    } else {
      t->wType = TIME_BYTES;
      t->u.cb = DWORD(n * h->format.nBlockAlign);
    }
  });
}

template <typename Handle>
MMRESULT PrepareWaveHeader(Handle* h, WAVEHDR* hdr, UINT size) {
  if (!hdr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return ChangeWaveHandle(h, [hdr] { hdr->dwFlags |= WHDR_PREPARED; });
}

template <typename Handle>
MMRESULT UnprepareWaveHeader(Handle* h, WAVEHDR* hdr, UINT size) {
  if (!hdr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

// Runs `returnBuffers(notes)` on an open handle under the lock, then
// delivers the notices it collected (the buffers it hands back) after the
// lock is released: the shape of waveInStop, waveInReset, waveOutReset.
template <typename Handle, typename ReturnBuffers>
MMRESULT ReturnWaveBuffers(Handle* h, ReturnBuffers returnBuffers) {
  Engine& e = Engine::instance();
  NoteList notes;
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    returnBuffers(notes);
  }
  e.callInOrder(notes);
  return MMSYSERR_NOERROR;
}

// The device id of an open handle: always 0.
template <typename Handle>
MMRESULT GetWaveID(Handle* h, UINT* id) {
  if (!id) return MMSYSERR_INVALPARAM;
  return ChangeWaveHandle(h, [id] { *id = 0; });
}

}  // namespace soundcard
