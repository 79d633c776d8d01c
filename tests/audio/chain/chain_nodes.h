// Chain components for the tests: they log every notification they receive
// and publish their links like the real components do.
#pragma once

#include <string>
#include <vector>

#include "audio/MMDSPObj.h"

using Log = std::vector<std::string>;

template <class Base>
class Logged : public Base {
 public:
  explicit Logged(const char* name, Log* log = nullptr, QObject* owner = nullptr, bool in = true, bool out = true)
      : Base(owner), log_(log) {
    this->setObjectName(name);
    if (in) this->PublishInput();
    if (out) this->PublishOutput();
  }
  void Opened() override { note("Opened"), Base::Opened(); }
  void Closed() override { note("Closed"), Base::Closed(); }
  void Started() override { note("Started"), Base::Started(); }
  void Paused() override { note("Paused"), Base::Paused(); }
  void Restarted() override { note("Restarted"), Base::Restarted(); }
  void Stopped() override { note("Stopped"), Base::Stopped(); }
  void PositionReset() override { note("PositionReset"), Base::PositionReset(); }
  void Looped() override { note("Looped"), Base::Looped(); }

 private:
  void note(const char* what) {
    if (log_) log_->push_back(this->objectName().toStdString() + "." + what);
  }
  Log* log_;
};

using Node = Logged<TMMDSPComponent>;

class SoundBase : public TMMCustomSoundComponent {
 public:
  using TMMCustomSoundComponent::TMMCustomSoundComponent;
  void SetNumBuffers(int) override {}
  int GetNumBuffers() const override { return 20; }
  void SetDeviceID(TMMDeviceId) override {}
  TMMDeviceId GetDeviceID() const override { return MapperId; }
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return {}; }
  void SetCallBackMode(TMMCBMode) override {}
  TMMCBMode GetCallBackMode() const override { return cmWindow; }
};
using Sound = Logged<SoundBase>;

inline WAVEFORMATEX Pcm(int bits, int channels, int rate) { return pcmBuildWaveHeader(bits, channels, rate); }
