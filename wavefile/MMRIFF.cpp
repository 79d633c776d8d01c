#include "wavefile/MMRIFF.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

const RiffInfoId RiffInfoIds[24] = {
    {"IARL", "Archival Location", "Where the subject of the file is archived."},
    {"IART", "Artist", "The original artist of the subject of the file."},
    {"ICMS", "Commissioned", "Who commissioned the subject of the file."},
    {"ICMT", "Comments", "General comments about the file or its subject."},
    {"ICOP", "Copyright", "Copyright information about the file."},
    {"ICRD", "Creation date", "The date the subject of the file was created."},
    {"ICRP", "Cropped", "Whether and how an image in the file was cropped."},
    {"IDIM", "Dimensions", "The size of the original subject of the file."},
    {"IDPI", "Dots Per Inch", "The resolution at which the file was digitized."},
    {"IENG", "Engineer", "Who digitized the subject of the file."},
    {"IGNR", "Genre", "The kind of work the file holds."},
    {"IKEY", "Keywords", "Words that refer to the file or its subject."},
    {"ILGT", "Lightness", "Changes in lightness made while digitizing."},
    {"IMED", "Medium", "The medium of the original subject."},
    {"INAM", "Name", "The title of the subject of the file."},
    {"IPLT", "Palette Setting", "The number of colours asked for when digitizing."},
    {"IPRD", "Product", "The product the file was made for."},
    {"ISBJ", "Subject", "What the file's contents are about."},
    {"ISFT", "Software", "The program that made the file."},
    {"ISHP", "Sharpness", "Changes in sharpness made while digitizing."},
    {"ISRC", "Source", "Who supplied the original subject of the file."},
    {"ISRF", "Source Form", "The original form of the digitized material."},
    {"ITCH", "Technician", "Who digitized the file."},
    {nullptr, nullptr, nullptr},
};

namespace {

// Bytes from the current position to the end of the file, or -1.
std::int64_t bytesAvailable(HMMIO h) {
  const LONG pos = mmioSeek(h, 0, SEEK_CUR_);
  if (pos < 0) return -1;
  const LONG end = mmioSeek(h, 0, SEEK_END_);
  if (mmioSeek(h, pos, SEEK_SET_) != pos || end < 0) return -1;
  return std::int64_t(end) - pos;
}

RiffInfoEntry* entryFor(RiffInfoList* list, int index) {
  for (RiffInfoEntry* e = list->first; e != nullptr; e = e->next)
    if (e->index == index) return e;
  return nullptr;
}

// The entry's text and its length (without terminating zero), or null.
const char* entryText(const RiffInfoList* list, const RiffInfoEntry* e, size_t* length) {
  if (e->text != nullptr) {
    *length = std::strlen(e->text);
    return e->text;
  }
  if (e->textOffset == 0 || list->raw == nullptr || e->textOffset >= list->rawLength) return nullptr;
  const size_t room = size_t(std::min<LONG>(e->textSize, list->rawLength - e->textOffset));
  *length = strnlen(list->raw + e->textOffset, room);
  return list->raw + e->textOffset;
}

char* copyText(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::calloc(n, 1));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

// Bytes of a bitmap entry to write: header, image and colour table, as the
// BITMAPINFOHEADER at the start of the data gives them, never more than the
// data holds.
DWORD bitmapBytes(const char* data, DWORD size) {
  auto field = [&](DWORD offset) -> std::uint64_t {
    DWORD v = 0;
    if (offset + 4 <= size) std::memcpy(&v, data + offset, 4);
    return v;
  };
  const std::uint64_t total = field(0) + field(20) + 4 * field(32);  // biSize, biSizeImage, biClrUsed
  return DWORD(std::min<std::uint64_t>(total, size));
}

bool writeDisp(HMMIO h, DWORD type, const char* data, DWORD length) {
  MMCKINFO ck{};
  ck.ckid = FOURCC_DISP;
  if (mmioCreateChunk(h, &ck, 0) != MMSYSERR_NOERROR) return false;
  if (mmioWrite(h, reinterpret_cast<const char*>(&type), 4) != 4) return false;
  if (mmioWrite(h, data, LONG(length)) != LONG(length)) return false;
  return mmioAscend(h, &ck, 0) == MMSYSERR_NOERROR;
}

}  // namespace

int RiffInfoListCreate(RiffInfoList** list) {
  if (list == nullptr) return RIFFERR_BADPARAM;
  *list = nullptr;
  auto* header = static_cast<RiffInfoList*>(std::calloc(1, sizeof(RiffInfoList)));
  if (header == nullptr) return RIFFERR_NOMEMORY;
  RiffInfoEntry** tail = &header->first;
  for (int i = 0; RiffInfoIds[i].id != nullptr; ++i) {
    auto* e = static_cast<RiffInfoEntry*>(std::calloc(1, sizeof(RiffInfoEntry)));
    if (e == nullptr) {
      RiffInfoListFree(&header);
      return RIFFERR_NOMEMORY;
    }
    e->index = WORD(i);
    *tail = e;
    tail = &e->next;
  }
  *list = header;
  return RIFFERR_NOERROR;
}

int RiffInfoListRead(HMMIO h, const MMCKINFO* ck, RiffInfoList* list) {
  if (h == nullptr || ck == nullptr || list == nullptr) return RIFFERR_BADPARAM;
  const std::int64_t length = std::int64_t(ck->cksize) - 4;
  if (length <= 0) return RIFFERR_NOERROR;
  // A size that claims more than the file holds cannot be read.
  const std::int64_t available = bytesAvailable(h);
  if (available < length) return RIFFERR_FILEERROR;

  // One zero beyond the block keeps every text terminated inside it.
  char* raw = static_cast<char*>(std::calloc(size_t(length) + 1, 1));
  if (raw == nullptr) return RIFFERR_NOMEMORY;
  if (mmioRead(h, raw, LONG(length)) != LONG(length)) {
    std::free(raw);
    return RIFFERR_FILEERROR;
  }
  // The texts of an earlier list pointed into its block, which goes now.
  std::free(list->raw);
  for (RiffInfoEntry* e = list->first; e != nullptr; e = e->next) e->textOffset = e->textSize = 0;
  list->raw = raw;
  list->rawLength = LONG(length);

  std::int64_t offset = 0;
  while (offset + 8 <= length) {
    FOURCC id;
    DWORD size;
    std::memcpy(&id, raw + offset, 4);
    std::memcpy(&size, raw + offset + 4, 4);
    if (size > length - offset - 8) break;  // its text would run past the block
    for (int i = 0; RiffInfoIds[i].id != nullptr; ++i) {
      if (id != mmioStringToFOURCCA(RiffInfoIds[i].id, 0)) continue;
      if (RiffInfoEntry* e = entryFor(list, i)) {
        e->textOffset = LONG(offset + 8);
        e->textSize = LONG(size);
      }
      break;
    }
    offset += std::int64_t(size) + (size & 1) + 8;
  }
  return RIFFERR_NOERROR;
}

const char* RiffInfoEntryText(const RiffInfoList* list, const RiffInfoEntry* entry) {
  if (list == nullptr || entry == nullptr) return nullptr;
  size_t length = 0;
  const char* text = entryText(list, entry, &length);
  return text != nullptr && length > 0 ? text : nullptr;
}

int RiffInfoListSetText(RiffInfoList* list, int index, const char* text) {
  if (list == nullptr) return RIFFERR_BADPARAM;
  RiffInfoEntry* e = entryFor(list, index);
  if (e == nullptr) return RIFFERR_BADPARAM;
  char* copy = copyText(text != nullptr ? text : "");
  if (copy == nullptr) return RIFFERR_NOMEMORY;
  std::free(e->text);
  e->text = copy;
  e->flags |= RIFF_INFO_CHANGED;
  return RIFFERR_NOERROR;
}

int RiffInfoListWrite(HMMIO h, const RiffInfoList* list) {
  if (h == nullptr || list == nullptr) return RIFFERR_BADPARAM;
  MMCKINFO listCk{};
  bool created = false;
  for (const RiffInfoEntry* e = list->first; e != nullptr; e = e->next) {
    size_t length = 0;
    const char* text = entryText(list, e, &length);
    if (text == nullptr || length == 0 || e->index >= RIFF_INFO_ID_COUNT) continue;
    if (!created) {
      listCk.fccType = FOURCC_INFO;
      if (mmioCreateChunk(h, &listCk, MMIO_CREATELIST) != MMSYSERR_NOERROR) return RIFFERR_FILEERROR;
      created = true;
    }
    MMCKINFO sub{};
    sub.ckid = mmioStringToFOURCCA(RiffInfoIds[e->index].id, 0);
    sub.cksize = DWORD(length + 1);
    if (mmioCreateChunk(h, &sub, 0) != MMSYSERR_NOERROR) return RIFFERR_FILEERROR;
    const char zero = 0;
    if (mmioWrite(h, text, LONG(length)) != LONG(length) || mmioWrite(h, &zero, 1) != 1)
      return RIFFERR_FILEERROR;
    if (mmioAscend(h, &sub, 0) != MMSYSERR_NOERROR) return RIFFERR_FILEERROR;
  }
  if (created && mmioAscend(h, &listCk, 0) != MMSYSERR_NOERROR) return RIFFERR_FILEERROR;
  return RIFFERR_NOERROR;
}

int RiffInfoListFree(RiffInfoList** list) {
  if (list == nullptr || *list == nullptr) return RIFFERR_BADPARAM;
  RiffInfoList* header = *list;
  std::free(header->raw);
  for (RiffInfoEntry* e = header->first; e != nullptr;) {
    RiffInfoEntry* next = e->next;
    std::free(e->text);
    std::free(e);
    e = next;
  }
  std::free(header);
  *list = nullptr;
  return RIFFERR_NOERROR;
}

int RiffDispListCreate(RiffDispList** list) {
  if (list == nullptr) return RIFFERR_BADPARAM;
  *list = static_cast<RiffDispList*>(std::calloc(1, sizeof(RiffDispList)));
  return *list != nullptr ? RIFFERR_NOERROR : RIFFERR_NOMEMORY;
}

int RiffDispRead(HMMIO h, const MMCKINFO* ck, RiffDispList* list) {
  if (h == nullptr || ck == nullptr || list == nullptr) return RIFFERR_BADPARAM;
  if (ck->cksize <= 4) return RIFFERR_NOERROR;
  const DWORD size = ck->cksize - 4;
  if (bytesAvailable(h) < std::int64_t(ck->cksize)) return RIFFERR_FILEERROR;

  auto* e = static_cast<RiffDispEntry*>(std::calloc(1, sizeof(RiffDispEntry)));
  char* data = static_cast<char*>(std::calloc(size_t(size) + 1, 1));
  if (e == nullptr || data == nullptr) {
    std::free(e);
    std::free(data);
    return RIFFERR_NOMEMORY;
  }
  if (mmioRead(h, reinterpret_cast<char*>(&e->type), 4) != 4 || mmioRead(h, data, LONG(size)) != LONG(size)) {
    std::free(e);
    std::free(data);
    return RIFFERR_FILEERROR;
  }
  e->data = data;
  e->dataSize = size;
  RiffDispEntry** tail = &list->first;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = e;
  return RIFFERR_NOERROR;
}

int RiffDispListWrite(HMMIO h, const RiffDispList* list) {
  if (h == nullptr || list == nullptr) return RIFFERR_BADPARAM;
  for (const RiffDispEntry* e = list->first; e != nullptr; e = e->next) {
    if (e->type != RIFF_DISP_TEXT && e->type != RIFF_DISP_DIB) continue;
    const char* data = e->replacement;
    DWORD size = e->replacementSize;
    if (data == nullptr && !(e->flags & RIFF_DISP_REMOVED)) {
      data = e->data;
      size = e->dataSize;
    }
    if (data == nullptr || size == 0 || data[0] == 0) continue;
    // Text is written with its zero; both data areas hold one after their size.
    const DWORD length =
        e->type == RIFF_DISP_TEXT ? DWORD(strnlen(data, size)) + 1 : bitmapBytes(data, size);
    if (!writeDisp(h, e->type, data, length)) return RIFFERR_FILEERROR;
  }
  return RIFFERR_NOERROR;
}

int RiffDispListFree(RiffDispList** list, bool freeHeader) {
  if (list == nullptr || *list == nullptr) return RIFFERR_BADPARAM;
  for (RiffDispEntry* e = (*list)->first; e != nullptr;) {
    RiffDispEntry* next = e->next;
    std::free(e->data);
    std::free(e->replacement);
    std::free(e);
    e = next;
  }
  (*list)->first = nullptr;
  if (freeHeader) {
    std::free(*list);
    *list = nullptr;
  }
  return RIFFERR_NOERROR;
}
