#include "audio/MMAlloc.h"

#include <cstdlib>
#include <cstring>

TMMAllocator::~TMMAllocator() { FreeAll(); }

void* TMMAllocator::GetBuffer(UINT flags, std::size_t size) {
  std::lock_guard guard(lock_);
  Block* found = nullptr;
  for (Block& b : blocks_) {
    if (b.useCount == 0 && b.size == size) {
      found = &b;
      break;
    }
  }
  if (!found) {
    for (Block& b : blocks_) {
      if (b.useCount == 0 && b.size >= size) {
        found = &b;
        break;
      }
    }
  }
  if (found) {
    found->useCount = 1;
    // A reused block may hold the samples of an earlier run; callers that
    // ask for zeroed memory get zeroed memory either way.
    if (flags & GMEM_ZEROINIT) std::memset(found->pointer, 0, found->size);
    return found->pointer;
  }
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
  if (!p) return nullptr;
  blocks_.push_back({p, size, 1});
  return p;
}

void TMMAllocator::ReleaseBuffer(void*& pointer) {
  std::lock_guard guard(lock_);
  for (Block& b : blocks_) {
    if (b.pointer == pointer) {
      if (b.useCount > 0) --b.useCount;
      break;
    }
  }
  pointer = nullptr;
}

void TMMAllocator::FreeAll() {
  std::lock_guard guard(lock_);
  while (!blocks_.empty()) {
    std::free(blocks_.back().pointer);
    blocks_.pop_back();
  }
}

std::size_t TMMAllocator::BlockCount() const {
  std::lock_guard guard(lock_);
  return blocks_.size();
}

std::size_t TMMAllocator::UsedCount() const {
  std::lock_guard guard(lock_);
  std::size_t n = 0;
  for (const Block& b : blocks_) n += b.useCount > 0 ? 1 : 0;
  return n;
}
