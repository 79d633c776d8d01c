// The wave input engine on the virtual card: property rules, open errors,
// device failures through a doctored device table, the buffer pipeline in
// window and thread mode, the recording limit and the stop rules.
#include <QMessageBox>
#include <chrono>
#include <memory>
#include <thread>

#include "audio/MMWavIn.h"
#include "platform/soundcard/soundcard.h"
#include "tests/audio/rec/rec_fixture.h"

using namespace rectest;

namespace {

// The end of a recording chain: keeps every byte and every notice.
class Sink : public TMMDSPComponent {
 public:
  Sink() { PublishInput(); }
  void Opened() override {
    TMMDSPComponent::Opened();
    log += "O";
  }
  void Started() override {
    TMMDSPComponent::Started();
    log += "S";
  }
  void Stopped() override {
    if (IsStarted()) log += "s";
    TMMDSPComponent::Stopped();
  }
  void Closed() override {
    TMMDSPComponent::Closed();
    log += "C";
  }
  void BufferReady(PMMBufferHeader h) override {
    std::lock_guard guard(lock);
    bytes.insert(bytes.end(), h->lpData, h->lpData + h->dwBytesRecorded);
    ++buffers;
    TMMDSPComponent::BufferReady(h);
  }
  std::size_t Size() {
    std::lock_guard guard(lock);
    return bytes.size();
  }
  std::mutex lock;
  std::vector<std::uint8_t> bytes;
  std::atomic<int> buffers{0};
  std::string log;
};

// What a doctored device answers: how many devices, their capability bits,
// and a start or close made to fail.
struct Doctor {
  UINT devices;
  DWORD formats;
  MMRESULT startResult = 0;
  bool failClose = false;
};

TMMWaveInFunctions DoctoredCalls(const std::shared_ptr<Doctor>& doctor) {
  TMMWaveInFunctions f = MMWaveInDeviceCalls();
  f.GetNumDevs = [doctor] { return doctor->devices; };
  f.GetDevCaps = [doctor](UINT id, WAVEINCAPS* caps, UINT size) {
    const MMRESULT r = waveInGetDevCaps(id, caps, size);
    caps->dwFormats = doctor->formats;
    return r;
  };
  f.GetErrorText = [](MMRESULT code, char* text, UINT size) {
    if (code == 999) return MMSYSERR_BADERRNUM;
    return waveInGetErrorText(code, text, size);
  };
  f.Close = [doctor](HWAVEIN h) { return doctor->failClose ? MMSYSERR_ERROR : waveInClose(h); };
  f.Start = [doctor](HWAVEIN h) { return doctor->startResult ? doctor->startResult : waveInStart(h); };
  return f;
}

// An engine whose device calls can be made to fail.
class DoctoredWaveIn : public TMMWaveIn {
 public:
  explicit DoctoredWaveIn(UINT devices = 1, DWORD formats = 0xFFF)
      : DoctoredWaveIn(std::make_shared<Doctor>(Doctor{devices, formats})) {}
  MMRESULT& startResult;
  bool& failClose;

 private:
  explicit DoctoredWaveIn(std::shared_ptr<Doctor> doctor)
      : TMMWaveIn(nullptr, DoctoredCalls(doctor)),
        startResult(doctor->startResult),
        failClose(doctor->failClose),
        doctor_(std::move(doctor)) {}
  std::shared_ptr<Doctor> doctor_;
};

template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EMMWaveInError& e) {
    return e.what();
  }
  return "(no error)";
}

void Configure(TMMCustomWaveIn& in, int rate = 44100) {
  in.SetDeviceID(MapperId);
  in.SetMode(mStereo);
  in.SetBitLength(b16Bit);
  in.SetSampleRate(rate);
  in.SetBufferSize(3048);
  in.SetNumBuffers(20);
}

}  // namespace

class WaveInTest : public RecTest {};

TEST_F(WaveInTest, PropertiesClampAndBuildTheFormat) {
  TMMWaveIn in;
  EXPECT_EQ(in.GetNumBuffers(), 10);
  EXPECT_EQ(in.GetBufferSize(), 2048);
  EXPECT_EQ(in.SampleRate(), 11025);
  EXPECT_EQ(in.State(), unsigned(wisClosed));
  EXPECT_NE(in.GetProductName(), waveinmsg::kNoDevice);

  in.SetNumBuffers(1);
  EXPECT_EQ(in.GetNumBuffers(), 10);
  in.SetNumBuffers(1000);
  EXPECT_EQ(in.GetNumBuffers(), 500);
  in.SetBufferSize(10);
  EXPECT_EQ(in.GetBufferSize(), 32);
  in.SetSampleRate(200000);
  EXPECT_EQ(in.SampleRate(), 100000);
  in.SetSampleRate(100);
  EXPECT_EQ(in.SampleRate(), 8000);
  in.SetMode(mMultiChannel);
  EXPECT_EQ(in.Mode(), mMono);

  Configure(in);
  const PWaveFormatEx f = in.GetWaveFormat();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->nChannels, 2);
  EXPECT_EQ(f->wBitsPerSample, 16);
  EXPECT_EQ(f->nBlockAlign, 4);
  EXPECT_EQ(f->nAvgBytesPerSec, 176400u);

  // A PCM format from downstream is adopted into the properties.
  const WAVEFORMATEX mono8 = pcmBuildWaveHeader(8, 1, 22050);
  in.SetWaveFormat(&mono8);
  EXPECT_EQ(in.Mode(), mMono);
  EXPECT_EQ(in.BitLength(), b8Bit);
  EXPECT_EQ(in.SampleRate(), 22050);

  // The limit follows the time format.
  Configure(in);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(1000);
  EXPECT_EQ(in.RecordLimit(), 176400);
  in.SetTimeFormat(tfByte);
  EXPECT_EQ(in.MaxRecordTime(), 176400);
  in.SetTimeFormat(tfSample);
  EXPECT_EQ(in.MaxRecordTime(), 44100);
  in.SetMaxRecordTime(-1);
  EXPECT_EQ(in.RecordLimit(), INT32_MAX);

  in.SetDeviceID(7);
  EXPECT_EQ(in.GetDeviceID(), InvalidId);
  EXPECT_EQ(in.GetProductName(), waveinmsg::kNoDevice);
  int errors = 0;
  in.OnError = [&](QObject*) { ++errors; };
  EXPECT_EQ(ErrorOf([&] { in.Start(); }), "Invalid DeviceID");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(in.State(), unsigned(wisClosed));
}

TEST_F(WaveInTest, EveryPropertyChangeWhileOpenIsRefused) {
  TMMWaveIn in;
  Configure(in);
  in.Open();
  ASSERT_TRUE(in.State() & wisOpen);
  const std::string refused = "Change to property while device was open";
  EXPECT_EQ(ErrorOf([&] { in.SetDeviceID(MapperId); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetCallBackMode(cmWindow); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetMode(mMono); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetBitLength(b8Bit); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetSampleRate(22050); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetNumBuffers(8); }), refused);
  EXPECT_EQ(ErrorOf([&] { in.SetBufferSize(4096); }), refused);
  // The same values are no change.
  EXPECT_EQ(ErrorOf([&] { in.SetMode(mStereo); }), "(no error)");
  EXPECT_EQ(ErrorOf([&] { in.SetSampleRate(44100); }), "(no error)");
  EXPECT_TRUE(in.State() & wisOpen);
  in.Close();
  EXPECT_EQ(in.State(), unsigned(wisClosed));
  in.SetSampleRate(22050);
}

TEST_F(WaveInTest, DeviceFailuresNameTheCall) {
  {
    DoctoredWaveIn in(0);
    Configure(in);
    EXPECT_EQ(ErrorOf([&] { in.Start(); }), "No wave audio recording device found");
  }
  {
    // Capability bits decide by the rate's row; 96000 is looked up as 30464.
    DoctoredWaveIn in(1, WAVE_FORMAT_4S16);
    Configure(in);
    WAVEFORMATEX f = pcmBuildWaveHeader(16, 2, 44100);
    EXPECT_TRUE(in.QueryDevice(MapperId, &f));
    f = pcmBuildWaveHeader(16, 2, 22050);
    EXPECT_FALSE(in.QueryDevice(MapperId, &f));
    f = pcmBuildWaveHeader(16, 2, 96000);
    EXPECT_TRUE(in.QueryDevice(MapperId, &f));
    f = pcmBuildWaveHeader(16, 2, 44100);
    EXPECT_FALSE(in.QueryDevice(1, &f));
    EXPECT_FALSE(in.QueryDevice(MapperId, nullptr));
    in.SetSampleRate(22050);
    EXPECT_EQ(ErrorOf([&] { in.Start(); }), "WaveInOpen:\n\rThe actual device can''t record this format");
    EXPECT_EQ(in.State(), unsigned(wisClosed));
  }
  {
    DoctoredWaveIn in;
    Configure(in);
    Sink sink;
    in.SetOutput(&sink);
    in.startResult = MMSYSERR_NOMEM;
    char text[256] = {};
    waveInGetErrorText(MMSYSERR_NOMEM, text, sizeof text);
    EXPECT_EQ(ErrorOf([&] { in.Start(); }), std::string("WaveInStart:\n\r") + text);
    EXPECT_EQ(in.State(), unsigned(wisClosed));
    EXPECT_EQ(sink.log.back(), 'C');
    in.startResult = 999;  // a code the device has no text for
    EXPECT_EQ(ErrorOf([&] { in.Start(); }), "WaveInStart:\n\rSpecified error number is out of range (unknown error)");
    in.startResult = 0;
    in.Start();
    EXPECT_TRUE(in.State() & wisRecording);
    in.Stop();
    in.Close();
  }
}

TEST_F(WaveInTest, FailedDeviceCloseStillClosesTheChain) {
  DoctoredWaveIn in;
  Configure(in);
  Sink sink;
  in.SetOutput(&sink);
  int errors = 0;
  in.OnError = [&](QObject*) { ++errors; };
  in.Start();
  Run(100);
  in.failClose = true;
  in.Close();  // reports through OnError only
  EXPECT_EQ(errors, 1);
  EXPECT_FALSE(sink.IsOpened());
  EXPECT_EQ(sink.log, "OSsC");
  in.failClose = false;
  in.Close();
}

TEST_F(WaveInTest, WindowModeDeliversEveryBufferInOrder) {
  TMMWaveIn in;
  Configure(in);
  Sink sink;
  in.SetOutput(&sink);
  std::string events;
  in.OnOpen = [&](QObject*) { events += "open "; };
  in.OnStart = [&](QObject*) { events += "start "; };
  in.OnStop = [&](QObject*) { events += "stop "; };
  in.OnClose = [&](QObject*) { events += "close "; };
  in.Start();
  EXPECT_EQ(sink.RealBufferSize(), 3048);
  Run(2000);
  EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
  // A full buffer whose message is still waiting when the stop begins is
  // not delivered.
  soundcard::Advance(3048 / 4);
  const std::size_t before = sink.Size();
  in.Close();  // stops first
  EXPECT_EQ(sink.Size(), before);
  EXPECT_EQ(events, "open start stop close ");
  EXPECT_EQ(sink.log, "OSsC");

  const auto record = LastRecord();
  ASSERT_GE(record.delivered.size(), sink.bytes.size());
  EXPECT_EQ(sink.bytes.size() % 3048, 0u);
  EXPECT_GE(sink.bytes.size(), 176400u * 2 - 3048);
  EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), record.delivered.begin()));
  EXPECT_EQ(in.BytesRecorded(), std::int64_t(sink.bytes.size()));

  // The buffer memory is kept for the next run, not taken anew.
  in.Start();
  Run(100);
  in.Close();
}

TEST_F(WaveInTest, PauseHandsBackThePartBufferAndRestartGoesOn) {
  TMMWaveIn in;
  Configure(in);
  Sink sink;
  in.SetOutput(&sink);
  std::string events;
  in.OnPause = [&](QObject*) { events += "pause "; };
  in.OnRestart = [&](QObject*) { events += "restart "; };
  in.Start();
  Run(500);
  in.Pause();
  EXPECT_TRUE(in.State() & wisPaused);
  Run(200);  // paused: nothing is recorded
  const std::size_t whilePaused = sink.Size();
  EXPECT_NE(whilePaused % 3048, 0u);  // the part-filled buffer came through
  in.Restart();
  EXPECT_FALSE(in.State() & wisPaused);
  Run(500);
  in.Stop();
  EXPECT_EQ(events, "pause restart ");
  EXPECT_EQ(sink.log, "OSs");
  EXPECT_GT(sink.Size(), whilePaused + 3048 * 5);
  const auto record = LastRecord();
  EXPECT_EQ(record.lostFrames, 0u);
  EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), record.delivered.begin()));
  in.Close();
}

TEST_F(WaveInTest, RecordingLimitTrimsTheLastBufferAndStops) {
  TMMWaveIn in;
  Configure(in);
  Sink sink;
  in.SetOutput(&sink);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(1000);
  int stops = 0;
  in.OnStop = [&](QObject*) { ++stops; };
  in.Start();
  Run(1500);
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(in.State() & wisRecording);
  EXPECT_EQ(sink.bytes.size(), 176400u);
  const auto record = LastRecord();
  EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), record.delivered.begin()));
  in.Close();
}

// 3528-byte buffers land exactly on the limit of 1000 ms (176400 bytes)
// with the 50th: that buffer ends the recording, whole; no empty 51st
// buffer follows.
TEST_F(WaveInTest, ABufferThatEndsExactlyOnTheLimitStopsTheRecording) {
  TMMWaveIn in;
  Configure(in);
  in.SetBufferSize(3528);
  Sink sink;
  in.SetOutput(&sink);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(1000);
  int stops = 0;
  in.OnStop = [&](QObject*) { ++stops; };
  in.Start();
  Run(1500);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(sink.bytes.size(), 176400u);
  EXPECT_EQ(sink.buffers.load(), 50);
  in.Close();
}

TEST_F(WaveInTest, StopFromADeliveryIsDeferred) {
  TMMWaveIn in;
  Configure(in);
  Sink sink;
  in.SetOutput(&sink);
  std::string events;
  bool inDelivery = false;
  in.OnBufferReady = [&](QObject*, PWaveHdr) {
    if (sink.buffers == 2) {
      inDelivery = true;
      in.Stop();
      in.Close();
      events += "asked ";
      inDelivery = false;
    }
  };
  in.OnStop = [&](QObject*) { events += inDelivery ? "stop-inside " : "stop "; };
  in.OnClose = [&](QObject*) { events += "close "; };
  in.Start();
  Run(500);
  EXPECT_EQ(events, "asked stop close ");
  EXPECT_EQ(in.State(), unsigned(wisClosed));
  // The buffer in hand still went down the chain; none after it.
  EXPECT_EQ(sink.buffers, 3);
  EXPECT_EQ(sink.log, "OSsC");
}

TEST_F(WaveInTest, ThreadModeDeliversOnTheWorker) {
  TMMWaveIn in;
  Configure(in);
  in.SetCallBackMode(cmThread);
  Sink sink;
  in.SetOutput(&sink);
  std::atomic<bool> offMain{true};
  in.OnBufferReady = [&](QObject*, PWaveHdr) {
    if (IsMainThread()) offMain = false;
  };
  in.Start();
  for (int i = 0; i < 100; ++i) {
    soundcard::Advance(441);
    // Let the worker keep up, as a real-time card would.
    for (int spin = 0; spin < 1000 && sink.Size() + 2 * 3048 < LastRecord().delivered.size(); ++spin)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  in.Stop();
  in.Close();
  EXPECT_TRUE(offMain);
  EXPECT_GT(sink.buffers, 50);
  EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
  const auto record = LastRecord();
  EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), record.delivered.begin()));
}

TEST_F(WaveInTest, CallbackModeIsRefusedWithAMessage) {
  TMMWaveIn in;
  in.SetCallBackMode(cmCallback);
  EXPECT_EQ(in.GetCallBackMode(), cmWindow);
  QMessageBox* shown = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->windowTitle() == "TMMWaveIn") shown = box;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->text().toStdString(), waveinmsg::kCallbackWarning);
  shown->close();
}
