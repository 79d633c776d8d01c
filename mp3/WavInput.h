// Where the sound of a conversion input lies: a small, bounded reader of the
// RIFF chunks of a WAVE file, or the whole file for raw PCM.
#pragma once

#include <QString>

#include "platform/mmsystem.h"

class QIODevice;

struct TWavInput {
  // Bytes 8 to 11 of the file are "WAVE". Anything else is raw PCM.
  bool IsWave = false;
  // The sound: for WAVE the body of the "data" chunk, its declared size cut
  // to the file (or, declared as 0, up to the next chunk or the end of the
  // file); for raw PCM the whole file from byte 0.
  qint64 DataOffset = 0;
  DWORD DataSize = 0;
  // From the "fmt " chunk (WAVE only); an extensible format reports the tag
  // of its sub-format.
  WORD FormatTag = 0;
  WORD Channels = 0;
  DWORD SamplesPerSec = 0;
  WORD BlockAlign = 0;  // recomputed (2 x channels) for 16-bit PCM
  WORD BitsPerSample = 0;
  // Why a WAVE input cannot be encoded, naming the reason; empty when it can
  // (16-bit PCM, one or two channels, whatever block alignment it states).
  QString Error;
};

// Examines an open, seekable file. Reads only chunk headers and the format
// chunk; every size is checked against the file's length. Leaves the file
// position unspecified.
TWavInput ProbeWavInput(QIODevice& file);
