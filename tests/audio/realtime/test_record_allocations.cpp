// Allocation on the card's thread while recording, in the steady state: the
// card's own capture with each kind of callback (a window, a function), the
// input engine in both of its modes (buffers handled through its window or
// by its worker) and behind a full message queue, and a take with its
// accompaniment (FluidSynth with a real soundfont, a WAV file). The periods
// run on the test's thread through the stepped clock, with counting on only
// while the card runs; the buffers' handling on the main thread is not
// counted.
#include <gtest/gtest.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include <sndfile.h>

#include "../../platform/sequencer/seqtest.h"
#include "../../platform/soundcard/alloccount.h"
#include "audio/MMWavIn.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_audio_realtime";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

constexpr int kSteadyPeriods = 50;

// 16-bit stereo at 44100 Hz, a card period (441 frames) a buffer.
void SetUpStereo(TMMWaveIn& in, int buffers, TMMCBMode mode) {
  in.SetDeviceID(MapperId);
  in.SetMode(mStereo);
  in.SetBitLength(b16Bit);
  in.SetSampleRate(44100);
  in.SetBufferSize(1764);
  in.SetNumBuffers(buffers);
  in.SetCallBackMode(mode);
}

class RecordAllocations : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CARDTEST_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator cannot be counted";
#endif
    // The counter itself must see allocations at all.
    tCounting = true;
    gAllocations = 0;
    void* volatile p = std::malloc(16);
    std::free(p);
    tCounting = false;
    ASSERT_EQ(gAllocations.load(), 1);
    App();
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMicrophoneTestSignal();
  }
  void TearDown() override {
    ProcessMessages();
    soundcard::ResetCard();
  }
  // Runs `periods` periods: the card counted, then (not counted) what the
  // main thread has to do, and a pause for a worker.
  static long CountedPeriods(int periods, bool waitForWorker) {
    return CardPeriods(periods, [&] {
      ProcessMessages();
      if (waitForWorker) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  }
  // Runs `periods` periods and returns the allocations and frees the card's
  // thread made in them; `between` runs uncounted after each.
  static long CardPeriods(int periods, const std::function<void()>& between) {
    long calls = 0;
    for (int i = 0; i < periods; ++i) {
      gAllocations = 0;
      gFrees = 0;
      tCounting = true;
      soundcard::Advance(soundcard::kPeriodFrames);
      tCounting = false;
      calls += gAllocations.load() + gFrees.load();
      between();
    }
    return calls;
  }
};

// A raw card client: re-queues every buffer from where it hears of it.
struct Client {
  std::vector<std::vector<char>> memory = std::vector<std::vector<char>>(8, std::vector<char>(1764));
  std::vector<WAVEHDR> headers = std::vector<WAVEHDR>(8);
  HWAVEIN handle = nullptr;
  int returned = 0;
  bool closing = false;

  static void Function(void* h, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<Client*>(instance);
    if (msg != MM_WIM_DATA || self->closing) return;
    ++self->returned;
    waveInAddBuffer(static_cast<HWAVEIN>(h), reinterpret_cast<WAVEHDR*>(p1), sizeof(WAVEHDR));
  }
  LRESULT Window(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != MM_WIM_DATA) return DefWindowProc(w, msg, wp, lp);
    if (closing) return 0;
    ++returned;
    waveInAddBuffer(reinterpret_cast<HWAVEIN>(wp), reinterpret_cast<WAVEHDR*>(lp), sizeof(WAVEHDR));
    return 0;
  }
  void Start() {
    for (std::size_t i = 0; i < headers.size(); ++i) {
      headers[i] = WAVEHDR{};
      headers[i].lpData = memory[i].data();
      headers[i].dwBufferLength = DWORD(memory[i].size());
      ASSERT_EQ(waveInPrepareHeader(handle, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      ASSERT_EQ(waveInAddBuffer(handle, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
  }
  void Close() {
    closing = true;
    waveInReset(handle);
    for (WAVEHDR& h : headers) waveInUnprepareHeader(handle, &h, sizeof(WAVEHDR));
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
  }
};

WAVEFORMATEX Stereo16() { return pcmBuildWaveHeader(16, 2, 44100); }

TEST_F(RecordAllocations, TheCardCapturingForAWindowOrAFunctionAllocatesNothing) {
  const WAVEFORMATEX format = Stereo16();
  Client byFunction, byWindow;
  HWND window = AllocateHWnd([&](HWND w, UINT m, WPARAM wp, LPARAM lp) { return byWindow.Window(w, m, wp, lp); });
  ASSERT_EQ(waveInOpen(&byFunction.handle, 0, &format, DWORD_PTR(&Client::Function), DWORD_PTR(&byFunction),
                       CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(waveInOpen(&byWindow.handle, 0, &format, DWORD_PTR(window), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  byFunction.Start();
  byWindow.Start();
  CountedPeriods(10, false);  // past the first periods
  EXPECT_EQ(CountedPeriods(kSteadyPeriods, false), 0);
  // Both kept recording all along (a 10 ms buffer a period).
  EXPECT_GE(byFunction.returned, kSteadyPeriods);
  EXPECT_GE(byWindow.returned, kSteadyPeriods);
  byFunction.Close();
  byWindow.Close();
  DeallocateHWnd(window);
}

// The engine keeps the voice as well: its ring is read where the buffers are
// handled, on the main thread or the worker.
TEST_F(RecordAllocations, TheInputEngineRecordingAllocatesNothingOnTheCardsThread) {
  for (TMMCBMode mode : {cmWindow, cmThread}) {
    SCOPED_TRACE(mode == cmWindow ? "window" : "worker");
    TMMWaveIn in;
    SetUpStereo(in, 8, mode);
    std::atomic<int> delivered{0};  // counted on the worker in its mode
    std::atomic<std::int64_t> bytes{0}, voiceBytes{0};
    in.OnBufferReady = [&](QObject*, PWaveHdr h) {
      ++delivered;
      bytes += h->dwBytesRecorded;
    };
    // The voice is kept too, read where the buffers are handled.
    in.SetWantsVoice(true);
    in.OnVoice = [&](const std::uint8_t*, std::size_t size) { voiceBytes += std::int64_t(size); };
    in.Start();
    CountedPeriods(10, mode == cmThread);
    const int before = delivered;
    EXPECT_EQ(CountedPeriods(kSteadyPeriods, mode == cmThread), 0);
    EXPECT_GE(delivered - before, kSteadyPeriods - 8) << "it kept recording";
    in.Stop();
    in.Close();
    EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
    EXPECT_EQ(voiceBytes.load(), bytes.load());
  }
}

// The main thread held up while the card records: the engine's buffers wait
// behind the full message queue instead of growing it on the card's thread,
// and each reaches the engine once the main thread is back, in the order
// recorded, none lost.
TEST_F(RecordAllocations, TheInputEngineBehindAFullMessageQueueAllocatesNothingAndLosesNoBuffer) {
  TMMWaveIn in;
  SetUpStereo(in, 32, cmWindow);
  std::vector<const void*> order;
  order.reserve(1000);
  std::int64_t bytes = 0;
  in.OnBufferReady = [&](QObject*, PWaveHdr h) {
    order.push_back(h);
    bytes += h->dwBytesRecorded;
  };
  HWND filler = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  in.Start();
  CountedPeriods(10, false);
  const std::uint64_t deferredBefore = DeferredPosts().deferred;
  const std::size_t before = order.size();

  while (TryPostMessage(filler, WM_USER, 0, 0) == PostResult::Posted) {
  }
  EXPECT_EQ(CardPeriods(20, [] {}), 0) << "the queue was full";
  EXPECT_EQ(DeferredPosts().deferred - deferredBefore, 20u);
  EXPECT_EQ(DeferredPosts().overflowed, 0u);
  EXPECT_EQ(CountedPeriods(kSteadyPeriods, false), 0) << "catching up";
  ProcessMessages();
  EXPECT_EQ(DeferredPosts().waiting, 0u);
  EXPECT_EQ(order.size() - before, std::size_t(20 + kSteadyPeriods)) << "a buffer a period";
  EXPECT_EQ(bytes, std::int64_t(order.size()) * 1764) << "every buffer full";
  in.Stop();
  in.Close();
  DeallocateHWnd(filler);
  EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
  // The ring's buffers came back in turn: each the one 32 before it.
  for (std::size_t i = 32; i < order.size(); ++i) ASSERT_EQ(order[i], order[i - 32]) << i;
  EXPECT_EQ(std::set<const void*>(order.begin(), order.begin() + 32).size(), 32u);
}

// A take with its accompaniment, as the window and `record` make one: the
// input engine records while the accompaniment plays. Past the first second
// (the rate converter warming up) the card's thread allocates and frees
// nothing, FluidSynth's rendering included (its OpenMP runtime allocates on
// every render, on the renderer's thread), nor at the accompaniment's end,
// whose notice reaches its window although the message queue is full just
// then.
class AccompaniedTake : public RecordAllocations {
 protected:
  void SetUp() override {
    RecordAllocations::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(dir.isValid());
    // A real soundfont of the suite; nothing remembered from elsewhere.
    setenv("TUNELARK_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  }
  void TearDown() override {
    mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
    RecordAllocations::TearDown();
  }

  // `seconds` at 120 beats a minute: a four-part chord on four instruments
  // and a drum every beat.
  std::string Song(int seconds) {
    seqtest::Track t;
    t.tempo(0, 500000);
    const std::uint8_t programs[] = {0, 33, 48, 73};
    for (std::uint8_t c = 0; c < 4; ++c) t.at(0, {std::uint8_t(0xC0 | c), programs[c]});
    for (std::uint32_t beat = 0; beat < std::uint32_t(2 * seconds); ++beat) {
      const std::uint32_t on = beat * 480;
      for (std::uint8_t c = 0; c < 4; ++c) t.at(on, {std::uint8_t(0x90 | c), std::uint8_t(48 + 7 * c + beat % 5), 90});
      t.at(on, {0x99, std::uint8_t(beat % 2 ? 38 : 36), 100});
      for (std::uint8_t c = 0; c < 4; ++c) t.at(on + 400, {std::uint8_t(0x80 | c), std::uint8_t(48 + 7 * c + beat % 5), 0});
      t.at(on + 400, {0x89, std::uint8_t(beat % 2 ? 38 : 36), 0});
    }
    t.end(std::uint32_t(2 * seconds) * 480);
    return seqtest::Write(dir, "song.mid", seqtest::Smf(0, 480, {t}));
  }
  // `seconds` of a stereo tone at the card's rate, as 16-bit PCM.
  std::string Backing(int seconds) {
    const std::string path = dir.filePath("backing.wav").toStdString();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return {};
    std::vector<float> samples(std::size_t(seconds) * 44100 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = 0.3f * float(std::sin(2 * M_PI * 330.0 * double(i / 2) / 44100));
    sf_writef_float(f, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(f);
    return path;
  }

  // Plays `path` of `seconds` to its end during a take.
  void PlayedDuringATake(const std::string& path, int seconds) {
    ASSERT_FALSE(path.empty());
    std::vector<WPARAM> notices;
    HWND window = AllocateHWnd([&](HWND, UINT msg, WPARAM how, LPARAM) -> LRESULT {
      if (msg == MM_MCINOTIFY) notices.push_back(how);
      return 0;
    });
    HWND filler = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    MCIDEVICEID id = 0;
    ASSERT_EQ(seqtest::Open(path, id), 0u);
    ASSERT_TRUE(sequencer::WaitDevicesSettled(60000));
    TMMWaveIn in;
    SetUpStereo(in, 64, cmWindow);
    std::int64_t bytes = 0;
    in.OnBufferReady = [&](QObject*, PWaveHdr h) { bytes += h->dwBytesRecorded; };
    in.Start();
    ASSERT_EQ(seqtest::Play(id, window), 0u);
    // The main thread keeps up and so does the file's feeder, as they would
    // at real time.
    const auto keepUp = [] {
      ProcessMessages();
      ASSERT_TRUE(sequencer::WaitDevicesSettled(10000));
    };
    const int periods = seconds * 100;
    CardPeriods(100, keepUp);
    EXPECT_EQ(CardPeriods(periods - 120, keepUp), 0) << "playing";
    // The end, with the main thread held up behind a full queue.
    while (TryPostMessage(filler, WM_USER, 0, 0) == PostResult::Posted) {
    }
    EXPECT_EQ(CardPeriods(40, [] { ASSERT_TRUE(sequencer::WaitDevicesSettled(10000)); }), 0) << "the end";
    EXPECT_TRUE(notices.empty());
    CardPeriods(5, keepUp);
    ProcessMessages();
    EXPECT_EQ(notices, std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(seqtest::Status(id, MCI_STATUS_MODE), DWORD(MCI_MODE_STOP));
    in.Stop();
    in.Close();
    EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
    EXPECT_GE(bytes, std::int64_t(periods + 20) * 1764) << "it kept recording";
    DeallocateHWnd(filler);
    DeallocateHWnd(window);
  }
  QTemporaryDir dir;
};

TEST_F(AccompaniedTake, FluidSynthPlayingAMidiFileAllocatesNothingOnTheCardsThread) {
  PlayedDuringATake(Song(6), 6);
}

// Long enough for the played buffers to have come back more than a hundred
// times.
TEST_F(AccompaniedTake, AWavBackingAllocatesNothingOnTheCardsThread) { PlayedDuringATake(Backing(16), 16); }

}  // namespace
