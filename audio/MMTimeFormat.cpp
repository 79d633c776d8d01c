#include "audio/MMTimeFormat.h"

std::int64_t MMTimeToBytes(const WAVEFORMATEX* format, std::int64_t value, TMMTimeFormats unit) {
  switch (unit) {
    case tfSample: return pcmSamplesToBytes(format, value);
    case tfMillisecond: return pcmTimeToBytes(format, value);
    case tfByte: break;
  }
  return value;
}

std::int64_t MMBytesToTime(const WAVEFORMATEX* format, std::int64_t bytes, TMMTimeFormats unit) {
  switch (unit) {
    case tfSample: return pcmBytesToSamples(format, bytes);
    case tfMillisecond: return pcmBytesToTime(format, bytes);
    case tfByte: break;
  }
  return bytes;
}

std::int64_t MMSamplesToTime(const WAVEFORMATEX* format, std::int64_t samples, TMMTimeFormats unit) {
  switch (unit) {
    case tfByte: return pcmSamplesToBytes(format, samples);
    case tfMillisecond:
      return format->nSamplesPerSec ? samples * 1000 / std::int64_t(format->nSamplesPerSec) : 0;
    case tfSample: break;
  }
  return samples;
}
