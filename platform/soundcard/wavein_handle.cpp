// Wave-in handles and the waveIn functions.
#include "platform/soundcard/wavein.h"

#include <algorithm>
#include <cstring>

#include "platform/soundcard/engine.h"
#include "platform/soundcard/soundcard.h"

using namespace soundcard;

namespace {
// Largest output of one period: 4096 frames at 44100 Hz become about 9300
// at 100 kHz, plus what the converter may release at once.
constexpr std::size_t kConvertedFrames = 16384;
}  // namespace

WaveInHandle::WaveInHandle(const WAVEFORMATEX& f, const Callback& cb,
                           std::shared_ptr<WaveInRecordState> rec)
    : format(f),
      callback(cb),
      record(std::move(rec)),
      resampler_(std::make_unique<Resampler>(kSampleRate, f.nSamplesPerSec, f.nChannels)),
      mono_(kMaxPeriod),
      converted_(kConvertedFrames * f.nChannels),
      encoded_(kConvertedFrames * f.nBlockAlign),
      convertedCapacity_(kConvertedFrames) {}

void WaveInHandle::finishHead(NoteList& notes) {
  WAVEHDR* hdr = takeHeadDone();
  notes.add(callback, this, MM_WIM_DATA, DWORD_PTR(hdr));
}

void WaveInHandle::stop(NoteList& notes) {
  started = false;
  if (head && head->dwBytesRecorded > 0) finishHead(notes);
}

void WaveInHandle::reset(NoteList& notes) {
  started = false;
  while (head) finishHead(notes);
  positionFrames = 0;
  resampler_->clear();
}

void WaveInHandle::capture(const float* mix, std::uint32_t frames, std::uint64_t clockFrame,
                           NoteList& notes) noexcept {
  if (!started || !resampler_->ok()) return;
  if (!record->begun) {
    record->begun = true;
    record->startFrame = clockFrame;
  }
  const unsigned channels = format.nChannels;
  const float* in = mix;
  if (channels == 1) {
    StereoToMono(mix, frames, mono_.data());
    in = mono_.data();
  }
  std::size_t remaining = frames;
  while (remaining > 0) {
    std::size_t used = 0;
    const std::size_t got =
        resampler_->process(in, remaining, &used, converted_.data(), convertedCapacity_);
    if (got > 0) {
      EncodePcm(converted_.data(), got, channels, format.wBitsPerSample, encoded_.data());
      write(encoded_.data(), got * format.nBlockAlign, notes);
    }
    in += used * channels;
    remaining -= used;
    if (used == 0 && got == 0) break;
  }
}

void WaveInHandle::write(const std::uint8_t* bytes, std::size_t size, NoteList& notes) {
  const DWORD align = format.nBlockAlign;
  while (size > 0) {
    if (!head || !notes.hasRoom()) {
      record->lostFrames += size / align;
      return;
    }
    const DWORD usable = head->dwBufferLength - head->dwBufferLength % align;
    if (head->dwBytesRecorded >= usable) {
      finishHead(notes);
      continue;
    }
    const std::size_t n = std::min<std::size_t>(usable - head->dwBytesRecorded, size);
    std::memcpy(head->lpData + head->dwBytesRecorded, bytes, n);
    head->dwBytesRecorded += DWORD(n);
    positionFrames += n / align;
    WaveInRecordState& rec = *record;
    const std::size_t keep = std::min(n, rec.tapCapacity - rec.tap.size());
    rec.tap.insert(rec.tap.end(), bytes, bytes + keep);  // within the reserved capacity
    if (keep < n) rec.tapOverflowed = true;
    bytes += n;
    size -= n;
    if (head->dwBytesRecorded >= usable) finishHead(notes);
  }
}

// ---------------------------------------------------------------- waveIn calls

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
  auto record = std::make_shared<WaveInRecordState>();
  record->format = *pwfx;
  {
    std::lock_guard g(e.lock);
    record->tapCapacity = e.tapBytes;
  }
  record->tap.reserve(record->tapCapacity);
  auto* h = new WaveInHandle(*pwfx, cb, record);
  {
    std::lock_guard g(e.lock);
    auto slot = std::find(e.waveIns.begin(), e.waveIns.end(), nullptr);
    if (slot == e.waveIns.end()) {
      delete h;
      return MMSYSERR_ALLOCATED;
    }
    *slot = h;
    e.history.push_back(record);
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
    h->record->open = false;
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
