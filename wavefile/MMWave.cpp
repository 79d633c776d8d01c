#include "wavefile/MMWave.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/language/language.h"
#include "platform/waveformat.h"
#include "wavefile/MMWaveIO.h"

namespace {

constexpr std::int32_t kMinIOBuffer = 8192;
// The longest path the system opens (PATH_MAX counts the terminating zero).
constexpr std::size_t kMaxPath = PATH_MAX - 1;

std::string ExpandFileName(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  if (ec) return name;
  return p.lexically_normal().string();
}

// Size of the named file on disk, -1 when it is missing.
std::int64_t DiskFileSize(const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(name, ec);
  if (ec) return -1;
  return static_cast<std::int64_t>(size);
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(name, ec);
}

}  // namespace

// ================================================================ TMMWave

TMMWave::TMMWave() = default;

TMMWave::~TMMWave() {
  FObservers.clear();
  CloseFile();
  FreeBlock();
}

void TMMWave::Assign(const TMMWave& Source) {
  if (&Source == this) return;
  BeginUpdate();
  try {
    FFileMustExist = Source.FFileMustExist;
    SetIOBufferSize(Source.FIOBufferSize);
    SetTimeFormat(Source.FTimeFormat);
    SetFileName(Source.FFileName);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---------------------------------------------------------------- properties

void TMMWave::SetFileMustExist(bool Value) {
  if (HasMemoryImage()) return;
  FFileMustExist = Value;
}

void TMMWave::SetTimeFormat(TMMTimeFormats Value) {
  if (Value == FTimeFormat) return;
  FTimeFormat = Value;
  RebuildPlayList();
}

void TMMWave::SetIOBufferSize(std::int32_t Value) {
  Value = std::max(Value, kMinIOBuffer);
  if (Value == FIOBufferSize) return;
  FIOBufferSize = Value;
  if (FWaveIOBlock && FWaveIOBlock->handle) {
    if (WaveFileSetIOBuffer(FWaveIOBlock, FIOBufferSize) != WIOERR_NOERROR) throw EMMWaveError(wavemsg::kIOBuffer);
  }
}

WORD TMMWave::BitLength() const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? f->wBitsPerSample : 0;
}

TMMMode TMMWave::Mode() const {
  const PWaveFormatEx f = GetPWaveFormat();
  if (!f) return mMono;
  if (f->nChannels == 2) return mStereo;
  if (f->nChannels > 2) return mMultiChannel;
  return mMono;
}

WORD TMMWave::FormatTag() const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? f->wFormatTag : 0;
}

std::string TMMWave::FormatString() const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? wioGetFormatName(f) : "Unknown";
}

std::int32_t TMMWave::SampleRate() const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? static_cast<std::int32_t>(f->nSamplesPerSec) : 11025;
}

std::int32_t TMMWave::FileSize() const { return FWaveIOBlock ? FWaveIOBlock->fileSize : 0; }

std::int32_t TMMWave::DataSize() const {
  return FWaveIOBlock ? SamplesToTime(FWaveIOBlock->totalSamples) : 0;
}

// ---------------------------------------------------------------- conversions

PWaveFormatEx TMMWave::GetPWaveFormat() const { return FWaveIOBlock ? &FWaveIOBlock->format : nullptr; }

std::int32_t TMMWave::SamplesToBytes(std::int32_t Samples) const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? wioSamplesToBytes(f, Samples) : 0;
}

std::int32_t TMMWave::BytesToSamples(std::int32_t Bytes) const {
  const PWaveFormatEx f = GetPWaveFormat();
  return f ? wioBytesToSamples(f, Bytes) : 0;
}

std::int32_t TMMWave::SamplesToTime(std::int32_t Samples) const {
  const PWaveFormatEx f = GetPWaveFormat();
  if (!f) return 0;
  switch (FTimeFormat) {
    case tfMillisecond:
      return wioSamplesToTime(f, Samples);
    case tfByte:
      return wioSamplesToBytes(f, Samples);
    case tfSample:
      break;
  }
  return Samples;
}

std::int32_t TMMWave::TimeToSamples(std::int32_t Time) const {
  const PWaveFormatEx f = GetPWaveFormat();
  if (!f) return 0;
  switch (FTimeFormat) {
    case tfMillisecond:
      return wioTimeToSamples(f, Time);
    case tfByte:
      return wioBytesToSamples(f, Time);
    case tfSample:
      break;
  }
  return Time;
}

std::int32_t TMMWave::PlayLengthSamples() const {
  if (FPlayList.empty()) return FRangeEnd - FRangeStart;
  std::int64_t sum = 0;
  for (const Segment& s : FPlayList) sum += s.samples;
  return static_cast<std::int32_t>(sum);
}

std::int32_t TMMWave::GetPosition() const { return FWaveIOBlock ? SamplesToTime(FPosition) : -1; }

std::int32_t TMMWave::GetPlayLength() const { return SamplesToTime(PlayLengthSamples()); }

void TMMWave::RebuildPlayList() {
  FPlayList.clear();
  if (!GetPWaveFormat()) return;
  const std::int32_t length = std::max(FRangeEnd - FRangeStart, 0);
  FPlayList.push_back({FRangeStart, SamplesToBytes(FRangeStart), length, SamplesToBytes(length)});
}

// ---------------------------------------------------------------- observers

void TMMWave::AddObserver(TMMWaveObserver* Observer) {
  if (Observer && std::find(FObservers.begin(), FObservers.end(), Observer) == FObservers.end())
    FObservers.push_back(Observer);
}

void TMMWave::RemoveObserver(TMMWaveObserver* Observer) {
  FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), Observer), FObservers.end());
}

void TMMWave::Changed() {
  if (FUpdateLock > 0) {
    FChangePending = true;
    return;
  }
  FChangePending = false;
  // An observer may remove itself while being told.
  const std::vector<TMMWaveObserver*> observers = FObservers;
  for (TMMWaveObserver* o : observers) {
    if (std::find(FObservers.begin(), FObservers.end(), o) != FObservers.end()) o->WaveChanged(this);
  }
}

void TMMWave::BeginUpdate() { ++FUpdateLock; }

void TMMWave::EndUpdate() {
  if (FUpdateLock > 0 && --FUpdateLock == 0 && FChangePending) Changed();
}

// ---------------------------------------------------------------- blocks

void TMMWave::FreeBlock() {
  if (FWaveIOBlock) WaveFileFree(&FWaveIOBlock);
  FWaveIOBlock = nullptr;
}

void TMMWave::Clear() {
  CloseFile();
  FFileName.clear();
  FreeBlock();
  FPlayList.clear();
  FRangeStart = FRangeEnd = 0;
  FPosition = 0;
  FPlayBytesLeft = 0;
  FPlayLength = 0;
  FSegIndex = -1;
  FSegBytesLeft = 0;
}

void TMMWave::TakeBlock(WaveIOBlock* Block) {
  FWaveIOBlock = Block;
  FRangeStart = Block->firstSample;
  FRangeEnd = Block->lastSample;
  FPosition = Block->position;
  FPlayBytesLeft = Block->bytesLeft;
}

void TMMWave::AttachBlock(WaveIOBlock* Block) {
  if (HasMemoryImage()) throw EMMWaveError(wavemsg::kMemoryWave);
  if (Block == FWaveIOBlock) return;
  Clear();
  TakeBlock(Block);
  if ((Block->mode & WIOF_PLAIN_FILE) && Block->fileName) FFileName = Block->fileName;
  RebuildPlayList();
  Changed();
}

namespace {

// The wave's own text, then the file and the system's reason (an errno
// value; EIO when the failed call left none) on a second line.
[[noreturn]] void RaiseFileError(const char* text, QString (*line)(const QString&, int), const std::string& name,
                                 int error) {
  throw EMMWaveError(std::string(text) + "\n" + line(QString::fromStdString(name), error ? error : EIO).toStdString());
}

// A file that is there but holds no wave the file layer can read.
[[noreturn]] void RaiseInvalid(const std::string& name) {
  throw EMMWaveError(std::string(wavemsg::kInvalidFile) + "\n" +
                     language::NotAWave(QString::fromStdString(name)).toStdString());
}

}  // namespace

void TMMWave::SetFileName(const std::string& Value) {
  const std::string name = Value.empty() ? std::string() : ExpandFileName(Value);

  if (HasMemoryImage()) {
    // A wave held in memory takes the named file's bytes whole.
    if (name.empty()) return;
    std::vector<char> bytes;
    try {
      if (WaveFileReadImage(name.c_str(), bytes) != WIOERR_NOERROR) throw EMMWaveError(wavemsg::kErrorReading);
      TakeImage(std::move(bytes));
    } catch (const EMMWaveError&) {
      if (FileExists(name) && !WaveFileIsValid(name.c_str(), WIOF_OPEN_FILE)) RaiseInvalid(name);
      throw EMMWaveError(wavemsg::kErrorReading);
    }
    return;
  }

  if (name == FFileName && DiskFileSize(name) == FileSize()) return;

  if (name.empty()) {
    if (!FFileName.empty() || FWaveIOBlock) {
      Clear();
      Changed();
    }
    return;
  }

  // The file this wave is still writing is finished before it is read
  // again: its sizes and the last of its data are not on the disk yet, and
  // a block read from there would describe only part of the take.
  if (FWaveIOBlock && FWaveIOBlock->handle && name == FFileName) CloseFile();

  const bool exists = FileExists(name);
  WaveIOBlock* block = nullptr;
  errno = exists ? 0 : ENOENT;
  if (exists && WaveFileOpen(&block, name.c_str(), FOURCC_WAVE, WIOF_OPEN_FILE) == WIOERR_NOERROR) {
    Clear();
    TakeBlock(block);
    FFileName = name;
    RebuildPlayList();
    Changed();
    return;
  }
  if (exists || FFileMustExist) {
    const int error = errno;
    if (exists && !WaveFileIsValid(name.c_str(), WIOF_OPEN_FILE)) RaiseInvalid(name);
    RaiseFileError(wavemsg::kErrorReading, language::CannotOpen, name, error);
  }
  // A file that recording will create.
  Clear();
  FFileName = name;
  Changed();
}

void TMMWave::LoadFromMemory(const void* Data, std::size_t Size) {
  if (!Data || Size == 0) throw EMMWaveError(wavemsg::kErrorReading);
  TakeImage(std::vector<char>(static_cast<const char*>(Data), static_cast<const char*>(Data) + Size));
}

void TMMWave::TakeImage(std::vector<char> Image) {
  // The new image is opened before the old one goes, so a failed load
  // leaves the wave as it was. The block reads the image in place (a memory
  // file of the platform's file I/O); moving the vector keeps its bytes
  // where the block found them.
  WaveIOBlock* block = nullptr;
  if (Image.empty() || WaveFileOpenMemory(&block, Image.data(), static_cast<LONG>(Image.size())) != WIOERR_NOERROR)
    throw EMMWaveError(wavemsg::kErrorReading);
  Clear();
  FMemory = std::move(Image);
  TakeBlock(block);
  RebuildPlayList();
  Changed();
}

void TMMWave::CreateWaveFile(const std::string& Name, const WAVEFORMATEX* Format) {
  if (HasMemoryImage()) throw EMMWaveError(wavemsg::kMemoryWave);
  if (Name.empty() || !Format) return;
  const std::string name = ExpandFileName(Name);
  WaveIOBlock* block = nullptr;
  bool ok = name.size() <= kMaxPath && WaveFileNameIsValid(name.c_str());
  if (ok) {
    if (FileExists(name)) {
      // The old file goes; a handle of our own on it is closed first.
      if (FWaveIOBlock && FWaveIOBlock->fileName && name == FWaveIOBlock->fileName) Clear();
      WaveFileDelete(name.c_str());
    }
    errno = 0;
    ok = WaveFileFromFormat(&block, Format) == WIOERR_NOERROR && WaveFileCreate(block, name.c_str()) == WIOERR_NOERROR;
  } else {
    errno = name.size() > kMaxPath ? ENAMETOOLONG : EINVAL;
  }
  if (!ok) {
    const int error = errno;
    if (block) {
      WaveFileClose(block);
      WaveFileFree(&block);
    }
    RaiseFileError(wavemsg::kCreate, language::CannotCreate, name, error);
  }
  AttachBlock(block);
  FFileName = name;
  FUnsyncedBytes = 0;
  if (WaveFileSetIOBuffer(FWaveIOBlock, FIOBufferSize) != WIOERR_NOERROR) {
    // Its header could not be written out (a full disk): the file made
    // here goes again and the wave is left named only.
    FreeBlock();
    Clear();
    FFileName = name;
    WaveFileDelete(name.c_str());
    throw EMMWaveError(wavemsg::kIOBuffer);
  }
}

void TMMWave::OpenFile() {
  if (!FWaveIOBlock) return;
  errno = 0;
  if (WaveFileReopen(FWaveIOBlock) != WIOERR_NOERROR)
    RaiseFileError(wavemsg::kOpen, language::CannotOpen, FFileName, errno);
  if (WaveFileSetIOBuffer(FWaveIOBlock, FIOBufferSize) != WIOERR_NOERROR) throw EMMWaveError(wavemsg::kIOBuffer);
  RebuildPlayList();
  FOpen = true;
  FUnsyncedBytes = 0;
  SetPosition(GetPosition());
}

void TMMWave::CloseFile() {
  // A failure of the finishing sequence is not reported: the handle is
  // closed either way and what was written stays.
  if (FWaveIOBlock) WaveFileClose(FWaveIOBlock);
  FOpen = false;
  FPosition = 0;
  FPlayBytesLeft = 0;
}

// ---------------------------------------------------------------- positions

void TMMWave::SeekBlock(std::int32_t Sample) {
  if (WaveFileSeek(FWaveIOBlock, Sample) != WIOERR_NOERROR &&
      WaveFileSeek(FWaveIOBlock, Sample) != WIOERR_NOERROR)
    throw EMMWaveError(wavemsg::kSeek);
}

void TMMWave::SetPosition(std::int32_t Time) {
  if (!FWaveIOBlock) return;
  FPosition = TimeToSamples(Time);
  std::int32_t p = FPosition;
  if (FOpen) {
    const std::int32_t length = PlayLengthSamples();
    p = std::clamp(p, 0, std::max(length, 0));
    FPlayLength = SamplesToBytes(length);
    FPlayBytesLeft = FPlayLength - SamplesToBytes(p);
    FSegIndex = -1;
    FSegBytesLeft = -1;
  }
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < FPlayList.size(); ++i) {
    const Segment& s = FPlayList[i];
    sum += s.samples;
    if (sum >= p) {
      SeekBlock(static_cast<std::int32_t>(s.startSample + s.samples - (sum - p)));
      FSegBytesLeft = SamplesToBytes(static_cast<std::int32_t>(sum - p));
      FSegIndex = static_cast<std::int32_t>(i);
      return;
    }
  }
  throw EMMWaveError(wavemsg::kSeek);
}

// ---------------------------------------------------------------- data

std::int32_t TMMWave::ReadData(char* Buffer, std::int32_t Bytes) {
  return FWaveIOBlock ? WaveFileRead(FWaveIOBlock, Buffer, Bytes) : -1;
}

std::int32_t TMMWave::ReadPlayData(char* Buffer, std::int32_t Bytes) {
  if (!FWaveIOBlock || FPlayBytesLeft <= 0) return -1;
  std::int32_t remaining = std::min(Bytes, FPlayBytesLeft);
  std::int32_t count = 0;
  while (remaining > 0) {
    if (FSegIndex >= 0 && FSegBytesLeft > 0) {
      const std::int32_t n = ReadData(Buffer + count, std::min(remaining, FSegBytesLeft));
      if (n < 1) break;
      count += n;
      remaining -= n;
      FSegBytesLeft -= n;
    } else {
      ++FSegIndex;
      if (FSegIndex >= static_cast<std::int32_t>(FPlayList.size())) {
        FPlayBytesLeft = 0;
        break;
      }
      FSegBytesLeft = FPlayList[FSegIndex].bytes;
      SeekBlock(FPlayList[FSegIndex].startSample);
    }
  }
  if (count == 0) {
    // Play bytes were left but the file gave nothing: deliver one short
    // buffer of silence and end the playback.
    const std::int32_t zero = 0;
    std::memcpy(Buffer, &zero, sizeof zero);
    FPlayBytesLeft = 0;
    FSegBytesLeft = 0;
    FPosition = PlayLengthSamples();
    return 4;
  }
  FPlayBytesLeft = std::max(FPlayBytesLeft - count, 0);
  FPosition = BytesToSamples(FPlayLength - FPlayBytesLeft);
  return count;
}

std::int32_t TMMWave::WriteData(const char* Buffer, std::int32_t Bytes) {
  if (HasMemoryImage()) throw EMMWaveError(wavemsg::kMemoryWave);
  if (!FWaveIOBlock) return -1;
  std::int32_t written = WaveFileWrite(FWaveIOBlock, Buffer, Bytes);
  FRangeEnd = FWaveIOBlock->lastSample;
  // The position follows the data written, so that it tells where the next
  // buffer goes.
  FPosition = FWaveIOBlock->position;
  RebuildPlayList();
  if (written > 0) {
    FUnsyncedBytes += written;
    if (FUnsyncedBytes >= std::max<std::int64_t>(FWaveIOBlock->format.nAvgBytesPerSec / 2, 1)) {
      if (WaveFileUpdateSizes(FWaveIOBlock) != WIOERR_NOERROR) written = 0;
      FUnsyncedBytes = 0;
    }
  }
  return written;
}

std::string MMFormatName(const WAVEFORMATEX* Format) { return Format ? wioGetFormatName(Format) : "Unknown"; }

std::string MMFormatDescription(const WAVEFORMATEX* Format) {
  return Format ? wioGetFormatDescription(Format) : "Unknown";
}
