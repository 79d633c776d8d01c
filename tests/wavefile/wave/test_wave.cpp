// The wave file object: creating, finishing, reopening and reading files,
// positions in the three time formats, naming errors; and the chain
// component in both directions, with the disk-space seam.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/language/language.h"
#include "tests/wavefile/wave/wave_files.h"
#include "wavefile/DiskSpace.h"
#include "wavefile/MMWave.h"
#include "wavefile/MMWaveFile.h"

using namespace wavetest;
namespace fs = std::filesystem;

namespace {

class CountingObserver : public TMMWaveObserver {
 public:
  void WaveChanged(TMMWave*) override { ++changes; }
  int changes = 0;
};

// A producer at the head of a chain: hands its format and buffers down.
class Source : public TMMDSPComponent {
 public:
  Source() { PublishOutput(); }
  void Push(std::vector<std::uint8_t> bytes) {
    block.assign(MMBufferBlockSize(bytes.size()), 0);
    PMMBufferHeader h = MMInitBufferHeader(block.data(), DWORD(bytes.size()));
    std::memcpy(h->lpData, bytes.data(), bytes.size());
    h->dwBytesRecorded = DWORD(bytes.size());
    BufferReady(h);
  }
  std::vector<std::uint8_t> block;
};

class WaveTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = TempDir("wave"); }
  void TearDown() override {
    SetDiskFreeQuery({});
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  fs::path dir;
};

}  // namespace

TEST_F(WaveTest, CreatedFileHasTheRecorderLayoutAndReadsBack) {
  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  const auto first = Ramp(3048, 1), second = Ramp(3048, 7);
  {
    TMMWave wave;
    wave.SetTimeFormat(tfByte);
    wave.CreateWaveFile(Path("take.wav"), &f);
    EXPECT_EQ(wave.FileName(), Path("take.wav"));
    EXPECT_EQ(wave.WriteData(reinterpret_cast<const char*>(first.data()), 3048), 3048);
    EXPECT_EQ(wave.GetPosition(), 3048);
    EXPECT_EQ(wave.WriteData(reinterpret_cast<const char*>(second.data()), 3048), 3048);
    EXPECT_EQ(wave.DataSize(), 6096);
    EXPECT_EQ(wave.GetPlayLength(), 6096);
    wave.CloseFile();
    EXPECT_EQ(wave.FileSize(), 46 + 6096 + 12);
  }
  const auto bytes = ReadBytes(Path("take.wav"));
  ASSERT_EQ(bytes.size(), 46u + 6096 + 12);
  EXPECT_EQ(Tag(bytes, 0), "RIFF");
  EXPECT_EQ(U32(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(U32(bytes, 16), 18u);
  EXPECT_EQ(Tag(bytes, 38), "data");
  EXPECT_EQ(U32(bytes, 42), 6096u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin() + 46));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), bytes.begin() + 46 + 3048));
  EXPECT_EQ(Tag(bytes, 46 + 6096), "fact");
  EXPECT_EQ(U32(bytes, 46 + 6096 + 8), 6096u / 4);

  // Named again, the finished file is described, and plays back whole.
  TMMWave wave;
  wave.SetTimeFormat(tfByte);
  wave.SetFileName(Path("take.wav"));
  EXPECT_EQ(wave.DataSize(), 6096);
  EXPECT_EQ(wave.BitLength(), 16);
  EXPECT_EQ(wave.Mode(), mStereo);
  EXPECT_EQ(wave.SampleRate(), 44100);
  EXPECT_EQ(wave.FormatString(), "PCM");
  wave.OpenFile();
  std::vector<char> out(5000);
  ASSERT_EQ(wave.ReadPlayData(out.data(), 5000), 5000);
  EXPECT_EQ(wave.GetPosition(), 5000);
  ASSERT_EQ(wave.ReadPlayData(out.data() + 0, 5000), 1096);
  EXPECT_EQ(wave.GetPosition(), wave.GetPlayLength());
  EXPECT_EQ(wave.ReadPlayData(out.data(), 5000), -1);
  EXPECT_TRUE(std::equal(second.end() - 1096, second.end(), reinterpret_cast<std::uint8_t*>(out.data())));
}

TEST_F(WaveTest, PositionsFollowTheTimeFormat) {
  WriteBytes(Path("tone.wav"), MakeWave(Pcm(16, 2, 44100), Ramp(176400)));
  TMMWave wave;
  wave.SetFileName(Path("tone.wav"));
  EXPECT_EQ(wave.TimeFormat(), tfSample);
  EXPECT_EQ(wave.DataSize(), 44100);
  wave.SetTimeFormat(tfMillisecond);
  EXPECT_EQ(wave.GetPlayLength(), 1000);
  wave.SetTimeFormat(tfByte);
  EXPECT_EQ(wave.DataSize(), 176400);
  EXPECT_EQ(wave.TimeToSamples(1000), 250);
  EXPECT_EQ(wave.SamplesToTime(250), 1000);
  EXPECT_EQ(wave.SamplesToTime(1), 4);  // bytes are whole blocks

  wave.OpenFile();
  wave.SetPosition(1000);
  EXPECT_EQ(wave.GetPosition(), 1000);
  EXPECT_EQ(wave.PlayBytesLeft(), 176400 - 1000);
  std::vector<char> out(8);
  ASSERT_EQ(wave.ReadPlayData(out.data(), 8), 8);
  const auto ramp = Ramp(176400);
  EXPECT_TRUE(std::equal(ramp.begin() + 1000, ramp.begin() + 1008, reinterpret_cast<std::uint8_t*>(out.data())));

  // To the length or beyond: nothing left to play.
  wave.SetPosition(999999);
  EXPECT_EQ(wave.PlayBytesLeft(), 0);
  EXPECT_EQ(wave.ReadPlayData(out.data(), 8), -1);
  wave.CloseFile();
  EXPECT_EQ(wave.GetPosition(), 0);
}

TEST_F(WaveTest, NamingFilesAndItsErrors) {
  TMMWave wave;
  CountingObserver seen;
  wave.AddObserver(&seen);

  // The wave's own text, then the file and what is wrong with it.
  language::Choose("en");
  WriteBytes(Path("junk.wav"), std::vector<std::uint8_t>(64, 'x'));
  try {
    wave.SetFileName(Path("junk.wav"));
    FAIL() << "junk accepted";
  } catch (const EMMWaveError& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid wave file...\n" + Path("junk.wav") + " is not a WAV file");
  }
  try {
    wave.SetFileName(Path("missing.wav"));
    FAIL() << "missing file accepted";
  } catch (const EMMWaveError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Error reading wave file\ncannot open " + Path("missing.wav") + ": No such file or directory");
  }
  EXPECT_EQ(seen.changes, 0);

  // A missing file may be named when it need not exist: recording creates it.
  wave.SetFileMustExist(false);
  wave.SetFileName(Path("new.wav"));
  EXPECT_EQ(wave.FileName(), Path("new.wav"));
  EXPECT_TRUE(wave.IsEmpty());
  EXPECT_EQ(wave.GetPosition(), -1);
  EXPECT_EQ(wave.FileSize(), 0);
  EXPECT_EQ(seen.changes, 1);

  // The same file again with an unchanged size is not reopened; once it grew
  // it is.
  WriteBytes(Path("a.wav"), MakeWave(Pcm(8, 1, 11025), Ramp(100)));
  wave.SetFileName(Path("a.wav"));
  EXPECT_EQ(seen.changes, 2);
  wave.SetFileName(Path("a.wav"));
  EXPECT_EQ(seen.changes, 2);
  WriteBytes(Path("a.wav"), MakeWave(Pcm(8, 1, 11025), Ramp(200)));
  wave.SetFileName(Path("a.wav"));
  EXPECT_EQ(seen.changes, 3);
  EXPECT_EQ(wave.DataSize(), 200);

  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  try {
    wave.CreateWaveFile(Path("no/such/folder/x.wav"), &f);
    FAIL() << "created in a missing folder";
  } catch (const EMMWaveError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Unable to create wave file\ncannot create " + Path("no/such/folder/x.wav") + ": No such file or directory");
  }
  EXPECT_EQ(wave.FileName(), Path("a.wav"));

  wave.SetFileName("");
  EXPECT_EQ(wave.FileName(), "");
  EXPECT_EQ(wave.GetPWaveFormat(), nullptr);
  EXPECT_EQ(seen.changes, 4);
  wave.RemoveObserver(&seen);
}

TEST_F(WaveTest, UnfinishedRecordingOpensWithAllItsData) {
  // Sizes never written (as after a crash): the data runs to the end.
  auto bytes = MakeWave(Pcm(16, 2, 44100), Ramp(4000));
  for (int i = 4; i < 8; ++i) bytes[i] = 0;
  for (int i = 40; i < 44; ++i) bytes[i] = 0;
  WriteBytes(Path("crash.wav"), bytes);
  TMMWave wave;
  wave.SetTimeFormat(tfByte);
  wave.SetFileName(Path("crash.wav"));
  EXPECT_EQ(wave.DataSize(), 4000);
}

// Naming the file the wave is still writing (its size on disk differs from
// the size known when it was created) reads it again. That must see the
// whole take: a later rewrite from position 0 keeps the larger data size,
// and a stale one would let "fact" land in the take's last part.
TEST_F(WaveTest, NamingTheFileBeingWrittenFinishesItBeforeReadingItAgain) {
  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  std::vector<std::uint8_t> take;
  for (int i = 0; i < 20; ++i) {
    const auto part = Ramp(3048, std::uint8_t(i));
    take.insert(take.end(), part.begin(), part.end());
  }
  TMMWave wave;
  wave.SetTimeFormat(tfByte);
  wave.CreateWaveFile(Path("take.wav"), &f);
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(wave.WriteData(reinterpret_cast<const char*>(take.data()) + 3048 * i, 3048), 3048);
  wave.SetFileName(Path("take.wav"));
  EXPECT_EQ(wave.DataSize(), std::int32_t(take.size()));
  auto bytes = ReadBytes(Path("take.wav"));
  EXPECT_EQ(U32(bytes, 42), take.size());
  EXPECT_EQ(U32(bytes, 4), bytes.size() - 8);

  // A shorter second take from the start, as the recorder writes it.
  wave.SetPosition(0);
  wave.OpenFile();
  const auto retake = Ramp(3048, 99);
  ASSERT_EQ(wave.WriteData(reinterpret_cast<const char*>(retake.data()), 3048), 3048);
  wave.CloseFile();
  bytes = ReadBytes(Path("take.wav"));
  ASSERT_EQ(U32(bytes, 42), take.size());
  EXPECT_TRUE(std::equal(retake.begin(), retake.end(), bytes.begin() + 46));
  EXPECT_TRUE(std::equal(take.begin() + 3048, take.end(), bytes.begin() + 46 + 3048));
  EXPECT_EQ(Tag(bytes, 46 + take.size()), "fact");
}

TEST_F(WaveTest, MemoryWaveRefusesWrites) {
  const auto image = MakeWave(Pcm(8, 1, 8000), Ramp(10));
  TMMWave wave;
  wave.LoadFromMemory(image.data(), image.size());
  EXPECT_EQ(wave.DataSize(), 10);
  const WAVEFORMATEX f = Pcm(8, 1, 8000);
  EXPECT_THROW(wave.CreateWaveFile(Path("x.wav"), &f), EMMWaveError);
  try {
    wave.WriteData("ab", 2);
    FAIL();
  } catch (const EMMWaveError& e) {
    EXPECT_STREQ(e.what(), "Can't write to MemoryWave");
  }
}

TEST_F(WaveTest, AMemoryWaveTakesANamedFileWholeAndKeepsItsImageOnErrors) {
  const auto first = MakeWave(Pcm(8, 1, 8000), Ramp(10));
  const auto second = Ramp(400, 7);
  WriteBytes(Path("second.wav"), MakeWave(Pcm(16, 2, 22050), second));
  TMMWave wave;
  wave.LoadFromMemory(first.data(), first.size());
  CountingObserver seen;
  wave.AddObserver(&seen);
  wave.SetFileName(Path("second.wav"));
  EXPECT_TRUE(wave.HasMemoryImage());
  EXPECT_EQ(seen.changes, 1);
  EXPECT_EQ(wave.SampleRate(), 22050);
  EXPECT_EQ(wave.DataSize(), 100);  // 400 bytes in frames of 4
  // The wave reads its own copy: the file may go.
  fs::remove(Path("second.wav"));
  wave.OpenFile();
  std::vector<char> got(500);
  ASSERT_EQ(wave.ReadData(got.data(), 500), 400);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), reinterpret_cast<const std::uint8_t*>(got.data())));
  wave.CloseFile();

  auto message = [&](const std::string& name) -> std::string {
    try {
      wave.SetFileName(Path(name));
    } catch (const EMMWaveError& e) {
      return e.what();
    }
    return "no error";
  };
  // A missing file leaves the image as it was.
  EXPECT_EQ(message("missing.wav"), "Error reading wave file");
  EXPECT_TRUE(wave.HasMemoryImage());
  EXPECT_EQ(wave.SampleRate(), 22050);
  // A file that is there but no wave, or is empty, is said to be invalid,
  // and the wave still holds and plays its image.
  WriteBytes(Path("noise.wav"), Ramp(64));
  EXPECT_EQ(message("noise.wav"), "Invalid wave file...\n" + Path("noise.wav") + " is not a WAV file");
  WriteBytes(Path("empty.wav"), {});
  EXPECT_EQ(message("empty.wav"), "Invalid wave file...\n" + Path("empty.wav") + " is not a WAV file");
  EXPECT_TRUE(wave.HasMemoryImage());
  EXPECT_EQ(wave.DataSize(), 100);
  EXPECT_EQ(seen.changes, 1);
  wave.OpenFile();
  ASSERT_EQ(wave.ReadData(got.data(), 500), 400);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), reinterpret_cast<const std::uint8_t*>(got.data())));
  wave.CloseFile();
  // So does a bad image handed over directly.
  EXPECT_THROW(wave.LoadFromMemory(got.data(), 64), EMMWaveError);
  EXPECT_EQ(wave.DataSize(), 100);
  wave.RemoveObserver(&seen);
}

// ---------------------------------------------------------------- chain component

TEST_F(WaveTest, RecordingComponentWritesEveryBufferAndFinishesTheFile) {
  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  Source src;
  TMMWaveFile file;
  file.Wave()->SetFileMustExist(false);
  file.Wave()->SetTimeFormat(tfByte);
  file.Wave()->SetFileName(Path("rec.wav"));
  src.SetOutput(&file);
  src.SetWaveFormat(&f);
  ASSERT_NE(file.GetWaveFormat(), nullptr);
  int opens = 0, closes = 0;
  file.OnOpen = [&](QObject*) { ++opens; };
  file.OnClose = [&](QObject*) { ++closes; };

  file.Opened();
  EXPECT_TRUE(fs::exists(Path("rec.wav")));
  src.Push(Ramp(3048));  // not started yet: not written
  file.Started();
  src.Push(Ramp(3048, 3));
  src.Push(Ramp(1000, 5));
  file.Stopped();
  src.Push(Ramp(3048));  // stopped: not written
  file.Closed();
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(closes, 1);

  const auto bytes = ReadBytes(Path("rec.wav"));
  ASSERT_EQ(U32(bytes, 42), 4048u);
  const auto a = Ramp(3048, 3), b = Ramp(1000, 5);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin() + 46));
  EXPECT_TRUE(std::equal(b.begin(), b.end(), bytes.begin() + 46 + 3048));
  EXPECT_FALSE(file.FileOpened());
}

// The 4 zero bytes go only into a data chunk that is empty, whatever unit
// the wave counts in: 10 frames are 0 ms, but they are a take.
TEST_F(WaveTest, ClosingAShortTakeInMillisecondsAddsNoZeros) {
  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty);
    const std::string name = Path(empty ? "empty.wav" : "short.wav");
    Source src;
    TMMWaveFile file;
    file.Wave()->SetFileMustExist(false);
    file.Wave()->SetTimeFormat(tfMillisecond);
    file.Wave()->SetFileName(name);
    src.SetOutput(&file);
    src.SetWaveFormat(&f);
    file.Opened();
    file.Started();
    if (!empty) src.Push(Ramp(40, 9));
    file.Closed();
    const auto bytes = ReadBytes(name);
    if (empty) {
      EXPECT_EQ(U32(bytes, 42), 4u);
      EXPECT_EQ(U32(bytes, 46), 0u);
    } else {
      ASSERT_EQ(U32(bytes, 42), 40u);
      const auto take = Ramp(40, 9);
      EXPECT_TRUE(std::equal(take.begin(), take.end(), bytes.begin() + 46));
    }
  }
}

TEST_F(WaveTest, DiskAboutToFillFinishesTheFileWithWhatWasWritten) {
  const WAVEFORMATEX f = Pcm(16, 2, 44100);
  Source src;
  TMMWaveFile file;
  file.Wave()->SetFileMustExist(false);
  file.Wave()->SetFileName(Path("full.wav"));
  src.SetOutput(&file);
  src.SetWaveFormat(&f);
  int closes = 0, passedOn = 0;
  file.OnClose = [&](QObject*) { ++closes; };
  file.OnBufferReady = [&](QObject*, PWaveHdr) { ++passedOn; };
  std::int64_t free = 10'000'000;
  std::string asked;
  SetDiskFreeQuery([&](const std::string& folder) {
    asked = folder;
    return free;
  });
  file.Opened();
  file.Started();
  src.Push(Ramp(3048));
  src.Push(Ramp(3048, 1));
  EXPECT_EQ(asked, dir.string());
  // Exactly the I/O buffer, the buffer and the reserve: still written.
  free = 32768 + 3048 + 10240;
  src.Push(Ramp(3048, 2));
  free -= 1;
  src.Push(Ramp(3048, 3));
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(file.FileOpened());
  src.Push(Ramp(3048, 4));  // nothing more is written
  EXPECT_EQ(passedOn, 5);   // every buffer still goes down the chain
  const auto bytes = ReadBytes(Path("full.wav"));
  EXPECT_EQ(U32(bytes, 42), 3u * 3048);
  EXPECT_EQ(Tag(bytes, 46 + 3 * 3048), "fact");

  // A free space that cannot be determined ends a recording too.
  SetDiskFreeQuery([](const std::string&) { return std::int64_t(-1); });
  file.Wave()->SetFileName(Path("unknown.wav"));
  file.Closed();
  file.Opened();
  file.Started();
  src.Push(Ramp(3048));
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(U32(ReadBytes(Path("unknown.wav")), 42), 4u);
}

TEST_F(WaveTest, PlaybackComponentFeedsTheChainFromTheSavedPosition) {
  WriteBytes(Path("play.wav"), MakeWave(Pcm(8, 1, 8000), Ramp(5000)));
  TMMWaveFile file;
  file.Wave()->SetTimeFormat(tfByte);
  file.Wave()->SetFileName(Path("play.wav"));
  ASSERT_NE(file.GetWaveFormat(), nullptr);  // the file's format went down the chain
  file.Wave()->SetPosition(1000);

  std::vector<std::uint8_t> block(MMBufferBlockSize(3000));
  PMMBufferHeader h = MMInitBufferHeader(block.data(), 3000);
  bool more = false;
  file.BufferLoad(h, more);  // not opened or started: silence of the format
  EXPECT_TRUE(more);
  EXPECT_EQ(h->dwBytesRecorded, 3000u);
  EXPECT_EQ(std::uint8_t(h->lpData[0]), 128);

  file.Opened();
  file.Started();
  const auto ramp = Ramp(5000);
  more = false;
  file.BufferLoad(h, more);
  EXPECT_EQ(h->dwBytesRecorded, 3000u);
  EXPECT_TRUE(more);
  EXPECT_TRUE(std::equal(ramp.begin() + 1000, ramp.begin() + 4000, reinterpret_cast<std::uint8_t*>(h->lpData)));
  more = false;
  file.BufferLoad(h, more);
  EXPECT_EQ(h->dwBytesRecorded, 1000u);
  EXPECT_FALSE(more);
  EXPECT_EQ(file.Wave()->GetPosition(), file.Wave()->GetPlayLength());

  // A looping buffer goes back to the start once more.
  int loops = 0;
  file.OnLooping = [&](QObject*) { ++loops; };
  file.Wave()->SetPosition(4000);
  h->LoopFlag = -1;
  h->LoopCount = 1;
  h->LoopsLeft = 1;
  file.BufferLoad(h, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(loops, 1);
  EXPECT_EQ(h->LoopMark, -1);
  EXPECT_EQ(file.Wave()->GetPosition(), 0);
  file.Closed();
}
