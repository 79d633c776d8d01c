#include "mp3/WavInput.h"

#include <QIODevice>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "wavefile/MMWaveIO.h"

namespace {

constexpr WORD kFormatPcm = 1;
constexpr WORD kFormatExtensible = 0xFFFE;

DWORD ReadU32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | DWORD(p[3]) << 24; }
WORD ReadU16(const unsigned char* p) { return WORD(p[0] | p[1] << 8); }

DWORD ClampU32(qint64 n) {
  return static_cast<DWORD>(std::clamp<qint64>(n, 0, std::numeric_limits<DWORD>::max()));
}

bool ReadAt(QIODevice& f, qint64 pos, void* buf, qint64 len) {
  return f.seek(pos) && f.read(static_cast<char*>(buf), len) == len;
}

struct ChunkHeader {
  char id[4];
  DWORD size;
};

bool ReadChunkHeader(QIODevice& f, qint64 pos, ChunkHeader& h) {
  unsigned char raw[8];
  if (!ReadAt(f, pos, raw, 8)) return false;
  std::memcpy(h.id, raw, 4);
  h.size = ReadU32(raw + 4);
  return true;
}

// A plausible chunk header: an id of letters, digits and spaces, and a size
// that fits what is left of the file.
bool LooksLikeChunk(const ChunkHeader& h, qint64 bytesAfterHeader) {
  for (char c : h.id)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == ' ')) return false;
  return h.size <= bytesAfterHeader;
}

// The "fmt " chunk: tag, channels, rate, byte rate, block alignment, bits.
bool ReadFormat(QIODevice& f, qint64 body, qint64 len, TWavInput& r) {
  unsigned char fmt[26] = {};
  if (len < 16 || !ReadAt(f, body, fmt, std::min<qint64>(len, sizeof fmt))) return false;
  r.FormatTag = ReadU16(fmt);
  r.Channels = ReadU16(fmt + 2);
  r.SamplesPerSec = ReadU32(fmt + 4);
  r.BlockAlign = ReadU16(fmt + 12);
  r.BitsPerSample = ReadU16(fmt + 14);
  if (r.FormatTag == kFormatExtensible && len >= 26) r.FormatTag = ReadU16(fmt + 24);
  return true;
}

// A "data" chunk declared empty is either really empty (another chunk
// follows at once, as when a recording was closed without sound) or was never
// closed, and its sound runs to the end of the file.
qint64 DataToNextChunk(QIODevice& f, qint64 body, qint64 fileSize) {
  ChunkHeader next{};
  if (fileSize - body >= 8 && ReadChunkHeader(f, body, next) &&
      LooksLikeChunk(next, fileSize - body - 8))
    return 0;
  return fileSize - body;
}

// The format's name as the file layer knows it, with its tag.
QString FormatName(WORD tag) {
  WAVEFORMATEX f{};
  f.wFormatTag = tag;
  const QString name = QString::fromLatin1(wioGetFormatName(&f));
  const QString number = QStringLiteral("format tag 0x%1").arg(tag, 4, 16, QLatin1Char('0'));
  return name == QLatin1String("Unknown") ? number : QStringLiteral("%1 (%2)").arg(name, number);
}

// Why the file cannot be encoded, or empty. A wrong block alignment is no
// reason: for 16-bit PCM it is recomputed from the channels.
QString CheckFormat(TWavInput& r) {
  if (r.FormatTag != kFormatPcm)
    return QStringLiteral("only 16-bit PCM can be encoded, this file holds %1").arg(FormatName(r.FormatTag));
  if (r.BitsPerSample != 16)
    return QStringLiteral("only 16-bit PCM can be encoded, this file holds %1-bit PCM").arg(r.BitsPerSample);
  if (r.Channels != 1 && r.Channels != 2)
    return QStringLiteral("only one or two channels can be encoded, this file holds %1 channels").arg(r.Channels);
  if (r.SamplesPerSec == 0) return QStringLiteral("the file states a sample rate of 0");
  r.BlockAlign = WORD(2 * r.Channels);
  return {};
}

}  // namespace

TWavInput ProbeWavInput(QIODevice& f) {
  TWavInput r;
  const qint64 size = f.size();
  unsigned char riff[12];
  r.IsWave = size >= 12 && ReadAt(f, 0, riff, 12) && std::memcmp(riff + 8, "WAVE", 4) == 0;
  if (!r.IsWave) {
    r.DataSize = ClampU32(size);
    return r;
  }

  bool haveFormat = false;
  bool haveData = false;
  // Every step moves at least 8 bytes on, so the walk ends within the file.
  for (qint64 pos = 12; pos + 8 <= size;) {
    ChunkHeader h{};
    if (!ReadChunkHeader(f, pos, h)) break;
    const qint64 body = pos + 8;
    const qint64 avail = size - body;
    if (std::memcmp(h.id, "fmt ", 4) == 0) {
      haveFormat = ReadFormat(f, body, std::min<qint64>(h.size, avail), r);
    } else if (std::memcmp(h.id, "data", 4) == 0 && !haveData) {
      haveData = true;
      r.DataOffset = body;
      r.DataSize =
          ClampU32(h.size == 0 ? DataToNextChunk(f, body, size) : std::min<qint64>(h.size, avail));
      if (haveFormat || h.size == 0) break;
    }
    pos = body + h.size + (h.size & 1);  // chunks are padded to even sizes
  }

  if (!haveFormat)
    r.Error = QStringLiteral("the WAVE file has no valid \"fmt \" chunk");
  else if (!haveData)
    r.Error = QStringLiteral("the WAVE file has no \"data\" chunk");
  else
    r.Error = CheckFormat(r);
  return r;
}
