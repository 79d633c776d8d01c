// The ring of buffers an engine lends the card: up to kMaxBuffers headers,
// each at the start of a block from the ring's allocator. Released blocks
// stay with the allocator for the next run until FreeAll.
#pragma once

#include <array>

#include "audio/MMAlloc.h"
#include "audio/MMDSPObj.h"
#include "audio/MMDeviceCalls.h"

class TMMBufferRing {
 public:
  static constexpr int kMaxBuffers = 500;
  // The smallest buffer size an engine takes, in bytes.
  static constexpr int kMinBufferSize = 32;

  PMMBufferHeader& operator[](int i) { return FSlots[i]; }
  PMMBufferHeader* begin() { return FSlots.data(); }
  PMMBufferHeader* end() { return FSlots.data() + kMaxBuffers; }

  // Lays a fresh header for `bytes` of data in slot `i`, taking a block for
  // an empty slot (a slot still holding one keeps it); false when memory
  // ran out.
  bool Fill(int i, DWORD bytes);
  // Gives every block back to the allocator and empties the slots.
  void ReleaseAll();
  void FreeAll() { FAllocator.FreeAll(); }

  // Waits for the card to hand back each buffer (one that never comes gets
  // `stuckFlags`) and unprepares it; `preparedOnly` passes over buffers
  // that are not prepared. Stops at the first failure and returns it.
  template <typename Unprepare>
  MMRESULT UnprepareAll(bool preparedOnly, DWORD stuckFlags, Unprepare unprepare) {
    for (PMMBufferHeader H : FSlots) {
      if (!H || (preparedOnly && !(H->dwFlags & WHDR_PREPARED))) continue;
      if (!MMAwaitBufferDone(H)) H->dwFlags = stuckFlags;
      if (const MMRESULT r = unprepare(H)) return r;
    }
    return MMSYSERR_NOERROR;
  }

 private:
  std::array<PMMBufferHeader, kMaxBuffers> FSlots{};
  TMMAllocator FAllocator;
};
