// The waveOut calls: the application's side of a wave-out handle. Each takes the
// card's lock for a few pointer operations; the card's side is in
// waveout_handle.cpp.
#include "platform/soundcard/soundcard.h"
#include "platform/soundcard/waveapi.h"
#include "platform/soundcard/waveout.h"

using namespace soundcard;

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT id, const WAVEFORMATEX* pwfx, DWORD_PTR target,
                     DWORD_PTR instance, DWORD flags) {
  Callback cb;
  bool query = false;
  if (MMRESULT r = CheckWaveOpen(id, pwfx, flags, phwo, target, instance, &cb, &query)) return r;
  if (query) return MMSYSERR_NOERROR;
  Engine::instance().ensureClock();
  return InstallWaveHandle(new WaveOutHandle(*pwfx, cb), phwo, MM_WOM_OPEN, [] {});
}

MMRESULT waveOutClose(HWAVEOUT h) {
  return CloseWaveHandle(h, MM_WOM_CLOSE, [] {});
}

MMRESULT waveOutPrepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return PrepareWaveHeader(h, hdr, size);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return UnprepareWaveHeader(h, hdr, size);
}

MMRESULT waveOutWrite(HWAVEOUT h, WAVEHDR* hdr, UINT size) {
  return QueueWaveHeader(h, hdr, size, [h](WAVEHDR* queued) {
    h->append(queued);
    // A sound after one that ran out to its end starts a new stream.
    h->restartConverter();
  });
}

MMRESULT waveOutPause(HWAVEOUT h) {
  return ChangeWaveHandle(h, [h] { h->paused = true; });
}

MMRESULT waveOutRestart(HWAVEOUT h) {
  return ChangeWaveHandle(h, [h] { h->paused = false; });
}

MMRESULT waveOutReset(HWAVEOUT h) {
  return ReturnWaveBuffers(h, [h](NoteList& notes) { h->reset(notes); });
}

MMRESULT waveOutGetPosition(HWAVEOUT h, MMTIME* t, UINT size) {
  return GetWavePosition(h, t, size, [h] { return h->position(); });
}

MMRESULT waveOutNotifyDrained(HWAVEOUT h, UINT msg) {
  return ChangeWaveHandle(h, [h, msg] { h->drainedMessage = msg; });
}

MMRESULT waveOutGetID(HWAVEOUT h, UINT* id) {
  return GetWaveID(h, id);
}
