#include "audio/MMWRec.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

TMMWaveRecorder::TMMWaveRecorder(QObject* AOwner) : TMMDSPComponent(AOwner) {
  PublishOutput();

  FWaveFile = new TMMWaveFile(this);
  FWaveFile->Wave()->SetFileMustExist(false);
  FWaveFile->OnChange = [this](QObject*) { WaveChanging(); };
  FWaveFile->OnChanged = [this](QObject*) { WaveChanged(); };
  FWaveFile->OnClose = [this](QObject*) { Stop(); };

  FWaveIn = new TMMWaveIn(this);
  FWaveIn->SetOutput(FWaveFile);
  FWaveIn->OnOpen = [this](QObject*) {
    if (OnStart && !Quiet()) OnStart(this);
  };
  FWaveIn->OnStop = [this](QObject*) {
    // Closing finishes the file before the recorder reports the stop.
    FWaveIn->Close();
    if (OnStop && !Quiet()) OnStop(this);
  };
  FWaveIn->OnPause = [this](QObject*) {
    if (OnPause && !Quiet()) OnPause(this);
  };
  FWaveIn->OnRestart = [this](QObject*) {
    if (OnRestart && !Quiet()) OnRestart(this);
  };
  FWaveIn->OnBufferReady = [this](QObject*, PWaveHdr lpWaveHdr) {
    if (OnData) OnData(this, lpWaveHdr);
  };

  InputWithoutProperty = true;
  FWaveFile->SetOutput(this);
  InputWithoutProperty = false;
  FFormatGuard = false;
}

TMMWaveRecorder::~TMMWaveRecorder() {
  Destroying();
  try {
    Stop();
  } catch (...) {
    // A failing stop notice must not leave the destructor; the engine has
    // closed the device, and with it finished the file, before raising.
  }
  // The file component goes first: its links and its last notices still
  // find the engine alive.
  delete FWaveFile;
  FWaveFile = nullptr;
  delete FWaveIn;
  FWaveIn = nullptr;
}

void TMMWaveRecorder::Start() {
  if ((FWaveIn->State() & wisRecording) || Wave()->FileName().empty()) return;
  FWaveIn->Start();
}

void TMMWaveRecorder::Stop() {
  if (!FWaveIn) return;
  FWaveIn->Stop();
  FWaveIn->Close();
}

void TMMWaveRecorder::SetPosition(std::int32_t Position) {
  if (FWaveIn->State() & wisOpen) throw EMMWaveRecorderError(recordermsg::kPropertyWhileOpen);
  if (!OverwriteExisting()) Wave()->SetPosition(Position);
}

void TMMWaveRecorder::SetFileName(const std::string& Name) { Wave()->SetFileName(Name); }

int TMMWaveRecorder::GetBufferSize() const {
  return FWaveIn ? FWaveIn->GetBufferSize() : TMMDSPComponent::GetBufferSize();
}

void TMMWaveRecorder::SetBufferSize(int Value) {
  if (!FWaveIn) return;
  FWaveIn->SetBufferSize(Value);
  // The own size follows the engine's, so that the recorder's real buffer
  // size at Opened is the chain's.
  TMMDSPComponent::SetBufferSize(FWaveIn->GetBufferSize());
}

void TMMWaveRecorder::SetTimeFormat(TMMTimeFormats Value) {
  FWaveIn->SetTimeFormat(Value);
  Wave()->SetTimeFormat(Value);
}

std::string TMMWaveRecorder::InputFormat() const {
  const PWaveFormatEx format = FWaveIn->GetWaveFormat();
  if (!format) return "Unknown";
  return MMFormatName(format) + " " + MMFormatDescription(format);
}

void TMMWaveRecorder::SetInputFormat(const std::string&) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    auto* box = new QMessageBox(QMessageBox::Information, QCoreApplication::applicationName(),
                                recordermsg::kReadOnly, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  } else {
    std::fprintf(stderr, "%s\n", recordermsg::kReadOnly);
  }
}

bool TMMWaveRecorder::StoresWaveFormatEx() const {
  const PWaveFormatEx format = FWaveIn->GetWaveFormat();
  return format && format->wFormatTag != WAVE_FORMAT_PCM;
}

std::vector<std::uint8_t> TMMWaveRecorder::WriteWaveFormatEx() const {
  const PWaveFormatEx format = FWaveIn->GetWaveFormat();
  if (!StoresWaveFormatEx()) return {};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(format);
  return {bytes, bytes + wioSizeOfWaveFormat(format)};
}

void TMMWaveRecorder::ReadWaveFormatEx(const std::vector<std::uint8_t>& Data) {
  // A record shorter than its fixed part, or than its own cbSize says, is
  // not a format.
  if (Data.size() < sizeof(WAVEFORMATEX)) return;
  WAVEFORMATEX head;
  std::memcpy(&head, Data.data(), sizeof head);
  if (head.wFormatTag != WAVE_FORMAT_PCM && Data.size() < sizeof(WAVEFORMATEX) + head.cbSize) return;
  std::vector<std::uint8_t> copy(Data);
  FWaveIn->SetWaveFormat(reinterpret_cast<const WAVEFORMATEX*>(copy.data()));
}

void TMMWaveRecorder::SetWaveFormat(const WAVEFORMATEX* Format) {
  if (FFormatGuard) return;
  if (!Format || !FWaveIn) {
    TMMDSPComponent::SetWaveFormat(Format);
    return;
  }
  // The engine's format is the one format of the recording chain: a
  // different one goes to the engine, which sends its own back down.
  if (!wioSameFormat(FWaveIn->GetWaveFormat(), Format)) {
    FWaveIn->SetWaveFormat(Format);
    return;
  }
  TMMDSPComponent::SetWaveFormat(Format);
}

void TMMWaveRecorder::WaveChanging() {
  FFormatGuard = true;
  Stop();
  if (OnChange && !Quiet()) OnChange(this);
}

void TMMWaveRecorder::WaveChanged() { FFormatGuard = false; }
