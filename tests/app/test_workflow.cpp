// The WAV workflow of the main window on the stepped card: the state table
// of the command groups, recording with the accompaniment into a file that
// holds exactly what the card delivered, the end of the accompaniment, play
// back to the last sample, delete, MP3, closing while recording, Chinese
// paths and a recorder that refuses to start.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <sndfile.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "app/config.h"
#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/main.h"
#include "app/Tunelark.h"
#include "app/savemp3.h"
#include "app/statusbar.h"
#include "audio/MMConect.h"
#include "window_fixture.h"
#include "platform/sequencer/mediaplayer.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/probes.h"
#include "platform/winmsg/winmsg.h"
#include "recplay/MMWRec.h"
#include "wavefile/DiskSpace.h"
#include "wavefile/MMWave.h"

namespace {

// A MIDI file of `ms` milliseconds (SMPTE time, one tick a millisecond)
// whose one note sounds from `noteMs` to the end.
std::vector<std::uint8_t> Song(std::uint32_t ms, std::uint32_t noteMs) {
  auto vlq = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7) tmp[n++] = std::uint8_t(0x80 | (v & 0x7F));
    while (n) out.push_back(tmp[--n]);
  };
  std::vector<std::uint8_t> t;
  vlq(t, noteMs);
  t.insert(t.end(), {0x90, 60, 110});
  vlq(t, ms - noteMs);
  t.insert(t.end(), {0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
  std::vector<std::uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 40, 'M', 'T', 'r', 'k', 0, 0, 0,
                                 std::uint8_t(t.size())};
  for (std::uint8_t b : t) f.push_back(b);  // (GCC 12 misreads a range insert here)
  return f;
}

std::vector<std::uint8_t> ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The data chunk of a file the recorder finished ("data" at 38, samples at 46).
std::vector<std::uint8_t> DataOf(const std::vector<std::uint8_t>& file) {
  if (file.size() < 46 || std::memcmp(file.data() + 38, "data", 4) != 0) return {};
  std::uint32_t size;
  std::memcpy(&size, file.data() + 42, 4);
  if (46 + std::size_t(size) > file.size()) return {};
  return {file.begin() + 46, file.begin() + 46 + size};
}

// The largest difference of two 16-bit sample blocks over [from, to) bytes.
int MaxDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t from,
                  std::size_t to) {
  int most = 0;
  for (std::size_t i = from; i + 1 < to && i + 1 < a.size() && i + 1 < b.size(); i += 2) {
    std::int16_t x, y;
    std::memcpy(&x, a.data() + i, 2);
    std::memcpy(&y, b.data() + i, 2);
    most = std::max(most, std::abs(int(x) - int(y)));
  }
  return most;
}

using B = std::vector<bool>;

class Workflow : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    soundcard::SetMicrophoneTestSignal();
    soundcard::EnableWaveInTaps(16u << 20);
  }
  void OpenMidi(const QString& path) {
    answers << path;
    Form1->btbrowse->click();
    ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  }
  void NewWav(const QString& path) {
    answers << path;
    Form1->btnew->click();
  }
  // Runs the card for `ms`, delivering messages after each period, and the
  // window's 200 ms and 1000 ms timers at their times, as the running
  // program would.
  void Run(int ms) {
    TForm1& f = *Form1;
    for (int t = 0; t < ms; t += 10) {
      soundcard::AdvanceAndPump(441);
      elapsed += 10;
      if (elapsed % 200 == 0) {
        if (f.Timer1->isActive()) f.Timer1Timer();
        if (f.Timer3->isActive()) f.Timer3Timer();
      }
      if (elapsed % 1000 == 0) {
        if (f.Timer2->isActive()) f.Timer2Timer();
        if (f.Timer4->isActive()) f.Timer4Timer();
        if (f.Timer5->isActive()) f.Timer5Timer();
      }
    }
  }
  // The speed buttons of (br, mp, pa, st, nw, op, rc, wp, ws, dl, sv).
  static B Groups() {
    TForm1& f = *Form1;
    return {f.btbrowse->isEnabled(), f.btmidiplay->isEnabled(), f.btpause->isEnabled(), f.btstop->isEnabled(),
            f.btnew->isEnabled(),    f.btwopen->isEnabled(),    f.btrec->isEnabled(),   f.btwplay->isEnabled(),
            f.btwstop->isEnabled(),  f.btdel->isEnabled(),      f.btsave->isEnabled()};
  }

  long elapsed = 0;
};

TEST_F(Workflow, StateTableWithAnAccompaniment) {
  TForm1& f = *Form1;
  OpenMidi(Write(QStringLiteral("song.mid"), Song(3000, 500)));
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0}));
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  NewWav(take);
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(f.ewavfile->text(), take);
  EXPECT_EQ(f.wavsize->text(), QStringLiteral("未知"));

  f.Tbtrec->click();
  EXPECT_EQ(Groups(), (B{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_TRUE(recording);
  EXPECT_TRUE(f.Timer4->isActive());
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("正在录音，静..."));
  EXPECT_EQ(f.connect->Input(), static_cast<TMMDSPComponent*>(f.wavrec));
  Run(1000);
  EXPECT_EQ(f.wavtimesec->text(), QStringLiteral("1"));

  f.Nbtwstop->trigger();
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 1, 1, 1, 1, 0, 1, 1}));
  EXPECT_FALSE(recording);
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_FALSE(f.Timer4->isActive());
  EXPECT_EQ(f.midiplay->Position(), 0);
  EXPECT_EQ(f.wavsize->text(), QStringLiteral("0MB"));
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("就绪"));

  f.btwplay->click();
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_TRUE(f.Timer3->isActive());
  EXPECT_TRUE(f.Timer5->isActive());
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("正在播放WAV..."));
  f.btwstop->click();

  // Open WAV with an accompaniment ready: the record speed button alone.
  answers << take;
  btrecmap(false);
  f.btwopen->click();
  EXPECT_TRUE(f.btrec->isEnabled());
  EXPECT_FALSE(f.Tbtrec->isEnabled());
  EXPECT_FALSE(f.Nbtrec->isEnabled());
  EXPECT_TRUE(f.btwplay->isEnabled() && f.btdel->isEnabled() && f.btsave->isEnabled());

  f.btdel->click();
  EXPECT_FALSE(QFile::exists(take));
  EXPECT_TRUE(wavname.isEmpty());
  EXPECT_EQ(f.ewavfile->text(), QStringLiteral("请先新建一个WAV文件"));
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, WithoutAnAccompanimentRecordNeedsTheSetting) {
  TForm1& f = *Form1;
  NewWav(dir.filePath(QStringLiteral("a.wav")));
  EXPECT_FALSE(f.btrec->isEnabled());
  EXPECT_FALSE(f.btdel->isEnabled());
  Form2->nomidi->setChecked(true);
  NewWav(dir.filePath(QStringLiteral("b.wav")));
  EXPECT_TRUE(f.btrec->isEnabled());
  f.btrec->click();
  // Record without an accompaniment leaves the browse group as it was.
  EXPECT_EQ(Groups(), (B{1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
  for (int s = 0; s < 59; ++s) f.Timer4Timer();
  EXPECT_EQ(f.wavtimemin->text(), QStringLiteral("0"));
  EXPECT_EQ(f.wavtimesec->text(), QStringLiteral("59"));
  f.Timer4Timer();
  EXPECT_EQ(f.wavtimemin->text(), QStringLiteral("1"));
  EXPECT_EQ(f.wavtimesec->text(), QStringLiteral("0"));
  f.btwstop->click();
  EXPECT_EQ(Groups(), (B{1, 0, 0, 0, 1, 1, 1, 1, 0, 1, 1}));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, SizeIsShownInWholeMegabytesHalvesToEven) {
  const int sizes[] = {400000, 2500000, 3500000};
  const char* shown[] = {"0MB", "2MB", "4MB"};
  for (int i = 0; i < 3; ++i) {
    // A 16-bit stereo WAV of exactly that many bytes.
    std::vector<std::uint8_t> file(std::size_t(sizes[i]), 0);
    const std::uint32_t data = std::uint32_t(sizes[i] - 44), riff = std::uint32_t(sizes[i] - 8);
    const std::uint8_t header[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                   1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
    std::memcpy(file.data(), header, sizeof header);
    std::memcpy(file.data() + 4, &riff, 4);
    std::memcpy(file.data() + 40, &data, 4);
    answers << Write(QStringLiteral("s%1.wav").arg(i), file);
    Form1->btwopen->click();
    EXPECT_EQ(Form1->wavsize->text(), QString::fromUtf8(shown[i]));
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, ATakeHoldsTheAccompanimentAndTheMicrophoneAsTheCardDeliveredThem) {
  TForm1& f = *Form1;
  OpenMidi(Write(QStringLiteral("song.mid"), Song(3000, 1000)));
  for (int rate : {44100, 22050, 11025}) {
    const QString take = dir.filePath(QStringLiteral("take%1.wav").arg(rate));
    NewWav(take);
    f.wavrec->SetSampleRate(rate);
    Run(5000);  // the last take's accompaniment rings out first
    soundcard::ClearHistory();
    f.btrec->click();
    Run(2000);
    f.btwstop->click();
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    const auto history = soundcard::WaveInHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].format.nSamplesPerSec, DWORD(rate));
    const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
    ASSERT_GT(data.size(), std::size_t(rate) * 4 * 3 / 2);  // at least 1.5 s
    // The file holds what the card delivered, sample for sample (the stop
    // drops only the partly filled last buffer).
    ASSERT_LE(data.size(), history[0].delivered.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), history[0].delivered.begin()));
    // The microphone alone until the note at 1 s, the note mixed in after.
    std::vector<float> mic(2 * 44100 * 2);
    for (std::size_t i = 0; i < mic.size() / 2; ++i) {
      mic[2 * i] = soundcard::TestSignalSample(history[0].startFrame + i, 0);
      mic[2 * i + 1] = soundcard::TestSignalSample(history[0].startFrame + i, 1);
    }
    const std::vector<std::uint8_t> micOnly = soundcard::ConvertMix(mic.data(), mic.size() / 2, history[0].format);
    // At 44100 Hz the card's conversion is exact, at the other rates within
    // 1 LSB of the same conversion done in one go.
    const std::size_t second = std::size_t(rate) * 4;
    const std::size_t before = second * 9 / 10, after = std::min(data.size(), micOnly.size());
    EXPECT_LE(MaxDifference(data, micOnly, 0, before), rate == 44100 ? 0 : 1) << rate;
    EXPECT_GT(MaxDifference(data, micOnly, second + second / 10, after), 100) << "no accompaniment at " << rate;
  }
  EXPECT_EQ(soundcard::TotalLostFrames(), 0u);
}

TEST_F(Workflow, TheEndOfTheAccompanimentEndsTheRecordingOnlyWhenTheSettingSaysSo) {
  TForm1& f = *Form1;
  OpenMidi(Write(QStringLiteral("short.mid"), Song(1000, 100)));
  NewWav(dir.filePath(QStringLiteral("goes-on.wav")));
  f.btrec->click();
  Run(1600);
  EXPECT_TRUE(recording) << "unchecked: the recording goes on";
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_EQ(f.midiplay->Position(), 0);
  EXPECT_TRUE(f.btmidiplay->isEnabled());
  f.btwstop->click();

  Form2->recstop->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("stops.wav"));
  NewWav(take);
  f.btrec->click();
  Run(1600);
  EXPECT_FALSE(recording);
  EXPECT_FALSE(f.btwstop->isEnabled());
  const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
  EXPECT_NEAR(double(data.size()) / (44100 * 4), 1.0, 0.25) << "finished at the accompaniment's end";
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// With a round trip the recording mix delays the accompaniment: a take
// that ends with the accompaniment goes on until the accompaniment's last
// frame has come through, and holds it (the note sounds to the song's end).
TEST_F(Workflow, ATakeThatEndsWithTheAccompanimentHoldsItsDelayedEnd) {
  TForm1& f = *Form1;
  soundcard::SetSimulatedRoundTripMs(200);
  Form2->recstop->setChecked(true);
  OpenMidi(Write(QStringLiteral("song.mid"), Song(1000, 100)));
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  NewWav(take);
  soundcard::ClearHistory();
  f.btrec->click();
  // The rest of the take is waited for on a timer of the event loop.
  for (int i = 0; i < 3000 && recording; ++i) {
    Run(10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(recording);
  EXPECT_FALSE(f.btwstop->isEnabled());
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
  const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
  // The song's 1 s and the round trip's 0.2 s, from the take's start.
  const std::size_t end = (44100 + 8820) * 4;
  ASSERT_GE(data.size(), end);
  const auto history = soundcard::WaveInHistory();
  ASSERT_EQ(history.size(), 1u);
  std::vector<float> mic(2 * 441);
  for (std::size_t i = 0; i < 441; ++i) {
    mic[2 * i] = soundcard::TestSignalSample(history[0].startFrame + end / 4 - 441 + i, 0);
    mic[2 * i + 1] = soundcard::TestSignalSample(history[0].startFrame + end / 4 - 441 + i, 1);
  }
  std::vector<std::uint8_t> last(data.begin() + std::ptrdiff_t(end - 441 * 4), data.begin() + std::ptrdiff_t(end));
  const std::vector<std::uint8_t> micOnly = soundcard::ConvertMix(mic.data(), 441, history[0].format);
  EXPECT_GT(MaxDifference(last, micOnly, 0, last.size()), 100) << "no accompaniment in the last 10 ms";
}

TEST_F(Workflow, PlaybackIsHeardToItsLastSampleThenStopAndSaveRuns) {
  TForm1& f = *Form1;
  Form2->nomidi->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  NewWav(take);
  f.btrec->click();
  Run(1500);
  f.btwstop->click();
  const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
  ASSERT_FALSE(data.empty());
  const std::size_t frames = data.size() / 4;

  soundcard::SetMicrophoneSilence();
  soundcard::EnableMixTap(soundcard::Mix::Playback, 44100 * 4);
  soundcard::AdvanceAndPump(441);
  f.btwplay->click();
  int periods = 0;
  while (f.btwstop->isEnabled() && periods < 500) {
    Run(10);
    ++periods;
  }
  EXPECT_FALSE(f.btwstop->isEnabled()) << "stop-and-save ran by itself";
  EXPECT_LE(periods * 10, int(frames * 1000 / 44100) + 200 + 400) << "within 200 ms of the end";
  EXPECT_EQ(f.wavptmin->text(), QStringLiteral("0"));
  EXPECT_EQ(f.wavptsec->text(), QStringLiteral("0"));
  // The last sample of the take reached the speakers.
  const std::vector<float> tap = soundcard::MixTap(soundcard::Mix::Playback);
  std::int16_t last[2];
  std::memcpy(last, data.data() + data.size() - 4, 4);
  bool found = false;
  for (std::size_t i = 0; i + 1 < tap.size(); i += 2)
    if (std::lrint(tap[i] * 32768) == last[0] && std::lrint(tap[i + 1] * 32768) == last[1]) found = true;
  EXPECT_TRUE(found) << "the take's last frame was not heard";
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, ChinesePathsRecordPlaySaveAsMp3AndDelete) {
  TForm1& f = *Form1;
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("我的录音")));
  const QString take = dir.filePath(QStringLiteral("我的录音/第一首.wav"));
  const QString mp3 = dir.filePath(QStringLiteral("我的录音/第一首.mp3"));
  Form2->nomidi->setChecked(true);
  NewWav(take);
  f.btrec->click();
  Run(2000);
  f.btwstop->click();
  ASSERT_TRUE(QFile::exists(take));
  f.btwplay->click();
  Run(300);
  f.btwstop->click();

  answers << mp3;
  bool shown = false;
  QTimer::singleShot(0, [&] { shown = Form3->isVisible(); });
  f.btsave->click();
  EXPECT_TRUE(shown) << "the progress window was not shown during the conversion";
  EXPECT_FALSE(Form3->isVisible());
  SF_INFO info{};
  SNDFILE* s = sf_open(QFile::encodeName(mp3).constData(), SFM_READ, &info);
  ASSERT_NE(s, nullptr) << "no MP3 written";
  sf_close(s);
  const double seconds = double(DataOf(ReadAll(take)).size()) / (44100 * 4);
  EXPECT_NEAR(double(info.frames) / info.samplerate, seconds, 0.1);

  f.btdel->click();
  EXPECT_FALSE(QFile::exists(take));
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, AFileGivenToTheProgramOpensAsTakeOrAccompaniment) {
  const QString song = Write(QStringLiteral("given.mid"), Song(2000, 100));
  OpenGivenFile(song);
  ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  EXPECT_EQ(Form1->Efilename->text(), song);
  EXPECT_TRUE(Form1->btmidiplay->isEnabled());
  Form2->nomidi->setChecked(true);
  NewWav(dir.filePath(QStringLiteral("given.wav")));
  Form1->btrec->click();
  Run(500);
  Form1->btwstop->click();
  OpenGivenFile(dir.filePath(QStringLiteral("given.wav")));
  EXPECT_EQ(wavname, dir.filePath(QStringLiteral("given.wav")));
  EXPECT_TRUE(Form1->btwplay->isEnabled());
  OpenGivenFile(dir.filePath(QStringLiteral("nothing-here.mid")));  // not a file: nothing happens
  EXPECT_EQ(Form1->Efilename->text(), song);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, ClosingTheWindowWhileRecordingLeavesAFinishedTake) {
  Form2->nomidi->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("closed.wav"));
  NewWav(take);
  Form1->btrec->click();
  Run(1000);
  const std::size_t delivered = soundcard::WaveInHistory().back().delivered.size();
  DestroyForms();  // as the program does when its main window closes
  const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
  EXPECT_GT(data.size(), delivered * 8 / 10);
  EXPECT_LE(data.size(), delivered);
  CreateForms();  // for the fixture's own tear-down
}

// The take's folder went after it was chosen: the recorder cannot write the
// take, the accompaniment stops, and the commands are those of a name
// without a take.
TEST_F(Workflow, ARecorderThatRefusesToStartLeavesTheWindowAsStopAndSaveDoes) {
  TForm1& f = *Form1;
  OpenMidi(Write(QStringLiteral("song.mid"), Song(3000, 100)));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("gone")));
  NewWav(dir.filePath(QStringLiteral("gone/take.wav")));
  ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("gone"))).removeRecursively());
  f.btrec->click();
  ASSERT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
  EXPECT_FALSE(recording);
  EXPECT_EQ(Groups(), (B{1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(f.wavsize->text(), QStringLiteral("未知"));
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_FALSE(f.Timer4->isActive());
  EXPECT_EQ(f.midiplay->Mode(), mpStopped);
  EXPECT_EQ(f.Status->PanelText(1), QStringLiteral("就绪"));
}

// What the WAV group shows and the components hold for the current take.
struct TakeView {
  QString name, field, size;
  B groups;
  std::string recorderFile;
  QStringList encoderFiles;
  bool operator==(const TakeView&) const = default;
};

TakeView ViewOfTake(const std::vector<bool>& groups) {
  TForm1& f = *Form1;
  return {wavname, f.ewavfile->text(), f.wavsize->text(), groups, f.wavrec->Wave()->FileName(),
          Form3->LameCoder1->InputFiles()};
}

TEST_F(Workflow, AFileThatIsNotWaveLeavesTheTakeSelectedAndDeleteSendsTheTakeToTheTrash) {
  Form2->nomidi->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  NewWav(take);
  Form1->btrec->click();
  Run(500);
  Form1->btwstop->click();
  const std::vector<std::uint8_t> recorded = ReadAll(take);
  const TakeView before = ViewOfTake(Groups());

  // A copy of a MIDI song named like a take: refused, and nothing moves.
  const std::vector<std::uint8_t> songBytes = Song(2000, 100);
  const QString song = Write(QStringLiteral("song-copy.wav"), songBytes);
  answers << song;
  Form1->btwopen->click();
  // The file's own text word for word, in the window's language, and which
  // file it is.
  ASSERT_EQ(errors, QStringList{QStringLiteral("Invalid wave file...\n无效的波形文件...\n%1 不是WAV文件").arg(song)});
  EXPECT_EQ(ViewOfTake(Groups()), before);

  Form1->btdel->click();
  EXPECT_EQ(ReadAll(song), songBytes) << "delete reached the refused file";
  EXPECT_FALSE(QFile::exists(take));
  EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("home/.local/share/Trash/files/take.wav"))), recorded)
      << "the take is not in the trash";
  EXPECT_TRUE(wavname.isEmpty());
}

TEST_F(Workflow, RecordingOverATakeAsksFirstAndNoLeavesItAsItWas) {
  TForm1& f = *Form1;
  Form2->nomidi->setChecked(true);
  const QString take = dir.filePath(QStringLiteral("take.wav"));
  NewWav(take);
  f.btrec->click();
  Run(1500);
  f.btwstop->click();
  ASSERT_TRUE(questions.isEmpty()) << "a new name needs no question";
  const std::vector<std::uint8_t> first = ReadAll(take);
  const B stopped = Groups();

  // Again into the same take, then after naming it anew: one question each
  // time (none from the new-WAV dialog), No changes nothing.
  f.btrec->click();
  EXPECT_EQ(Groups(), stopped);
  NewWav(take);
  EXPECT_EQ(questions.size(), 1);
  EXPECT_EQ(ReadAll(take), first);
  const TakeView named = ViewOfTake(Groups());
  f.btrec->click();
  EXPECT_EQ(questions.size(), 2);
  EXPECT_TRUE(questions.first().contains(take)) << questions.first().toStdString();
  EXPECT_FALSE(recording);
  EXPECT_EQ(ViewOfTake(Groups()), named);
  EXPECT_EQ(ReadAll(take), first);

  // Yes: the new take replaces the old one whole, no old tail behind it.
  answerYes = true;
  f.btrec->click();
  EXPECT_TRUE(recording);
  Run(500);
  f.btwstop->click();
  EXPECT_EQ(questions.size(), 3);
  const std::size_t frames = DataOf(ReadAll(take)).size() / 4;
  EXPECT_NEAR(double(frames) / 44100, 0.5, 0.1);
  EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Workflow, AFolderThatTakesNoFileIsRefusedWhenTheNameIsChosen) {
  TForm1& f = *Form1;
  Form2->nomidi->setChecked(true);
  const TakeView before = ViewOfTake(Groups());
  for (const QString& name : {dir.filePath(QStringLiteral("missing/take.wav")), QStringLiteral("/proc/x.wav")}) {
    SCOPED_TRACE(name.toStdString());
    errors.clear();
    NewWav(name);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("文件夹"))) << errors[0].toStdString();
    EXPECT_EQ(ViewOfTake(Groups()), before);
    EXPECT_FALSE(f.btrec->isEnabled());
  }
}

// A full disk: the first buffer finds no room and the recorder stops
// itself. A take that got no audio leaves no file it made, and the
// commands of a name without a take; a file that was there before stays.
TEST_F(Workflow, ATakeThatFailsToStartLeavesNoFileItMade) {
  TForm1& f = *Form1;
  Form2->nomidi->setChecked(true);
  const B noTake = {1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0};
  const QString take = dir.filePath(QStringLiteral("full.wav"));
  NewWav(take);
  bool full = true;
  SetDiskFreeQuery([&](const std::string&) { return std::int64_t(full ? 20000 : 1 << 30); });
  f.btrec->click();
  Run(300);
  ProcessMessages();
  EXPECT_FALSE(recording);
  EXPECT_FALSE(QFile::exists(take));
  EXPECT_EQ(Groups(), noTake);
  EXPECT_EQ(f.wavsize->text(), QStringLiteral("未知"));
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("磁盘空间不足"))) << errors[0].toStdString();

  // Room again: a take is made; then a full disk over it keeps its file.
  full = false;
  f.btrec->click();
  Run(500);
  f.btwstop->click();
  ASSERT_TRUE(QFile::exists(take));
  full = true;
  answerYes = true;
  f.btrec->click();
  Run(300);
  ProcessMessages();
  SetDiskFreeQuery({});
  EXPECT_FALSE(recording);
  EXPECT_TRUE(QFile::exists(take)) << "a file that was there before was removed";
}

// SIGTERM (shutdown) and SIGHUP (logout) while recording: the take is
// finished as stop-and-save finishes it and the program ends cleanly.
TEST_F(Workflow, TheSessionsEndFinishesTheTakeAndQuits) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    if (signal != SIGTERM) {
      DestroyForms();
      CreateForms();
    }
    Form2->nomidi->setChecked(true);
    const QString take = dir.filePath(QStringLiteral("take%1.wav").arg(signal));
    NewWav(take);
    Form1->btrec->click();
    Run(1000);
    const std::size_t delivered = soundcard::WaveInHistory().back().delivered.size();
    QTimer::singleShot(0, [signal] { std::raise(signal); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    // The quit the closed window asked for is not carried into what follows.
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    EXPECT_FALSE(recording);
    EXPECT_FALSE(Form1->isVisible());
    const std::vector<std::uint8_t> data = DataOf(ReadAll(take));
    EXPECT_GT(data.size(), delivered * 8 / 10) << "the take was not finished";
    EXPECT_LE(data.size(), delivered);
  }
}

}  // namespace
