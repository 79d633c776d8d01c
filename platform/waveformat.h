// The rules of the wave format record WAVEFORMATEX, in one place for the
// component chain, the wave file layer and the sound card: how many bytes a
// record takes, copying and comparing records, what a valid PCM format is,
// the block alignment and byte rate that bits, channels and rate make, and
// the byte/sample/millisecond conversions of the chain.
//
// Plain functions over the record; nothing here keeps state, so every thread
// may call them. Only the copies allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mmsystem.h"

// ---------------------------------------------------------------- records
// Bytes a format record occupies: 0 for none, 18 for PCM, else 18 + cbSize.
std::size_t wioSizeOfWaveFormat(const WAVEFORMATEX* format);
// A new copy of exactly wioSizeOfWaveFormat bytes (PCM copies get cbSize 0),
// or nullptr for none. Free it with wioFreeWaveFormat (or std::free).
// Raises std::bad_alloc when memory runs out.
PWaveFormatEx wioCopyWaveFormat(const WAVEFORMATEX* format);
// The same, with nullptr instead of an exception when memory runs out.
PWaveFormatEx wioTryCopyWaveFormat(const WAVEFORMATEX* format) noexcept;
void wioFreeWaveFormat(PWaveFormatEx& format);
// Whether two format records are the same byte for byte over their
// wioSizeOfWaveFormat bytes; two missing formats are the same.
bool wioSameFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b);
// Whether samples of format `b` can stand in the data of format `a`: the
// same tag, channels, rate, bits and block alignment (the byte rate and the
// extra bytes may differ). False when either is missing.
bool wioSameSampleFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b);

// ---------------------------------------------------------------- PCM
// PCM, 8 or 16 bits, 1, 2 or 4 channels, 4000 to 100000 samples per second.
bool pcmIsValidFormat(const WAVEFORMATEX* format);
// A PCM format of these bits, channels and rate with cbSize 0 and the block
// alignment and byte rate they make.
WAVEFORMATEX pcmBuildWaveHeader(int bits, int channels, int rate);
// Sets nBlockAlign = channels × bits / 8 and nAvgBytesPerSec = nBlockAlign
// × rate from the record's own fields. False, with the record unchanged,
// when the frame is under one byte or either value does not fit its field.
bool pcmSetRates(WAVEFORMATEX& format);
// Whether nBlockAlign and nAvgBytesPerSec are those pcmSetRates would set.
bool pcmRatesConsistent(const WAVEFORMATEX& format);
// The byte that sounds silent: 128 for 8-bit PCM, else 0.
BYTE pcmSilenceByte(const WAVEFORMATEX* format);

// ---------------------------------------------------------------- conversions
// `bytes` rounded up (towards plus infinity) to a multiple of `blockAlign`;
// unchanged for an alignment of 0 or 1.
std::int64_t wioRoundUpToBlock(std::int64_t bytes, std::int64_t blockAlign);
// Conversions by multiply-then-divide in 64 bits, rounding down. Bytes from
// samples or milliseconds are rounded up to whole blocks. -1 without a
// usable format.
std::int64_t pcmBytesToSamples(const WAVEFORMATEX* format, std::int64_t bytes);
std::int64_t pcmBytesToTime(const WAVEFORMATEX* format, std::int64_t bytes);
std::int64_t pcmSamplesToBytes(const WAVEFORMATEX* format, std::int64_t samples);
std::int64_t pcmTimeToBytes(const WAVEFORMATEX* format, std::int64_t ms);
