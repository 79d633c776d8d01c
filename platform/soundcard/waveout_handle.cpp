// Wave-out handles, the card's side: what a period does with them.
#include "platform/soundcard/waveout.h"

#include <algorithm>
#include <cstring>

#include "platform/soundcard/cardcontrol.h"

using namespace soundcard;

namespace {
constexpr std::size_t kFifoFrames = 8192;  // converted frames waiting to be mixed
constexpr std::size_t kChunkFrames = 2048;  // input frames decoded at a time
}  // namespace

WaveOutHandle::WaveOutHandle(const WAVEFORMATEX& f, const Callback& cb)
    : format(f),
      callback(cb),
      resampler_(std::make_unique<Resampler>(unsigned(f.nSamplesPerSec), kSampleRate, unsigned(f.nChannels))),
      decoded_(kChunkFrames * f.nChannels),
      resampled_(kFifoFrames * f.nChannels),
      fifo_(kFifoFrames * 2) {}

void WaveOutHandle::finishHead(NoteList& notes) {
  WAVEHDR* hdr = takeHeadDone();
  offset = 0;
  notes.add(callback, this, MM_WOM_DONE, DWORD_PTR(hdr));
}

void WaveOutHandle::reset(NoteList& notes) {
  while (head) finishHead(notes);
  drainedMessage = 0;
  offset = 0;
  fifoFrames_ = 0;
  inputFrames_ = 0;
  outputFrames_ = 0;
  resampler_->clear();
}

void WaveOutHandle::restartConverter() {
  if (resampler_->ended()) resampler_->clear();
}

std::uint64_t WaveOutHandle::position() const {
  if (resampler_->passthrough()) return outputFrames_;
  return std::min(inputFrames_, outputFrames_ * format.nSamplesPerSec / kSampleRate);
}

void WaveOutHandle::toFifo(const float* frames, std::size_t count) {
  float* dst = fifo_.data() + 2 * fifoFrames_;
  if (format.nChannels == 1)
    MonoToStereo(frames, count, dst);
  else
    std::memcpy(dst, frames, count * 2 * sizeof(float));
  fifoFrames_ += count;
}

void WaveOutHandle::fill(std::uint32_t frames, NoteList& notes) {
  const unsigned channels = format.nChannels;
  const DWORD align = format.nBlockAlign;
  while (fifoFrames_ < frames) {
    const std::size_t room = kFifoFrames - fifoFrames_;
    if (!head) {
      // The queue ran dry: let out what the converter still holds, so the
      // end of the sound is heard. waveOutWrite readies it for the next
      // sound, off this thread.
      if (resampler_->holdsInput()) toFifo(resampled_.data(), resampler_->drain(resampled_.data(), room));
      return;
    }
    if (resampler_->ended()) return;
    const DWORD usable = head->dwBufferLength - head->dwBufferLength % align;
    if (offset >= usable) {
      if (!notes.hasRoom()) return;
      finishHead(notes);
      continue;
    }
    // Take only what this period needs, so a buffer is reported done when
    // its last frame goes into the mix, not earlier.
    const std::size_t need = frames - fifoFrames_;
    std::size_t take = std::min<std::size_t>((usable - offset) / align, kChunkFrames);
    if (resampler_->passthrough())
      take = std::min(take, need);
    else
      take = std::min<std::size_t>(take, need * format.nSamplesPerSec / kSampleRate + 1);
    DecodePcm(reinterpret_cast<const std::uint8_t*>(head->lpData) + offset, take, channels,
              format.wBitsPerSample, decoded_.data());
    std::size_t used = 0;
    const std::size_t got = resampler_->process(decoded_.data(), take, &used, resampled_.data(), room);
    toFifo(resampled_.data(), got);
    offset += DWORD(used * align);
    inputFrames_ += used;
    if (offset >= usable && notes.hasRoom()) finishHead(notes);
    if (used == 0 && got == 0) return;
  }
}

void WaveOutHandle::pull(float* mix, std::uint32_t frames, NoteList& notes) noexcept {
  if (paused || !resampler_->ok()) return;
  fill(frames, notes);
  const std::size_t n = std::min<std::size_t>(fifoFrames_, frames);
  for (std::size_t i = 0; i < 2 * n; ++i) mix[i] += fifo_[i];
  fifoFrames_ -= n;
  std::memmove(fifo_.data(), fifo_.data() + 2 * n, fifoFrames_ * 2 * sizeof(float));
  outputFrames_ += n;
  if (drainedMessage) reportDrained(notes);
}

void WaveOutHandle::reportDrained(NoteList& notes) noexcept {
  if (head || fifoFrames_ > 0 || resampler_->holdsInput() || !notes.hasRoom()) return;
  notes.add(callback, this, drainedMessage, 0);
  drainedMessage = 0;
}
