// Chain components for the tests: they log every notification they receive
// and publish their links like the real components do.
#pragma once

#include <string>
#include <vector>

#include "audio/MMDSPObj.h"

using Log = std::vector<std::string>;

class Node : public TMMDSPComponent {
 public:
  Node(const char* name, Log* log = nullptr, QObject* owner = nullptr, bool publishInput = true,
       bool publishOutput = true)
      : TMMDSPComponent(owner), log_(log) {
    setObjectName(name);
    if (publishInput) PublishInput();
    if (publishOutput) PublishOutput();
  }
  void Opened() override { note("Opened"), TMMDSPComponent::Opened(); }
  void Closed() override { note("Closed"), TMMDSPComponent::Closed(); }
  void Started() override { note("Started"), TMMDSPComponent::Started(); }
  void Paused() override { note("Paused"), TMMDSPComponent::Paused(); }
  void Restarted() override { note("Restarted"), TMMDSPComponent::Restarted(); }
  void Stopped() override { note("Stopped"), TMMDSPComponent::Stopped(); }
  void PositionReset() override { note("PositionReset"); }
  void Looped() override { note("Looped"); }

 private:
  void note(const char* what) {
    if (log_) log_->push_back(objectName().toStdString() + "." + what);
  }
  Log* log_;
};

class Sound : public TMMCustomSoundComponent {
 public:
  Sound(const char* name, Log* log = nullptr) : log_(log) {
    setObjectName(name);
    PublishInput();
    PublishOutput();
  }
  void Opened() override { note("Opened"), TMMCustomSoundComponent::Opened(); }
  void Closed() override { note("Closed"), TMMCustomSoundComponent::Closed(); }
  void Started() override { note("Started"), TMMCustomSoundComponent::Started(); }
  void Paused() override { note("Paused"), TMMCustomSoundComponent::Paused(); }
  void Restarted() override { note("Restarted"), TMMCustomSoundComponent::Restarted(); }
  void Stopped() override { note("Stopped"), TMMCustomSoundComponent::Stopped(); }
  void PositionReset() override { note("PositionReset"), TMMCustomSoundComponent::PositionReset(); }
  void Looped() override { note("Looped"), TMMCustomSoundComponent::Looped(); }

  void SetNumBuffers(int v) override { numBuffers_ = v; }
  int GetNumBuffers() const override { return numBuffers_; }
  void SetDeviceID(TMMDeviceId v) override { device_ = v; }
  TMMDeviceId GetDeviceID() const override { return device_; }
  void SetProductName(const std::string& v) override { product_ = v; }
  std::string GetProductName() const override { return product_; }
  void SetCallBackMode(TMMCBMode v) override { mode_ = v; }
  TMMCBMode GetCallBackMode() const override { return mode_; }

 private:
  void note(const char* what) {
    if (log_) log_->push_back(objectName().toStdString() + "." + what);
  }
  Log* log_;
  int numBuffers_ = 20;
  TMMDeviceId device_ = MapperId;
  std::string product_;
  TMMCBMode mode_ = cmWindow;
};

inline WAVEFORMATEX Pcm(int bits, int channels, int rate) { return pcmBuildWaveHeader(bits, channels, rate); }
