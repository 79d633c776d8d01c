#include "platform/waveformat.h"

#include <cstdlib>
#include <cstring>
#include <new>

// ---------------------------------------------------------------- records

std::size_t wioSizeOfWaveFormat(const WAVEFORMATEX* format) {
  if (!format) return 0;
  if (format->wFormatTag == WAVE_FORMAT_PCM) return sizeof(WAVEFORMATEX);
  return sizeof(WAVEFORMATEX) + format->cbSize;
}

PWaveFormatEx wioTryCopyWaveFormat(const WAVEFORMATEX* format) noexcept {
  const std::size_t size = wioSizeOfWaveFormat(format);
  if (size == 0) return nullptr;
  auto* copy = static_cast<PWaveFormatEx>(std::malloc(size));
  if (!copy) return nullptr;
  std::memcpy(copy, format, size);
  if (copy->wFormatTag == WAVE_FORMAT_PCM) copy->cbSize = 0;
  return copy;
}

PWaveFormatEx wioCopyWaveFormat(const WAVEFORMATEX* format) {
  PWaveFormatEx copy = wioTryCopyWaveFormat(format);
  if (!copy && format) throw std::bad_alloc();
  return copy;
}

void wioFreeWaveFormat(PWaveFormatEx& format) {
  std::free(format);
  format = nullptr;
}

bool wioSameFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
  if (!a || !b) return a == b;
  const std::size_t size = wioSizeOfWaveFormat(a);
  return size == wioSizeOfWaveFormat(b) && std::memcmp(a, b, size) == 0;
}

bool wioSameSampleFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
  if (!a || !b) return false;
  return a->wFormatTag == b->wFormatTag && a->nChannels == b->nChannels && a->nSamplesPerSec == b->nSamplesPerSec &&
         a->wBitsPerSample == b->wBitsPerSample && a->nBlockAlign == b->nBlockAlign;
}

// ---------------------------------------------------------------- PCM

bool pcmIsValidFormat(const WAVEFORMATEX* format) {
  if (!format || format->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return false;
  if (format->nChannels != 1 && format->nChannels != 2 && format->nChannels != 4) return false;
  return format->nSamplesPerSec >= 4000 && format->nSamplesPerSec <= 100000;
}

namespace {

// Block alignment and byte rate the record's bits, channels and rate make,
// wide enough that no product overflows.
struct Rates {
  std::uint64_t blockAlign;
  std::uint64_t bytesPerSec;
};

Rates ratesOf(const WAVEFORMATEX& f) {
  const std::uint64_t align = std::uint64_t(f.nChannels) * f.wBitsPerSample / 8;
  return {align, align * f.nSamplesPerSec};
}

}  // namespace

bool pcmSetRates(WAVEFORMATEX& format) {
  const Rates r = ratesOf(format);
  if (r.blockAlign == 0 || r.blockAlign > 0xFFFF || r.bytesPerSec > 0xFFFFFFFFu) return false;
  format.nBlockAlign = WORD(r.blockAlign);
  format.nAvgBytesPerSec = DWORD(r.bytesPerSec);
  return true;
}

bool pcmRatesConsistent(const WAVEFORMATEX& format) {
  const Rates r = ratesOf(format);
  return format.nBlockAlign == r.blockAlign && format.nAvgBytesPerSec == r.bytesPerSec;
}

WAVEFORMATEX pcmBuildWaveHeader(int bits, int channels, int rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = WORD(channels);
  f.nSamplesPerSec = DWORD(rate);
  f.wBitsPerSample = WORD(bits);
  f.cbSize = 0;
  // A frame under one byte leaves both at 0: no usable format.
  pcmSetRates(f);
  return f;
}

BYTE pcmSilenceByte(const WAVEFORMATEX* format) {
  return format && format->wFormatTag == WAVE_FORMAT_PCM && format->wBitsPerSample == 8 ? 128 : 0;
}

// ---------------------------------------------------------------- conversions

std::int64_t wioRoundUpToBlock(std::int64_t bytes, std::int64_t blockAlign) {
  if (blockAlign <= 1) return bytes;
  const std::int64_t rest = bytes % blockAlign;
  return rest > 0 ? bytes + (blockAlign - rest) : bytes - rest;
}

std::int64_t pcmBytesToSamples(const WAVEFORMATEX* format, std::int64_t bytes) {
  if (!format || format->nAvgBytesPerSec == 0) return -1;
  return bytes * format->nSamplesPerSec / format->nAvgBytesPerSec;
}

std::int64_t pcmBytesToTime(const WAVEFORMATEX* format, std::int64_t bytes) {
  if (!format || format->nAvgBytesPerSec == 0) return -1;
  return bytes * 1000 / format->nAvgBytesPerSec;
}

std::int64_t pcmSamplesToBytes(const WAVEFORMATEX* format, std::int64_t samples) {
  if (!format || format->nSamplesPerSec == 0) return -1;
  return wioRoundUpToBlock(samples * format->nAvgBytesPerSec / format->nSamplesPerSec, format->nBlockAlign);
}

std::int64_t pcmTimeToBytes(const WAVEFORMATEX* format, std::int64_t ms) {
  if (!format) return -1;
  return wioRoundUpToBlock(ms * format->nAvgBytesPerSec / 1000, format->nBlockAlign);
}
