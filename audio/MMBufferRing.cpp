#include "audio/MMBufferRing.h"

bool TMMBufferRing::Fill(int i, DWORD bytes) {
  if (FSlots[i]) return true;
  void* block = FAllocator.GetBuffer(GPTR, MMBufferBlockSize(bytes));
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
