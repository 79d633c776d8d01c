// The wave file object TMMWave: a file name, its format, its length and a
// current position in a chosen time unit, over the WAVE access functions.
// The chain component around it is in MMWaveFile.h.
//
// A TMMWave is empty (no block), described (a block without an open handle,
// after naming an existing file), named only (a file name and no block: the
// file will be created when recording starts) or open (after OpenFile or
// CreateWaveFile). CloseFile returns an open wave to described; Clear returns
// it to empty. No locks: every call comes from the thread that delivers the
// chain's buffers, the main thread in this program.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/MMTypes.h"
#include "platform/mmsystem.h"

struct WaveIOBlock;
class TMMWave;

// Errors of the wave file object; the message is one of the texts below.
class EMMWaveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace wavemsg {
inline constexpr const char* kErrorReading = "Error reading wave file";
inline constexpr const char* kInvalidFile = "Invalid wave file...";
inline constexpr const char* kMemoryWave = "Can't write to MemoryWave";
inline constexpr const char* kIOBuffer = "Unable to setup file IO buffer";
inline constexpr const char* kOpen = "Unable to open wave file";
inline constexpr const char* kCreate = "Unable to create wave file";
inline constexpr const char* kSeek = "Error seeking file position";
}  // namespace wavemsg

// Told of every change of a wave (a new file, a new block).
class TMMWaveObserver {
 public:
  virtual ~TMMWaveObserver() = default;
  virtual void WaveChanged(TMMWave* Sender) = 0;
};

// (Sender, CurByte, NumBytes, Cancel). Never raised on this program's paths.
using TMMWaveProgress = std::function<void(TMMWave* Sender, std::int32_t CurByte, std::int32_t NumBytes, bool& Cancel)>;

class TMMWave {
 public:
  TMMWave();
  virtual ~TMMWave();
  TMMWave(const TMMWave&) = delete;
  TMMWave& operator=(const TMMWave&) = delete;

  // Copies the settings and the file name of `Source` (one change notice).
  void Assign(const TMMWave& Source);

  // ---- published properties
  const std::string& FileName() const { return FFileName; }
  virtual void SetFileName(const std::string& Value);
  bool FileMustExist() const { return FFileMustExist; }
  void SetFileMustExist(bool Value);
  TMMTimeFormats TimeFormat() const { return FTimeFormat; }
  void SetTimeFormat(TMMTimeFormats Value);
  std::int32_t IOBufferSize() const { return FIOBufferSize; }
  // Values below 8192 become 8192; an open file gets the new buffer at once.
  void SetIOBufferSize(std::int32_t Value);
  WORD BitLength() const;
  TMMMode Mode() const;
  WORD FormatTag() const;
  std::string FormatString() const;
  std::int32_t SampleRate() const;
  std::int32_t FileSize() const;
  // Total samples in the time format; 0 without a block.
  std::int32_t DataSize() const;
  TMMWaveProgress OnProgress;

  // ---- operations
  virtual PWaveFormatEx GetPWaveFormat() const;
  virtual std::int32_t SamplesToBytes(std::int32_t Samples) const;
  virtual std::int32_t BytesToSamples(std::int32_t Bytes) const;
  virtual std::int32_t SamplesToTime(std::int32_t Samples) const;
  virtual std::int32_t TimeToSamples(std::int32_t Time) const;
  // Current position in the time format; -1 without a block.
  std::int32_t GetPosition() const;
  std::int32_t GetPlayLength() const;
  virtual void SetPosition(std::int32_t Time);
  // Reopens the described file for playing or writing at the position.
  virtual void OpenFile();
  virtual void CloseFile();
  // Creates a new file (deleting one of that name) and leaves it open for
  // writing.
  void CreateWaveFile(const std::string& Name, const WAVEFORMATEX* Format);
  virtual std::int32_t ReadData(char* Buffer, std::int32_t Bytes);
  // Reads along the play list; -1 when nothing is left to play.
  std::int32_t ReadPlayData(char* Buffer, std::int32_t Bytes);
  // Writes at the current position; -1 without a block. Every half second
  // of audio written, the file on disk is brought up to date (its sizes
  // written, see WaveFileUpdateSizes), so that a process killed while
  // recording leaves a file that every reader plays to within that much of
  // its end; a failure to do so counts as nothing written.
  std::int32_t WriteData(const char* Buffer, std::int32_t Bytes);
  bool IsEmpty() const { return DataSize() == 0; }
  std::int32_t PlayBytesLeft() const { return FPlayBytesLeft; }
  bool IsOpen() const { return FOpen; }
  void Clear();

  // A wave held in memory instead of a file (read only).
  void LoadFromMemory(const void* Data, std::size_t Size);
  bool HasMemoryImage() const { return !FMemory.empty(); }

  void AddObserver(TMMWaveObserver* Observer);
  void RemoveObserver(TMMWaveObserver* Observer);
  // Tells the observers, or marks a change pending while updates are held.
  void Changed();
  void BeginUpdate();
  void EndUpdate();

  // Hooks for descendants: progress of a long operation and a position
  // reset of the playback. Both do nothing here.
  virtual void DoProgress() {}
  virtual void ResetPosition() {}

  // The file access block (for tests and the chain component).
  WaveIOBlock* IOBlock() const { return FWaveIOBlock; }

 private:
  struct Segment {
    std::int32_t startSample;
    std::int32_t startByte;
    std::int32_t samples;
    std::int32_t bytes;
  };

  void RebuildPlayList();
  // Makes `Image` (a whole WAVE file) this wave's memory image.
  void TakeImage(std::vector<char> Image);
  void AttachBlock(WaveIOBlock* Block);
  // Makes `Block` this wave's block and takes its range, position and
  // bytes left to play.
  void TakeBlock(WaveIOBlock* Block);
  void FreeBlock();
  std::int32_t PlayLengthSamples() const;
  void SeekBlock(std::int32_t Sample);

  std::vector<char> FMemory;
  WaveIOBlock* FWaveIOBlock = nullptr;
  std::string FFileName;
  bool FFileMustExist = true;
  std::int32_t FIOBufferSize = 32768;
  TMMTimeFormats FTimeFormat = tfSample;
  std::int32_t FRangeStart = 0;
  std::int32_t FRangeEnd = 0;
  std::int32_t FPosition = 0;
  std::int32_t FPlayBytesLeft = 0;
  std::int32_t FPlayLength = 0;
  std::vector<Segment> FPlayList;
  std::int32_t FSegIndex = -1;
  std::int32_t FSegBytesLeft = 0;
  bool FOpen = false;
  // Bytes written since the file on disk was last brought up to date.
  std::int64_t FUnsyncedBytes = 0;
  int FUpdateLock = 0;
  bool FChangePending = false;
  std::vector<TMMWaveObserver*> FObservers;
};

// Human-readable names of a format from the wave file layer's table:
// "PCM", and "44.100 kHz, 16 Bit, Stereo" with the user's separators.
std::string MMFormatName(const WAVEFORMATEX* Format);
std::string MMFormatDescription(const WAVEFORMATEX* Format);
