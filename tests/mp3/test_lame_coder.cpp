#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <unistd.h>
#include <string>
#include <vector>

#include "mp3/LameCoder.h"
#include "platform/language/language.h"
#include "tests/mp3/Mp3TestFiles.h"
#include "wavefile/MMWaveIO.h"

using namespace mp3test;

namespace {

constexpr int kMp3Frame = 1152;

// Records the coder's events as short strings, in order.
struct EventLog {
  std::vector<std::string> events;
  std::vector<int> progress;
  void Bind(TLameCoder& c) {
    c.OnBeginProcess = [this](QObject*) { events.push_back("begin"); };
    c.OnBeginFile = [this](QObject*, WORD n, const QString& f) {
      events.push_back("file " + std::to_string(n) + " " + QFileInfo(f).fileName().toStdString());
    };
    c.OnProgress = [this](QObject*, WORD p) { progress.push_back(p); };
    c.OnEndFile = [this](QObject*, WORD n, const QString& f) {
      events.push_back("done " + std::to_string(n) + " " + QFileInfo(f).fileName().toStdString());
    };
    c.OnEndProcess = [this](QObject*) { events.push_back("end"); };
    c.OnAbortProcess = [this](QObject*) { events.push_back("abort"); };
  }
};

class Conversion : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  TLameCoder coder;
  EventLog log;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    log.Bind(coder);
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  QString WriteWav(const QString& name, int rate, int channels,
                   const std::vector<std::int16_t>& pcm) {
    WriteFile(Path(name), RecorderWav(rate, channels, 16, PcmBytes(pcm)));
    return Path(name);
  }
  // Converts one input into its derived .mp3 name and decodes the result.
  Decoded Convert(const QString& input) {
    coder.SetInputFiles({input});
    coder.ProcessFiles();
    return DecodeMp3(coder.OutputFiles().at(0));
  }
};

}  // namespace

TEST(LameCoderProperties, InputFilesDeriveOutputNames) {
  TLameCoder c;
  c.SetInputFiles({"/rec/take.wav", "/rec/take", "/rec.v2/song", "/rec/a.b.WAV", "/rec/dot."});
  EXPECT_EQ(c.OutputFiles(), QStringList({"/rec/take.mp3", "/rec/take.mp3", "/rec.v2/song.mp3",
                                          "/rec/a.b.mp3", "/rec/dot.mp3"}));
  c.SetDefaultExt(".MP3");
  c.SetInputFiles({"x.wav"});
  EXPECT_EQ(c.OutputFiles(), QStringList({"x.MP3"}));
  c.SetOutputFiles({"y.mp3", "z.mp3"});
  EXPECT_EQ(c.InputFiles(), QStringList({"x.wav"}));
  EXPECT_EQ(c.OutputFiles().size(), 2);
}

TEST(LameCoderProperties, AssignCopiesSettingsOnly) {
  TLameCoder a, b;
  a.SetSampleRate(22050);
  a.SetMode(MONO);
  a.SetQuality(HIGH_QUALITY);
  a.SetCRC(0);
  a.SetEnableVBR(1);
  a.SetVBRQuality(2);
  a.SetInputFiles({"a.wav"});
  b.Assign(a);
  BE_CONFIG ca, cb;
  a.FillConfig(ca);
  b.FillConfig(cb);
  EXPECT_EQ(std::memcmp(&ca, &cb, sizeof ca), 0);
  EXPECT_TRUE(b.InputFiles().isEmpty());
}

// Ten seconds of a tone in the left channel only, then half a second of
// silence. The sound must start at the data chunk (not at byte 44, which
// would swap the channels) and end before the "fact" chunk (no click).
// The input is written by the program's own WAVE layer, as a recording is.
TEST_F(Conversion, RecorderWavKeepsDurationChannelsAndSilentEnd) {
  const int rate = 44100;
  const QByteArray pcm = PcmBytes(Tone(rate, 2, rate * 19 / 2, 1000, 16000, 0, rate / 2));
  const QString wav = Path("take.wav");
  WAVEFORMATEX format{1, 2, DWORD(rate), DWORD(rate * 4), 4, 16, 0};
  WaveIOBlock* block = nullptr;
  ASSERT_EQ(WaveFileFromFormat(&block, &format), 0);
  ASSERT_EQ(WaveFileCreate(block, wav.toLocal8Bit().constData()), 0);
  ASSERT_EQ(WaveFileWrite(block, pcm.constData(), LONG(pcm.size())), LONG(pcm.size()));
  ASSERT_EQ(WaveFileClose(block), 0);
  WaveFileFree(&block);
  QFile written(wav);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  ASSERT_EQ(written.read(50).mid(38, 4), QByteArray("data")) << "sound starts at byte 46";
  written.close();

  const Decoded d = Convert(wav);
  EXPECT_EQ(coder.OutputFiles().at(0), Path("take.mp3"));
  EXPECT_EQ(d.rate, rate);
  ASSERT_EQ(d.channels, 2);
  EXPECT_NEAR(double(d.Frames()), 10.0 * rate, kMp3Frame);

  const double left = d.Rms(0, rate, 9 * rate);
  const double right = d.Rms(1, rate, 9 * rate);
  EXPECT_GT(left, 8000);
  EXPECT_LT(right, left / 100);
  // The last 0.3 s (past the tone's decay and the encoder's delay).
  EXPECT_LT(d.Peak(d.Frames() - rate * 3 / 10, d.Frames()), 50);

  EXPECT_EQ(log.events,
            (std::vector<std::string>{"begin", "file 0 take.wav", "done 0 take.mp3", "end"}));
  ASSERT_FALSE(log.progress.empty());
  EXPECT_EQ(log.progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
}

TEST_F(Conversion, LowerRatesAndMonoKeepTheirDuration) {
  struct Case {
    int rate, channels;
  };
  for (Case c : {Case{22050, 1}, Case{11025, 2}}) {
    SCOPED_TRACE(c.rate);
    const QString wav = WriteWav(QString("r%1.wav").arg(c.rate), c.rate, c.channels,
                                 Tone(c.rate, c.channels, c.rate * 3, 440, 12000, 12000));
    const Decoded d = Convert(wav);
    ASSERT_GT(d.rate, 0);
    EXPECT_NEAR(d.Seconds(), 3.0, double(kMp3Frame) / d.rate);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_GT(d.Rms(0, d.rate / 2, d.rate * 5 / 2), 6000);
  }
}

// VBR with its header: the header frame is written in place of the frame the
// encoder reserved, so decoders still trim the delay and padding.
TEST_F(Conversion, VbrWithHeaderKeepsDuration) {
  coder.SetEnableVBR(1);
  const Decoded d =
      Convert(WriteWav("vbr.wav", 44100, 2, Tone(44100, 2, 44100 * 3, 440, 9000, 9000)));
  EXPECT_NEAR(double(d.Frames()), 3.0 * 44100, kMp3Frame);
}

TEST_F(Conversion, EmptyListAndEmptyDataGiveEndEventsButNoProgress) {
  coder.ProcessFiles();
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin", "end"}));

  log.events.clear();
  WriteFile(Path("empty.wav"), RecorderWav(44100, 2, 16, {}));
  coder.SetInputFiles({Path("empty.wav")});
  coder.ProcessFiles();
  EXPECT_TRUE(log.progress.empty());
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"begin", "file 0 empty.wav", "done 0 empty.mp3", "end"}));
  EXPECT_TRUE(QFileInfo::exists(Path("empty.mp3")));
}

// A recording that was never closed: the data chunk declares 0 bytes and the
// sound runs to the end of the file.
TEST_F(Conversion, UnclosedRecordingRunsToTheEndOfTheFile) {
  QByteArray bytes =
      RecorderWav(44100, 2, 16, PcmBytes(Tone(44100, 2, 44100 * 2, 440, 9000, 9000)), 0);
  bytes.chop(12);  // the "fact" chunk is written at close
  WriteFile(Path("open.wav"), bytes);
  EXPECT_NEAR(Convert(Path("open.wav")).Seconds(), 2.0, double(kMp3Frame) / 44100);

  // A declared size beyond the file is cut to the file.
  bytes = RecorderWav(44100, 2, 16, PcmBytes(Tone(44100, 2, 44100, 440, 9000, 9000)), 1 << 30);
  WriteFile(Path("long.wav"), bytes);
  EXPECT_NO_THROW(Convert(Path("long.wav")));
}

// Chunks of 2304 * 4 bytes: a data size that is no multiple of it leaves a
// remainder, and an odd size a chunk of odd length.
TEST_F(Conversion, RemainderAndOddChunks) {
  const int chunk = 2304 * 4;
  QByteArray data = PcmBytes(Tone(44100, 2, (3 * chunk + 1000) / 4, 440, 9000, 9000));
  WriteFile(Path("rest.wav"), RecorderWav(44100, 2, 16, data));
  coder.SetInputFiles({Path("rest.wav")});
  coder.ProcessFiles();
  EXPECT_EQ(log.progress, (std::vector<int>{32, 64, 96, 100}));

  log.progress.clear();
  data.append('\x01');
  WriteFile(Path("odd.wav"), RecorderWav(44100, 2, 16, data));
  coder.SetInputFiles({Path("odd.wav")});
  coder.ProcessFiles();
  EXPECT_EQ(log.progress.back(), 100);
  EXPECT_GT(QFileInfo(Path("odd.mp3")).size(), 0);
}

// Without "WAVE" at bytes 8 to 11 the whole file is PCM with the properties'
// rate and mode, chunks of twice the samples-per-chunk value in bytes.
TEST_F(Conversion, RawPcmUsesThePropertiesFromByteZero) {
  const QByteArray raw = PcmBytes(Tone(22050, 1, 22050 * 2, 440, 9000, 0));
  WriteFile(Path("voice.pcm"), raw);
  coder.SetSampleRate(22050);
  coder.SetMode(MONO);
  const Decoded d = Convert(Path("voice.pcm"));
  EXPECT_EQ(coder.OutputFiles().at(0), Path("voice.mp3"));
  EXPECT_EQ(d.channels, 1);
  EXPECT_NEAR(d.Seconds(), 2.0, double(kMp3Frame) / 22050);
  // In MONO a raw chunk is the samples-per-chunk value in bytes: 576, one
  // MPEG-2 frame at 22050 Hz.
  EXPECT_EQ(log.progress.size(), std::size_t((raw.size() + 575) / 576));
}

TEST_F(Conversion, FailuresStopAtTheFileAndKeepEarlierOutputs) {
  const QString good = WriteWav("good.wav", 44100, 2, Tone(44100, 2, 44100, 440, 9000, 9000));
  coder.SetInputFiles({good, Path("missing.wav")});
  try {
    coder.ProcessFiles();
    FAIL() << "no error";
  } catch (const ELameError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("missing.wav"), std::string::npos) << e.what();
  }
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin", "file 0 good.wav", "done 0 good.mp3",
                                                  "file 1 missing.wav", "abort"}));
  EXPECT_NEAR(DecodeMp3(Path("good.mp3")).Seconds(), 1.0, 0.05);

  coder.SetInputFiles({good, good});
  coder.SetOutputFiles({Path("good.mp3"), Path("no/such/folder/x.mp3")});
  EXPECT_THROW(
      {
        try {
          coder.ProcessFiles();
        } catch (const ELameError& e) {
          EXPECT_NE(std::string(e.what()).find("Cannot create file"), std::string::npos);
          throw;
        }
      },
      ELameError);
  EXPECT_NEAR(DecodeMp3(Path("good.mp3")).Seconds(), 1.0, 0.05);

  // Fewer output names than inputs: the list's index error.
  coder.SetOutputFiles({Path("good.mp3")});
  EXPECT_THROW(coder.ProcessFiles(), std::out_of_range);
}

// A full disk: chunk output that cannot be written, and final bytes that
// cannot be written, have their own texts.
TEST_F(Conversion, FullDiskGivesWriteErrors) {
  if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  language::Choose("en");
  const QString sound = WriteWav("sound.wav", 44100, 2, Tone(44100, 2, 44100, 440, 9000, 9000));
  WriteFile(Path("empty.wav"), RecorderWav(44100, 2, 16, {}));
  for (const auto& [input, text] :
       {std::pair{sound, "Write Error"}, {Path("empty.wav"), "Write error"}}) {
    coder.SetInputFiles({input});
    coder.SetOutputFiles({"/dev/full"});
    try {
      coder.ProcessFiles();
      ADD_FAILURE() << "no error";
    } catch (const ELameError& e) {
      // The component's text, then the file and the reason.
      EXPECT_EQ(std::string(e.what()), std::string(text) + "\ncannot write /dev/full: No space left on device");
      EXPECT_TRUE(e.DiskFull());
    }
  }
}

TEST_F(Conversion, StreamThatFailsToOpenStopsTheFile) {
  WriteFile(Path("raw.pcm"), QByteArray(4000, '\0'));
  coder.SetMode(TLameMode(7));
  coder.SetInputFiles({Path("raw.pcm")});
  try {
    coder.ProcessFiles();
    FAIL() << "no error";
  } catch (const ELameError& e) {
    EXPECT_STREQ(e.what(), "beInitStream failed 2");
  }
  EXPECT_TRUE(log.progress.empty());
  EXPECT_FALSE(QFileInfo::exists(Path("raw.mp3")));
  EXPECT_EQ(log.events.back(), "abort");
}

TEST_F(Conversion, NonPcm16WaveIsRefusedWithoutOutput) {
  WriteFile(Path("eight.wav"), RecorderWav(44100, 2, 8, QByteArray(8820, '\x80')));
  coder.SetInputFiles({Path("eight.wav")});
  try {
    coder.ProcessFiles();
    FAIL() << "no error";
  } catch (const ELameError& e) {
    EXPECT_NE(std::string(e.what()).find("16-bit PCM"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(QFileInfo::exists(Path("eight.mp3")));
}

TEST_F(Conversion, StopEndsTheRunAfterTheChunkAndRefusesOverlap) {
  const QString wav = WriteWav("s.wav", 44100, 2, Tone(44100, 2, 44100 * 2, 440, 9000, 9000));
  coder.SetInputFiles({wav, wav});
  coder.SetOutputFiles({Path("s1.mp3"), Path("s2.mp3")});
  bool nestedRefused = false;
  coder.OnProgress = [&](QObject*, WORD p) {
    log.progress.push_back(p);
    if (log.progress.size() == 2) {
      try {
        coder.ProcessFiles();
      } catch (const ELameError&) {
        nestedRefused = true;
      }
      coder.Stop();
    }
  };
  coder.ProcessFiles();
  EXPECT_TRUE(nestedRefused);
  EXPECT_FALSE(TLameCoder::Running());
  EXPECT_EQ(log.progress.size(), 2u);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin", "file 0 s.wav", "abort"}));
  EXPECT_FALSE(QFileInfo::exists(Path("s2.mp3")));

  // The next run starts with the flag cleared.
  log = {};
  log.Bind(coder);
  coder.ProcessFiles();
  EXPECT_EQ(log.events.back(), "end");
}

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The files in the test folder, so that a left-over temporary file shows.
QStringList Files(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::System, QDir::Name); }

}  // namespace

// Saving the MP3 under the name of its own input, or of a link to it, is
// refused before anything is written: the take stays byte for byte.
TEST_F(Conversion, TheInputIsNeverItsOwnOutput) {
  const QString wav = WriteWav("take.wav", 44100, 2, Tone(44100, 2, 44100, 440, 9000, 9000));
  const QByteArray before = ReadAll(wav);
  ASSERT_TRUE(QFile::link(wav, Path("link.wav")));
  ASSERT_EQ(::link(wav.toLocal8Bit().constData(), Path("hard.wav").toLocal8Bit().constData()), 0);
  for (const QString& output : {wav, Path("link.wav"), Path("hard.wav"), Path("./take.wav")}) {
    log = {};
    log.Bind(coder);
    coder.SetInputFiles({wav});
    coder.SetOutputFiles({output});
    try {
      coder.ProcessFiles();
      ADD_FAILURE() << "no error for " << output.toStdString();
    } catch (const ELameError& e) {
      EXPECT_NE(std::string(e.what()).find("It is the input file"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(wav), before) << output.toStdString();
    EXPECT_EQ(log.events.back(), "abort");
    EXPECT_TRUE(log.progress.empty());
  }
  EXPECT_EQ(Files(dir.path()), (QStringList{"hard.wav", "link.wav", "take.wav"}));
}

// A run that fails or is stopped half-way leaves neither a partial MP3 nor a
// changed older MP3 of that name; a run that succeeds replaces it.
TEST_F(Conversion, AnUnfinishedRunLeavesTheOutputAsItWas) {
  const QString wav = WriteWav("take.wav", 44100, 2, Tone(44100, 2, 44100 * 3, 440, 9000, 9000));
  const QByteArray old("an older MP3");
  WriteFile(Path("old.mp3"), old);

  // Stopped after two chunks.
  coder.SetInputFiles({wav, wav});
  coder.SetOutputFiles({Path("old.mp3"), Path("new.mp3")});
  QStringList during;
  coder.OnProgress = [&](QObject*, WORD p) {
    log.progress.push_back(p);
    if (log.progress.size() == 1) during = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    if (log.progress.size() == 2) coder.Stop();
  };
  coder.ProcessFiles();
  EXPECT_EQ(log.events.back(), "abort");
  // Meanwhile the new MP3 was written beside the older one, in sight.
  ASSERT_EQ(during.size(), 3) << during.join(' ').toStdString();
  EXPECT_TRUE(QRegularExpression("^old\\.new-[A-Za-z0-9]{6}\\.mp3$").match(during[1]).hasMatch())
      << during[1].toStdString();
  EXPECT_EQ(ReadAll(Path("old.mp3")), old);
  EXPECT_EQ(Files(dir.path()), (QStringList{"old.mp3", "take.wav"}));

  // The input shrinks while it converts: a short read.
  coder.SetInputFiles({wav});
  coder.SetOutputFiles({Path("old.mp3")});
  log = {};
  log.Bind(coder);
  coder.OnProgress = [&](QObject*, WORD p) {
    log.progress.push_back(p);
    if (log.progress.size() == 2) QFile::resize(wav, 46 + 3 * 4608);
  };
  try {
    coder.ProcessFiles();
    ADD_FAILURE() << "no error";
  } catch (const ELameError& e) {
    EXPECT_STREQ(e.what(), "Read Error");
  }
  EXPECT_EQ(log.progress.size(), 2u);
  EXPECT_EQ(ReadAll(Path("old.mp3")), old);
  EXPECT_EQ(Files(dir.path()), (QStringList{"old.mp3", "take.wav"}));

  // A whole run replaces the older file.
  WriteWav("take.wav", 44100, 2, Tone(44100, 2, 44100, 440, 9000, 9000));
  coder.OnProgress = nullptr;
  coder.ProcessFiles();
  EXPECT_NEAR(DecodeMp3(Path("old.mp3")).Seconds(), 1.0, 0.05);
  EXPECT_EQ(Files(dir.path()), (QStringList{"old.mp3", "take.wav"}));
}

// A stereo recording whose format chunk states block alignment 0 encodes
// with the alignment its channels give.
TEST_F(Conversion, ABlockAlignmentOfZeroIsRecomputed) {
  QByteArray wav = RecorderWav(44100, 2, 16, PcmBytes(Tone(44100, 2, 44100, 440, 9000, 3000)));
  wav[32] = 0;
  WriteFile(Path("zero.wav"), wav);
  const Decoded d = Convert(Path("zero.wav"));
  EXPECT_NEAR(d.Seconds(), 1.0, 0.05);
  EXPECT_EQ(log.events.back(), "end");
}
