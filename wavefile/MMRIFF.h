// RIFF metadata that a WAVE file carries through a rewrite unchanged: the
// "LIST"/"INFO" text entries and the "DISP" display chunks.
//
// Lists live on the heap (zero-filled) and belong to the wave I/O block that
// created them. Every operation returns one of the RIFFERR_* codes and raises
// nothing.
#pragma once

#include "platform/mmio/mmio.h"

constexpr int RIFFERR_NOERROR = 0;
constexpr int RIFFERR_BADPARAM = 2;    // missing file or list
constexpr int RIFFERR_FILEERROR = 3;   // read or write failed
constexpr int RIFFERR_NOMEMORY = 4;

constexpr FOURCC FOURCC_INFO = mmioFOURCC('I', 'N', 'F', 'O');
constexpr FOURCC FOURCC_DISP = mmioFOURCC('D', 'I', 'S', 'P');

// One row of the identifier table of the text entry list.
struct RiffInfoId {
  const char* id;  // null ends the table
  const char* label;
  const char* description;  // never shown
};

// The 23 identifiers in table order, then a row without identifier.
extern const RiffInfoId RiffInfoIds[24];
constexpr int RIFF_INFO_ID_COUNT = 23;

// An entry's text is its replacement text when it has one, else the text at
// `textOffset` in the list's raw block (0 = none there).
struct RiffInfoEntry {
  WORD index;         // row of RiffInfoIds
  WORD flags;         // RIFF_INFO_CHANGED once the text was replaced
  LONG textOffset;    // into RiffInfoList::raw
  char* text;         // replacement text (owned) or null
  RiffInfoEntry* next;
  LONG textSize;      // bytes the sub-chunk gives the text in the raw block
};
constexpr WORD RIFF_INFO_CHANGED = 1;

struct RiffInfoList {
  char* raw;          // the "INFO" list's data as read (owned), or null
  LONG rawLength;     // bytes of `raw`
  RiffInfoEntry* first;
};

struct RiffDispEntry {
  DWORD type;         // clipboard format: RIFF_DISP_TEXT or RIFF_DISP_DIB
  WORD flags;         // RIFF_DISP_REMOVED: the data read is not written back
  char* data;         // data read from the file (owned), zero-terminated
  char* replacement;  // replacement data (owned, zero after its size) or null
  RiffDispEntry* next;
  DWORD dataSize;         // bytes of `data`, without the added zero
  DWORD replacementSize;  // bytes of `replacement`
};
constexpr DWORD RIFF_DISP_TEXT = 1;
constexpr DWORD RIFF_DISP_DIB = 8;
constexpr WORD RIFF_DISP_REMOVED = 1;

struct RiffDispList {
  RiffDispEntry* first;
};

// A new list with one entry per identifier, in table order, all without text.
int RiffInfoListCreate(RiffInfoList** list);

// Reads the text entries of a "LIST" chunk of type "INFO". `h` stands after
// the type; `ck` is the list's descriptor. A later list replaces the texts of
// an earlier one. Sub-chunks that would run past the list are not read.
int RiffInfoListRead(HMMIO h, const MMCKINFO* ck, RiffInfoList* list);

// Writes the entries that have a non-empty text as a "LIST"/"INFO" chunk at
// the current position. No such entry: nothing is written.
int RiffInfoListWrite(HMMIO h, const RiffInfoList* list);

// The text an entry would be written with, or null.
const char* RiffInfoEntryText(const RiffInfoList* list, const RiffInfoEntry* entry);

// Gives the entry of table row `index` a replacement text (copied; null or ""
// removes the text).
int RiffInfoListSetText(RiffInfoList* list, int index, const char* text);

// Frees the raw block, the replacement texts, the entries and the list, and
// clears `*list`.
int RiffInfoListFree(RiffInfoList** list);

// An empty display list.
int RiffDispListCreate(RiffDispList** list);

// Reads a "DISP" chunk (`h` at its data) and appends it to the list. Chunks
// of 4 bytes or less are ignored.
int RiffDispRead(HMMIO h, const MMCKINFO* ck, RiffDispList* list);

// Writes one "DISP" chunk for each text or bitmap entry that has data.
int RiffDispListWrite(HMMIO h, const RiffDispList* list);

// Frees the entries (and their data); the list itself too when `freeHeader`
// is set, clearing `*list` then.
int RiffDispListFree(RiffDispList** list, bool freeHeader);
