// Times in an engine's TimeFormat (bytes, samples or milliseconds of a wave
// format) and the bytes or samples they stand for.
#pragma once

#include <cstdint>

#include "audio/MMDSPObj.h"

// `value` in `unit` as bytes of `format`; negative when it has no rate.
std::int64_t MMTimeToBytes(const WAVEFORMATEX* format, std::int64_t value, TMMTimeFormats unit);
// `bytes` of `format` in `unit`; negative when it has no rate.
std::int64_t MMBytesToTime(const WAVEFORMATEX* format, std::int64_t bytes, TMMTimeFormats unit);
// `samples` of `format` in `unit` (0 milliseconds when it has no rate).
std::int64_t MMSamplesToTime(const WAVEFORMATEX* format, std::int64_t samples, TMMTimeFormats unit);
