// The clocks: the stepped clock driven from another thread while the main
// thread delivers window messages, and the virtual device in real time with
// its file microphone and file speakers.
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "cardtest.h"
#include "platform/winmsg/winmsg.h"

using namespace cardtest;
using namespace std::chrono_literals;

namespace {

// Waits (pumping messages) until `done` holds; false after `limit`.
template <typename F>
bool WaitFor(F done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    ProcessMessages();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class Clocks : public CardTest {};

TEST_F(Clocks, SteppedOnATestThreadWhileTheMainThreadTakesTheBuffers) {
  soundcard::SetMicrophoneTestSignal();
  soundcard::EnableWaveInTaps(1 << 22);
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  std::vector<std::uint8_t> got;
  bool requeue = true;
  HWAVEIN h = nullptr;
  // As a recorder in window mode does: take each buffer on the main thread
  // and queue it again.
  HWND wnd = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (msg != MM_WIM_DATA) return 0;
    auto* hdr = reinterpret_cast<WAVEHDR*>(l);
    got.insert(got.end(), hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
    if (requeue) waveInAddBuffer(reinterpret_cast<HWAVEIN>(w), hdr, sizeof *hdr);
    return 0;
  });
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, DWORD_PTR(wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  BufferSet set(20, 3048);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  std::atomic<bool> finished{false};
  std::thread clock([&] {
    for (int i = 0; i < 300; ++i) {  // three seconds of audio
      soundcard::Advance(soundcard::kPeriodFrames);
      std::this_thread::sleep_for(1ms);
    }
    finished = true;
  });
  ASSERT_TRUE(WaitFor([&] { return finished.load(); }));
  clock.join();
  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  ProcessMessages();
  requeue = false;
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ProcessMessages();
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  DeallocateHWnd(wnd);

  const auto rec = soundcard::WaveInHistory().at(0);
  EXPECT_EQ(got, rec.delivered);
  EXPECT_EQ(rec.delivered.size() / 4 + rec.lostFrames, 300u * soundcard::kPeriodFrames);
  const auto s = Samples16(rec.delivered);
  // Whatever was not lost is the signal itself, frame for frame.
  if (rec.lostFrames == 0) {
    for (std::size_t i = 0; i < s.size() / 2; ++i)
      ASSERT_EQ(s[2 * i], soundcard::TestSignalSample(rec.startFrame + i, 0) * 32768) << i;
  }
}

TEST_F(Clocks, TheVirtualDeviceRunsInRealTime) {
  soundcard::SelectClock(soundcard::Clock::Virtual);
  EXPECT_EQ(soundcard::ActiveClock(), soundcard::Clock::Virtual);
  const std::uint64_t start = soundcard::ClockFrames();
  EXPECT_TRUE(WaitFor([&] { return soundcard::ClockFrames() >= start + 10 * soundcard::kPeriodFrames; }));
  soundcard::SelectClock(soundcard::Clock::Stepped);
  const std::uint64_t stopped = soundcard::ClockFrames();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(soundcard::ClockFrames(), stopped);
  EXPECT_EQ(stopped % soundcard::kPeriodFrames, start % soundcard::kPeriodFrames);
}

// Holds the card's thread inside its first MM_WIM_DATA until the test lets it go.
struct Holder {
  std::atomic<bool> inside{false}, release{false}, requeue{true};
  static void Proc(void* handle, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<Holder*>(instance);
    if (msg != MM_WIM_DATA) return;
    if (!self->inside.exchange(true)) {
      const auto end = std::chrono::steady_clock::now() + 30s;
      while (!self->release && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    }
    if (self->requeue)
      waveInAddBuffer(static_cast<HWAVEIN>(handle), reinterpret_cast<WAVEHDR*>(p1), sizeof(WAVEHDR));
  }
};

TEST_F(Clocks, ANewClockWaitsForThePeriodInProgressOfTheSteppedOne) {
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  Holder holder;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, 0, &f, DWORD_PTR(&Holder::Proc), DWORD_PTR(&holder), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  BufferSet set(4, 4 * 441);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  waveInStart(h);
  std::atomic<bool> finished{false};
  std::thread stepper([&] {
    soundcard::Advance(10 * soundcard::kPeriodFrames);
    finished = true;
  });
  while (!holder.inside) std::this_thread::sleep_for(1ms);
  // The stepped clock's thread is inside a callback function of its period.
  const std::uint64_t held = soundcard::ClockFrames();
  soundcard::SelectClock(soundcard::Clock::Virtual);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(soundcard::ClockFrames(), held) << "a virtual period ran inside the stepped one";
  holder.release = true;
  // Once the callback returns both go on, one period at a time, and the
  // stepped clock stops stepping: it is no longer the selected clock.
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (!finished && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  if (!finished) {
    ADD_FAILURE() << "the card's threads wait for each other";
    std::_Exit(1);  // they never return; nothing can be shut down cleanly
  }
  stepper.join();
  soundcard::SelectClock(soundcard::Clock::Stepped);
  holder.requeue = false;
  waveInReset(h);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

void EighthSynth(void*, float* out, std::uint32_t frames) { std::fill(out, out + 2 * frames, 0.125f); }

TEST_F(Clocks, TheVirtualDeviceReadsAndWritesItsFiles) {
  char dir[] = "/tmp/soundcardXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string in = std::string(dir) + "/mic.wav", out = std::string(dir) + "/speakers.wav";
  // 0.2 s of distinct stereo samples.
  const int frames = 8820;
  std::vector<std::int16_t> pattern(2 * frames);
  for (int i = 0; i < 2 * frames; ++i) pattern[i] = std::int16_t(((i * 7919) % 20000) - 10000);
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  sf_writef_short(file, pattern.data(), frames);
  sf_close(file);
  setenv("TUNELARK_AUDIO_IN", in.c_str(), 1);
  setenv("TUNELARK_AUDIO_OUT", out.c_str(), 1);

  soundcard::SetMicrophoneHost();
  soundcard::SetSynthRender(&EighthSynth, nullptr);
  soundcard::EnableWaveInTaps(1 << 22);
  soundcard::SelectClock(soundcard::Clock::Virtual);
  const WAVEFORMATEX f = Pcm(44100, 2, 16);
  Collector c;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, 0, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(8, 4 * 882);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  // The synth is recorded too: mute it on the recording to hear the file.
  HMIXER mixer = nullptr;
  ASSERT_EQ(mixerOpen(&mixer, 0, 0, 0, 0), MMSYSERR_NOERROR);
  MIXERLINE synth{};
  synth.cbStruct = sizeof synth;
  synth.dwDestination = 1;
  synth.dwSource = 1;
  ASSERT_EQ(mixerGetLineInfo(mixer, &synth, MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  MIXERCONTROL mute{};
  MIXERLINECONTROLS lc{sizeof lc, synth.dwLineID, {MIXERCONTROL_CONTROLTYPE_MUTE}, 1, sizeof mute, &mute};
  ASSERT_EQ(mixerGetLineControls(mixer, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  LONG on = 1;
  MIXERCONTROLDETAILS d{sizeof d, mute.dwControlID, 1, {nullptr}, sizeof on, &on};
  ASSERT_EQ(mixerSetControlDetails(mixer, &d, MIXER_OBJECTF_HMIXER), MMSYSERR_NOERROR);
  mixerClose(mixer);

  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard g(c.mutex);
    return c.bytes.size() >= 4u * 30000;
  }));
  c.requeue = false;
  waveInReset(h);
  waveInClose(h);
  soundcard::SelectClock(soundcard::Clock::Stepped);  // closes the files
  unsetenv("TUNELARK_AUDIO_IN");
  unsetenv("TUNELARK_AUDIO_OUT");

  // The recording is the looped file from some point on.
  const auto s = Samples16(soundcard::WaveInHistory().at(0).delivered);
  ASSERT_GE(s.size(), 2u * 30000);
  int offset = -1;
  for (int i = 0; i < frames && offset < 0; ++i)
    if (pattern[2 * i] == s[0] && pattern[2 * i + 1] == s[1] && pattern[(2 * i + 2) % (2 * frames)] == s[2])
      offset = i;
  ASSERT_GE(offset, 0);
  for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], pattern[(2 * offset + i) % (2 * frames)]) << i;

  // The speakers file holds the synthesizer (the microphone monitor is muted).
  file = sf_open(out.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.channels, 2);
  std::vector<std::int16_t> written(2 * info.frames);
  sf_readf_short(file, written.data(), info.frames);
  sf_close(file);
  ASSERT_GE(info.frames, 30000);
  EXPECT_TRUE(std::all_of(written.begin(), written.end(), [](auto v) { return v == 4096; }));
  std::remove(in.c_str());
  std::remove(out.c_str());
  rmdir(dir);
}

}  // namespace
