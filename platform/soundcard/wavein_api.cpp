// The waveIn calls: the application's side of a wave-in handle. Each takes the
// card's lock for a few pointer operations; the card's side is in
// wavein_handle.cpp.
#include "platform/soundcard/cardprobe.h"
#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/waveapi.h"
#include "platform/soundcard/wavein.h"

using namespace soundcard;

MMRESULT waveInOpen(HWAVEIN* phwi, UINT id, const WAVEFORMATEX* pwfx, DWORD_PTR target,
                    DWORD_PTR instance, DWORD flags) {
  Callback cb;
  bool query = false;
  if (MMRESULT r = CheckWaveOpen(id, pwfx, flags, phwi, target, instance, &cb, &query)) return r;
  if (query) return MMSYSERR_NOERROR;
  Engine& e = Engine::instance();
  e.ensureClock();
  auto record = NewWaveInRecord(e, *pwfx);
  return InstallWaveHandle(new WaveInHandle(*pwfx, cb, record), phwi, MM_WIM_OPEN, [&] {
    if (record && e.probe) e.probe->state.history.push_back(record);
  });
}

MMRESULT waveInClose(HWAVEIN h) {
  return CloseWaveHandle(h, MM_WIM_CLOSE, [h] {
    if (h->record) h->record->open = false;
  });
}

MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return PrepareWaveHeader(h, hdr, size);
}

MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return UnprepareWaveHeader(h, hdr, size);
}

MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* hdr, UINT size) {
  return QueueWaveHeader(h, hdr, size, [h](WAVEHDR* queued) {
    queued->dwBytesRecorded = 0;
    h->append(queued);
  });
}

MMRESULT waveInStart(HWAVEIN h) {
  return ChangeWaveHandle(h, [h] { h->started = true; });
}

MMRESULT waveInStop(HWAVEIN h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->stop(notes); });
}

MMRESULT waveInReset(HWAVEIN h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->reset(notes); });
}

MMRESULT waveInGetPosition(HWAVEIN h, MMTIME* t, UINT size) {
  return GetWavePosition(h, t, size, [h] { return h->positionFrames; });
}

MMRESULT waveInGetStartFrame(HWAVEIN h, std::uint64_t* clockFrame) {
  if (!clockFrame) return MMSYSERR_INVALPARAM;
  bool begun = false;
  const MMRESULT r = ChangeWaveHandle(h, [&] {
    begun = h->begun;
    *clockFrame = h->startFrame;
  });
  if (r != MMSYSERR_NOERROR) return r;
  return begun ? MMSYSERR_NOERROR : MMSYSERR_NOTENABLED;
}

MMRESULT waveInGetID(HWAVEIN h, UINT* id) {
  return GetWaveID(h, id);
}

MMRESULT waveInEnableVoice(HWAVEIN h, DWORD ringBytes) {
  Engine& e = Engine::instance();
  WAVEFORMATEX format{};
  {
    std::lock_guard g(e.lock);
    if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
    format = h->format;
  }
  const DWORD bytes = ringBytes - ringBytes % format.nBlockAlign;
  if (bytes == 0) return MMSYSERR_INVALPARAM;
  // Built here, outside the lock; the card's thread only swaps pointers.
  auto fresh = std::make_unique<WaveInVoice>(format, bytes);
  std::unique_ptr<WaveInVoice> old;  // freed after the lock is released
  std::lock_guard g(e.lock);
  if (!e.isOpen(h)) return MMSYSERR_INVALHANDLE;
  if (h->started) return WAVERR_STILLPLAYING;
  old = std::move(h->voice);
  h->voice = std::move(fresh);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInReadVoice(HWAVEIN h, void* dst, DWORD bytes, DWORD* read) {
  if (!read) return MMSYSERR_INVALPARAM;
  *read = 0;
  WaveInVoice* voice = nullptr;
  DWORD align = 1;
  const MMRESULT r = ChangeWaveHandle(h, [&] {
    voice = h->voice.get();
    align = h->format.nBlockAlign;
  });
  if (r != MMSYSERR_NOERROR) return r;
  if (!voice) return MMSYSERR_NOTENABLED;
  // The ring is the reader's to drain without the card's lock: only
  // waveInEnableVoice and waveInClose replace or free it, never during a read.
  const std::size_t want = bytes - bytes % align;
  *read = DWORD(dst ? voice->ring.pop(static_cast<std::uint8_t*>(dst), want) : voice->ring.discard(want));
  return MMSYSERR_NOERROR;
}
