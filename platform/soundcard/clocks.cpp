#include "platform/soundcard/clocks.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/soundcard/filestreams.h"
#include "platform/soundcard/pcm.h"
#include "platform/soundcard/pulseclock.h"
#include "platform/soundcard/pulsedevices.h"
#include "platform/soundcard/quiethost.h"
#include "platform/soundcard/stopsignal.h"

namespace soundcard {

namespace {

// ---------------------------------------------------------------- virtual

class VirtualClock : public ClockDriver {
 public:
  explicit VirtualClock(CardRunner& card) : card_(card), roundTrip_(SimulatedRoundTrip()) {}
  ~VirtualClock() override { stop(); }

  Clock kind() const override { return Clock::Virtual; }
  std::uint32_t roundTripFrames() const override { return roundTrip_; }

  bool start() override {
    const char* in = std::getenv("TUNELARK_AUDIO_IN");
    const char* out = std::getenv("TUNELARK_AUDIO_OUT");
    if ((in && *in) || (out && *out))
      files_ = std::make_unique<FileStreams>(in ? in : "", out ? out : "");
    quit_.lower();
    thread_ = std::thread([this] { loop(); });
    return true;
  }

  void stop() override {
    if (!thread_.joinable()) return;
    quit_.raise();
    thread_.join();
    files_.reset();
  }

 private:
  // The thread wakes for four periods at a time (40 ms), as a host device
  // with a buffer that size would: each wake-up costs about as much as the
  // periods' whole work, and the engines' buffers hold far more than that.
  static constexpr std::uint32_t kWakeFrames = 4 * kPeriodFrames;

  void loop() {
    using Steady = std::chrono::steady_clock;
    const auto period = std::chrono::microseconds(1000000ull * kWakeFrames / kSampleRate);
    std::vector<float> in(2 * kWakeFrames), out(2 * kWakeFrames);
    auto next = Steady::now();
    for (;;) {
      next += period;
      if (quit_.waitUntil(next)) return;
      // After a long stall (a stopped debugger, a suspended machine) start
      // afresh instead of running the missed periods in a burst.
      if (Steady::now() - next > std::chrono::milliseconds(500)) next = Steady::now();
      const bool fileIn = files_ && files_->hasInput();
      if (fileIn) files_->read(in.data(), kWakeFrames);
      card_.run(fileIn ? in.data() : nullptr, out.data(), kWakeFrames, kPeriodFrames);
      if (files_ && files_->hasOutput()) files_->write(out.data(), kWakeFrames);
    }
  }

  // TUNELARK_AUDIO_LATENCY_MS in frames; 0 when unset or not a number.
  static std::uint32_t SimulatedRoundTrip() {
    const char* env = std::getenv("TUNELARK_AUDIO_LATENCY_MS");
    if (!env || !*env) return 0;
    char* end = nullptr;
    const double ms = std::strtod(env, &end);
    if (*end != '\0' || !(ms > 0.0) || ms > 10000.0) return 0;
    return std::uint32_t(std::lround(FramesOfMs(ms)));
  }

  CardRunner& card_;
  const std::uint32_t roundTrip_;
  std::unique_ptr<FileStreams> files_;
  StopSignal quit_;
  std::thread thread_;
};

// ---------------------------------------------------------------- host

class HostClock : public ClockDriver {
 public:
  HostClock(CardRunner& card, std::string input, std::string output)
      : card_(card), inputName_(std::move(input)), outputName_(std::move(output)) {}
  ~HostClock() override { stop(); }

  Clock kind() const override { return Clock::Host; }
  std::uint32_t roundTripFrames() const override { return latency_; }
  Devices devices() const override { return used_; }

  bool start() override {
    try {
      audio_ = MakeQuietRtAudio();
      if (!audio_) return fail();
      const unsigned count = audio_->getDeviceCount();
      if (count == 0) return fail();
      int outId = find(outputName_, false);
      if (outId < 0) return fail();
      int inId = find(inputName_, true);
      RtAudio::StreamParameters outParams;
      outParams.deviceId = unsigned(outId);
      outParams.nChannels = std::min(2u, audio_->getDeviceInfo(outId).outputChannels);
      RtAudio::StreamParameters inParams;
      if (inId >= 0) {
        inParams.deviceId = unsigned(inId);
        inParams.nChannels = std::min(2u, audio_->getDeviceInfo(inId).inputChannels);
      }
      outChannels_ = outParams.nChannels;
      inChannels_ = inId >= 0 ? inParams.nChannels : 0;
      unsigned frames = kPeriodFrames;
      RtAudio::StreamOptions options;
      options.streamName = "Tunelark";
      options.flags = RTAUDIO_SCHEDULE_REALTIME;
      try {
        audio_->openStream(&outParams, inId >= 0 ? &inParams : nullptr, RTAUDIO_FLOAT32,
                           kSampleRate, &frames, &HostClock::callback, this, &options);
      } catch (...) {
        if (inId < 0) throw;
        // Some hosts cannot run these two devices together: play without
        // a microphone rather than not at all.
        inChannels_ = 0;
        frames = kPeriodFrames;
        audio_->openStream(&outParams, nullptr, RTAUDIO_FLOAT32, kSampleRate, &frames,
                           &HostClock::callback, this, &options);
      }
      used_.output = audio_->getDeviceInfo(unsigned(outId)).name;
      used_.input = inChannels_ > 0 ? audio_->getDeviceInfo(unsigned(inId)).name : std::string();
      // Scratch for channel conversion, sized once for the negotiated buffer.
      in_.assign(2 * std::size_t(frames), 0.0f);
      out_.assign(2 * std::size_t(frames), 0.0f);
      audio_->startStream();
      // Input and output latency together, as far as the host API knows it.
      try {
        latency_ = std::uint32_t(std::max(0l, audio_->getStreamLatency()));
      } catch (...) {
        latency_ = 0;
      }
      return true;
    } catch (...) {
      return fail();
    }
  }

  void stop() override {
    if (!audio_) return;
    try {
      if (audio_->isStreamRunning()) audio_->stopStream();
      if (audio_->isStreamOpen()) audio_->closeStream();
    } catch (...) {
    }
    audio_.reset();
  }

 private:
  bool fail() {
    audio_.reset();
    return false;
  }

  // The device of that name with channels of the wanted direction, or the
  // default one; -1 when there is none.
  int find(const std::string& name, bool input) {
    const unsigned count = audio_->getDeviceCount();
    int fallback = -1;
    for (unsigned i = 0; i < count; ++i) {
      RtAudio::DeviceInfo info = audio_->getDeviceInfo(i);
      const unsigned channels = input ? info.inputChannels : info.outputChannels;
      if (!info.probed || channels == 0) continue;
      if (!name.empty() && info.name == name) return int(i);
      const bool isDefault = input ? info.isDefaultInput : info.isDefaultOutput;
      if (isDefault || fallback < 0) fallback = int(i);
    }
    return fallback;
  }

  // RtAudio's thread: the card runs every frame of the host's buffer, in
  // steps of the negotiated size (a host may hand over more at once; no
  // part of its buffer is left unwritten).
  static int callback(void* output, void* input, unsigned frames, double, RtAudioStreamStatus,
                      void* user) noexcept {
    auto* self = static_cast<HostClock*>(user);
    const auto step = unsigned(self->out_.size() / 2);
    auto* out = static_cast<float*>(output);
    const auto* host = static_cast<const float*>(input);
    for (unsigned done = 0; done < frames;) {
      const unsigned n = std::min(frames - done, step);
      const float* in = nullptr;
      if (host && self->inChannels_ == 2) {
        in = host + 2 * std::size_t(done);
      } else if (host && self->inChannels_ == 1) {
        MonoToStereo(host + done, n, self->in_.data());
        in = self->in_.data();
      }
      if (self->outChannels_ == 2) {
        self->card_.run(in, out + 2 * std::size_t(done), n, step);
      } else {
        self->card_.run(in, self->out_.data(), n, step);
        StereoToMono(self->out_.data(), n, out + done);
      }
      done += n;
    }
    return 0;
  }

  CardRunner& card_;
  std::string inputName_, outputName_;
  std::unique_ptr<RtAudio> audio_;
  unsigned inChannels_ = 0, outChannels_ = 2;
  std::uint32_t latency_ = 0;
  Devices used_;
  std::vector<float> in_, out_;
};

// ---------------------------------------------------------------- stepped

class SteppedClock : public ClockDriver {
 public:
  Clock kind() const override { return Clock::Stepped; }
  bool start() override { return true; }
  void stop() override {}
};

}  // namespace

std::unique_ptr<ClockDriver> MakeVirtualClock(CardRunner& card) {
  return std::make_unique<VirtualClock>(card);
}

std::unique_ptr<ClockDriver> MakeHostClock(CardRunner& card, const std::string& input,
                                           const std::string& output) {
  // A desktop's sound server when one answers: it reports the true latency
  // and starts at once. RtAudio (ALSA, JACK) otherwise.
  if (PulseServerReachable()) return MakePulseClock(card, input, output);
  return std::make_unique<HostClock>(card, input, output);
}

std::unique_ptr<ClockDriver> MakeSteppedClock() { return std::make_unique<SteppedClock>(); }

namespace {
std::atomic<int> gCardThreadPriority{0};
}  // namespace

int CardThreadRealtimePriority() { return gCardThreadPriority.load(std::memory_order_relaxed); }
void NoteCardThreadRealtimePriority(int priority) {
  gCardThreadPriority.store(priority, std::memory_order_relaxed);
}

std::vector<HostDevice> ListHostDevices() {
  if (auto devices = ListPulseDevices()) return std::move(*devices);
  std::vector<HostDevice> devices;
  try {
    const std::unique_ptr<RtAudio> audio = MakeQuietRtAudio();
    const unsigned count = audio ? audio->getDeviceCount() : 0;
    for (unsigned i = 0; i < count; ++i) {
      RtAudio::DeviceInfo info = audio->getDeviceInfo(i);
      if (!info.probed) continue;
      devices.push_back(HostDevice{info.name, "", info.inputChannels, info.outputChannels,
                                   info.isDefaultInput, info.isDefaultOutput});
    }
  } catch (...) {
  }
  return devices;
}

}  // namespace soundcard
