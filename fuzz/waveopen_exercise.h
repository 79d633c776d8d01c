// The body of the WaveFileOpen fuzz target, shared with the regression test
// that replays the inputs the fuzzer once crashed on.
//
// The bytes are opened twice, as a memory image and as a file; both opens
// must agree. A file that opened is then read from end to end through both,
// and the file is written into and finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "wavefile/MMWaveIO.h"

namespace waveopen_exercise {

inline std::string describe(const char* what, long long a, long long b) {
  return std::string(what) + ": memory " + std::to_string(a) + ", file " + std::to_string(b);
}

// Reads the whole data region of an opened block; empty when it cannot reopen.
inline std::vector<char> readAll(WaveIOBlock* block) {
  std::vector<char> out;
  if (WaveFileReopen(block) != WIOERR_NOERROR) return out;
  WaveFileSeek(block, 0);
  char buf[777];
  for (;;) {
    const LONG n = WaveFileRead(block, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  WaveFileClose(block);
  return out;
}

// What an opened block must always satisfy; empty when it does.
inline std::string checkBlock(const WaveIOBlock* b) {
  if (b->format.nBlockAlign == 0) return "block alignment 0";
  if (b->dataSize < 0 || b->dataOffset < 0) return "negative data size or offset";
  if (std::int64_t(b->dataOffset) + b->dataSize > b->fileSize) return "data beyond the file";
  if (b->totalSamples < 0 || b->lastSample != b->totalSamples) return "sample range";
  if (b->handle != nullptr) return "handle left open";
  return {};
}

// Returns an empty text when the two opens agree, else what differed.
inline std::string Run(const std::uint8_t* data, std::size_t size, const std::string& scratchFile) {
  std::FILE* f = std::fopen(scratchFile.c_str(), "wb");
  if (f == nullptr) return {};
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  WaveIOBlock* mem = nullptr;
  WaveIOBlock* file = nullptr;
  const int rcMem = size > 0 ? WaveFileOpenMemory(&mem, data, LONG(size)) : WIOERR_FILEERROR;
  const int rcFile = WaveFileOpen(&file, scratchFile.c_str(), FOURCC_WAVE, WIOF_OPEN_FILE);
  std::string diff;
  if (rcMem != rcFile) diff = describe("result", rcMem, rcFile);
  if (diff.empty() && rcMem == WIOERR_NOERROR) diff = checkBlock(file);
  if (diff.empty() && rcMem == WIOERR_NOERROR) {
    if (mem->dataSize != file->dataSize) diff = describe("data size", mem->dataSize, file->dataSize);
    if (mem->dataOffset != file->dataOffset) diff = describe("data offset", mem->dataOffset, file->dataOffset);
    if (mem->totalSamples != file->totalSamples)
      diff = describe("samples", mem->totalSamples, file->totalSamples);
    if (diff.empty() && readAll(mem) != readAll(file)) diff = "data read differs";

    // Write into the middle of the data and finish the file, then open the
    // result again (it may well be refused: what followed the data is gone).
    if (WaveFileReopen(file) == WIOERR_NOERROR) {
      WaveFileSeek(file, file->totalSamples / 2);
      const char bytes[64] = {1, 2, 3};
      WaveFileWrite(file, bytes, LONG(file->format.nBlockAlign % 64 + 1));
      WaveFileClose(file);
      WaveIOBlock* again = nullptr;
      if (WaveFileOpen(&again, scratchFile.c_str(), FOURCC_WAVE, WIOF_OPEN_FILE) == WIOERR_NOERROR)
        WaveFileFree(&again);
    }
  }
  if (mem != nullptr) WaveFileFree(&mem);
  if (file != nullptr) WaveFileFree(&file);
  WaveIOBlock* info = nullptr;
  if (WaveFileOpen(&info, scratchFile.c_str(), FOURCC_WAVE, WIOF_INFO_ONLY) == WIOERR_NOERROR)
    WaveFileFree(&info);
  return diff;
}

}  // namespace waveopen_exercise
