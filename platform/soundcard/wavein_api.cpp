// The waveIn calls: the application's side of a wave-in handle. Each takes the
// card's lock for a few pointer operations; the card's side is in
// wavein_handle.cpp.
#include <algorithm>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/wavein.h"

using namespace soundcard;

MMRESULT waveInOpen(HWAVEIN* phwi, UINT id, const WAVEFORMATEX* pwfx, DWORD_PTR target,
                    DWORD_PTR instance, DWORD flags) {
  if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
  if (!pwfx) return MMSYSERR_INVALPARAM;
  if (!IsSupportedPcm(*pwfx)) return WAVERR_BADFORMAT;
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  if (!phwi) return MMSYSERR_INVALPARAM;
  Callback cb;
  if (MMRESULT r = ParseCallback(target, instance, flags, &cb)) return r;

  Engine& e = Engine::instance();
  e.ensureClock();
  auto record = NewWaveInRecord(e, *pwfx);
  auto* h = new WaveInHandle(*pwfx, cb, record);
  {
    std::lock_guard g(e.lock);
    auto slot = std::find(e.waveIns.begin(), e.waveIns.end(), nullptr);
    if (slot == e.waveIns.end()) {
      delete h;
      return MMSYSERR_ALLOCATED;
    }
    *slot = h;
    if (record && e.probe) e.probe->state.history.push_back(record);
  }
  *phwi = h;
  SendNow(cb, h, MM_WIM_OPEN, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN h) {
  Engine& e = Engine::instance();
  Callback cb;
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    if (h->head) return WAVERR_STILLPLAYING;
    *std::find(e.waveIns.begin(), e.waveIns.end(), h) = nullptr;
    if (h->record) h->record->open = false;
    cb = h->callback;
  }
  NoteList notes;
  notes.add(cb, h, MM_WIM_CLOSE, 0);
  e.callInOrder(notes);
  delete h;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return PrepareWaveHeader(h, hdr, size);
}

MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return UnprepareWaveHeader(h, hdr, size);
}

MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  if (!hdr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  if (!hdr->lpData && hdr->dwBufferLength > 0) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  hdr->dwBytesRecorded = 0;
  h->append(hdr);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN h) {
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  h->started = true;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->stop(notes); });
}

MMRESULT waveInReset(HWAVEIN h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->reset(notes); });
}

MMRESULT waveInGetPosition(HWAVEIN h, MMTIME* t, UINT size) {
  if (!t || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  Engine& e = Engine::instance();
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (t->wType == TIME_SAMPLES) {
    t->u.sample = DWORD(h->positionFrames);
  } else {
    t->wType = TIME_BYTES;
    t->u.cb = DWORD(h->positionFrames * h->format.nBlockAlign);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveInGetID(HWAVEIN h, UINT* id) {
  return GetWaveID(h, id);
}
