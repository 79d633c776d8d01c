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

WaveInVoice::WaveInVoice(const WAVEFORMATEX& f, std::size_t ringBytes)
    : ring(ringBytes),
      resampler(kSampleRate, unsigned(f.nSamplesPerSec), unsigned(f.nChannels)),
      mono(WaveInHandle::kMaxPeriod),
      converted(kConvertedFrames * f.nChannels),
      encoded(kConvertedFrames * f.nBlockAlign) {}

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
  if (voice) voice->resampler.clear();
}

void WaveInHandle::capture(const float* mix, const float* voiceMix, std::uint32_t frames,
                           std::uint64_t clockFrame, NoteList& notes) noexcept {
  if (!started || !resampler_->ok()) return;
  if (record) record->capturing(clockFrame);
  if (!begun) {
    begun = true;
    startFrame = clockFrame;
  }
  const unsigned channels = format.nChannels;
  const bool withVoice = voice && voiceMix;
  const float* in = mix;
  const float* voiceIn = voiceMix;
  if (channels == 1) {
    StereoToMono(mix, frames, mono_.data());
    in = mono_.data();
    if (withVoice) {
      StereoToMono(voiceMix, frames, voice->mono.data());
      voiceIn = voice->mono.data();
    }
  }
  std::size_t remaining = frames;
  std::size_t voiceRemaining = frames;
  while (remaining > 0) {
    std::size_t used = 0;
    const std::size_t got =
        resampler_->process(in, remaining, &used, converted_.data(), convertedCapacity_);
    const std::uint8_t* voiceBytes =
        withVoice ? convertVoice(&voiceIn, &voiceRemaining, got) : nullptr;
    if (got > 0) {
      EncodePcm(converted_.data(), got, channels, format.wBitsPerSample, encoded_.data());
      write(encoded_.data(), voiceBytes, got * format.nBlockAlign, notes);
    }
    in += used * channels;
    remaining -= used;
    if (used == 0 && got == 0) break;
  }
}

const std::uint8_t* WaveInHandle::convertVoice(const float** in, std::size_t* remaining,
                                               std::size_t frames) noexcept {
  // Both converters have the same settings and are fed the same counts, so
  // they give the same counts; were they ever to differ, the voice is cut
  // or padded with silence to the mix's frames rather than drift.
  WaveInVoice& v = *voice;
  const unsigned channels = format.nChannels;
  std::size_t used = 0;
  std::size_t got = 0;
  if (v.resampler.ok())
    got = v.resampler.process(*in, *remaining, &used, v.converted.data(), convertedCapacity_);
  *in += used * channels;
  *remaining -= used;
  if (got < frames) std::fill(v.converted.begin() + got * channels, v.converted.begin() + frames * channels, 0.0f);
  EncodePcm(v.converted.data(), frames, channels, format.wBitsPerSample, v.encoded.data());
  return v.encoded.data();
}

void WaveInHandle::write(const std::uint8_t* bytes, const std::uint8_t* voiceBytes,
                         std::size_t size, NoteList& notes) {
  const DWORD align = format.nBlockAlign;
  while (size > 0) {
    // The buffers take no more than the voice ring does: what one loses,
    // both lose.
    std::size_t voiceRoom = size;
    if (voiceBytes) {
      voiceRoom = voice->ring.space();
      voiceRoom -= voiceRoom % align;
    }
    if (!head || !notes.hasRoom() || voiceRoom == 0) {
      lostFrames += size / align;
      if (record) record->lost(size / align);
      return;
    }
    const DWORD usable = head->dwBufferLength - head->dwBufferLength % align;
    if (head->dwBytesRecorded >= usable) {
      finishHead(notes);
      continue;
    }
    const std::size_t n = std::min({std::size_t(usable - head->dwBytesRecorded), size, voiceRoom});
    std::memcpy(head->lpData + head->dwBytesRecorded, bytes, n);
    head->dwBytesRecorded += DWORD(n);
    positionFrames += n / align;
    if (record) record->delivered(bytes, n);
    if (voiceBytes) {
      voice->ring.push(voiceBytes, n);
      voiceBytes += n;
    }
    bytes += n;
    size -= n;
    if (head->dwBytesRecorded >= usable) finishHead(notes);
  }
}
