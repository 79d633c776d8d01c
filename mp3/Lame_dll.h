// The MP3 encoder's library interface: five operations and the two records
// that cross it, provided over libmp3lame. Only TLameCoder and TLameVersion
// call these, always on the user-interface thread, one stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/mmsystem.h"

// Quality preset of the configuration record, one byte wide in the coder.
enum MPEG_QUALITY : std::uint8_t {
  NORMAL_QUALITY = 0,
  LOW_QUALITY = 1,
  HIGH_QUALITY = 2,
  VOICE_QUALITY = 3,
};

using BE_ERR = DWORD;
using HBE_STREAM = DWORD;

// Result codes; 0 is success, callers only tell zero from nonzero.
constexpr BE_ERR BE_ERR_SUCCESSFUL = 0;
constexpr BE_ERR BE_ERR_INVALID_FORMAT = 1;
constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 2;
constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 3;
constexpr BE_ERR BE_ERR_INVALID_HANDLE = 4;
constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 5;

// Configuration kind of the record's only layout.
constexpr DWORD BE_CONFIG_LAME = 256;
constexpr DWORD BE_CONFIG_STRUCT_VERSION = 1;

// Channel modes of the record. MONO means the input PCM has one channel;
// every other mode takes interleaved two-channel input.
constexpr LONG BE_MP3_MODE_STEREO = 0;
constexpr LONG BE_MP3_MODE_JSTEREO = 1;
constexpr LONG BE_MP3_MODE_DUALCHANNEL = 2;
constexpr LONG BE_MP3_MODE_MONO = 3;

constexpr DWORD BE_MPEG1 = 1;

#pragma pack(push, 1)
// The encoder configuration: 331 bytes, packed, little-endian. The caller
// zeroes it and fills the fields up to nVBRQuality; the rest stays zero.
struct BE_CONFIG {
  DWORD dwConfig;         // BE_CONFIG_LAME
  DWORD dwStructVersion;  // 1
  DWORD dwStructSize;     // sizeof(BE_CONFIG)
  DWORD dwSampleRate;     // of the input PCM, Hz
  DWORD dwReSampleRate;   // output rate; 0 lets the encoder choose
  LONG nMode;             // BE_MP3_MODE_*
  DWORD dwBitrate;        // kbit/s: the constant rate, or the VBR minimum
  DWORD dwMaxBitrate;     // kbit/s, VBR maximum
  LONG nPreset;           // MPEG_QUALITY widened
  DWORD dwMpegVersion;    // 1 = MPEG-1
  DWORD dwPsyModel;
  DWORD dwEmphasis;
  BOOL bPrivate;  // booleans: 0 false, any other value true
  BOOL bCRC;
  BOOL bCopyright;
  BOOL bOriginal;
  BOOL bWriteVBRHeader;
  BOOL bEnableVBR;
  LONG nVBRQuality;  // 0 best to 9
  BYTE btReserved[255];
};

// Filled by beVersion; the system reads only the first four bytes.
struct BE_VERSION {
  BYTE byDLLMajorVersion;  // this interface
  BYTE byDLLMinorVersion;
  BYTE byMajorVersion;  // the encoding engine (libmp3lame)
  BYTE byMinorVersion;
  BYTE byDay;  // engine release date; 0 when unknown
  BYTE byMonth;
  WORD wYear;
  char zHomepage[129];  // NUL-terminated
  BYTE byAlphaLevel;
  BYTE byBetaLevel;
  BYTE byMMXEnabled;
  BYTE btReserved[128];
};
#pragma pack(pop)

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, nMode) == 20);
static_assert(offsetof(BE_CONFIG, nPreset) == 32);
static_assert(offsetof(BE_CONFIG, bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, bEnableVBR) == 68);
static_assert(offsetof(BE_CONFIG, nVBRQuality) == 72);
static_assert(offsetof(BE_CONFIG, btReserved) == 76);
static_assert(sizeof(BE_VERSION) == 268);

// Version of this interface, reported in the first two bytes of BE_VERSION.
constexpr BYTE BE_INTERFACE_MAJOR = 1;
constexpr BYTE BE_INTERFACE_MINOR = 0;

// Fills the version record: this interface's version and libmp3lame's.
void beVersion(BE_VERSION* pbeVersion);

// Opens one encoding stream. On success returns 0 and sets:
//  - *dwSamples: 16-bit values (over all channels) the encoder takes per
//    chunk, one MPEG frame's worth;
//  - *dwBufferSize: the MP3 output buffer the caller provides. It holds the
//    output of one beEncodeChunk of up to twice dwSamples values (a chunk of
//    dwSamples times a block alignment of up to 4 bytes) and of the final
//    beDeinitStream;
//  - *phbeStream: the stream's handle.
// On failure nothing is left open and the outputs are untouched.
BE_ERR beInitStream(const BE_CONFIG* pbeConfig, DWORD* dwSamples, DWORD* dwBufferSize,
                    HBE_STREAM* phbeStream);

// Encodes nSamples interleaved signed 16-bit values (over all channels; a
// trailing value that does not fill a whole frame of channels is ignored).
// Writes zero or more MP3 bytes to pOutput and their number to *pdwOutput.
// A call larger than dwBufferSize allows fails with BE_ERR_BUFFER_TOO_SMALL.
BE_ERR beEncodeChunk(HBE_STREAM hbeStream, DWORD nSamples, const std::int16_t* pSamples,
                     BYTE* pOutput, DWORD* pdwOutput);

// Ends the stream: writes the frames still buffered inside the encoder to
// pOutput (at least dwBufferSize bytes) and their number to *pdwOutput.
BE_ERR beDeinitStream(HBE_STREAM hbeStream, BYTE* pOutput, DWORD* pdwOutput);

// After beDeinitStream: the stream's information frame, which belongs in
// place of the first frame the stream produced (the encoder reserves that
// frame for it). For constant bitrate it is the "Info" frame that tells
// decoders the encoder's delay and padding, so that the decoded sound has
// the input's exact length; for VBR it is the VBR header, written only when
// the configuration asks for one. Writes the frame to pOutput (at least
// dwBufferSize bytes) and its size to *pdwOutput, 0 when there is none.
BE_ERR beGetInfoFrame(HBE_STREAM hbeStream, BYTE* pOutput, DWORD* pdwOutput);

// Releases the stream; the handle is invalid afterwards.
BE_ERR beCloseStream(HBE_STREAM hbeStream);
