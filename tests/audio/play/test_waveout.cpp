// The output engine on the stepped card: exact data in order, the end of the
// data, failures, deferred stops, pause/reset and the property rules.
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "audio/MMWavOut.h"
#include "platform/winmsg/winmsg.h"
#include "play_fixture.h"

using namespace playtest;

namespace {

class WaveOutTest : public PlayTest {
 protected:
  void SetUp() override {
    PlayTest::SetUp();
    format = pcmBuildWaveHeader(16, 2, 44100);
    source.SetWaveFormat(&format);
    out.SetInput(&source);
    out.SetBufferSize(3048);
    out.SetNumBuffers(20);
    out.SetDeviceID(MapperId);
    out.OnStart = [this](QObject*) { log.push_back("start"); };
    out.OnStop = [this](QObject*) { log.push_back("stop"); };
    out.OnClose = [this](QObject*) { log.push_back("close"); };
    out.OnError = [this](QObject*) { log.push_back("error"); };
    out.OnBufferReady = [this](QObject*, PWaveHdr h) {
      delivered.insert(delivered.end(), h->lpData, h->lpData + h->dwBytesRecorded);
      linkedOk = linkedOk && h->LinkedHeader && h->LinkedHeader != h;
      if (onReady) onReady(h);
    };
  }
  bool Playing() const { return (out.State() & wosPlaying) != 0; }
  int Count(const char* what) const { return int(std::count(log.begin(), log.end(), what)); }

  WAVEFORMATEX format{};
  MemorySource source;
  TMMWaveOut out;
  std::vector<std::string> log;
  std::vector<char> delivered;
  bool linkedOk = true;
  std::function<void(PWaveHdr)> onReady;
};

TEST_F(WaveOutTest, PlaysExactlyTheChainsDataInOrderThenStopsByItself) {
  const std::vector<std::int16_t> data = Signal16(2 * 30000);
  source.SetData(Bytes(data));
  Tap(40000);
  out.Start();
  EXPECT_TRUE(Playing());
  RunUntil([&] { return !Playing(); }, 2 * 44100);

  ExpectMixHolds(Mix(), 0, data);
  const std::vector<float> mix = Mix();
  EXPECT_TRUE(std::all_of(mix.begin() + std::ptrdiff_t(data.size()), mix.end(), [](float v) { return v == 0.0f; }));
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
  // Every played buffer went down the chain, in order, pointing at the one
  // being heard next.
  EXPECT_EQ(delivered, Bytes(data));
  EXPECT_TRUE(linkedOk);
  EXPECT_EQ(out.PositionAtStop(), std::int64_t(data.size() * 2));
  EXPECT_EQ(out.BytesPlayed(), std::int64_t(data.size() * 2));
  EXPECT_EQ(out.State(), TMMWaveOutState(wosOpen));
  out.Close();
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
  EXPECT_EQ(log.back(), "close");
}

// The driver may hand back the last buffers before the first of them is
// handled (a busy main thread, a slow worker): every one still reaches
// OnBufferReady before the engine stops at the end of the data.
TEST_F(WaveOutTest, BuffersReturnedTogetherAtTheEndAreAllDelivered) {
  const std::vector<std::int16_t> data = Signal16(2 * 3000, 3);  // 3 full buffers and a part
  source.SetData(Bytes(data));
  out.Start();
  soundcard::Advance(4 * 3000);  // all of it played, nothing handled yet
  RunUntil([&] { return !Playing(); }, 44100);
  EXPECT_FALSE(Playing());
  EXPECT_EQ(delivered, Bytes(data));
  EXPECT_EQ(Count("stop"), 1);
}

TEST_F(WaveOutTest, DataShorterThanOneBufferPlaysAndStopsOnce) {
  const std::vector<std::int16_t> data = Signal16(2 * 300, 7);
  source.SetData(Bytes(data));
  Tap(2000);
  out.Start();
  RunUntil([&] { return !Playing(); }, 44100);
  ExpectMixHolds(Mix(), 0, data);
  EXPECT_EQ(Count("stop"), 1);
  EXPECT_EQ(delivered, Bytes(data));
  Run(4410);
  EXPECT_EQ(Count("stop"), 1);
}

TEST_F(WaveOutTest, AChainWithoutDataFailsStartAndClosesTheDevice) {
  EXPECT_EQ(ErrorOf<EMMWaveOutError>([&] { out.Start(); }), "WaveOutStart:\n\rUnable to start device");
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
  EXPECT_GE(Count("error"), 1);
  EXPECT_EQ(Count("start"), 0);
  // The OnOpen that opening fired is matched by an OnClose (the player
  // turns them into its OnStart and OnStop).
  EXPECT_EQ(Count("close"), 1);
  // The engine is usable again once there is data.
  source.SetData(Bytes(Signal16(4000)));
  out.Start();
  RunUntil([&] { return !Playing(); }, 44100);
  EXPECT_EQ(Count("start"), 1);
}

TEST_F(WaveOutTest, StopAndCloseFromInsideABufferHandlerCompleteAfterItReturns) {
  source.SetData(Bytes(Signal16(2 * 44100)));
  int buffers = 0;
  bool playingAfterStop = false;
  onReady = [&](PWaveHdr) {
    if (++buffers != 3) return;
    out.Stop();
    out.Close();
    playingAfterStop = Playing();
    log.push_back("handler done");
  };
  out.Start();
  RunUntil([&] { return out.State() == wosClosed; }, 44100);
  EXPECT_TRUE(playingAfterStop);
  EXPECT_EQ(buffers, 3);
  EXPECT_EQ(log, (std::vector<std::string>{"start", "handler done", "stop", "close"}));
}

// A Start asked while the engine closes (here by OnStop, which Close fires
// after stopping the run) would queue a new run on the device that Close is
// letting go: the close then fails with the buffers at the card and the
// device stays open and playing. The close goes on and nothing starts.
TEST_F(WaveOutTest, AStartAskedWhileTheEngineClosesStartsNothing) {
  source.SetData(Bytes(Signal16(2 * 44100)));
  out.Start();
  RunUntil([&] { return delivered.size() >= 2 * 3048; }, 44100);
  out.OnStop = [&](QObject*) {
    log.push_back("stop");
    out.Start();
  };
  out.Close();
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
  EXPECT_EQ(log, (std::vector<std::string>{"start", "stop", "close"}));
  // A Start after the close plays again, to the end.
  out.OnStop = [&](QObject*) { log.push_back("stop"); };
  out.Start();
  RunUntil([&] { return !Playing(); }, 3 * 44100);
  EXPECT_EQ(Count("start"), 2);
  EXPECT_EQ(Count("error"), 0);
}

TEST_F(WaveOutTest, PauseHoldsThePositionAndResetRefillsFromTheChain) {
  const std::vector<std::int16_t> data = Signal16(2 * 44100, 3);
  source.SetData(Bytes(data));
  out.Start();
  Run(8820);
  out.Pause();
  const std::int64_t held = out.GetPosition();
  EXPECT_EQ(held, 8820 * 4);
  Tap(4410);
  Run(4410);
  EXPECT_EQ(out.GetPosition(), held);
  const std::vector<float> silent = Mix();
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](float v) { return v == 0.0f; }));

  source.Rewind(0);
  out.Reset();
  EXPECT_EQ(out.GetPosition(), 0);
  Tap(8820);
  out.Restart();
  Run(8820);
  ExpectMixHolds(Mix(), 0, std::vector<std::int16_t>(data.begin(), data.begin() + 2 * 8820));
  EXPECT_EQ(out.GetPosition(), 8820 * 4);
  out.Stop();
  EXPECT_EQ(Count("stop"), 1);
}

// The card has handed back every buffer while the main thread was busy: the
// ring is empty and the notices wait in the queue. Reset must still refill
// it and play on, and a new run must not take the old run's notices for its
// own.
TEST_F(WaveOutTest, AResetOrARestartAfterTheRingRanDryPlaysOn) {
  const std::vector<std::int16_t> data = Signal16(2 * 44100, 11);
  source.SetData(Bytes(data));
  out.Start();
  soundcard::Advance(20000);  // longer than the ring; nothing delivered
  source.Rewind(0);
  out.Reset();
  Tap(50000);
  RunUntil([&] { return !Playing(); }, 2 * 44100);
  EXPECT_FALSE(Playing());
  ExpectMixHolds(Mix(), 0, data);

  source.Rewind(0);
  out.Start();
  soundcard::Advance(4410);  // notices of this run wait in the queue
  out.Stop();
  source.Rewind(0);
  Tap(50000);
  out.Start();
  RunUntil([&] { return !Playing(); }, 2 * 44100);
  EXPECT_EQ(Count("error"), 0);
  ExpectMixHolds(Mix(), 0, data);
  EXPECT_EQ(Count("stop"), 3);
}

TEST_F(WaveOutTest, PropertiesFollowTheirRules) {
  out.SetNumBuffers(1);
  EXPECT_EQ(out.GetNumBuffers(), 20);
  out.SetNumBuffers(1000);
  EXPECT_EQ(out.GetNumBuffers(), 500);
  out.SetBufferSize(10);
  EXPECT_EQ(out.GetBufferSize(), 32);
  out.SetCallBackMode(cmCallback);
  EXPECT_EQ(out.GetCallBackMode(), cmWindow);
  EXPECT_NE(out.GetProductName(), waveoutmsg::kNoDevice);

  out.SetDeviceID(7);
  EXPECT_EQ(out.GetDeviceID(), InvalidId);
  EXPECT_EQ(out.GetProductName(), waveoutmsg::kNoDevice);
  EXPECT_EQ(ErrorOf<EMMWaveOutError>([&] { out.Open(); }), "Invalid DeviceID");

  out.SetDeviceID(0);
  out.Open();
  for (auto change : std::vector<std::function<void()>>{[&] { out.SetDeviceID(MapperId); },
                                                        [&] { out.SetNumBuffers(30); },
                                                        [&] { out.SetBufferSize(4096); },
                                                        [&] { out.SetCallBackMode(cmThread); }}) {
    EXPECT_EQ(ErrorOf<EMMWaveOutError>(change), "Change to property while device was open");
  }
  EXPECT_EQ(out.GetBufferSize(), 32);
  out.Close();
}

TEST_F(WaveOutTest, AFormatTheDeviceCannotPlayIsRefusedAtOpen) {
  WAVEFORMATEX odd = format;
  odd.wFormatTag = 0x0055;
  source.SetWaveFormat(&odd);
  EXPECT_EQ(ErrorOf<EMMWaveOutError>([&] { out.Start(); }),
            "WaveOutOpen:\n\rThe actual device can''t play this format");
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
}

TEST_F(WaveOutTest, TheWorkerThreadModePlaysEverythingAndStops) {
  const std::vector<std::int16_t> data = Signal16(2 * 20000, 5);
  source.SetData(Bytes(data));
  out.SetCallBackMode(cmThread);
  out.Start();
  // The worker refills on its own thread; give it time between periods.
  auto play = [&](int periods) {
    for (int i = 0; i < periods && Playing(); ++i) {
      Run(soundcard::kPeriodFrames);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  play(10);
  // Back to the start: notices of the dropped buffers must not count. The
  // worker may still be refilling from the notices of the periods above, so
  // the source moves with the reset, under the engine's lock (moving it
  // before Reset let a late refill take the first block from the new
  // position, and the reset then dropped it).
  source.RewindAtReset(0);
  out.Reset();
  play(2000);
  EXPECT_FALSE(Playing());
  EXPECT_EQ(Count("stop"), 1);
  EXPECT_EQ(Count("error"), 0);
  const std::vector<char> all = Bytes(data);
  ASSERT_GE(delivered.size(), all.size());
  EXPECT_TRUE(std::equal(all.begin(), all.end(), delivered.end() - std::ptrdiff_t(all.size())));
  out.Close();
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
}


// The engine on a device whose open, write or start fails: the call's name
// and the device's own text, OnError once, the device closed. Nothing of the
// failed try is kept: with the device well again the same data plays
// exactly.
TEST_F(WaveOutTest, AFailingOpenWriteOrStartReportsTheDevicesTextAndLosesNothing) {
  struct Case {
    const char* call;
    MMRESULT code;
  };
  for (const Case& c : {Case{"WaveOutOpen", MMSYSERR_ALLOCATED}, Case{"WaveOutWrite", MMSYSERR_NOMEM},
                        Case{"WaveOutRestart", MMSYSERR_ERROR}}) {
    SCOPED_TRACE(c.call);
    bool failing = true;
    TMMWaveOutFunctions calls = MMWaveOutDeviceCalls();
    auto fails = [&](const char* call) { return failing && std::string(c.call) == call; };
    calls.Open = [&, open = calls.Open](HWAVEOUT* h, UINT id, const WAVEFORMATEX* f, DWORD_PTR cb, DWORD_PTR inst,
                                        DWORD flags) {
      return fails("WaveOutOpen") && !(flags & WAVE_FORMAT_QUERY) ? c.code : open(h, id, f, cb, inst, flags);
    };
    calls.Write = [&, write = calls.Write](HWAVEOUT h, WAVEHDR* hdr, UINT size) {
      return fails("WaveOutWrite") ? c.code : write(h, hdr, size);
    };
    calls.Restart = [&, restart = calls.Restart](HWAVEOUT h) { return fails("WaveOutRestart") ? c.code : restart(h); };
    TMMWaveOut engine(nullptr, calls);
    MemorySource data;
    const std::vector<std::int16_t> sound = Signal16(2 * 5000, 7);
    data.SetData(Bytes(sound));
    data.SetWaveFormat(&format);
    engine.SetInput(&data);
    engine.SetBufferSize(3048);
    int errors = 0;
    engine.OnError = [&](QObject*) { ++errors; };

    char text[MAXERRORLENGTH] = {};
    ASSERT_EQ(waveOutGetErrorTextA(c.code, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_EQ(ErrorOf<EMMWaveOutError>([&] { engine.Start(); }), std::string(c.call) + ":\n\r" + text);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(engine.State(), TMMWaveOutState(wosClosed));
    EXPECT_EQ(engine.LastError(), c.code);

    failing = false;
    data.Rewind(0);
    Tap(20000);
    engine.Start();
    RunUntil([&] { return !(engine.State() & wosPlaying); }, 44100);
    ExpectMixHolds(Mix(), 0, sound);
    EXPECT_EQ(errors, 1);
    engine.Close();
    EXPECT_EQ(engine.State(), TMMWaveOutState(wosClosed));
  }
}

// A failure of the buffer handling closes the device, fires OnError once and
// reaches the application's error handler on the main thread (which shows
// it in a box), never on the worker.
TEST_F(WaveOutTest, AFailureOfTheBufferHandlingIsReportedOnceOnTheMainThread) {
  for (TMMCBMode mode : {cmWindow, cmThread}) {
    SCOPED_TRACE(mode);
    log.clear();
    source.SetData(Bytes(Signal16(2 * 44100, 6)));
    out.SetCallBackMode(mode);
    onReady = [](PWaveHdr) { throw std::runtime_error("display failed"); };
    std::vector<std::string> reported;
    bool onMain = true;
    SetApplicationExceptionHandler([&](std::exception_ptr error) {
      onMain = onMain && IsMainThread();
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        reported.push_back(e.what());
      }
    });
    out.Start();
    RunUntil(
        [&] {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
          return out.State() == TMMWaveOutState(wosClosed);
        },
        44100);
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
    EXPECT_EQ(reported, (std::vector<std::string>{"display failed"}));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(Count("error"), 1);
    EXPECT_EQ(Count("close"), 1);
  }
}

// A converted format ends too: the card tells the engine once the converter
// has let out the last of the sound, in both callback modes.
TEST_F(WaveOutTest, AConvertedFormatStopsByItselfOnceItsEndWasHeard) {
  for (TMMCBMode mode : {cmWindow, cmThread}) {
    SCOPED_TRACE(mode);
    log.clear();
    const WAVEFORMATEX mono = pcmBuildWaveHeader(16, 1, 22050);
    source.SetWaveFormat(&mono);
    out.SetCallBackMode(mode);
    source.SetData(Bytes(Signal16(22050 / 2 + 17, 4)));
    out.Start();
    const std::uint64_t ran = RunUntil(
        [&] {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
          return !Playing();
        },
        2 * 44100);
    EXPECT_FALSE(Playing());
    EXPECT_GE(ran, 44100u / 2) << "not before the end was heard";
    EXPECT_EQ(log, (std::vector<std::string>{"start", "stop"}));
    out.Close();
  }
}

// The player closes the engine from its OnStop, which runs while the engine
// holds its lock; the worker may be waiting for that lock with a notice of
// the run that ends. Ending the worker must not wait for it forever. Here an
// OnRestart handler (also run under the lock) plays a few buffers, so that
// the worker waits, and then closes the device.
TEST_F(WaveOutTest, ClosingUnderTheEngineLockEndsAWorkerThatWaitsForIt) {
  source.SetData(Bytes(Signal16(2 * 44100, 9)));
  out.SetCallBackMode(cmThread);
  out.OnStop = [&](QObject*) {
    log.push_back("stop");
    out.Close();
  };
  out.Start();
  for (int i = 0; i < 5; ++i) {
    Run(soundcard::kPeriodFrames);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  out.Pause();
  bool workerWaited = false;
  out.OnRestart = [&](QObject*) {
    // Played buffers go to the worker, which now waits for the engine.
    soundcard::Advance(4 * soundcard::kPeriodFrames);
    for (int i = 0; i < 5000 && !out.WorkerWaiting(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    workerWaited = out.WorkerWaiting();
    out.Stop();
  };
  // Without an end the test would hang; tell which test it was.
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 600 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!finished) {
      std::fprintf(stderr, "closing under the engine lock did not return\n");
      std::abort();
    }
  });
  out.Restart();
  finished = true;
  watchdog.join();
  EXPECT_TRUE(workerWaited) << "the worker never waited for the engine: the race was not reached";
  EXPECT_EQ(out.State(), TMMWaveOutState(wosClosed));
  EXPECT_EQ(Count("stop"), 1);
  EXPECT_EQ(Count("close"), 1);
  EXPECT_EQ(Count("error"), 0);
}

}  // namespace
