#include "audio/MMBufferRing.h"

bool TMMBufferRing::Fill(int i, DWORD bytes) {
  void* block = FSlots[i];
  if (!block) block = FAllocator.GetBuffer(GPTR, MMBufferBlockSize(bytes));
  if (!block) return false;
  FSlots[i] = MMInitBufferHeader(block, bytes);
  return true;
}

void TMMBufferRing::ReleaseAll() {
  for (PMMBufferHeader& H : FSlots) {
    if (!H) continue;
    void* block = H;
    FAllocator.ReleaseBuffer(block);
    H = nullptr;
  }
}
