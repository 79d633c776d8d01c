#include "platform/mmio/mmio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/mmio/filesync.h"

static_assert(std::endian::native == std::endian::little,
              "chunk headers are copied as little-endian words");

// The state behind an HMMIO. A disk file is reached through pread/pwrite on
// `fd`; a memory image through `mem`. Disk files may have an I/O buffer: a
// window of the file starting at `bufStart` of which `bufValid` bytes are
// known (read from the file or written), and [dirtyLo, dirtyHi) of them not
// yet written out. Memory images are read and written directly.
struct MmioFile {
  DWORD openFlags = 0;
  bool created = false;
  std::int64_t pos = 0;

  int fd = -1;

  bool memory = false;
  char* mem = nullptr;           // the image (the caller's, or `memOwned`)
  std::int64_t memLength = 0;    // bytes of the image that hold file data
  std::int64_t memCapacity = 0;  // bytes addressable at `mem`
  DWORD growStep = 0;
  std::vector<char> memOwned;

  char* buf = nullptr;
  LONG bufSize = 0;
  std::unique_ptr<char[]> bufOwned;
  std::int64_t bufStart = 0;
  std::int64_t bufValid = 0;
  std::int64_t dirtyLo = 0;
  std::int64_t dirtyHi = 0;  // dirtyHi > dirtyLo while the buffer is dirty

  bool writable() const { return (openFlags & MMIO_RWMODE) != MMIO_READ; }
  bool dirty() const { return dirtyHi > dirtyLo; }
};

namespace {

constexpr std::int64_t kMaxPos = LONG_MAX;
// Token returned by the flags that act on a name without opening it.
HMMIO const kNameToken = reinterpret_cast<HMMIO>(std::uintptr_t(1));

std::int64_t rawRead(MmioFile* f, std::int64_t off, char* dst, std::int64_t n) {
  if (f->memory) {
    if (off >= f->memLength) return 0;
    const std::int64_t k = std::min(n, f->memLength - off);
    std::memcpy(dst, f->mem + off, size_t(k));
    return k;
  }
  std::int64_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(f->fd, dst + done, size_t(n - done), off_t(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

// Makes room for a memory image to hold `end` bytes; false when it cannot grow.
bool growMemory(MmioFile* f, std::int64_t end) {
  if (end <= f->memCapacity) return true;
  if (f->growStep == 0) return false;
  const std::int64_t steps = (end - f->memCapacity + f->growStep - 1) / f->growStep;
  const std::int64_t capacity = f->memCapacity + steps * std::int64_t(f->growStep);
  try {
    f->memOwned.resize(size_t(capacity));
  } catch (const std::bad_alloc&) {
    return false;
  }
  f->mem = f->memOwned.data();
  f->memCapacity = capacity;
  return true;
}

std::int64_t rawWrite(MmioFile* f, std::int64_t off, const char* src, std::int64_t n) {
  if (f->memory) {
    if (!growMemory(f, off + n)) n = std::max<std::int64_t>(0, f->memCapacity - off);
    if (n == 0) return -1;
    if (off > f->memLength) std::memset(f->mem + f->memLength, 0, size_t(off - f->memLength));
    std::memcpy(f->mem + off, src, size_t(n));
    f->memLength = std::max(f->memLength, off + n);
    return n;
  }
  std::int64_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(f->fd, src + done, size_t(n - done), off_t(off + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    done += r;
  }
  return done;
}

std::int64_t rawSize(MmioFile* f) {
  if (f->memory) return f->memLength;
  struct stat st {};
  if (::fstat(f->fd, &st) != 0) return -1;
  return st.st_size;
}

bool flushBuffer(MmioFile* f) {
  if (!f->dirty()) return true;
  const std::int64_t n = f->dirtyHi - f->dirtyLo;
  const std::int64_t w = rawWrite(f, f->bufStart + f->dirtyLo, f->buf + f->dirtyLo, n);
  if (w != n) return false;
  f->dirtyLo = f->dirtyHi = 0;
  return true;
}

// Forgets what the buffer holds (after it was written out).
void dropWindow(MmioFile* f, std::int64_t at) {
  f->bufStart = at;
  f->bufValid = 0;
  f->dirtyLo = f->dirtyHi = 0;
}

std::int64_t fileSize(MmioFile* f) {
  const std::int64_t disk = rawSize(f);
  if (disk < 0) return -1;
  return f->bufValid > 0 ? std::max(disk, f->bufStart + f->bufValid) : disk;
}

bool nameIsUsable(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  const size_t len = std::strlen(name);
  return len < PATH_MAX && name[len - 1] != '/';
}

HMMIO fail(MMIOINFO* info, MMRESULT code) {
  if (info != nullptr) info->wErrorRet = code;
  return nullptr;
}

HMMIO openMemory(MMIOINFO* info, DWORD flags) {
  if (info->cchBuffer < 0 || (info->pchBuffer == nullptr && info->cchBuffer > 0 && info->adwInfo[0] == 0))
    return fail(info, MMIOERR_CANNOTOPEN);
  auto f = std::make_unique<MmioFile>();
  f->memory = true;
  f->openFlags = flags & ~(MMIO_ALLOCBUF);
  f->growStep = info->adwInfo[0];
  f->memLength = info->cchBuffer;
  if (f->growStep == 0) {
    f->mem = info->pchBuffer;
    f->memCapacity = info->cchBuffer;
  } else {
    try {
      f->memOwned.assign(info->pchBuffer, info->pchBuffer + info->cchBuffer);
    } catch (const std::bad_alloc&) {
      return fail(info, MMIOERR_OUTOFMEMORY);
    }
    f->mem = f->memOwned.data();
    f->memCapacity = info->cchBuffer;
  }
  info->wErrorRet = 0;
  return f.release();
}

}  // namespace

HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD openFlags) {
  if (openFlags & MMIO_PARSE) return nameIsUsable(fileName) ? kNameToken : fail(info, MMIOERR_CANNOTOPEN);
  if (openFlags & MMIO_EXIST) {
    struct stat st {};
    if (fileName != nullptr && ::stat(fileName, &st) == 0 && !S_ISDIR(st.st_mode)) return kNameToken;
    return fail(info, MMIOERR_FILENOTFOUND);
  }
  if (openFlags & MMIO_DELETE) {
    if (fileName != nullptr && ::unlink(fileName) == 0) return kNameToken;
    return fail(info, MMIOERR_FILENOTFOUND);
  }

  if (fileName == nullptr) {
    if (info == nullptr || info->fccIOProc != FOURCC_MEM) return fail(info, MMIOERR_FILENOTFOUND);
    return openMemory(info, openFlags);
  }

  int oflags = O_CLOEXEC;
  switch (openFlags & MMIO_RWMODE) {
    case MMIO_WRITE: oflags |= O_WRONLY; break;
    case MMIO_READWRITE: oflags |= O_RDWR; break;
    default: oflags |= O_RDONLY; break;
  }
  // A file created for reading only is still created (and truncated).
  if (openFlags & MMIO_CREATE) {
    oflags |= O_CREAT | O_TRUNC;
    if ((openFlags & MMIO_RWMODE) == MMIO_READ) oflags = (oflags & ~O_RDONLY) | O_RDWR;
  }

  auto f = std::make_unique<MmioFile>();
  f->openFlags = openFlags;
  f->created = (openFlags & MMIO_CREATE) != 0;
  if (openFlags & MMIO_ALLOCBUF) {
    const LONG size = (info != nullptr && info->cchBuffer > 0) ? info->cchBuffer : MMIO_DEFAULTBUFFER;
    f->bufOwned.reset(new (std::nothrow) char[size_t(size)]);
    if (!f->bufOwned) return fail(info, MMIOERR_OUTOFMEMORY);
    f->buf = f->bufOwned.get();
    f->bufSize = size;
  }
  do {
    f->fd = ::open(fileName, oflags, 0666);
  } while (f->fd < 0 && errno == EINTR);
  if (f->fd < 0) return fail(info, errno == ENOENT ? MMIOERR_FILENOTFOUND : MMIOERR_CANNOTOPEN);
  struct stat st {};
  if (::fstat(f->fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(f->fd);
    return fail(info, MMIOERR_CANNOTOPEN);
  }
  if (info != nullptr) info->wErrorRet = 0;
  return f.release();
}

MMRESULT mmioClose(HMMIO h, UINT) {
  if (h == nullptr || h == kNameToken) return MMSYSERR_INVALHANDLE;
  const bool flushed = flushBuffer(h);
  bool closed = true;
  if (h->fd >= 0) closed = ::close(h->fd) == 0;
  delete h;
  if (!flushed) return MMIOERR_CANNOTWRITE;
  return closed ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
}

LONG mmioRead(HMMIO h, char* buffer, LONG count) {
  if (h == nullptr || count < 0) return -1;
  if ((h->openFlags & MMIO_RWMODE) == MMIO_WRITE) return -1;
  if (count == 0) return 0;
  if (buffer == nullptr) return -1;
  std::int64_t total = 0;
  std::int64_t n = count;
  while (n > 0) {
    const std::int64_t windowEnd = h->bufStart + h->bufValid;
    if (h->bufSize > 0 && h->pos >= h->bufStart && h->pos < windowEnd) {
      const std::int64_t k = std::min(n, windowEnd - h->pos);
      std::memcpy(buffer + total, h->buf + (h->pos - h->bufStart), size_t(k));
      h->pos += k;
      total += k;
      n -= k;
      continue;
    }
    if (!flushBuffer(h)) return total > 0 ? LONG(total) : -1;
    if (h->bufSize == 0 || n >= h->bufSize) {
      // Large reads skip the buffer.
      const std::int64_t r = rawRead(h, h->pos, buffer + total, n);
      if (r < 0) return total > 0 ? LONG(total) : -1;
      h->pos += r;
      total += r;
      break;
    }
    dropWindow(h, h->pos);
    const std::int64_t r = rawRead(h, h->pos, h->buf, h->bufSize);
    if (r < 0) return total > 0 ? LONG(total) : -1;
    if (r == 0) break;
    h->bufValid = r;
  }
  return LONG(total);
}

LONG mmioWrite(HMMIO h, const char* buffer, LONG count) {
  if (h == nullptr || count < 0 || !h->writable()) return -1;
  if (count == 0) return 0;
  if (buffer == nullptr) return -1;
  if (h->pos + count > kMaxPos) return -1;
  std::int64_t total = 0;
  std::int64_t n = count;
  while (n > 0) {
    if (h->bufSize == 0) {
      const std::int64_t w = rawWrite(h, h->pos, buffer + total, n);
      if (w < 0) break;
      h->pos += w;
      total += w;
      break;
    }
    const bool inWindow = h->pos >= h->bufStart && h->pos <= h->bufStart + h->bufValid &&
                          h->pos < h->bufStart + h->bufSize;
    if (!inWindow) {
      if (!flushBuffer(h)) break;
      if (n >= h->bufSize) {
        // Large writes skip the buffer; what it held may be stale now.
        const std::int64_t w = rawWrite(h, h->pos, buffer + total, n);
        if (w < 0) break;
        h->pos += w;
        total += w;
        dropWindow(h, h->pos);
        break;
      }
      dropWindow(h, h->pos);
    }
    const std::int64_t off = h->pos - h->bufStart;
    const std::int64_t k = std::min(n, std::int64_t(h->bufSize) - off);
    std::memcpy(h->buf + off, buffer + total, size_t(k));
    if (h->dirty()) {
      h->dirtyLo = std::min(h->dirtyLo, off);
      h->dirtyHi = std::max(h->dirtyHi, off + k);
    } else {
      h->dirtyLo = off;
      h->dirtyHi = off + k;
    }
    h->bufValid = std::max(h->bufValid, off + k);
    h->pos += k;
    total += k;
    n -= k;
  }
  return total > 0 ? LONG(total) : -1;
}

LONG mmioSeek(HMMIO h, LONG offset, int origin) {
  if (h == nullptr) return -1;
  std::int64_t base;
  switch (origin) {
    case SEEK_SET_: base = 0; break;
    case SEEK_CUR_: base = h->pos; break;
    case SEEK_END_: base = fileSize(h); break;
    default: return -1;
  }
  if (base < 0) return -1;
  const std::int64_t target = base + offset;
  if (target < 0 || target > kMaxPos) return -1;
  h->pos = target;
  return LONG(target);
}

namespace {

bool readWord(HMMIO h, DWORD* value) {
  char raw[4];
  if (mmioRead(h, raw, 4) != 4) return false;
  std::memcpy(value, raw, 4);
  return true;
}

bool writeWord(HMMIO h, DWORD value) {
  char raw[4];
  std::memcpy(raw, &value, 4);
  return mmioWrite(h, raw, 4) == 4;
}

bool hasType(FOURCC id) { return id == FOURCC_RIFF || id == FOURCC_LIST; }

}  // namespace

MMRESULT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, UINT flags) {
  if (h == nullptr || ck == nullptr) return MMSYSERR_INVALPARAM;
  const UINT find = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
  const FOURCC wantId = ck->ckid;
  const FOURCC wantType = ck->fccType;
  const std::int64_t parentEnd =
      parent != nullptr ? std::int64_t(parent->dwDataOffset) + parent->cksize : INT64_MAX;
  const std::int64_t origin = h->pos;
  for (;;) {
    const std::int64_t start = h->pos;
    if (find != 0 && start + 8 > parentEnd) break;
    MMCKINFO found{};
    if (!readWord(h, &found.ckid) || !readWord(h, &found.cksize)) break;
    found.dwDataOffset = DWORD(start + 8);
    if (hasType(found.ckid) && !readWord(h, &found.fccType)) break;
    bool match = true;
    if (find == MMIO_FINDCHUNK) match = found.ckid == wantId;
    if (find == MMIO_FINDRIFF) match = found.ckid == FOURCC_RIFF && found.fccType == wantType;
    if (find == MMIO_FINDLIST) match = found.ckid == FOURCC_LIST && found.fccType == wantType;
    if (match) {
      *ck = found;
      return MMSYSERR_NOERROR;
    }
    const std::int64_t next = std::int64_t(found.dwDataOffset) + found.cksize + (found.cksize & 1);
    if (next > kMaxPos) break;
    h->pos = next;
  }
  h->pos = origin;
  return MMIOERR_CHUNKNOTFOUND;
}

MMRESULT mmioAscend(HMMIO h, MMCKINFO* ck, UINT) {
  if (h == nullptr || ck == nullptr) return MMSYSERR_INVALPARAM;
  if (ck->dwFlags & MMIO_DIRTY) {
    const std::int64_t end = h->pos;
    if (end < std::int64_t(ck->dwDataOffset) || ck->dwDataOffset < 4) return MMIOERR_CANNOTWRITE;
    const DWORD size = DWORD(end - ck->dwDataOffset);
    h->pos = ck->dwDataOffset - 4;
    const bool written = writeWord(h, size);
    h->pos = end;
    if (!written) return MMIOERR_CANNOTWRITE;
    ck->cksize = size;
    if (size & 1) {
      const char pad = 0;
      if (mmioWrite(h, &pad, 1) != 1) return MMIOERR_CANNOTWRITE;
    }
    ck->dwFlags &= ~MMIO_DIRTY;
    return MMSYSERR_NOERROR;
  }
  const std::int64_t next = std::int64_t(ck->dwDataOffset) + ck->cksize + (ck->cksize & 1);
  if (next > kMaxPos) return MMIOERR_CANNOTSEEK;
  h->pos = next;
  return MMSYSERR_NOERROR;
}

MMRESULT mmioCreateChunk(HMMIO h, MMCKINFO* ck, UINT flags) {
  if (h == nullptr || ck == nullptr) return MMSYSERR_INVALPARAM;
  if (flags & MMIO_CREATERIFF) ck->ckid = FOURCC_RIFF;
  if (flags & MMIO_CREATELIST) ck->ckid = FOURCC_LIST;
  const std::int64_t start = h->pos;
  char header[12];
  std::memcpy(header, &ck->ckid, 4);
  std::memcpy(header + 4, &ck->cksize, 4);
  std::memcpy(header + 8, &ck->fccType, 4);
  const LONG len = hasType(ck->ckid) ? 12 : 8;
  if (mmioWrite(h, header, len) != len) {
    h->pos = start;
    return MMIOERR_CANNOTWRITE;
  }
  ck->dwDataOffset = DWORD(start + 8);
  ck->dwFlags = MMIO_DIRTY;
  return MMSYSERR_NOERROR;
}

FOURCC mmioStringToFOURCCA(const char* text, UINT flags) {
  char c[4] = {' ', ' ', ' ', ' '};
  for (int i = 0; text != nullptr && i < 4 && text[i] != '\0'; ++i) {
    c[i] = text[i];
    if ((flags & MMIO_TOUPPER) && c[i] >= 'a' && c[i] <= 'z') c[i] = char(c[i] - 'a' + 'A');
  }
  return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

MMRESULT mmioSetBuffer(HMMIO h, char* buffer, LONG size, UINT) {
  if (h == nullptr || size < 0) return MMSYSERR_INVALPARAM;
  if (h->memory) return MMSYSERR_NOERROR;
  if (!flushBuffer(h)) return MMIOERR_CANNOTWRITE;
  std::unique_ptr<char[]> owned;
  if (buffer == nullptr && size > 0) {
    owned.reset(new (std::nothrow) char[size_t(size)]);
    if (!owned) return MMIOERR_OUTOFMEMORY;
    buffer = owned.get();
  }
  h->bufOwned = std::move(owned);
  h->buf = size > 0 ? buffer : nullptr;
  h->bufSize = size;
  dropWindow(h, h->pos);
  return MMSYSERR_NOERROR;
}

MMRESULT mmioGetInfo(HMMIO h, MMIOINFO* info, UINT) {
  if (h == nullptr || info == nullptr) return MMSYSERR_INVALPARAM;
  *info = MMIOINFO{};
  info->dwFlags = h->openFlags & ~(MMIO_CREATE | MMIO_DIRTY);
  if (h->created) info->dwFlags |= MMIO_CREATE;
  if (h->dirty()) info->dwFlags |= MMIO_DIRTY;
  info->fccIOProc = h->memory ? FOURCC_MEM : FOURCC_DOS;
  info->hmmio = h;
  if (h->memory) {
    info->pchBuffer = h->mem;
    info->cchBuffer = LONG(h->memLength);
    info->pchNext = h->mem + std::min(h->pos, h->memLength);
    info->pchEndRead = h->mem + h->memLength;
    info->pchEndWrite = h->mem + h->memCapacity;
    info->adwInfo[0] = h->growStep;
    info->lDiskOffset = LONG(h->pos);
    return MMSYSERR_NOERROR;
  }
  info->pchBuffer = h->buf;
  info->cchBuffer = h->bufSize;
  if (h->buf != nullptr) {
    const std::int64_t inBuf = std::clamp<std::int64_t>(h->pos - h->bufStart, 0, h->bufValid);
    info->pchNext = h->buf + inBuf;
    info->pchEndRead = h->buf + h->bufValid;
    info->pchEndWrite = h->buf + h->bufSize;
  }
  info->lBufOffset = LONG(h->bufStart);
  info->lDiskOffset = LONG(h->pos);
  info->adwInfo[0] = DWORD(h->fd);
  return MMSYSERR_NOERROR;
}

MMRESULT mmioFlush(HMMIO h, UINT) {
  if (h == nullptr) return MMSYSERR_INVALHANDLE;
  return flushBuffer(h) ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

MMRESULT mmioSyncInBackground(HMMIO h) {
  if (h == nullptr || h == kNameToken) return MMSYSERR_INVALHANDLE;
  if (!h->memory) mmio::SyncInBackground(h->fd);
  return MMSYSERR_NOERROR;
}
