#include "wavefile/MMWaveIO.h"

#include <unistd.h>

#include <QByteArray>
#include <QLocale>
#include <QResource>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/waveformat.h"

const WaveFormatName WaveFormatNames[38] = {
    {0x0000, "Unknown"},
    {0x0001, "PCM"},
    {0x020C, "PCM 32"},
    {0x0002, "Microsoft ADPCM"},
    {0x0003, "IEEE float"},
    {0x0005, "IBM CVSD"},
    {0x0006, "CCITT A-Law"},
    {0x0007, "CCITT mu-Law"},
    {0x0010, "OKI ADPCM"},
    {0x0011, "IMA ADPCM"},
    {0x0011, "DVI ADPCM"},
    {0x0012, "Mediaspace's ADPCM"},
    {0x0013, "Sierra's ADPCM"},
    {0x0014, "CCITT G.723 ADPCM"},
    {0x0015, "Digisound DIGISTD"},
    {0x0016, "Digisound DIGIFIX"},
    {0x0017, "Dialogic OKI ADPCM"},
    {0x0020, "Yamaha ADPCM"},
    {0x0021, "Sonarc"},
    {0x0022, "DSP Group's Truespeech"},
    {0x0023, "Echo SC1"},
    {0x0024, "Audiofile AF36"},
    {0x0025, "Audio Processing Technology"},
    {0x0026, "Audiofile AF10"},
    {0x0030, "Dolby AC2"},
    {0x0209, "Dolby AC2"},
    {0x0031, "GSM 6.10"},
    {0x0033, "Antex ADPCME"},
    {0x0039, "CS IMA ADPCM"},
    {0x0040, "CCITT G.721 ADPCM"},
    {0x0050, "MPEG 1"},
    {0x0055, "MPEG Layer-3"},
    {0x0200, "Creative's ADPCM"},
    {0x1001, "Olivetti's ADPCM"},
    {0x0204, "CDI-C"},
    {0x0205, "CDI-B"},
    {0x0206, "Antex-DVI-OKI ADPCME"},
    {0xFFFF, "*DEVELOPMENT ONLY TAG*"},
};

// ---------------------------------------------------------------- conversions

std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return 0;
  const __int128 product = __int128(a) * b;
  __int128 q = product / c;
  const __int128 r = product % c;
  if ((2 * r) / c == 1) ++q;
  if (q > INT64_MAX) return INT64_MAX;
  if (q < INT64_MIN) return INT64_MIN;
  return std::int64_t(q);
}

namespace {

LONG saturate(std::int64_t v) { return LONG(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

LONG wioBytesToSamples(const WAVEFORMATEX* wfx, LONG bytes) {
  if (wfx == nullptr) return 0;
  return saturate(MulDivRound(bytes, wfx->nSamplesPerSec, wfx->nAvgBytesPerSec));
}

LONG wioBytesToTime(const WAVEFORMATEX* wfx, LONG bytes) {
  if (wfx == nullptr) return 0;
  return saturate(MulDivRound(bytes, 1000, wfx->nAvgBytesPerSec));
}

LONG wioSamplesToBytes(const WAVEFORMATEX* wfx, LONG samples) {
  if (wfx == nullptr) return 0;
  return saturate(wioRoundUpToBlock(MulDivRound(samples, wfx->nAvgBytesPerSec, wfx->nSamplesPerSec), wfx->nBlockAlign));
}

LONG wioSamplesToTime(const WAVEFORMATEX* wfx, LONG samples) {
  if (wfx == nullptr) return 0;
  return saturate(MulDivRound(samples, 1000, wfx->nSamplesPerSec));
}

LONG wioTimeToSamples(const WAVEFORMATEX* wfx, LONG ms) {
  if (wfx == nullptr) return 0;
  return saturate(MulDivRound(ms, wfx->nSamplesPerSec, 1000));
}

LONG wioTimeToBytes(const WAVEFORMATEX* wfx, LONG ms) {
  if (wfx == nullptr) return 0;
  return saturate(wioRoundUpToBlock(MulDivRound(ms, wfx->nAvgBytesPerSec, 1000), wfx->nBlockAlign));
}

std::int64_t wioSamplesToBytes64(const WAVEFORMATEX* wfx, std::int64_t samples) {
  if (wfx == nullptr || wfx->nSamplesPerSec == 0) return 0;
  // Rounds to nearest with halves to even (the default rounding mode).
  const long double exact = (long double)samples * wfx->nAvgBytesPerSec / wfx->nSamplesPerSec;
  return wioRoundUpToBlock(std::int64_t(std::nearbyint(exact)), wfx->nBlockAlign);
}

std::int64_t wioSamplesToTime64(const WAVEFORMATEX* wfx, std::int64_t samples) {
  if (wfx == nullptr || wfx->nSamplesPerSec == 0) return 0;
  const long double exact = (long double)samples * 1000 / wfx->nSamplesPerSec;
  return std::int64_t(std::nearbyint(exact));
}

LONG wioFileBytesToSamples(const WaveIOBlock* block, LONG bytes) {
  return block != nullptr ? wioBytesToSamples(&block->format, bytes) : 0;
}

LONG wioFileSamplesToBytes(const WaveIOBlock* block, LONG samples) {
  return block != nullptr ? wioSamplesToBytes(&block->format, samples) : 0;
}

// ---------------------------------------------------------------- format helpers

DWORD WaveFileFormatSize(const WAVEFORMATEX* wfx) { return DWORD(wioSizeOfWaveFormat(wfx)); }

WAVEFORMATEX* WaveFileFormatCopy(const WAVEFORMATEX* wfx) { return wioTryCopyWaveFormat(wfx); }

const char* wioGetFormatName(const WAVEFORMATEX* wfx) {
  if (wfx == nullptr) return "Unknown";
  for (const WaveFormatName& row : WaveFormatNames)
    if (row.tag == wfx->wFormatTag) return row.name;
  return "Unknown";
}

std::string wioGetFormatDescription(const WAVEFORMATEX* wfx, const std::string& decimalSeparator,
                                    const std::string& listSeparator) {
  if (wfx == nullptr) return "Unknown";
  const unsigned channels = wfx->nChannels;
  const unsigned rate = wfx->nSamplesPerSec;
  const unsigned bits =
      rate != 0 && channels != 0 ? unsigned(std::uint64_t(wfx->nAvgBytesPerSec) * 8 / rate / channels) : 0;
  const char* dec = decimalSeparator.c_str();
  const char* list = listSeparator.c_str();
  char text[160];
  if (channels == 1 || channels == 2)
    std::snprintf(text, sizeof text, "%u%s%.03u kHz%s %u Bit%s %s", rate / 1000, dec, rate % 1000, list, bits, list,
                  channels == 1 ? "Mono" : "Stereo");
  else
    std::snprintf(text, sizeof text, "%u%s%.03u kHz%s %u Bit%s %u Channels", rate / 1000, dec, rate % 1000, list,
                  bits, list, channels);
  return text;
}

std::string wioGetFormatDescription(const WAVEFORMATEX* wfx) {
  const std::string decimal = QLocale().decimalPoint().left(1).toStdString();
  // Qt keeps no list separator. Locales that write decimals with a comma list
  // with a semicolon; all others, Chinese included, with a comma.
  const std::string list = decimal == "," ? ";" : ",";
  return wioGetFormatDescription(wfx, decimal, list);
}

// ---------------------------------------------------------------- blocks

namespace {

constexpr DWORD kBlockBaseSize = 127;   // the record's size with an 18-byte format
constexpr DWORD kInfoOnlySize = 145;    // block size of a mode-8 block without format
constexpr DWORD kFormatChunkExtra = 109;  // block size = format chunk size + this

// A zero-filled block with room for `formatBytes` of format (at least 18).
WaveIOBlock* allocBlock(std::size_t formatBytes) {
  const std::size_t bytes =
      std::max(sizeof(WaveIOBlock), offsetof(WaveIOBlock, format) + std::max<std::size_t>(formatBytes, 18));
  return static_cast<WaveIOBlock*>(std::calloc(1, bytes));
}

char* copyString(const char* s) {
  if (s == nullptr) return nullptr;
  const std::size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy != nullptr) std::memcpy(copy, s, n);
  return copy;
}

void freeLists(RiffInfoList** info, RiffDispList** disp) {
  if (*info != nullptr) RiffInfoListFree(info);
  if (*disp != nullptr) RiffDispListFree(disp, true);
}

void freeBlockMemory(WaveIOBlock* block) {
  std::free(block->fileName);
  std::free(block->memoryInfo);
  delete static_cast<QByteArray*>(block->resource);
  freeLists(&block->infoList, &block->dispList);
  std::free(block);
}

// Opens a named file the way the scan needs it: read-write when the file
// allows it (falling back to reading), else for reading; always buffered.
HMMIO openNamedFile(const char* name) {
  HMMIO h = nullptr;
  if (::access(name, W_OK) == 0) h = mmioOpenA(name, nullptr, MMIO_READWRITE | MMIO_ALLOCBUF);
  if (h == nullptr) h = mmioOpenA(name, nullptr, MMIO_READ | MMIO_ALLOCBUF);
  return h;
}

HMMIO openMemoryImage(const MMIOINFO* source) {
  if (source == nullptr) return nullptr;
  MMIOINFO info = *source;
  info.fccIOProc = FOURCC_MEM;
  info.adwInfo[0] = 0;
  return mmioOpenA(nullptr, &info, MMIO_READ);
}

HMMIO openResourceImage(QByteArray* bytes) {
  if (bytes == nullptr) return nullptr;
  MMIOINFO info{};
  info.fccIOProc = FOURCC_MEM;
  info.pchBuffer = bytes->data();
  info.cchBuffer = LONG(bytes->size());
  return mmioOpenA(nullptr, &info, MMIO_READ);
}

// Opens the file a block (or an open request) refers to, without checking it.
HMMIO openSource(DWORD mode, const char* name, const MMIOINFO* memory, QByteArray* resource) {
  if (mode & WIOF_OPEN_MEMORY) return openMemoryImage(memory);
  if (mode & WIOF_OPEN_RESOURCE) return openResourceImage(resource);
  if (name == nullptr) return nullptr;
  if (mode & WIOF_PLAIN_FILE) return mmioOpenA(name, nullptr, MMIO_READ);
  return openNamedFile(name);
}

bool descendIntoForm(HMMIO h, MMCKINFO* riff, FOURCC formType) {
  *riff = MMCKINFO{};
  return mmioDescend(h, riff, nullptr, 0) == MMSYSERR_NOERROR && riff->ckid == FOURCC_RIFF &&
         riff->fccType == formType;
}

// What the chunk scan of WaveFileOpen has found so far.
struct Scan {
  HMMIO h = nullptr;
  DWORD mode = 0;
  MMCKINFO riff{};
  std::int64_t fileSize = 0;
  RiffInfoList* info = nullptr;
  RiffDispList* disp = nullptr;
  WaveIOBlock* block = nullptr;  // allocated when the format chunk is read
  DWORD formatChunkSize = 0;
  MMCKINFO data{};
  bool haveData = false;
  bool dataEndsAtNext = false;
  std::int64_t dataEnd = 0;
  bool haveFact = false;
  LONG factCount = -1;
};

enum class Step { Next, Stop };

int readFormatChunk(Scan& s, const MMCKINFO& ck, Step& step) {
  if (s.block != nullptr) {
    step = Step::Stop;
    return WIOERR_NOERROR;
  }
  s.block = allocBlock(ck.cksize);
  if (s.block == nullptr) return WIOERR_NOMEM;
  s.block->size = std::max<DWORD>(kBlockBaseSize, DWORD(std::min<std::uint64_t>(
                                                      std::uint64_t(ck.cksize) + kFormatChunkExtra, UINT32_MAX)));
  s.formatChunkSize = ck.cksize;
  if (mmioRead(s.h, reinterpret_cast<char*>(&s.block->format), LONG(ck.cksize)) != LONG(ck.cksize))
    return WIOERR_FILEERROR;
  WAVEFORMATEX& wfx = s.block->format;
  // Nothing may ever divide by a block alignment of 0. PCM's alignment is
  // recomputed from its channels and bits once the scan is done (a PCM chunk
  // without wBitsPerSample cannot be); other formats must state theirs.
  if (wfx.wFormatTag == WAVE_FORMAT_PCM && ck.cksize < 16) return WIOERR_FILEERROR;
  if (wfx.wFormatTag != WAVE_FORMAT_PCM && wfx.nBlockAlign == 0) return WIOERR_FILEERROR;
  // Extra bytes the chunk does not hold are not there.
  if (wfx.wFormatTag != WAVE_FORMAT_PCM)
    wfx.cbSize = WORD(std::min<DWORD>(wfx.cbSize, ck.cksize > 18 ? ck.cksize - 18 : 0));
  return WIOERR_NOERROR;
}

int readDataChunk(Scan& s, const MMCKINFO& ck, Step& step) {
  if (s.haveData && s.data.cksize != 0) {
    step = Step::Stop;
    return WIOERR_NOERROR;
  }
  s.data = ck;
  s.haveData = true;
  s.dataEndsAtNext = true;
  s.dataEnd = s.fileSize;
  return WIOERR_NOERROR;
}

int readFactChunk(Scan& s, const MMCKINFO& ck, Step& step) {
  if (s.haveFact) {
    step = Step::Stop;
    return WIOERR_NOERROR;
  }
  s.haveFact = true;
  DWORD count = 0;
  if (ck.cksize >= 4 && mmioRead(s.h, reinterpret_cast<char*>(&count), 4) == 4) s.factCount = LONG(count);
  return WIOERR_NOERROR;
}

int readChunk(Scan& s, const MMCKINFO& ck, Step& step) {
  switch (ck.ckid) {
    case FOURCC_LIST: return ck.fccType == FOURCC_INFO ? RiffInfoListRead(s.h, &ck, s.info) : WIOERR_NOERROR;
    case FOURCC_DISP: return RiffDispRead(s.h, &ck, s.disp);
    case FOURCC_FMT: return readFormatChunk(s, ck, step);
    case FOURCC_DATA: return readDataChunk(s, ck, step);
    case FOURCC_FACT: return readFactChunk(s, ck, step);
    default: return WIOERR_NOERROR;
  }
}

// Walks the chunks inside the RIFF chunk.
int scanChunks(Scan& s) {
  const std::int64_t riffEnd = std::int64_t(s.riff.dwDataOffset) + s.riff.cksize;
  MMCKINFO ck{};
  while (mmioDescend(s.h, &ck, &s.riff, 0) == MMSYSERR_NOERROR) {
    const std::int64_t end = std::int64_t(ck.dwDataOffset) + ck.cksize;
    if (end > riffEnd) {
      if (s.block != nullptr && s.haveData) break;
      if (end > s.fileSize) ck.cksize = DWORD(s.fileSize - ck.dwDataOffset);
    }
    if (s.dataEndsAtNext) {
      s.dataEnd = std::int64_t(ck.dwDataOffset) - 8;
      s.dataEndsAtNext = false;
    }
    Step step = Step::Next;
    if (const int rc = readChunk(s, ck, step); rc != WIOERR_NOERROR) return rc;
    if (step == Step::Stop) break;
    if (mmioAscend(s.h, &ck, 0) != MMSYSERR_NOERROR) {
      if (s.haveData) break;
      return WIOERR_FILEERROR;
    }
  }
  return WIOERR_NOERROR;
}

// Turns what the scan found into the block's sizes. The file's PCM rates
// are recomputed from the bits and channels first (a stated alignment of 0
// or a wrong one plays as other players play it), and the data is cut to
// whole blocks of the alignment the file is then read with.
int settleFormatAndData(Scan& s) {
  WaveIOBlock* b = s.block;
  WAVEFORMATEX& wfx = b->format;
  if (wfx.wFormatTag == WAVE_FORMAT_PCM && !pcmSetRates(wfx)) return WIOERR_FILEERROR;
  std::int64_t dataBytes = 0;
  if (s.haveData) {
    dataBytes = std::max<std::int64_t>(0, s.dataEnd - s.data.dwDataOffset);
    dataBytes -= dataBytes % wfx.nBlockAlign;
    b->data = s.data;
    b->dataOffset = LONG(s.data.dwDataOffset);
  }
  b->dataSize = LONG(std::min<std::int64_t>(dataBytes, INT32_MAX));
  // The "fact" count is not trusted: the data itself gives the sample count.
  b->totalSamples = wioBytesToSamples(&wfx, b->dataSize);
  b->firstSample = 0;
  b->lastSample = b->totalSamples;
  return WIOERR_NOERROR;
}

int failOpen(Scan& s, int code) {
  if (s.h != nullptr) mmioClose(s.h, 0);
  if (s.block != nullptr) std::free(s.block);
  freeLists(&s.info, &s.disp);
  return code;
}

}  // namespace

int WaveFileOpen(WaveIOBlock** block, const char* fileName, FOURCC formType, DWORD mode) {
  if (block == nullptr) return WIOERR_BADPARAMS;
  *block = nullptr;
  if (fileName == nullptr) return WIOERR_BADPARAMS;
  const MMIOINFO* memory = (mode & WIOF_OPEN_MEMORY) ? reinterpret_cast<const MMIOINFO*>(fileName) : nullptr;
  std::unique_ptr<QByteArray> resource;
  if (mode & WIOF_OPEN_RESOURCE) {
    const QResource res(QStringLiteral(":/WAVE/") + QString::fromUtf8(fileName));
    if (!res.isValid()) return WIOERR_FILEERROR;
    resource = std::make_unique<QByteArray>(res.uncompressedData());
  }

  Scan s;
  s.mode = mode;
  s.h = openSource(mode, fileName, memory, resource.get());
  if (s.h == nullptr) return WIOERR_FILEERROR;
  if (!descendIntoForm(s.h, &s.riff, formType)) return failOpen(s, WIOERR_FILEERROR);
  const LONG size = mmioSeek(s.h, 0, SEEK_END_);
  if (size < 0 || mmioSeek(s.h, LONG(s.riff.dwDataOffset + 4), SEEK_SET_) < 0) return failOpen(s, WIOERR_FILEERROR);
  s.fileSize = size;
  if (std::int64_t(s.riff.dwDataOffset) + s.riff.cksize > s.fileSize)
    s.riff.cksize = DWORD(s.fileSize - s.riff.dwDataOffset);

  if (const int rc = RiffInfoListCreate(&s.info); rc != RIFFERR_NOERROR) return failOpen(s, rc);
  if (const int rc = RiffDispListCreate(&s.disp); rc != RIFFERR_NOERROR) return failOpen(s, rc);
  if (const int rc = scanChunks(s); rc != WIOERR_NOERROR) return failOpen(s, rc);

  if (s.block == nullptr) {
    if (!(mode & WIOF_INFO_ONLY)) return failOpen(s, WIOERR_ERROR);
    s.block = allocBlock(0);
    if (s.block == nullptr) return failOpen(s, WIOERR_NOMEM);
    s.block->size = kInfoOnlySize;
  } else if (const int rc = settleFormatAndData(s); rc != WIOERR_NOERROR) {
    return failOpen(s, rc);
  }

  WaveIOBlock* b = s.block;
  b->mode = mode;
  b->fileSize = LONG(s.fileSize);
  b->riff = s.riff;
  if (memory != nullptr) {
    b->memoryInfo = static_cast<MMIOINFO*>(std::malloc(sizeof(MMIOINFO)));
    if (b->memoryInfo == nullptr) return failOpen(s, WIOERR_NOMEM);
    *b->memoryInfo = *memory;
  } else {
    b->fileName = copyString(fileName);
    if (b->fileName == nullptr) return failOpen(s, WIOERR_NOMEM);
  }
  if (resource) b->resource = resource.release();
  b->infoList = s.info;
  b->dispList = s.disp;
  mmioClose(s.h, 0);
  *block = b;
  return WIOERR_NOERROR;
}

int WaveFileOpenMemory(WaveIOBlock** block, const void* address, LONG length) {
  if (block != nullptr) *block = nullptr;
  if (address == nullptr || length <= 0) return WIOERR_FILEERROR;
  MMIOINFO info{};
  info.fccIOProc = FOURCC_MEM;
  info.pchBuffer = static_cast<char*>(const_cast<void*>(address));
  info.cchBuffer = length;
  return WaveFileOpen(block, reinterpret_cast<const char*>(&info), FOURCC_WAVE, WIOF_OPEN_MEMORY);
}

int WaveFileFromFormat(WaveIOBlock** block, const WAVEFORMATEX* format) {
  if (block == nullptr || format == nullptr) return WIOERR_BADPARAMS;
  *block = nullptr;
  const DWORD formatBytes = WaveFileFormatSize(format);
  WaveIOBlock* b = allocBlock(formatBytes);
  if (b == nullptr) return WIOERR_NOMEM;
  b->size = kBlockBaseSize + formatBytes - sizeof(WAVEFORMATEX);
  b->mode = WIOF_OPEN_FILE;
  std::memcpy(&b->format, format, formatBytes);
  if (RiffInfoListCreate(&b->infoList) != RIFFERR_NOERROR || RiffDispListCreate(&b->dispList) != RIFFERR_NOERROR) {
    freeBlockMemory(b);
    return WIOERR_NOMEM;
  }
  *block = b;
  return WIOERR_NOERROR;
}

int WaveFileCreate(WaveIOBlock* block, const char* fileName) {
  if (block == nullptr || fileName == nullptr || fileName[0] == '\0' || block->handle != nullptr)
    return WIOERR_BADPARAMS;
  char* name = copyString(fileName);
  if (name == nullptr) return WIOERR_NOMEM;
  HMMIO h = mmioOpenA(fileName, nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
  if (h == nullptr) {
    std::free(name);
    return WIOERR_FILEERROR;
  }
  MMCKINFO riff{};
  riff.fccType = FOURCC_WAVE;
  MMCKINFO fmt{};
  fmt.ckid = FOURCC_FMT;
  fmt.cksize = WaveFileFormatSize(&block->format);
  MMCKINFO data{};
  data.ckid = FOURCC_DATA;
  const bool ok = mmioCreateChunk(h, &riff, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
                  mmioCreateChunk(h, &fmt, 0) == MMSYSERR_NOERROR &&
                  mmioWrite(h, reinterpret_cast<const char*>(&block->format), LONG(fmt.cksize)) ==
                      LONG(fmt.cksize) &&
                  mmioAscend(h, &fmt, 0) == MMSYSERR_NOERROR && mmioCreateChunk(h, &data, 0) == MMSYSERR_NOERROR;
  if (!ok) {
    mmioClose(h, 0);
    mmioOpenA(fileName, nullptr, MMIO_DELETE);
    std::free(name);
    return WIOERR_FILEERROR;
  }
  std::free(block->fileName);
  block->fileName = name;
  block->handle = h;
  block->riff = riff;
  block->data = data;
  block->dataOffset = LONG(data.dwDataOffset);
  block->fileSize = block->dataOffset;
  block->dataSize = 0;
  block->totalSamples = 0;
  block->firstSample = 0;
  block->lastSample = 0;
  block->position = 0;
  block->bytesLeft = 0;
  return WIOERR_NOERROR;
}

int WaveFileSeek(WaveIOBlock* block, LONG sample) {
  if (block == nullptr || sample < 0) return WIOERR_FILEERROR;
  const LONG last = std::max(0, block->lastSample - block->firstSample - 1);
  const LONG p = std::min(sample, last);
  if (block->handle == nullptr) {
    const LONG b = wioFileSamplesToBytes(block, p + block->firstSample);
    block->position = wioFileBytesToSamples(block, b) - block->firstSample;
    return WIOERR_NOERROR;
  }
  HMMIO h = block->handle;
  const LONG header = block->dataOffset - 8;
  if (header < 0 || mmioSeek(h, header, SEEK_SET_) != header) return WIOERR_FILEERROR;
  // Re-reading the header must not forget that data was written.
  const DWORD dirty = block->data.dwFlags & MMIO_DIRTY;
  if (mmioDescend(h, &block->data, nullptr, 0) != MMSYSERR_NOERROR) return WIOERR_FILEERROR;
  block->data.dwFlags |= dirty;
  LONG b = std::min(wioFileSamplesToBytes(block, p + block->firstSample), block->dataSize);
  if (block->format.nBlockAlign != 0) b -= b % block->format.nBlockAlign;
  if (mmioSeek(h, b, SEEK_CUR_) < 0) return WIOERR_FILEERROR;
  // Never more than the data holds, whatever the conversions' rounding.
  block->bytesLeft = std::clamp(wioFileSamplesToBytes(block, block->lastSample) - b, 0, block->dataSize - b);
  block->position = wioFileBytesToSamples(block, b) - block->firstSample;
  return WIOERR_NOERROR;
}

LONG WaveFileRead(WaveIOBlock* block, char* buffer, LONG count) {
  if (block == nullptr || block->handle == nullptr || count < 0) return -1;
  if (block->bytesLeft <= 0) return -1;
  const LONG want = std::min(count, block->bytesLeft);
  const LONG got = mmioRead(block->handle, buffer, want);
  if (got < 0) return -1;
  if (got < count)
    block->bytesLeft = 0;
  else
    block->bytesLeft = std::max(block->bytesLeft - got, 0);
  block->position =
      (block->lastSample - block->firstSample) - wioFileBytesToSamples(block, block->bytesLeft);
  return got;
}

LONG WaveFileWrite(WaveIOBlock* block, const char* buffer, LONG count) {
  if (block == nullptr || block->handle == nullptr || count <= 0 || (block->mode & WIOF_PLAIN_FILE)) return -1;
  const LONG written = mmioWrite(block->handle, buffer, count);
  if (written <= 0) return 0;
  block->data.dwFlags |= MMIO_DIRTY;
  const LONG b = mmioSeek(block->handle, 0, SEEK_CUR_) - block->dataOffset;
  block->position = wioFileBytesToSamples(block, b);
  block->dataSize = std::max(block->dataSize, b);
  if (block->position > block->totalSamples) {
    block->totalSamples = block->position;
    block->lastSample = block->position;
  }
  block->bytesLeft = wioFileSamplesToBytes(block, block->lastSample - block->position);
  return written;
}

namespace {

// Writes a 32-bit size at `offset` through the handle's buffer.
bool writeSizeAt(HMMIO h, LONG offset, DWORD size) {
  return offset >= 0 && mmioSeek(h, offset, SEEK_SET_) == offset &&
         mmioWrite(h, reinterpret_cast<const char*>(&size), 4) == 4;
}

}  // namespace

int WaveFileUpdateSizes(WaveIOBlock* block) {
  if (block == nullptr || block->handle == nullptr) return WIOERR_BADPARAMS;
  if (block->mode & (WIOF_OPEN_RESOURCE | WIOF_OPEN_MEMORY | WIOF_PLAIN_FILE)) return WIOERR_NOERROR;
  HMMIO h = block->handle;
  const LONG position = mmioSeek(h, 0, SEEK_CUR_);
  // The data first: the sizes never claim bytes that are not in the file.
  if (position < 0 || mmioFlush(h, 0) != MMSYSERR_NOERROR) return WIOERR_FILEERROR;
  const std::int64_t dataEnd = std::int64_t(block->dataOffset) + block->dataSize + (block->dataSize & 1);
  const DWORD riffSize = DWORD(dataEnd - block->riff.dwDataOffset);
  const bool ok = writeSizeAt(h, LONG(block->riff.dwDataOffset) - 4, riffSize) &&
                  writeSizeAt(h, block->dataOffset - 4, DWORD(block->dataSize)) &&
                  mmioFlush(h, 0) == MMSYSERR_NOERROR;
  if (mmioSeek(h, position, SEEK_SET_) != position || !ok) return WIOERR_FILEERROR;
  mmioSyncInBackground(h);
  return WIOERR_NOERROR;
}

int WaveFileSetIOBuffer(WaveIOBlock* block, LONG size) {
  if (block == nullptr) return WIOERR_BADPARAMS;
  if (block->handle == nullptr || size < 0) return WIOERR_ERROR;
  if (block->mode & (WIOF_OPEN_RESOURCE | WIOF_OPEN_MEMORY | WIOF_PLAIN_FILE)) return WIOERR_NOERROR;
  return mmioSetBuffer(block->handle, nullptr, size, 0) == MMSYSERR_NOERROR ? WIOERR_NOERROR : WIOERR_ERROR;
}

int WaveFileReopen(WaveIOBlock* block) {
  if (block == nullptr) return WIOERR_BADPARAMS;
  if (block->handle == nullptr) {
    HMMIO h = openSource(block->mode, block->fileName, block->memoryInfo,
                         static_cast<QByteArray*>(block->resource));
    if (h == nullptr) return WIOERR_FILEERROR;
    if (!(block->mode & WIOF_PLAIN_FILE) && !descendIntoForm(h, &block->riff, FOURCC_WAVE)) {
      mmioClose(h, 0);
      return WIOERR_FILEERROR;
    }
    block->handle = h;
  }
  if (WaveFileSeek(block, block->position) != WIOERR_NOERROR) {
    mmioClose(block->handle, 0);
    block->handle = nullptr;
    return WIOERR_FILEERROR;
  }
  return WIOERR_NOERROR;
}

namespace {

// Writes the sizes, "fact", the display chunks and the text entries of a file
// that was written to. Stops at the first failing step.
int finishFile(WaveIOBlock* block) {
  HMMIO h = block->handle;
  MMIOINFO info{};
  if (mmioGetInfo(h, &info, 0) != MMSYSERR_NOERROR || mmioFlush(h, 0) != MMSYSERR_NOERROR)
    return WIOERR_FILEERROR;
  if (!(info.dwFlags & MMIO_CREATE)) {
    block->data.cksize = 0;
    block->data.dwFlags |= MMIO_DIRTY;
    block->riff.cksize = 0;
    block->riff.dwFlags |= MMIO_DIRTY;
  }
  // The data ends where the furthest write ended, also when a created file
  // was written over from an earlier position: "fact" must not land in it.
  const LONG dataEnd = block->dataOffset + block->dataSize;
  if (mmioSeek(h, dataEnd, SEEK_SET_) != dataEnd) return WIOERR_FILEERROR;
  if (mmioAscend(h, &block->data, 0) != MMSYSERR_NOERROR) return WIOERR_FILEERROR;

  MMCKINFO fact{};
  fact.ckid = FOURCC_FACT;
  const DWORD samples = DWORD(block->totalSamples);
  if (mmioCreateChunk(h, &fact, 0) != MMSYSERR_NOERROR ||
      mmioWrite(h, reinterpret_cast<const char*>(&samples), 4) != 4 ||
      mmioAscend(h, &fact, 0) != MMSYSERR_NOERROR)
    return WIOERR_FILEERROR;
  if (block->dispList != nullptr && RiffDispListWrite(h, block->dispList) != RIFFERR_NOERROR)
    return WIOERR_FILEERROR;
  if (block->infoList != nullptr && RiffInfoListWrite(h, block->infoList) != RIFFERR_NOERROR)
    return WIOERR_FILEERROR;
  if (mmioAscend(h, &block->riff, 0) != MMSYSERR_NOERROR) return WIOERR_FILEERROR;
  const LONG size = mmioSeek(h, 0, SEEK_END_);
  if (size < 0) return WIOERR_FILEERROR;
  block->fileSize = size;
  block->lastSample = block->totalSamples;
  return WIOERR_NOERROR;
}

}  // namespace

int WaveFileClose(WaveIOBlock* block) {
  if (block == nullptr) return WIOERR_BADPARAMS;
  int rc = WIOERR_NOERROR;
  if (block->handle != nullptr) {
    if (block->data.dwFlags & MMIO_DIRTY) {
      rc = finishFile(block);
      // The finished take reaches the disk soon, without a wait here.
      if (rc == WIOERR_NOERROR && mmioFlush(block->handle, 0) == MMSYSERR_NOERROR)
        mmioSyncInBackground(block->handle);
    }
    if (mmioClose(block->handle, 0) != MMSYSERR_NOERROR && rc == WIOERR_NOERROR) rc = WIOERR_FILEERROR;
    block->handle = nullptr;
  }
  block->bytesLeft = 0;
  block->position = 0;
  return rc;
}

int WaveFileFree(WaveIOBlock** block) {
  if (block == nullptr || *block == nullptr) return WIOERR_BADPARAMS;
  if ((*block)->handle != nullptr) mmioClose((*block)->handle, 0);
  freeBlockMemory(*block);
  *block = nullptr;
  return WIOERR_NOERROR;
}

bool WaveFileIsValid(const char* fileName, DWORD mode) {
  WaveIOBlock* block = nullptr;
  if (WaveFileOpen(&block, fileName, FOURCC_WAVE, mode) != WIOERR_NOERROR) return false;
  WaveFileFree(&block);
  return true;
}

int WaveFileReadImage(const char* fileName, std::vector<char>& image) {
  image.clear();
  if (fileName == nullptr || fileName[0] == '\0') return WIOERR_BADPARAMS;
  HMMIO h = mmioOpenA(fileName, nullptr, MMIO_READ);
  if (h == nullptr) return WIOERR_FILEERROR;
  int rc = WIOERR_NOERROR;
  const LONG size = mmioSeek(h, 0, SEEK_END_);
  if (size < 0 || mmioSeek(h, 0, SEEK_SET_) != 0) {
    rc = WIOERR_FILEERROR;
  } else {
    try {
      image.resize(std::size_t(size));
    } catch (const std::bad_alloc&) {
      rc = WIOERR_NOMEM;
    }
    // A file that shrinks while it is read is not read whole.
    if (rc == WIOERR_NOERROR && size > 0 && mmioRead(h, image.data(), size) != size) rc = WIOERR_FILEERROR;
  }
  mmioClose(h, 0);
  if (rc != WIOERR_NOERROR) std::vector<char>().swap(image);
  return rc;
}

bool WaveFileNameIsValid(const char* fileName) { return mmioOpenA(fileName, nullptr, MMIO_PARSE) != nullptr; }
bool WaveFileExists(const char* fileName) { return mmioOpenA(fileName, nullptr, MMIO_EXIST) != nullptr; }
bool WaveFileDelete(const char* fileName) { return mmioOpenA(fileName, nullptr, MMIO_DELETE) != nullptr; }
