// The wave recorder end to end on the virtual card: the WAV file holds
// exactly what the card recorded, at each quality, with the limit, when
// stopped early, from OnData, on a full disk, into an existing file, under a
// busy main thread; and a recording process killed outright.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sndfile.h>

#include <QMessageBox>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "recplay/MMWRec.h"
#include "tests/audio/rec/rec_fixture.h"
#include "wavefile/MMWave.h"

using namespace rectest;

extern char** environ;

namespace {

// Sample of the test signal as the card hands it over at 44100 Hz, 16 bits.
std::int16_t Expected(std::uint64_t frame, unsigned channel) {
  return static_cast<std::int16_t>(std::lrint(soundcard::TestSignalSample(frame, channel) * 32768.0f));
}

}  // namespace

class RecorderTest : public RecTest {};

TEST_F(RecorderTest, TenSecondsAtEachQualityMatchTheCardSampleForSample) {
  for (int rate : {44100, 22050, 11025}) {
    SCOPED_TRACE(rate);
    soundcard::ClearHistory();
    const std::string name = Path("take" + std::to_string(rate) + ".wav");
    TMMWaveRecorder rec;
    ConfigureTakeRecorder(rec, rate);
    rec.SetFileName(name);
    int starts = 0, stops = 0;
    rec.OnStart = [&](QObject*) { ++starts; };
    rec.OnStop = [&](QObject*) { ++stops; };
    rec.Start();
    EXPECT_TRUE(rec.State() & wisRecording);
    rec.Start();  // a second start does nothing
    Run(10000);
    rec.Stop();
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(rec.State(), unsigned(wisClosed));

    const auto file = ReadFile(name);
    ASSERT_GE(file.size(), 58u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(U32(file, 4), file.size() - 8);
    EXPECT_EQ(U32(file, 24), std::uint32_t(rate));
    const auto data = DataOf(file);
    const auto record = LastRecord();
    EXPECT_EQ(record.lostFrames, 0u);
    const std::size_t fullBuffers = record.delivered.size() / 3048 * 3048;
    // Every full buffer, the first one included; only the partly filled one
    // handed back by the stop is left out.
    EXPECT_EQ(data.size(), fullBuffers);
    EXPECT_GE(data.size(), std::size_t(rate) * 4 * 10 - 2 * 3048);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), record.delivered.begin()));
    EXPECT_EQ(std::string(file.begin() + 46 + data.size(), file.begin() + 50 + data.size()), "fact");
    EXPECT_EQ(U32(file, 54 + data.size()), data.size() / 4);
    EXPECT_EQ(rec.Wave()->FileSize(), std::int32_t(file.size()));
    if (rate == 44100) {
      // The card's recording mix is the microphone's test signal itself.
      for (std::size_t i = 0; i < 4096; ++i)
        ASSERT_EQ(std::int16_t(data[4 * i] | data[4 * i + 1] << 8), Expected(record.startFrame + i, 0)) << i;
    }
  }
}

// A component after the recorder (the place of the level meters' connector)
// whose stop notice fails.
class FailingStopSink : public TMMDSPComponent {
 public:
  FailingStopSink() { PublishInput(); }
  void Stopped() override {
    const bool was = IsStarted();
    TMMDSPComponent::Stopped();
    if (was) throw std::runtime_error("the meters are gone");
  }
};

TEST_F(RecorderTest, DestroyedWhileRecordingFinishesTheFileWhateverTheStopRaises) {
  FailingStopSink sink;
  {
    auto* rec = new TMMWaveRecorder;
    ConfigureTakeRecorder(*rec);
    rec->SetFileName(Path("going.wav"));
    rec->SetOutput(&sink);
    rec->Start();
    Run(500);
    delete rec;  // must not let the failure out of the destructor
  }
  const auto data = DataOf(ReadFile(Path("going.wav")));
  EXPECT_GE(data.size(), 3048u * 20);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), LastRecord().delivered.begin()));
  EXPECT_FALSE(LastRecord().open);

  // Outside the destructor the failure reaches the caller, and the file is
  // finished all the same.
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("stopped.wav"));
  rec.SetOutput(&sink);
  rec.Start();
  Run(500);
  EXPECT_THROW(rec.Stop(), std::runtime_error);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  EXPECT_GE(DataOf(ReadFile(Path("stopped.wav"))).size(), 3048u * 20);
}

TEST_F(RecorderTest, ForwardedPropertiesAndTheStoredFormat) {
  TMMWaveRecorder rec;
  EXPECT_TRUE(rec.OverwriteExisting());
  EXPECT_FALSE(rec.Wave()->FileMustExist());
  ConfigureTakeRecorder(rec);
  EXPECT_EQ(rec.GetBufferSize(), 3048);
  EXPECT_EQ(rec.WaveIn()->GetNumBuffers(), 20);
  rec.SetTimeFormat(tfMillisecond);
  EXPECT_EQ(rec.WaveIn()->TimeFormat(), tfMillisecond);
  EXPECT_EQ(rec.Wave()->TimeFormat(), tfMillisecond);
  EXPECT_EQ(rec.ProductName(), rec.WaveIn()->GetProductName());
  EXPECT_EQ(rec.InputFormat().rfind("PCM 44", 0), 0u) << rec.InputFormat();
  EXPECT_NE(rec.InputFormat().find("16 Bit"), std::string::npos);

  rec.SetInputFormat("GSM");  // read-only: a message, no change
  bool told = false;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w);
        box && box->text() == "This is a read-only property, please use SelectFormat.") {
      told = true;
      box->close();
    }
  EXPECT_TRUE(told);
  EXPECT_EQ(rec.InputFormat().rfind("PCM", 0), 0u);

  // PCM is stored through Mode, BitLength and SampleRate alone; another
  // format as its raw record.
  EXPECT_FALSE(rec.StoresWaveFormatEx());
  std::vector<std::uint8_t> gsm(18 + 2, 0);
  WAVEFORMATEX f{};
  f.wFormatTag = 0x31;
  f.nChannels = 1;
  f.nSamplesPerSec = 8000;
  f.nAvgBytesPerSec = 1625;
  f.nBlockAlign = 65;
  f.cbSize = 2;
  std::memcpy(gsm.data(), &f, 18);
  gsm[18] = 64;
  gsm[19] = 1;
  rec.ReadWaveFormatEx(gsm);
  EXPECT_TRUE(rec.StoresWaveFormatEx());
  EXPECT_EQ(rec.WriteWaveFormatEx(), gsm);
  EXPECT_EQ(rec.SampleRate(), 44100);  // not PCM: the properties stay
  EXPECT_EQ(rec.InputFormat().rfind("GSM 6.10", 0), 0u) << rec.InputFormat();
  // The chain carries the same format down to the recorder.
  ASSERT_NE(rec.GetWaveFormat(), nullptr);
  EXPECT_EQ(rec.GetWaveFormat()->wFormatTag, 0x31);
  gsm.resize(19);  // shorter than its cbSize says: ignored
  rec.ReadWaveFormatEx(gsm);
  EXPECT_EQ(rec.WriteWaveFormatEx().size(), 20u);
}

TEST_F(RecorderTest, OneSecondLimitGivesExactlyItsBytesThenStops) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetTimeFormat(tfMillisecond);
  rec.SetMaxRecordTime(1000);
  rec.SetFileName(Path("limit.wav"));
  int stops = 0;
  std::size_t seen = 0;
  rec.OnStop = [&](QObject*) { ++stops; };
  rec.OnData = [&](QObject* sender, PWaveHdr h) {
    EXPECT_EQ(sender, &rec);
    seen += h->dwBytesRecorded;  // after the trim
  };
  rec.Start();
  Run(1500);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  const auto data = DataOf(ReadFile(Path("limit.wav")));
  EXPECT_EQ(data.size(), 176400u);
  EXPECT_EQ(seen, 176400u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), LastRecord().delivered.begin()));
}

TEST_F(RecorderTest, StartWithoutNameAndStopBeforeAnyBuffer) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.Start();  // no file name: nothing
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  rec.Stop();  // nothing to stop

  rec.SetFileName(Path("short.wav"));
  rec.Start();
  soundcard::AdvanceAndPump(441);  // 10 ms: no buffer full yet
  rec.Stop();
  const auto file = ReadFile(Path("short.wav"));
  ASSERT_EQ(file.size(), 46u + 4 + 12);
  EXPECT_EQ(U32(file, 42), 4u);
  EXPECT_EQ(U32(file, 46), 0u);
  EXPECT_THROW(
      {
        rec.Start();
        try {
          rec.SetPosition(0);
        } catch (...) {
          rec.Stop();
          throw;
        }
      },
      EMMWaveRecorderError);
}

TEST_F(RecorderTest, StopFromOnDataCompletesFromTheDeferredMessage) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("ondata.wav"));
  std::string events;
  int buffers = 0;
  rec.OnData = [&](QObject*, PWaveHdr) {
    if (++buffers == 5) {
      rec.Stop();
      events += "asked ";
    }
  };
  rec.OnStop = [&](QObject*) {
    events += "stop ";
    // The file is finished before the recorder reports the stop.
    EXPECT_EQ(U32(ReadFile(Path("ondata.wav")), 42), 5u * 3048);
  };
  rec.Start();
  Run(1000);
  EXPECT_EQ(events, "asked stop ");
  EXPECT_EQ(buffers, 5);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
}

// A stop deferred from OnData completes from a posted message. When the
// program stops the recorder itself before that message comes (here from a
// message posted just before it), the stop's wait handles the deferred one:
// the recording stops once, with one OnStop.
TEST_F(RecorderTest, AStopThatMeetsTheDeferredStopInItsWaitReportsOnce) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("twice.wav"));
  int stops = 0;
  HWND window = AllocateHWnd([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER + 1) rec.Stop();
    return 0;
  });
  int buffers = 0;
  rec.OnData = [&](QObject*, PWaveHdr) {
    if (++buffers != 5) return;
    PostMessage(window, WM_USER + 1, 0, 0);
    rec.Stop();
  };
  rec.OnStop = [&](QObject*) { ++stops; };
  rec.Start();
  Run(1000);
  DeallocateHWnd(window);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  EXPECT_EQ(U32(ReadFile(Path("twice.wav")), 42), 5u * 3048);
}

TEST_F(RecorderTest, FullDiskEndsTheRecordingWithAFinishedFile) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("full.wav"));
  int buffers = 0, stops = 0;
  rec.OnData = [&](QObject*, PWaveHdr) { ++buffers; };
  rec.OnStop = [&](QObject*) { ++stops; };
  SetDiskFreeQuery([&](const std::string&) { return std::int64_t(buffers < 10 ? 1 << 30 : 40000); });
  rec.Start();
  Run(1000);
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  const auto data = DataOf(ReadFile(Path("full.wav")));
  EXPECT_EQ(data.size(), 9u * 3048);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), LastRecord().delivered.begin()));
}

TEST_F(RecorderTest, ExistingFileIsContinuedAndANewNameFinishesTheOldFile) {
  // A first take, then an INFO entry added by another program.
  {
    TMMWaveRecorder rec;
    ConfigureTakeRecorder(rec);
    rec.SetFileName(Path("song.wav"));
    rec.Start();
    Run(500);
    rec.Stop();
  }
  auto file = ReadFile(Path("song.wav"));
  const auto first = DataOf(file);
  ASSERT_GT(first.size(), 3048u * 4);
  const char info[] = {'L', 'I', 'S', 'T', 18, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M',
                       6,   0,   0,   0,   'S', 'o', 'n', 'g', '!', 0};
  file.insert(file.end(), info, info + sizeof info);
  const std::uint32_t riff = std::uint32_t(file.size() - 8);
  std::memcpy(file.data() + 4, &riff, 4);
  std::FILE* f = std::fopen(Path("song.wav").c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);

  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("song.wav"));
  EXPECT_EQ(rec.Wave()->DataSize(), std::int32_t(first.size()));
  rec.SetPosition(3048);
  int changes = 0;
  rec.OnChange = [&](QObject*) { ++changes; };
  soundcard::ClearHistory();
  rec.Start();
  Run(200);
  // A new name while recording finishes this file and stops.
  rec.SetFileName(Path("next.wav"));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  EXPECT_FALSE(std::filesystem::exists(Path("next.wav")));

  const auto after = ReadFile(Path("song.wav"));
  const auto data = DataOf(after);
  const auto second = LastRecord().delivered;
  const std::size_t written = second.size() / 3048 * 3048;
  ASSERT_GT(written, 0u);
  ASSERT_EQ(data.size(), std::max(first.size(), 3048 + written));
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 3048, data.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.begin() + written, data.begin() + 3048));
  const std::string text(after.begin(), after.end());
  const std::size_t entry = text.find("INAM");
  ASSERT_NE(entry, std::string::npos) << "INFO entries are kept";
  EXPECT_EQ(text.substr(entry + 8, 6), std::string("Song!", 6));
  // The recording format stays the recorder's, whatever an opened file had.
  EXPECT_EQ(rec.WaveIn()->SampleRate(), 44100);
  EXPECT_EQ(rec.InputFormat().rfind("PCM ", 0), 0u);
}

TEST_F(RecorderTest, ExistingFileOfAnotherFormatIsRefusedAndKept) {
  // 8-bit mono data that 16-bit stereo samples would overwrite.
  {
    TMMWaveRecorder rec;
    ConfigureTakeRecorder(rec);
    rec.SetMode(mMono);
    rec.SetBitLength(b8Bit);
    rec.SetSampleRate(11025);
    rec.SetFileName(Path("mono.wav"));
    rec.Start();
    Run(1000);
    rec.Stop();
  }
  const auto before = ReadFile(Path("mono.wav"));
  ASSERT_GT(DataOf(before).size(), 3000u);
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("mono.wav"));
  EXPECT_EQ(rec.WaveIn()->Mode(), mStereo);  // naming it changed nothing
  try {
    rec.Start();
    FAIL() << "recorded 16-bit stereo into an 8-bit mono file";
  } catch (const EMMWaveError& e) {
    EXPECT_STREQ(e.what(), "Unable to open wave file");
  }
  EXPECT_EQ(rec.State(), unsigned(wisClosed));
  EXPECT_FALSE(LastRecord().open);
  EXPECT_EQ(ReadFile(Path("mono.wav")), before);

  // The recorder is ready for the next file.
  rec.SetFileName(Path("stereo.wav"));
  rec.Start();
  Run(200);
  rec.Stop();
  EXPECT_GE(DataOf(ReadFile(Path("stereo.wav"))).size(), 3048u * 10);
}

TEST_F(RecorderTest, BlockedMainThreadLosesNothing) {
  TMMWaveRecorder rec;
  ConfigureTakeRecorder(rec);
  rec.SetFileName(Path("busy.wav"));
  rec.Start();
  for (int second = 0; second < 20; ++second) {
    // 300 ms in which nobody handles the posted buffers: the card fills
    // what is queued.
    soundcard::Advance(kFramesPerSecond * 300 / 1000);
    Run(700);
  }
  rec.Stop();
  const auto record = LastRecord();
  EXPECT_EQ(record.lostFrames, 0u);
  const auto data = DataOf(ReadFile(Path("busy.wav")));
  EXPECT_GE(data.size(), 20u * 176400 - 2 * 3048);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), record.delivered.begin()));
}

TEST_F(RecorderTest, KilledRecordingLeavesAnOpenableFile) {
  const std::string name = Path("killed.wav");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string child = TL_REC_CHILD;
  char* argv[] = {child.data(), const_cast<char*>(name.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, child.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  // The child reports its stream's first clock frame, then the bytes
  // written after every buffer.
  std::FILE* reports = fdopen(out[0], "r");
  unsigned long long startFrame = 0, written = 0, value = 0;
  char word[16];
  while (std::fscanf(reports, "%15s %llu", word, &value) == 2) {
    if (std::string(word) == "start") startFrame = value;
    if (std::string(word) == "written") written = value;
    if (written >= 400000) break;
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  // What the child wrote before the kill (one buffer may have gone
  // unreported).
  while (std::fscanf(reports, "%15s %llu", word, &value) == 2)
    if (std::string(word) == "written") written = value;
  std::fclose(reports);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_GE(written, 400000u);

  // The sizes in the file were brought up to date while recording: other
  // readers find the take to within half a second of what was written.
  const auto raw = ReadFile(name);
  ASSERT_GE(raw.size(), 46u);
  const std::uint32_t declared = U32(raw, 42);
  EXPECT_EQ(U32(raw, 4), declared + 38);
  EXPECT_LE(declared, written + 3048);
  EXPECT_GE(declared + 88200, written);
  EXPECT_LE(46 + declared, raw.size());
  SF_INFO info{};
  SNDFILE* sf = sf_open(name.c_str(), SFM_READ, &info);
  ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
  sf_close(sf);
  EXPECT_EQ(info.frames, sf_count_t(declared / 4));

  TMMWave wave;
  wave.SetTimeFormat(tfByte);
  wave.SetFileName(name);
  const std::int32_t size = wave.DataSize();
  EXPECT_EQ(size, std::int32_t((raw.size() - 46) / 4 * 4));
  // Everything up to the last flush of the 32768-byte I/O buffer is there.
  EXPECT_GE(size, std::int32_t(written) - 32768);
  wave.OpenFile();
  std::vector<char> data(size);
  ASSERT_EQ(wave.ReadPlayData(data.data(), size), size);
  for (std::int32_t frame = 0; frame < size / 4; frame += 37) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.data()) + 4 * frame;
    ASSERT_EQ(std::int16_t(p[0] | p[1] << 8), Expected(startFrame + frame, 0)) << frame;
    ASSERT_EQ(std::int16_t(p[2] | p[3] << 8), Expected(startFrame + frame, 1)) << frame;
  }

  // Python's wave module, the strictest of the common readers.
  if (std::system("python3 -c 'import wave' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3 with its wave module is not installed: not tried";
  const std::string script = "python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnframes())' '" + name + "'";
  std::FILE* python = popen(script.c_str(), "r");
  ASSERT_NE(python, nullptr);
  long long frames = -1;
  EXPECT_EQ(std::fscanf(python, "%lld", &frames), 1);
  EXPECT_EQ(pclose(python), 0);
  EXPECT_EQ(frames, (long long)(declared / 4));
}
