// Control of the software sound card beyond the multimedia calls: which
// clock runs it, where its microphone comes from, the synthesizer's render
// hook, the mixer table and line peaks. The taps that let tests see exactly
// what the card produced are in probes.h.
//
// The card: 44100 Hz, stereo, float, periods of kPeriodFrames frames. Each
// period it takes the wave-out handles' data, the synthesizer and the
// microphone, builds the playback mix (destination "Speakers") and the
// recording mix (destination "Recording") from each line's volume, mute and
// list selection, sends the playback mix to the host and hands the recording
// mix, converted, to every started wave-in handle.
//
// Clocks:
// - Host: the chosen (default: the host's default) input and output through
//   a PulseAudio-protocol server when one answers, else through RtAudio.
// - Virtual: a timer thread at real time; output discarded or written to the
//   WAV file named by TUNELARK_AUDIO_OUT; microphone silent or the WAV file
//   named by TUNELARK_AUDIO_IN, looped.
// - Stepped: nothing runs by itself; Advance() runs periods on the caller's
//   thread, deterministically.
// The recording mix delays the accompaniment by the round trip, and the
// virtual device can simulate one (TUNELARK_AUDIO_LATENCY_MS): see latency.h;
// measuring it with clicks: calibration.h.
// Automatic (the start-up choice): Virtual when TUNELARK_AUDIO=virtual, when
// the device sheet's remembered choice is the virtual device, or when the
// host has no usable output device; else Host on the remembered devices.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/mmsystem.h"
#include "platform/soundcard/mixerdesc.h"

namespace soundcard {

constexpr std::uint32_t kSampleRate = 44100;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kPeriodFrames = 441;  // 10 ms

// Milliseconds as frames at the card's rate, and back; not rounded.
constexpr double FramesOfMs(double ms) { return ms * kSampleRate / 1000.0; }
constexpr double MsOfFrames(double frames) { return frames * 1000.0 / kSampleRate; }

// ---------------------------------------------------------------- clocks
enum class Clock { Automatic, Host, Virtual, Stepped };

// Stops the running clock (its period in progress completes first) and
// starts the chosen one. Open handles stay open. Not from the card's thread.
void SelectClock(Clock clock);
// The clock that runs now (never Automatic once the card has started).
Clock ActiveClock();
// Stepped clock: runs `frames` frames as whole periods of kPeriodFrames
// (the last one shorter when `frames` is not a multiple) on the calling
// thread. Callback functions are called on this thread. One caller at a
// time; ignored unless the stepped clock is selected.
void Advance(std::uint64_t frames);
// Stepped clock from the main thread: after each period delivers the posted
// messages (ProcessMessages), so CALLBACK_WINDOW users see their buffers.
void AdvanceAndPump(std::uint64_t frames);
// Frames the card has run since the process started it.
std::uint64_t ClockFrames();
// True while the running clock has no deadline (the stepped clock): a
// period may then wait for work done on other threads, so that its result
// never depends on the machine's load. Any thread, the card's included.
bool PeriodsMayWait();

// ---------------------------------------------------------------- host devices
struct HostDevice {
  std::string name;
  std::string description;  // what a device list shows; "" = the name
  unsigned inputChannels = 0;
  unsigned outputChannels = 0;
  bool defaultInput = false;
  bool defaultOutput = false;
};
// The host's audio devices: the sound server's sinks and sources when the
// Host clock would play through one, else as RtAudio reports them (empty
// without any).
std::vector<HostDevice> HostDevices();
// The devices the Host clock opens; "" means the host's default. A running
// Host clock is restarted on the new devices.
void SelectHostDevices(const std::string& input, const std::string& output);
std::string SelectedHostInput();
std::string SelectedHostOutput();
// The name the device lists use for the built-in virtual device.
const char* VirtualDeviceName();

// ---------------------------------------------------------------- host stream
// Figures of the host stream while the Host clock plays through a sound
// server (the RtAudio backend reports none).
//
// Latency in frames at 44100 Hz, from the server's timing information:
// `output` from the card's running a frame until that frame leaves the
// sink, `input` from a sound reaching the source until the card takes it as
// a microphone frame. input + output is the round trip: a sound the card
// plays at clock frame f comes back through a loop-back (cable, or a sink's
// monitor) as microphone frame f + input + output. A monitor source reports
// a negative input latency (it hears the sink before its output latency has
// passed). Refreshed on every period; `known` is false until the server's
// first timing report and while no server stream runs.
struct HostLatencyFrames {
  std::int32_t input = 0;
  std::int32_t output = 0;
  bool known = false;
};
HostLatencyFrames HostLatency();
// True while the Host clock plays through a sound server.
bool HostUsesSoundServer();
// Frames the host stream has lost since the process started: silence the
// server played for lack of the card's frames (underruns) and microphone
// frames dropped or replaced by silence (overruns, gaps, the microphone
// running ahead of or behind the speakers).
std::uint64_t HostLostFrames();
// From the last start of the server stream to its first card period and to
// the first microphone frame the server delivered, in milliseconds;
// negative until that happened.
struct HostStartTimes {
  double firstOutputMs = -1.0;
  double firstInputMs = -1.0;
};
HostStartTimes HostStartDelays();
// Times the Host clock lost its sound server since the process started.
// The card then runs on its virtual device (silent microphone) and tells
// every open wave handle (MM_WIM_DEVICELOST, MM_WOM_DEVICELOST); the next
// wave handle opened tries the host again.
std::uint64_t HostLosses();

// ---------------------------------------------------------------- backend
// What the card plays through. Starts the card's clock when it is not
// running yet; with a sound server that returns once both streams run and
// their round trip has settled (or after a few seconds at most).
struct CardBackend {
  Clock clock = Clock::Automatic;  // Host, Virtual or Stepped
  bool soundServer = false;        // Host: through a sound server, else RtAudio
  std::string server;              // the sound server's name and version
  std::string output, input;       // device names ("" = none)
  // Why the virtual device runs: chosen in the device sheet, asked for by
  // TUNELARK_AUDIO=virtual, or no host device could be opened.
  enum class Why { Chosen, Asked, NoHost } why = Why::NoHost;
};
CardBackend CardBackendInUse();

// ---------------------------------------------------------------- sources
// The microphone line's signal. Host (the start-up choice): the host input
// in the Host clock, the TUNELARK_AUDIO_IN file (or silence) in the Virtual
// clock, silence in the Stepped clock.
void SetMicrophoneHost();
void SetMicrophoneSilence();
// (The test signal is a probe: SetMicrophoneTestSignal in probes.h.)
// Interleaved stereo samples, played from the next period on, looped or
// followed by silence.
void SetMicrophoneSamples(std::vector<float> interleaved, bool loop);

// The synthesizer's render hook. Called on the card's thread once per
// period with `frames` (at most kMaxRenderFrames) interleaved stereo frames
// at 44100 Hz to fill; must not allocate, nor block unless PeriodsMayWait().
// nullptr: silence. When the call returns the card no longer calls the
// previous hook.
using RenderFn = void (*)(void* user, float* interleaved, std::uint32_t frames);
constexpr std::uint32_t kMaxRenderFrames = 4096;
void SetSynthRender(RenderFn fn, void* user);

// ---------------------------------------------------------------- mixer
// Replaces the mixer table; every control takes its initial value. Open
// mixer handles of mixers that still exist stay valid. The first mixer
// drives the audio: its first DST_SPEAKERS destination is the playback mix,
// its first DST_WAVEIN destination the recording mix, and its sources are
// fed by component type (SRC_WAVEOUT, SRC_SYNTHESIZER, SRC_MICROPHONE; any
// other type is silent).
void InstallMixers(std::vector<MixerDesc> mixers);
// The peak of a line of the first mixer over the last period, 0..32767 per
// channel (source -1: the destination line itself), as its peak meter
// control reports it. A line's level is taken after its volume and mute.
std::array<int, 2> LinePeak(unsigned destination, int source);

// ---------------------------------------------------------------- monitor effects
// Effects on the microphone's way to the speakers only (the "Microphone"
// source of "Speakers", the monitor line): an echo (a feedback delay line)
// and then a reverb (a convolution with the preset's impulse response), each
// added to the voice at its level. The recording mix takes the dry
// microphone unless `recorded` ("录入效果"), which gives it the same
// effected signal; a wave-in handle's voice (waveInEnableVoice) is always
// dry. With no echo and no reverb the card is exactly as without effects.
// Whether the monitor is heard at all is the line's mute and volume.
enum class Reverb { Off, Room, Hall, Plate };
constexpr int kMinEchoMs = 50;
constexpr int kMaxEchoMs = 1000;
struct MonitorEffects {
  int echoMs = 0;         // 0: no echo, else kMinEchoMs..kMaxEchoMs (round(ms * 44.1) frames)
  int echoFeedback = 35;  // percent of each repeat fed into the next, 0..90
  int echoLevel = 50;     // percent: the first repeat's level, 0..100
  Reverb reverb = Reverb::Off;
  int reverbLevel = 30;   // percent: the reverb's level, 0..100
  bool recorded = false;  // the recording mix takes the effected microphone
  bool operator==(const MonitorEffects&) const = default;
};
// Applies `effects` (values out of range are clamped). A new reverb preset
// is prepared on the caller's thread and taken up by the card's next period
// without a gap (the old reverb fades out); the card's thread never
// allocates or waits for it. Throws std::runtime_error when the reverb
// cannot be set up, the settings staying as they were. While a round trip
// is measured the card bypasses the effects. Not from the card's thread.
void SetMonitorEffects(const MonitorEffects& effects);
MonitorEffects CurrentMonitorEffects();
// "off", "room", "hall", "plate"; false for another name.
const char* NameOf(Reverb preset);
bool ParseReverb(const std::string& name, Reverb& preset);
// A preset's impulse response at the card's rate, left and right (empty
// for Off): a click of amplitude a on the microphone comes out of the
// monitor as the click, then a * reverbLevel/100 * this response.
std::array<std::vector<float>, 2> ReverbImpulse(Reverb preset);

// Back to the start-up state for the next test: default mixer table,
// microphone from the host, no synthesizer, taps off, history cleared, no
// round-trip correction, compensation on, no monitor effects, the clock's
// own round trip (none simulated on the stepped clock), no measurement.
// Handles that are still open stay open.
void ResetCard();

}  // namespace soundcard
