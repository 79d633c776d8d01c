#include "recplay/MMWRec.h"

#include <QApplication>
#include <QMessageBox>
#include <cctype>
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
    OpenVoiceFile();
    if (OnStart && !Quiet()) OnStart(this);
  };
  FWaveIn->OnClose = [this](QObject*) { CloseVoiceFile(); };
  FWaveIn->OnVoice = [this](const std::uint8_t* bytes, std::size_t size) {
    WriteVoice(bytes, size);
    if (OnVoice) OnVoice(bytes, size);
  };

  // The voice file takes the engine's format through its Input, but is no
  // part of the chain: the engine's Output stays the take's file, and the
  // recorder hands the voice file its notices and buffers itself.
  FVoiceFile = new TMMWaveFile(this);
  FVoiceFile->Wave()->SetFileMustExist(false);
  FVoiceFile->AttachInput(FWaveIn, "");
  FVoiceFile->OnClose = [this](QObject*) {
    // A voice that cannot be written further ends the take, as the take's
    // own file does.
    if (FVoiceFile->WriteFailed()) Stop();
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
  // The file components go first: their links and their last notices still
  // find the engine alive.
  delete FVoiceFile;
  FVoiceFile = nullptr;
  delete FWaveFile;
  FWaveFile = nullptr;
  delete FWaveIn;
  FWaveIn = nullptr;
}

void TMMWaveRecorder::Start() {
  if ((FWaveIn->State() & wisRecording) || Wave()->FileName().empty()) return;
  FWaveIn->SetWantsVoice(FKeepVoice || OnVoice);
  FWaveIn->Start();
}

void TMMWaveRecorder::Stop() {
  if (!FWaveIn) return;
  FWaveIn->Stop();
  FWaveIn->Close();
  CloseVoiceFile();
}

// ---------------------------------------------------------------- voice

std::string VoiceFileName(const std::string& take) {
  std::string base = take;
  if (base.size() >= 4) {
    std::string end = base.substr(base.size() - 4);
    for (char& c : end) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (end == ".wav") base.resize(base.size() - 4);
  }
  return base + ".voice.wav";
}

std::string TMMWaveRecorder::VoiceFile() const {
  if (!FVoiceName.empty()) return FVoiceName;
  const std::string& take = Wave()->FileName();
  return take.empty() ? std::string() : VoiceFileName(take);
}

// Runs when the engine has opened, after the take's file was made.
void TMMWaveRecorder::OpenVoiceFile() {
  FVoiceError.clear();
  if (!FKeepVoice || !FWaveIn->VoiceOn() || FVoiceFile->FileOpened()) return;
  const std::string name = VoiceFile();
  try {
    FVoiceFile->Wave()->SetFileName(name);
    FVoiceFile->Opened();
    FVoiceFile->Started();
  } catch (const std::exception& e) {
    // The take goes on without its voice.
    FVoiceError = e.what();
    CloseVoiceFile();
    if (OnVoiceError && !Quiet()) OnVoiceError(this, FVoiceError);
  }
}

void TMMWaveRecorder::WriteVoice(const std::uint8_t* Bytes, std::size_t Size) {
  // The take's file has seen this buffer: once it gave up (a full disk),
  // the voice keeps its length.
  if (!FVoiceFile->FileOpened() || !FWaveFile->FileOpened()) return;
  TMMBufferHeader header{};
  header.lpData = reinterpret_cast<char*>(const_cast<std::uint8_t*>(Bytes));
  header.dwBufferLength = static_cast<DWORD>(Size);
  header.dwBytesRecorded = static_cast<DWORD>(Size);
  FVoiceFile->BufferReady(&header);
}

void TMMWaveRecorder::CloseVoiceFile() {
  if (FVoiceFile && FVoiceFile->FileOpened()) FVoiceFile->Closed();
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
