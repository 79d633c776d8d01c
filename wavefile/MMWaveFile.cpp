#include "wavefile/MMWaveFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/waveformat.h"
#include "wavefile/DiskSpace.h"
#include "wavefile/MMWaveIO.h"

namespace {

// Room kept free on the disk beyond the I/O buffer and the buffer to write.
constexpr std::int64_t kDiskReserve = 10240;

std::string FolderOf(const std::string& fileName) {
  std::filesystem::path p(fileName);
  std::filesystem::path dir = p.parent_path();
  return dir.empty() ? std::string(".") : dir.string();
}

}  // namespace

TMMCustomWaveFile::TMMCustomWaveFile(QObject* AOwner) : TMMDSPComponent(AOwner), FWave(new TMMWave) {
  FWave->AddObserver(this);
}

TMMCustomWaveFile::~TMMCustomWaveFile() {
  // The file is finished first; no events reach an owner that is going away.
  Destroying();
  Closed();
  FWave->RemoveObserver(this);
  delete FWave;
  FWave = nullptr;
}

void TMMCustomWaveFile::SetWave(const TMMWave* Value) {
  if (Value && Value != FWave) FWave->Assign(*Value);
}

void TMMCustomWaveFile::SetWaveFormat(const WAVEFORMATEX* Format) {
  TMMDSPComponent::SetWaveFormat(Format);
  FSilence = pcmSilenceByte(FPWaveFormat);
}

void TMMCustomWaveFile::WaveChanged(TMMWave* /*Sender*/) {
  // OnChanged closes what OnChange opened (the recorder's format guard), so
  // it fires whatever fails in between.
  try {
    if (OnChange) OnChange(this);
    if (FWave->FileMustExist() || FWave->GetPWaveFormat()) SetWaveFormat(FWave->GetPWaveFormat());
  } catch (...) {
    if (OnChanged) OnChanged(this);
    throw;
  }
  if (OnChanged) OnChanged(this);
}

void TMMCustomWaveFile::Opened() {
  TMMDSPComponent::Opened();
  if (FFileOpened) return;
  if (FInput) {
    FRecordedBytes = 0;
    FWriteFailed = false;
    SetWaveFormat(FInput->GetWaveFormat());
    if (FPWaveFormat && !FWave->FileName().empty()) {
      if (FOverwriteExisting || FWave->IsEmpty()) {
        FWave->CreateWaveFile(FWave->FileName(), FPWaveFormat);
      } else {
        // Samples of another format would turn the file's data into noise;
        // such a file is refused and left as it is.
        if (!wioSameSampleFormat(FWave->GetPWaveFormat(), FPWaveFormat)) throw EMMWaveError(wavemsg::kOpen);
        FWave->OpenFile();
      }
      FFileOpened = true;
    }
  } else if (!FWave->IsEmpty()) {
    FWave->OpenFile();
    FSavedPosition = FWave->GetPosition();
    FFileOpened = true;
  }
  if (FFileOpened && OnOpen) SynchronizeCall([this] { OnOpen(this); });
}

void TMMCustomWaveFile::Started() {
  TMMDSPComponent::Started();
  if (FFileStarted) return;
  FFileStarted = true;
  if (!FInput && FFileOpened) FWave->SetPosition(FSavedPosition);
  FWave->DoProgress();
}

void TMMCustomWaveFile::Stopped() {
  if (FFileOpened && FFileStarted) FFileStarted = false;
  TMMDSPComponent::Stopped();
}

void TMMCustomWaveFile::PositionReset() {
  TMMDSPComponent::PositionReset();
  if (FFileStarted && FFileOpened) FWave->ResetPosition();
}

void TMMCustomWaveFile::Closed() {
  if (FFileOpened) {
    Stopped();
    // No finished recording keeps an empty data chunk. Empty means no sample
    // frame: a few frames count 0 in milliseconds but are data all the same.
    const WaveIOBlock* block = FWave->IOBlock();
    if (FInput && !FWave->FileName().empty() && FPWaveFormat && (!block || block->totalSamples == 0)) {
      const char zeros[4] = {0, 0, 0, 0};
      FWave->WriteData(zeros, sizeof zeros);
    }
    FWave->CloseFile();
    FFileOpened = false;
    FFileStarted = false;
    if (OnClose && !InState(csDestroying)) SynchronizeCall([this] { OnClose(this); });
  }
  TMMDSPComponent::Closed();
}

void TMMCustomWaveFile::WriteBuffer(PMMBufferHeader lpWaveHdr) {
  if (!(FFileStarted && FEnabled && FInput && !FWave->FileName().empty() && lpWaveHdr->dwBytesRecorded > 0)) return;
  const std::int32_t bytes = static_cast<std::int32_t>(lpWaveHdr->dwBytesRecorded);
  const std::int64_t free = DiskFreeForUser(FolderOf(FWave->FileName()));
  bool ok = free >= 0 && free >= static_cast<std::int64_t>(FWave->IOBufferSize()) + bytes + kDiskReserve;
  // A short write means the disk gave out: finish the file with what it
  // holds rather than go on writing after a gap.
  if (ok) ok = FWave->WriteData(lpWaveHdr->lpData, bytes) == bytes;
  if (ok) {
    FRecordedBytes += bytes;
  } else {
    FWriteFailed = true;
    Closed();
  }
}

void TMMCustomWaveFile::BufferReady(PMMBufferHeader lpWaveHdr) {
  WriteBuffer(lpWaveHdr);
  TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMCustomWaveFile::BufferLoad(PMMBufferHeader lpWaveHdr, bool& MoreBuffers) {
  if (FInput) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    WriteBuffer(lpWaveHdr);
    return;
  }
  if (FWave->IsEmpty()) {
    lpWaveHdr->dwBytesRecorded = 0;
    return;
  }
  if (!(FFileStarted && FEnabled)) {
    std::memset(lpWaveHdr->lpData, FSilence, lpWaveHdr->dwBufferLength);
    lpWaveHdr->dwBytesRecorded = lpWaveHdr->dwBufferLength;
    MoreBuffers = true;
    return;
  }
  const std::int32_t n =
      std::max(FWave->ReadPlayData(lpWaveHdr->lpData, static_cast<std::int32_t>(lpWaveHdr->dwBufferLength)), 0);
  lpWaveHdr->dwBytesRecorded = static_cast<DWORD>(n);
  if (n <= 0) return;
  MoreBuffers = FWave->PlayBytesLeft() > 0;
  if (!MoreBuffers && lpWaveHdr->LoopFlag != 0) {
    if (lpWaveHdr->LoopCount > 0) --lpWaveHdr->LoopsLeft;
    if (!(lpWaveHdr->LoopCount != 0 && lpWaveHdr->LoopsLeft < 0)) {
      FWave->SetPosition(0);
      FWave->ResetPosition();
      if (OnLooping) OnLooping(this);
      MoreBuffers = true;
      lpWaveHdr->LoopMark = -1;
    }
  }
}

TMMWaveFile::TMMWaveFile(QObject* AOwner) : TMMCustomWaveFile(AOwner) {
  PublishInput();
  PublishOutput();
}
