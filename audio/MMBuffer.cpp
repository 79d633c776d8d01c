#include "audio/MMBuffer.h"

#include <cstring>

// ---------------------------------------------------------------- buffers

PMMBufferHeader MMInitBufferHeader(void* block, DWORD dataBytes) {
  auto* header = static_cast<PMMBufferHeader>(block);
  std::memset(header, 0, MMBufferHeaderSize);
  header->lpData = static_cast<char*>(block) + MMBufferHeaderSize;
  header->dwBufferLength = dataBytes;
  return header;
}
