// The buffer record that carries samples along the chain.
#pragma once

#include <cstddef>

#include "platform/mmsystem.h"

// ---------------------------------------------------------------- buffers
// The platform's WAVEHDR followed by the chain's own words. The sample data
// follows the record in the same memory block: a buffer of N bytes takes
// MMBufferBlockSize(N) bytes and lpData points MMBufferHeaderSize bytes past
// the start of the block.
struct TMMBufferHeader : WAVEHDR {
  DWORD spare;                    // not used
  DWORD SavedBytes;               // byte count saved by the output engine
  TMMBufferHeader* LinkedHeader;  // the buffer being heard (output engine), else nil
  LONG LoopFlag;                  // -1 in a looping playback, else 0
  LONG LoopCount;                 // loop count of the playback
  LONG LoopsLeft;                 // loops still to play
  LONG LoopMark;                  // loop-point marker
};
// Buffers in the chain are always TMMBufferHeader records.
using PMMBufferHeader = TMMBufferHeader*;
using PWaveHdr = TMMBufferHeader*;

constexpr std::size_t MMBufferHeaderSize = sizeof(TMMBufferHeader);
constexpr std::size_t MMBufferBlockSize(std::size_t dataBytes) { return MMBufferHeaderSize + dataBytes; }
// Lays a cleared header at the start of `block` (MMBufferBlockSize(dataBytes)
// bytes long) with lpData right after it and dwBufferLength = dataBytes.
PMMBufferHeader MMInitBufferHeader(void* block, DWORD dataBytes);
