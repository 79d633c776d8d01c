// Buffer memory of the device engines: blocks are handed out, taken back and
// kept for reuse, and only freed when the buffer size changes or the engine
// goes away.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "platform/mmsystem.h"

// Priority of a device engine's worker thread (cmThread mode). Shared by the
// input and output engines, which both include this header.
enum TThreadPriority : int { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Allocation flags as the engines pass them (fixed memory, zero-filled).
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// A list of memory blocks {pointer, size, use count}. Every operation takes
// the allocator's own lock, so a driver or worker thread may return a block
// while the main thread takes another. Blocks are never freed by
// ReleaseBuffer; FreeAll (and the destructor) free them all.
class TMMAllocator {
 public:
  TMMAllocator() = default;
  ~TMMAllocator();
  TMMAllocator(const TMMAllocator&) = delete;
  TMMAllocator& operator=(const TMMAllocator&) = delete;

  // A free block of exactly `size` bytes, else the first free block of at
  // least `size`, else a new block. With GMEM_ZEROINIT the returned bytes are
  // zero, also for a reused block. Returns nullptr when memory runs out.
  void* GetBuffer(UINT flags, std::size_t size);
  // Marks the block as unused and clears the caller's pointer. A pointer the
  // allocator did not hand out only clears the caller's pointer.
  void ReleaseBuffer(void*& pointer);
  // Frees every block, from the last to the first, and empties the list.
  void FreeAll();

  // Number of blocks held (used or not) and of blocks in use.
  std::size_t BlockCount() const;
  std::size_t UsedCount() const;

 private:
  struct Block {
    void* pointer;
    std::size_t size;
    int useCount;
  };
  mutable std::mutex lock_;
  std::vector<Block> blocks_;
};
