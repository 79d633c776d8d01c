// The waveOut calls: the application's side of a wave-out handle. Each takes the
// card's lock for a few pointer operations; the card's side is in
// waveout_handle.cpp.
#include <algorithm>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/waveout.h"

using namespace soundcard;

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT id, const WAVEFORMATEX* pwfx, DWORD_PTR target,
                     DWORD_PTR instance, DWORD flags) {
  if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (!pwfx) return MMSYSERR_INVALPARAM;
  if (!IsSupportedPcm(*pwfx)) return WAVERR_BADFORMAT;
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  if (!phwo) return MMSYSERR_INVALPARAM;
  Callback cb;
  if (MMRESULT r = ParseCallback(target, instance, flags, &cb)) return r;

  Engine& e = Engine::instance();
  e.ensureClock();
  auto* h = new WaveOutHandle(*pwfx, cb);
  {
    std::lock_guard g(e.lock);
    auto slot = std::find(e.waveOuts.begin(), e.waveOuts.end(), nullptr);
    if (slot == e.waveOuts.end()) {
      delete h;
      return MMSYSERR_ALLOCATED;
    }
    *slot = h;
  }
  *phwo = h;
  SendNow(cb, h, MM_WOM_OPEN, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT h) {
  Engine& e = Engine::instance();
  Callback cb;
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    if (h->head) return WAVERR_STILLPLAYING;
    *std::find(e.waveOuts.begin(), e.waveOuts.end(), h) = nullptr;
    cb = h->callback;
  }
  NoteList notes;
  notes.add(cb, h, MM_WOM_CLOSE, 0);
  e.callInOrder(notes);
  delete h;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return PrepareWaveHeader(h, hdr, size);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return UnprepareWaveHeader(h, hdr, size);
}

MMRESULT waveOutWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  if (!hdr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  if (!hdr->lpData && hdr->dwBufferLength > 0) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  h->append(hdr);
  // A sound after one that ran out to its end starts a new stream.
  h->restartConverter();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT h) {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  h->paused = true;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT h) {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  h->paused = false;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->reset(notes); });
}

MMRESULT waveOutGetPosition(HWAVEOUT h, MMTIME* t, UINT size) {
  if (!t || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  const std::uint64_t frames = h->position();
  if (t->wType == TIME_SAMPLES) {
    t->u.sample = DWORD(frames);
  } else {
    t->wType = TIME_BYTES;
    t->u.cb = DWORD(frames * h->format.nBlockAlign);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutNotifyDrained(HWAVEOUT h, UINT msg) {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  h->drainedMessage = msg;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetID(HWAVEOUT h, UINT* id) {
  return GetWaveID(h, id);
}
