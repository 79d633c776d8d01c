// The chain component TMMCustomWaveFile / TMMWaveFile around one TMMWave:
// it writes what reaches it into the file (recording) or feeds the chain
// from the file (playback).
#pragma once

#include <cstdint>

#include "audio/MMDSPObj.h"
#include "wavefile/MMWave.h"

// The chain component around one TMMWave. With an Input it records: the
// buffers pushed to it are written into the file. Without one it plays: the
// buffers pulled from it are filled from the file.
class TMMCustomWaveFile : public TMMDSPComponent, public TMMWaveObserver {
  Q_OBJECT
 public:
  explicit TMMCustomWaveFile(QObject* AOwner = nullptr);
  ~TMMCustomWaveFile() override;

  TMMWave* Wave() const { return FWave; }
  // Copies `Value` into the own wave.
  void SetWave(const TMMWave* Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  bool OverwriteExisting() const { return FOverwriteExisting; }
  void SetOverwriteExisting(bool Value) { FOverwriteExisting = Value; }
  // Whether the file is open for this run (set by Opened, cleared by Closed).
  bool FileOpened() const { return FFileOpened; }
  bool FileStarted() const { return FFileStarted; }
  // What the last recording did to the file, kept after it closed: the
  // bytes of recorded buffers that reached it, and whether it ended because
  // the file could not be written further (a disk about to fill, a failed
  // write). Both start again when a recording opens the file.
  std::int64_t RecordedBytes() const { return FRecordedBytes; }
  bool WriteFailed() const { return FWriteFailed; }

  TNotifyEvent OnOpen, OnClose, OnChange, OnChanged, OnLooping;

  void SetWaveFormat(const WAVEFORMATEX* Format) override;
  void Opened() override;
  void Closed() override;
  void Started() override;
  void Stopped() override;
  void PositionReset() override;
  // Recording path: runs on the delivering thread (the main thread in
  // cmWindow mode); one file write per buffer.
  void BufferReady(PMMBufferHeader lpWaveHdr) override;
  // Playback path: fills the buffer from the file.
  void BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) override;

  void WaveChanged(TMMWave* Sender) override;

 private:
  // Writes a recorded buffer unless the disk is about to fill; on trouble
  // the file is finished and closed.
  void WriteBuffer(PMMBufferHeader lpWaveHdr);

  TMMWave* FWave;
  std::int32_t FSavedPosition = 0;
  BYTE FSilence = 0;
  bool FEnabled = true;
  bool FFileOpened = false;
  bool FFileStarted = false;
  bool FOverwriteExisting = true;
  std::int64_t FRecordedBytes = 0;
  bool FWriteFailed = false;
};

// The published form: Wave, Input, Output, Enabled, OverwriteExisting and
// the five events.
class TMMWaveFile : public TMMCustomWaveFile {
  Q_OBJECT
 public:
  explicit TMMWaveFile(QObject* AOwner = nullptr);
};
