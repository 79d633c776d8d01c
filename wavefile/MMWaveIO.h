// WAVE file access over the RIFF layer: open and validate a file by scanning
// its chunks, create one for a format, reopen, seek, read, write, finish and
// close it, all through a WaveIOBlock that describes the file. Beside them:
// conversions between bytes, sample frames and milliseconds on a format, the
// format helpers and the table of format names.
//
// Every function returns a WIOERR_* code (or a byte count) and raises
// nothing; the wave object above turns codes into exceptions. No locks: in
// this program every call comes from the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mmio/mmio.h"
#include "wavefile/MMRIFF.h"

constexpr int WIOERR_NOERROR = 0;
constexpr int WIOERR_ERROR = 101;      // no format chunk, no handle for a buffer change
constexpr int WIOERR_BADPARAMS = 104;  // no block, no format, no name
constexpr int WIOERR_FILEERROR = 106;  // cannot open, not RIFF/WAVE, read, seek, write or finish failed
constexpr int WIOERR_NOMEM = 107;
// The list operations' RIFFERR_* codes (2, 3, 4) are passed on unchanged.

// Open modes, remembered in WaveIOBlock::mode.
constexpr DWORD WIOF_OPEN_FILE = 0x01;      // a file given by name
constexpr DWORD WIOF_OPEN_RESOURCE = 0x02;  // a "WAVE" resource of the program
constexpr DWORD WIOF_OPEN_MEMORY = 0x04;    // a memory image described by an MMIOINFO
constexpr DWORD WIOF_INFO_ONLY = 0x08;      // text entries and display chunks only
constexpr DWORD WIOF_PLAIN_FILE = 0x10;     // plain unbuffered read-only access

constexpr FOURCC FOURCC_WAVE = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC FOURCC_FMT = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC FOURCC_DATA = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC FOURCC_FACT = mmioFOURCC('f', 'a', 'c', 't');

// One open or described WAVE file. Zero-filled heap memory, allocated by
// WaveFileOpen or WaveFileFromFormat and freed by WaveFileFree; the format
// record at the end is followed by its extra bytes.
struct WaveIOBlock {
  DWORD size;            // the record's size in its file form: 127 + extra format bytes
  DWORD mode;            // WIOF_* the block was opened in
  HMMIO handle;          // open handle, or null while the block only describes the file
  MMCKINFO riff;         // the outer chunk
  MMCKINFO data;         // the "data" chunk; MMIO_DIRTY once data was written
  void* resource;        // a resource's bytes (mode WIOF_OPEN_RESOURCE)
  LONG fileSize;         // bytes
  LONG dataSize;         // bytes of sample data, whole blocks
  LONG dataOffset;       // file offset of the first data byte
  LONG totalSamples;     // sample frames in the data
  LONG firstSample;      // start of the usable range (0)
  LONG lastSample;       // end of the usable range, exclusive (= totalSamples)
  LONG bytesLeft;        // from the current position to the end of the range
  LONG position;         // sample frames from the first sample
  char* fileName;        // full name (owned), or null
  MMIOINFO* memoryInfo;  // copy of the caller's MMIOINFO (mode WIOF_OPEN_MEMORY), owned
  RiffDispList* dispList;
  RiffInfoList* infoList;
  double byteRateOverride;  // always 0.0: conversions use nAvgBytesPerSec
  WAVEFORMATEX format;      // followed by cbSize extra bytes for non-PCM formats
};

// Opens `fileName` as a RIFF file of form `formType` (FOURCC_WAVE), checks
// its chunks and returns a new block that describes it; the file is closed
// again. In mode WIOF_OPEN_MEMORY `fileName` points at an MMIOINFO instead
// (fccIOProc "MEM ", the image in pchBuffer/cchBuffer). In mode
// WIOF_OPEN_RESOURCE it names a resource ":/WAVE/<name>" of the program.
int WaveFileOpen(WaveIOBlock** block, const char* fileName, FOURCC formType, DWORD mode);
// WaveFileOpen of a WAVE image held in memory (never written).
int WaveFileOpenMemory(WaveIOBlock** block, const void* address, LONG length);
// A new block for `format` (copied; exactly 18 bytes for PCM) with empty
// text entry and display lists.
int WaveFileFromFormat(WaveIOBlock** block, const WAVEFORMATEX* format);
// Creates the file `fileName` for the block's format, leaving it open with
// the position at the first data byte. A failure removes the partial file.
int WaveFileCreate(WaveIOBlock* block, const char* fileName);
// Opens the block's file again when it has no handle, then seeks to the
// block's current position.
int WaveFileReopen(WaveIOBlock* block);
// Puts the block at sample frame `sample` (clamped to the data).
int WaveFileSeek(WaveIOBlock* block, LONG sample);
// Reads up to `count` bytes of data; returns the count read, -1 without a
// handle or when no bytes are left.
LONG WaveFileRead(WaveIOBlock* block, char* buffer, LONG count);
// Writes `count` bytes at the current position; returns the count written,
// 0 when nothing could be written, -1 without a handle, for count 0 or in
// mode WIOF_PLAIN_FILE. Writing before the end of the data replaces it.
LONG WaveFileWrite(WaveIOBlock* block, const char* buffer, LONG count);
// Brings the file on disk up to date while it is still being written, so
// that a process killed now leaves a file that others read to here: writes
// out the I/O buffer, then the RIFF and data sizes of the data written so
// far, and asks for a background sync of the file (never waited for). The
// handle's position does not move. Nothing for memory images, resources
// and plain files; 106 when a write fails.
int WaveFileUpdateSizes(WaveIOBlock* block);
// Changes the size of the open file's I/O buffer (nothing for resources,
// memory images and plain files).
int WaveFileSetIOBuffer(WaveIOBlock* block, LONG size);
// Writes the sizes, "fact", the display chunks and the text entries when data
// was written, then closes the handle. The handle is closed even when
// finishing fails (106).
int WaveFileClose(WaveIOBlock* block);
// Closes the handle without finishing, frees the block and clears `*block`.
int WaveFileFree(WaveIOBlock** block);
// True when WaveFileOpen of `fileName` in `mode` succeeds.
bool WaveFileIsValid(const char* fileName, DWORD mode);

// Reads the whole of the file `fileName` into `image` through the platform's
// file I/O, for a wave that is to be held in memory. On failure `image` is
// left empty: WIOERR_BADPARAMS without a name, WIOERR_FILEERROR when the file
// cannot be opened or read whole, WIOERR_NOMEM.
int WaveFileReadImage(const char* fileName, std::vector<char>& image);

// Name tests over the platform's file open.
bool WaveFileNameIsValid(const char* fileName);
bool WaveFileExists(const char* fileName);
bool WaveFileDelete(const char* fileName);

// a * b / c with a wide product, rounded to nearest (the quotient plus 1 when
// twice the remainder divided by c gives 1); 0 for c = 0.
std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c);

// Conversions on a format; 0 without format. The 32-bit ones saturate.
LONG wioBytesToSamples(const WAVEFORMATEX* wfx, LONG bytes);
LONG wioBytesToTime(const WAVEFORMATEX* wfx, LONG bytes);
LONG wioSamplesToBytes(const WAVEFORMATEX* wfx, LONG samples);  // rounded up to whole blocks
LONG wioSamplesToTime(const WAVEFORMATEX* wfx, LONG samples);
LONG wioTimeToSamples(const WAVEFORMATEX* wfx, LONG ms);
LONG wioTimeToBytes(const WAVEFORMATEX* wfx, LONG ms);  // rounded up to whole blocks
std::int64_t wioSamplesToBytes64(const WAVEFORMATEX* wfx, std::int64_t samples);
std::int64_t wioSamplesToTime64(const WAVEFORMATEX* wfx, std::int64_t samples);
// The same on a block's format.
LONG wioFileBytesToSamples(const WaveIOBlock* block, LONG bytes);
LONG wioFileSamplesToBytes(const WaveIOBlock* block, LONG samples);

// Bytes of a format record: 0 without format, 18 for PCM, else 18 + cbSize
// (wioSizeOfWaveFormat of platform/waveformat.h).
DWORD WaveFileFormatSize(const WAVEFORMATEX* wfx);
// A heap copy (free with std::free) of that size, or null; a PCM copy gets
// cbSize 0 (wioTryCopyWaveFormat).
WAVEFORMATEX* WaveFileFormatCopy(const WAVEFORMATEX* wfx);
// Name of the format tag from the 38-row table; "Unknown" when none matches.
const char* wioGetFormatName(const WAVEFORMATEX* wfx);
// "44.100 kHz, 16 Bit, Stereo" with the given separators (UTF-8).
std::string wioGetFormatDescription(const WAVEFORMATEX* wfx, const std::string& decimalSeparator,
                                    const std::string& listSeparator);
// The same with the user's separators: the locale's decimal separator, and
// "," as the list separator (";" where the decimal separator is a comma).
std::string wioGetFormatDescription(const WAVEFORMATEX* wfx);

// One row of the format name table.
struct WaveFormatName {
  WORD tag;
  const char* name;
};
extern const WaveFormatName WaveFormatNames[38];
