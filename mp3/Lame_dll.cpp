#include "mp3/Lame_dll.h"

#include <lame/lame.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

// One open stream: libmp3lame's context and what beInitStream promised.
struct Stream {
  lame_t gfp = nullptr;
  int channels = 2;
  DWORD bufferSize = 0;
  ~Stream() {
    if (gfp) lame_close(gfp);
  }
};

// Handles are small numbers rather than pointers so that they fit the u32
// the callers hold. The table is guarded although the system calls from one
// thread only: the cost is one uncontended lock per call.
std::mutex g_lock;
std::map<HBE_STREAM, std::unique_ptr<Stream>> g_streams;
HBE_STREAM g_nextHandle = 1;

Stream* FindStream(HBE_STREAM h) {
  std::lock_guard guard(g_lock);
  auto it = g_streams.find(h);
  return it == g_streams.end() ? nullptr : it->second.get();
}

// libmp3lame's own algorithm quality (0 best .. 9 fastest) for each preset.
// NORMAL keeps the library's default.
void ApplyPreset(lame_t gfp, LONG preset) {
  switch (preset) {
    case LOW_QUALITY:
      lame_set_quality(gfp, 7);
      break;
    case HIGH_QUALITY:
      lame_set_quality(gfp, 2);
      break;
    case VOICE_QUALITY:
      // Speech needs neither the full band nor the expensive noise shaping.
      lame_set_quality(gfp, 5);
      lame_set_lowpassfreq(gfp, 12000);
      break;
    default:
      break;
  }
}

bool Configure(lame_t gfp, const BE_CONFIG& cfg, int channels) {
  lame_set_num_channels(gfp, channels);
  lame_set_in_samplerate(gfp, static_cast<int>(cfg.dwSampleRate));
  if (cfg.dwReSampleRate != 0) lame_set_out_samplerate(gfp, static_cast<int>(cfg.dwReSampleRate));
  // libmp3lame does not implement dual channel; two independent channels are
  // encoded as plain stereo, which keeps them apart just the same.
  switch (cfg.nMode) {
    case BE_MP3_MODE_MONO:
      lame_set_mode(gfp, MONO);
      break;
    case BE_MP3_MODE_JSTEREO:
      lame_set_mode(gfp, JOINT_STEREO);
      break;
    default:
      lame_set_mode(gfp, STEREO);
      break;
  }
  // The MPEG version follows from the output rate, which the encoder picks
  // from the input rate unless a resampling rate is given: forcing MPEG-1 on
  // a 22050 Hz input would mean resampling nobody asked for.
  ApplyPreset(gfp, cfg.nPreset);
  lame_set_emphasis(gfp, static_cast<int>(cfg.dwEmphasis));
  lame_set_extension(gfp, cfg.bPrivate ? 1 : 0);
  lame_set_error_protection(gfp, cfg.bCRC ? 1 : 0);
  lame_set_copyright(gfp, cfg.bCopyright ? 1 : 0);
  lame_set_original(gfp, cfg.bOriginal ? 1 : 0);
  // A constant-bitrate stream always carries the information frame: without
  // it decoders cannot trim the encoder's delay and padding, and every file
  // would play up to two frames longer than its input.
  lame_set_bWriteVbrTag(gfp, cfg.bWriteVBRHeader || !cfg.bEnableVBR ? 1 : 0);
  if (cfg.bEnableVBR) {
    lame_set_VBR(gfp, vbr_default);
    lame_set_VBR_q(gfp, std::clamp<int>(cfg.nVBRQuality, 0, 9));
    lame_set_VBR_min_bitrate_kbps(gfp, static_cast<int>(cfg.dwBitrate));
    lame_set_VBR_max_bitrate_kbps(gfp, static_cast<int>(cfg.dwMaxBitrate));
  } else {
    lame_set_VBR(gfp, vbr_off);
    lame_set_brate(gfp, static_cast<int>(cfg.dwBitrate));
  }
  return lame_init_params(gfp) >= 0;
}

}  // namespace

void beVersion(BE_VERSION* pbeVersion) {
  if (!pbeVersion) return;
  std::memset(pbeVersion, 0, sizeof(*pbeVersion));
  lame_version_t v{};
  get_lame_version_numerical(&v);
  pbeVersion->byDLLMajorVersion = BE_INTERFACE_MAJOR;
  pbeVersion->byDLLMinorVersion = BE_INTERFACE_MINOR;
  pbeVersion->byMajorVersion = static_cast<BYTE>(v.major);
  pbeVersion->byMinorVersion = static_cast<BYTE>(v.minor);
  pbeVersion->byAlphaLevel = static_cast<BYTE>(v.alpha);
  pbeVersion->byBetaLevel = static_cast<BYTE>(v.beta);
  if (const char* url = get_lame_url())
    std::strncpy(pbeVersion->zHomepage, url, sizeof(pbeVersion->zHomepage) - 1);
}

BE_ERR beInitStream(const BE_CONFIG* pbeConfig, DWORD* dwSamples, DWORD* dwBufferSize,
                    HBE_STREAM* phbeStream) {
  if (!pbeConfig || !dwSamples || !dwBufferSize || !phbeStream) return BE_ERR_INVALID_FORMAT;
  const BE_CONFIG& cfg = *pbeConfig;
  if (cfg.dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
  if (cfg.dwStructSize < offsetof(BE_CONFIG, btReserved)) return BE_ERR_INVALID_FORMAT;
  if (cfg.nMode < BE_MP3_MODE_STEREO || cfg.nMode > BE_MP3_MODE_MONO || cfg.dwSampleRate == 0 ||
      cfg.dwSampleRate > INT_MAX || cfg.dwBitrate > 1000 || cfg.dwMaxBitrate > 1000)
    return BE_ERR_INVALID_FORMAT_PARAMETERS;

  auto stream = std::make_unique<Stream>();
  stream->gfp = lame_init();
  if (!stream->gfp) return BE_ERR_NO_MORE_HANDLES;
  stream->channels = cfg.nMode == BE_MP3_MODE_MONO ? 1 : 2;
  if (!Configure(stream->gfp, cfg, stream->channels)) return BE_ERR_INVALID_FORMAT_PARAMETERS;

  // The largest call the coder makes is dwSamples values times a block
  // alignment of 4 bytes, i.e. 2 * dwSamples values. libmp3lame's worst case
  // is 1.25 bytes per output sample per channel plus 7200; the output rate
  // can exceed the input rate when the encoder resamples upwards.
  const DWORD samples = static_cast<DWORD>(lame_get_framesize(stream->gfp)) * stream->channels;
  const double frames = 2.0 * samples / stream->channels;
  const double ratio = std::max(1.0, double(lame_get_out_samplerate(stream->gfp)) /
                                         double(lame_get_in_samplerate(stream->gfp)));
  stream->bufferSize = static_cast<DWORD>(std::ceil(1.25 * frames * ratio)) + 7200;

  std::lock_guard guard(g_lock);
  if (g_nextHandle == 0) ++g_nextHandle;  // 0 is never a valid handle
  const HBE_STREAM handle = g_nextHandle++;
  *dwSamples = samples;
  *dwBufferSize = stream->bufferSize;
  *phbeStream = handle;
  g_streams.emplace(handle, std::move(stream));
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beEncodeChunk(HBE_STREAM hbeStream, DWORD nSamples, const std::int16_t* pSamples,
                     BYTE* pOutput, DWORD* pdwOutput) {
  Stream* s = FindStream(hbeStream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  if (!pdwOutput || !pOutput || (nSamples > 0 && !pSamples))
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = 0;
  const DWORD frames = nSamples / static_cast<DWORD>(s->channels);
  if (frames == 0) return BE_ERR_SUCCESSFUL;
  if (frames > INT_MAX) return BE_ERR_BUFFER_TOO_SMALL;
  // libmp3lame copies the input into its own buffers; it does not write to it.
  auto* pcm = const_cast<short*>(reinterpret_cast<const short*>(pSamples));
  const int size = static_cast<int>(std::min<DWORD>(s->bufferSize, INT_MAX));
  const int n =
      s->channels == 2
          ? lame_encode_buffer_interleaved(s->gfp, pcm, static_cast<int>(frames), pOutput, size)
          : lame_encode_buffer(s->gfp, pcm, pcm, static_cast<int>(frames), pOutput, size);
  if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
  if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = static_cast<DWORD>(n);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM hbeStream, BYTE* pOutput, DWORD* pdwOutput) {
  Stream* s = FindStream(hbeStream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  if (!pdwOutput || !pOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = 0;
  const int size = static_cast<int>(std::min<DWORD>(s->bufferSize, INT_MAX));
  const int n = lame_encode_flush(s->gfp, pOutput, size);
  if (n == -1) return BE_ERR_BUFFER_TOO_SMALL;
  if (n < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = static_cast<DWORD>(n);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beGetInfoFrame(HBE_STREAM hbeStream, BYTE* pOutput, DWORD* pdwOutput) {
  Stream* s = FindStream(hbeStream);
  if (!s) return BE_ERR_INVALID_HANDLE;
  if (!pdwOutput || !pOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = 0;
  const std::size_t n = lame_get_lametag_frame(s->gfp, pOutput, s->bufferSize);
  if (n > s->bufferSize) return BE_ERR_BUFFER_TOO_SMALL;
  *pdwOutput = static_cast<DWORD>(n);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beCloseStream(HBE_STREAM hbeStream) {
  std::unique_ptr<Stream> s;
  {
    std::lock_guard guard(g_lock);
    auto it = g_streams.find(hbeStream);
    if (it == g_streams.end()) return BE_ERR_INVALID_HANDLE;
    s = std::move(it->second);
    g_streams.erase(it);
  }
  return BE_ERR_SUCCESSFUL;  // `s` closes libmp3lame's context here
}
