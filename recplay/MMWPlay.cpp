#include "recplay/MMWPlay.h"

#include <algorithm>

#include "platform/language/language.h"

namespace {

// Samples heard, from a position in the engine's time format.
std::int64_t ToSamples(const WAVEFORMATEX* format, TMMTimeFormats unit, std::int64_t value) {
  if (!format || format->nSamplesPerSec == 0) return 0;
  switch (unit) {
    case tfSample: return value;
    case tfByte: return std::max<std::int64_t>(0, pcmBytesToSamples(format, value));
    case tfMillisecond: return value * std::int64_t(format->nSamplesPerSec) / 1000;
  }
  return value;
}

}  // namespace

TMMWavePlayer::TMMWavePlayer(QObject* AOwner) : TMMDSPComponent(AOwner) {
  PublishOutput();

  FWaveFile = new TMMWaveFile(this);
  FWaveFile->OnChange = [this](QObject*) { WaveChanging(); };
  FWaveFile->OnChanged = [this](QObject*) { WaveFormatSettled(); };

  FADPCM = new TMMADPCMConverter(this);
  FADPCM->SetInput(FWaveFile);
  FPCM = new TMMPCMConverter(this);
  FPCM->SetInput(FADPCM);

  FWaveOut = new TMMWaveOut(this);
  FWaveOut->SetInput(FPCM);
  FWaveOut->OnOpen = [this](QObject*) { Fire(OnStart); };
  FWaveOut->OnStop = [this](QObject*) {
    if (FSavedPosition == -1) FSavedPosition = GetPosition();
    FWaveOut->Close();
  };
  FWaveOut->OnClose = [this](QObject*) {
    // With ResetPosition the wave was closed with the chain and is back at 0.
    if (!FResetPosition) SetPosition(FSavedPosition);
    Fire(OnStop);
  };
  FWaveOut->OnPause = [this](QObject*) {
    if (!FInternalChange) Fire(OnPause);
  };
  FWaveOut->OnRestart = [this](QObject*) {
    if (!FInternalChange) Fire(OnRestart);
  };
  FWaveOut->OnBufferReady = [this](QObject*, PWaveHdr lpWaveHdr) {
    if (OnData) OnData(this, lpWaveHdr);
  };

  // The player publishes no Input; it takes the engine on this one link.
  InputWithoutProperty = true;
  FWaveOut->SetOutput(this);
  InputWithoutProperty = false;
}

TMMWavePlayer::~TMMWavePlayer() {
  try {
    Stop();
  } catch (...) {
    // The device goes with the engine below either way.
  }
  // Upstream first, so that no component is left pulling from a freed one.
  delete FWaveFile;
  FWaveFile = nullptr;
  delete FADPCM;
  FADPCM = nullptr;
  delete FPCM;
  FPCM = nullptr;
  delete FWaveOut;
  FWaveOut = nullptr;
}

void TMMWavePlayer::Fire(const TNotifyEvent& event) {
  if (event) event(this);
}

void TMMWavePlayer::Start() {
  if (Playing() || Wave()->IsEmpty()) return;
  const WAVEFORMATEX* format = Wave()->GetPWaveFormat();
  if (FAutoConvert && format && format->wFormatTag != WAVE_FORMAT_PCM && !FADPCM->Converting() &&
      !FPCM->Converting())
    throw EMMWaveError(std::string(wavemsg::kInvalidFile) + "\n" +
                       language::CannotDecode(QString::fromStdString(Wave()->FileName())).toStdString());
  // A finished file plays again from the beginning.
  if (GetPosition() >= Wave()->DataSize()) SetPosition(0);
  FStartOffset = GetPosition();
  FSavedPosition = -1;
  FWaveOut->Start();
}

void TMMWavePlayer::Stop() {
  FSavedPosition = GetPosition();
  FWaveOut->Stop();
  FWaveOut->Close();
}

std::int32_t TMMWavePlayer::GetPosition() {
  if (!Playing()) return Wave()->GetPosition();
  const std::int64_t heard = FWaveOut->GetPosition();
  const WAVEFORMATEX* played = FWaveOut->GetWaveFormat();
  if (wioSameFormat(played, Wave()->GetPWaveFormat()) && FWaveOut->TimeFormat() == Wave()->TimeFormat())
    return std::int32_t(std::uint32_t(std::uint64_t(heard))) + FStartOffset;
  // Decoded data (or units that differ): the engine counts in the format it
  // plays, the wave in its own; samples are the same in both.
  const std::int64_t samples = ToSamples(played, FWaveOut->TimeFormat(), heard);
  return Wave()->SamplesToTime(std::int32_t(samples)) + FStartOffset;
}

void TMMWavePlayer::SetPosition(std::int32_t Value) {
  if (!(FWaveOut->State() & wosOpen)) {
    Wave()->SetPosition(Value);
    return;
  }
  FInternalChange = true;
  try {
    const bool wasPaused = (FWaveOut->State() & wosPaused) != 0;
    FWaveOut->Pause();
    Wave()->SetPosition(Value);
    FStartOffset = Value;
    FWaveOut->Reset();
    if (!wasPaused) FWaveOut->Restart();
  } catch (...) {
    FInternalChange = false;
    throw;
  }
  FInternalChange = false;
}

void TMMWavePlayer::SetTimeFormat(TMMTimeFormats Value) {
  FWaveOut->SetTimeFormat(Value);
  Wave()->SetTimeFormat(Value);
}

void TMMWavePlayer::SetAutoConvert(bool Value) {
  if (FWaveOut->State() & wosOpen) throw std::runtime_error(waveoutmsg::kPropertyWhileOpen);
  if (Value == FAutoConvert) return;
  FAutoConvert = Value;
  FPCM->SetEnabled(Value);
  FADPCM->SetEnabled(Value && FADPCM->CanConvert(Wave()->GetPWaveFormat()));
}

void TMMWavePlayer::WaveChanging() {
  Stop();
  Fire(OnChange);
}

void TMMWavePlayer::WaveFormatSettled() {
  FADPCM->SetEnabled(FAutoConvert && FADPCM->CanConvert(Wave()->GetPWaveFormat()));
}
