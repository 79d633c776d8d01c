// Buffered multimedia file I/O over ordinary files and memory images.
//
// A handle reads and writes through an internal I/O buffer of settable size;
// positions are byte offsets from the start of the file. On top of the plain
// byte access sit the RIFF chunk helpers: descend into a chunk, create one,
// ascend out of it (writing its size and pad byte when it was written).
//
// Nothing here raises: every function reports failure by its result
// (a null handle, -1, or one of the MMIOERR_* codes of mmsystem.h).
// A handle is not thread-safe; use each one from one thread at a time.
#pragma once

#include "platform/mmsystem.h"

// Size of the I/O buffer that MMIO_ALLOCBUF gives when the caller's MMIOINFO
// does not name one.
constexpr LONG MMIO_DEFAULTBUFFER = 8192;
// Access bits of the open flags (MMIO_READ, MMIO_WRITE, MMIO_READWRITE).
constexpr DWORD MMIO_RWMODE = 0x00000003;
// mmioStringToFOURCCA: upper-case the characters.
constexpr UINT MMIO_TOUPPER = 0x0010;
// The handle's I/O procedure: "DOS " for files, "MEM " for memory images.
constexpr FOURCC FOURCC_DOS = mmioFOURCC('D', 'O', 'S', ' ');
constexpr FOURCC FOURCC_MEM = mmioFOURCC('M', 'E', 'M', ' ');
constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// Opens a file or a memory image.
//
// With a name: the access bits (MMIO_READ, MMIO_WRITE, MMIO_READWRITE),
// MMIO_CREATE (create or truncate; the handle then reports 0x1000 in the
// dwFlags of mmioGetInfo) and MMIO_ALLOCBUF (an I/O buffer of
// `info->cchBuffer` bytes when given and positive, else MMIO_DEFAULTBUFFER;
// without it the handle is unbuffered).
// Three flags act alone and return a non-null token (not a handle: never
// pass it on) on success: MMIO_PARSE checks that the name is usable,
// MMIO_EXIST tests that the file is there, MMIO_DELETE removes it.
//
// Without a name, `info->fccIOProc` must be FOURCC_MEM: `pchBuffer` and
// `cchBuffer` describe the memory image and `adwInfo[0]` is the growth step.
// With a growth step of 0 the image never grows (writes stop at its end) and
// is read and written in place. With a positive step the handle works on its
// own copy that grows by that step; mmioGetInfo shows where it lies.
//
// Returns null on failure; `info->wErrorRet` then holds the MMIOERR_* code.
HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD openFlags);

// Writes out the buffer and closes the handle. The handle is gone even when
// the final write failed (MMIOERR_CANNOTWRITE).
MMRESULT mmioClose(HMMIO h, UINT flags);

// Reads up to `count` bytes at the current position. Returns the count read,
// 0 at the end of the file, -1 on error.
LONG mmioRead(HMMIO h, char* buffer, LONG count);

// Writes `count` bytes at the current position. Returns the count written,
// -1 when nothing could be written.
LONG mmioWrite(HMMIO h, const char* buffer, LONG count);

// Moves the current position; origin SEEK_SET_ (0), SEEK_CUR_ (1) or
// SEEK_END_ (2). Returns the new position or -1. Seeking past the end is
// allowed (a later write fills the gap with zeros); before the start is not.
// The size of the file (for SEEK_END_) counts data still in the buffer.
LONG mmioSeek(HMMIO h, LONG offset, int origin);

// Reads the chunk header at the current position into `ck` (ckid, cksize,
// dwDataOffset and, for "RIFF" and "LIST", fccType) and leaves the position
// at the chunk data (after the type for "RIFF" and "LIST"); dwFlags is
// cleared. With flags 0 the parent does not bound the read: a RIFF size that
// was never written must not hide the chunks after it. MMIO_FINDCHUNK,
// MMIO_FINDRIFF and MMIO_FINDLIST skip chunks until one whose ckid (and for
// the last two fccType) matches what `ck` holds, within the parent when one
// is given. Returns MMIOERR_CHUNKNOTFOUND when no further chunk can be read.
MMRESULT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, UINT flags);

// Leaves a chunk. When `ck` carries MMIO_DIRTY the chunk was written: its size
// becomes (current position - dwDataOffset), is written into the header and
// into `ck->cksize`, and an odd size gets its zero pad byte. The position ends
// after the chunk and its pad byte.
MMRESULT mmioAscend(HMMIO h, MMCKINFO* ck, UINT flags);

// Writes a chunk header at the current position: `ck->ckid` (or "RIFF" for
// MMIO_CREATERIFF, "LIST" for MMIO_CREATELIST), `ck->cksize`, and the type
// `ck->fccType` for those two. Sets dwDataOffset and MMIO_DIRTY; the position
// ends after the header.
MMRESULT mmioCreateChunk(HMMIO h, MMCKINFO* ck, UINT flags);

// The FOURCC of the first four characters of `text`, blank-padded.
FOURCC mmioStringToFOURCCA(const char* text, UINT flags);

// Writes out the buffer and replaces it: by `buffer` (the caller's memory,
// kept by the handle until the next change or close) of `size` bytes, or when
// `buffer` is null by one of its own. Size 0 makes the handle unbuffered.
// Memory images have no separate buffer; the call does nothing for them.
MMRESULT mmioSetBuffer(HMMIO h, char* buffer, LONG size, UINT flags);

// Fills `info` with the handle's state: dwFlags holds the open flags
// (0x1000 when this handle created the file, MMIO_DIRTY while the buffer has
// unwritten bytes), fccIOProc, the buffer, and the file offset of the buffer.
MMRESULT mmioGetInfo(HMMIO h, MMIOINFO* info, UINT flags);

// Writes out the buffer.
MMRESULT mmioFlush(HMMIO h, UINT flags);

// Asks for what was written out to the file so far to reach the disk, on a
// helper thread: the call never waits for the disk (see filesync.h). Flush
// first to include the buffer. Nothing for memory images.
MMRESULT mmioSyncInBackground(HMMIO h);
