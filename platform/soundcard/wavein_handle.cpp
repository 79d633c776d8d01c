// Wave-in handles, the card's side: what a period does with them.
#include "platform/soundcard/wavein.h"

#include <algorithm>
#include <cstring>

#include "platform/soundcard/cardcontrol.h"

using namespace soundcard;

namespace {
// Largest output of one period: 4096 frames at 44100 Hz become about 9300
// at 100 kHz, plus what the converter may release at once.
constexpr std::size_t kConvertedFrames = 16384;
}  // namespace

WaveInHandle::WaveInHandle(const WAVEFORMATEX& f, const Callback& cb,
                           std::shared_ptr<WaveInProbeRecord> rec)
    : format(f),
      callback(cb),
      record(std::move(rec)),
      resampler_(std::make_unique<Resampler>(kSampleRate, unsigned(f.nSamplesPerSec), unsigned(f.nChannels))),
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
  begun = false;
  resampler_->clear();
}

void WaveInHandle::capture(const float* mix, std::uint32_t frames, std::uint64_t clockFrame,
                           NoteList& notes) noexcept {
  if (!started || !resampler_->ok()) return;
  if (record) record->capturing(clockFrame);
  if (!begun) {
    begun = true;
    startFrame = clockFrame;
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
      lostFrames += size / align;
      if (record) record->lost(size / align);
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
    if (record) record->delivered(bytes, n);
    bytes += n;
    size -= n;
    if (head->dwBytesRecorded >= usable) finishHead(notes);
  }
}
