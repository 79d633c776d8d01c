// Files of every kind: WAV and MP3 accompaniment through the card's "Wave
// Out" line for their own durations, and bad input that fails to open with
// its own code and text.
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "seqtest.h"

using namespace seqtest;

namespace {

class Files : public SeqTest {
 protected:
  // A sine of `seconds` at `rate`, written by libsndfile in `format`.
  std::string Tone(const std::string& name, int format, int rate, int channels, double seconds) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return {};
    const auto frames = std::size_t(seconds * rate);
    std::vector<float> samples(frames * std::size_t(channels));
    for (std::size_t i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c)
        samples[i * std::size_t(channels) + std::size_t(c)] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / rate));
    sf_writef_float(f, samples.data(), sf_count_t(frames));
    sf_close(f);
    return path;
  }
  // Frames between the first and the last sound of the playback mix.
  static long SoundingFrames(const std::vector<float>& tap) {
    long first = -1, last = -1;
    for (std::size_t i = 0; i < tap.size(); ++i) {
      if (std::fabs(tap[i]) < 1e-4f) continue;
      if (first < 0) first = long(i / 2);
      last = long(i / 2);
    }
    return first < 0 ? 0 : last - first + 1;
  }
  void PlaysForItsDuration(const std::string& path, double seconds, DWORD type) {
    ASSERT_FALSE(path.empty());
    MCIDEVICEID id = 0;
    ASSERT_EQ(Open(path, id), 0u) << ErrorText(Open(path, id));
    MCI_GETDEVCAPS_PARMS caps{};
    caps.dwItem = MCI_GETDEVCAPS_DEVICE_TYPE;
    ASSERT_EQ(mciSendCommand(id, MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, reinterpret_cast<DWORD_PTR>(&caps)), 0u);
    EXPECT_EQ(caps.dwReturn, type);
    const DWORD length = Status(id, MCI_STATUS_LENGTH);
    EXPECT_NEAR(double(length), seconds * 1000, 30.0);
    soundcard::EnableMixTap(soundcard::Mix::Playback, std::size_t((seconds + 2) * 44100));
    ASSERT_EQ(Play(id), 0u);
    Run(std::uint64_t((seconds + 1) * 44100));
    // The end is reported from the device's feeder; on a busy machine it may
    // come a few periods after the stepped card has played the last frame.
    for (int periods = 0; Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY && periods < 1000; ++periods) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      Run(441);
    }
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);
    const long sounding = SoundingFrames(soundcard::MixTap(soundcard::Mix::Playback));
    // MP3 adds its encoder's padding; a WAV plays to the frame.
    EXPECT_NEAR(double(sounding), seconds * 44100, 441.0 + (type == MCI_DEVTYPE_WAVEFORM_AUDIO && path.ends_with(".mp3") ? 1152 : 0));
    // Played to the end, a play starts nothing; a rewind plays it again.
    ASSERT_EQ(Simple(id, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
    ASSERT_EQ(Play(id), 0u);
    Run(4410);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_NEAR(double(Status(id, MCI_STATUS_POSITION)), 100.0, 30.0);
  }
};

TEST_F(Files, WavAndMp3AccompanimentPlayThroughWaveOutForTheirOwnDurations) {
  PlaysForItsDuration(Tone("a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 2.5), 2.5, MCI_DEVTYPE_WAVEFORM_AUDIO);
  mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
  PlaysForItsDuration(Tone("b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 1.5), 1.5, MCI_DEVTYPE_WAVEFORM_AUDIO);
  mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
  const std::string mp3 = Tone("c.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2, 2.0);
  if (mp3.empty()) GTEST_SKIP() << "this libsndfile writes no MP3";
  PlaysForItsDuration(mp3, 2.0, MCI_DEVTYPE_WAVEFORM_AUDIO);
}

// Every WAV the take player reads plays here to its last sample and at its
// level: 32-bit float, A-law at 8 kHz (resampled by the card), and a file
// whose sizes were never written (a recorder that crashed). The truth is
// libsndfile's reading of the intact source. The device reports its end
// only once all of it has been heard (the window and the command line stop
// the take then), and says where on the card's clock the sound ended.
TEST_F(Files, EveryKindOfWavPlaysToItsLastSampleAtItsLevelAndEndsWhenHeard) {
  struct Case {
    const char* name;
    int format, rate, channels;
    bool unwritten;
  } cases[] = {{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, false},
               {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1, false},
               {"crashed.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Tone(c.name, c.format, c.rate, c.channels, 1.0);
    ASSERT_FALSE(path.empty());
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> source(std::size_t(info.frames * info.channels));
    sf_readf_float(f, source.data(), info.frames);
    sf_close(f);
    double sum = 0;
    for (float v : source) sum += double(v) * v;
    const double sourceRms = std::sqrt(sum / double(source.size()));
    const double frames = double(info.frames) * 44100.0 / c.rate;
    if (c.unwritten) {
      QFile file(QString::fromStdString(path));
      ASSERT_TRUE(file.open(QIODevice::ReadWrite));
      QByteArray bytes = file.readAll();
      const qsizetype data = bytes.indexOf("data");
      ASSERT_GT(data, 0);
      bytes.replace(4, 4, QByteArray(4, '\0'));
      bytes.replace(data + 4, 4, QByteArray(4, '\0'));
      file.seek(0);
      file.write(bytes);
    }

    MCIDEVICEID id = 0;
    ASSERT_EQ(Open(path, id), 0u);
    soundcard::EnableMixTap(soundcard::Mix::Playback, 3 * 44100);
    ASSERT_EQ(Play(id), 0u);
    int periods = 0;
    while (Status(id, MCI_STATUS_MODE) == MCI_MODE_PLAY && ++periods < 1000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the feeder runs in real time
      Run(441);
    }
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), Status(id, MCI_STATUS_LENGTH));
    std::uint64_t end = 0;
    EXPECT_TRUE(sequencer::AccompanimentEnd(id, end));
    const std::vector<float> tap = soundcard::MixTap(soundcard::Mix::Playback);
    mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);

    long first = -1, last = -1;
    double heard = 0;
    for (std::size_t i = 0; i < tap.size(); ++i) {
      if (std::fabs(tap[i]) < 1e-4f) continue;
      if (first < 0) first = long(i / 2);
      last = long(i / 2);
    }
    EXPECT_GE(first, 0) << "silent";
    if (first < 0) continue;
    for (std::size_t i = 2 * std::size_t(first); i < 2 * std::size_t(last + 1); ++i) heard += double(tap[i]) * tap[i];
    // The card's rate converter rings on for a few frames at either end.
    EXPECT_NEAR(double(last - first + 1), frames, 20.0);
    EXPECT_NEAR(std::sqrt(heard / double(2 * (last - first + 1))), sourceRms, 0.01 * sourceRms);
    const std::uint64_t silentFrom = soundcard::MixTapStartFrame(soundcard::Mix::Playback) + std::uint64_t(last) + 1;
    if (c.rate == 44100)
      EXPECT_EQ(end, silentFrom);
    else
      EXPECT_NEAR(double(end), double(silentFrom), 20.0);
  }
}

TEST_F(Files, AWavNamedMidAndAMidiFileNamedWavOpenByTheirContent) {
  const std::string wav = Tone("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.3);
  ASSERT_TRUE(QFile::rename(QString::fromStdString(wav), dir.filePath("tone.mid")));
  MCIDEVICEID id = 0;
  ASSERT_EQ(Open(dir.filePath("tone.mid").toStdString(), id), 0u);
  MCI_GETDEVCAPS_PARMS caps{};
  caps.dwItem = MCI_GETDEVCAPS_DEVICE_TYPE;
  mciSendCommand(id, MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, reinterpret_cast<DWORD_PTR>(&caps));
  EXPECT_EQ(caps.dwReturn, MCI_DEVTYPE_WAVEFORM_AUDIO);
  Simple(id, MCI_CLOSE);

  Track t;
  t.note(0, 480).end(480);
  ASSERT_EQ(Open(Write(dir, "song.wav", Smf(0, 480, {t})), id), 0u);
  mciSendCommand(id, MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, reinterpret_cast<DWORD_PTR>(&caps));
  EXPECT_EQ(caps.dwReturn, MCI_DEVTYPE_SEQUENCER);
  // The RIFF "RMID" wrapping of a MIDI file.
  Simple(id, MCI_CLOSE);
  std::vector<std::uint8_t> smf = Smf(0, 480, {t});
  std::vector<std::uint8_t> rmid = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
  const auto n = std::uint32_t(smf.size());
  for (int s = 0; s < 32; s += 8) rmid.push_back(std::uint8_t(n >> s));
  rmid.insert(rmid.end(), smf.begin(), smf.end());
  ASSERT_EQ(Open(Write(dir, "song.rmi", rmid), id), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 500u);
}

TEST_F(Files, BadInputFailsWithItsOwnCodeAndTextAndLeavesNothingOpen) {
  Track good;
  good.note(0, 960).end(960);
  std::vector<std::uint8_t> whole = Smf(1, 480, {good, good});
  Track silent;
  silent.at(0, {0xC0, 5}).at(100, {0xB0, 7, 100}).end(960);
  const std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
  std::vector<std::uint8_t> badWav = {'R', 'I', 'F', 'F', 200, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 2, 0, 0, 0};
  std::vector<std::uint8_t> zeroDivision = Smf(0, 0, {good});

  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool create;
    MCIERROR code;
  } cases[] = {
      {"missing.mid", {}, false, MCIERR_FILE_NOT_FOUND},
      {"text.mid", text, true, MCIERR_SEQ_NOT_MIDI},
      {"cut.mid", std::vector<std::uint8_t>(whole.begin(), whole.begin() + long(whole.size() - 6)), true,
       MCIERR_SEQ_TRUNCATED},
      {"header-only.mid", std::vector<std::uint8_t>(whole.begin(), whole.begin() + 10), true, MCIERR_SEQ_TRUNCATED},
      {"empty.mid", {}, true, MCIERR_SEQ_NOT_MIDI},
      {"silent.mid", Smf(0, 480, {silent}), true, MCIERR_SEQ_NO_NOTES},
      {"zero-division.mid", zeroDivision, true, MCIERR_SEQ_NOT_MIDI},
      {"broken.wav", badWav, true, MCIERR_INVALID_FILE},
      {"empty.mp3", {}, true, MCIERR_INVALID_FILE},
      {"notes.txt", text, true, MCIERR_EXTENSION_NOT_FOUND},
  };
  for (const Case& c : cases) {
    const std::string path =
        c.create ? Write(dir, c.name, c.bytes) : dir.filePath(QString::fromUtf8(c.name)).toStdString();
    MCIDEVICEID id = 123;
    EXPECT_EQ(Open(path, id), c.code) << c.name;
    EXPECT_EQ(id, 0u);
    EXPECT_FALSE(ErrorText(c.code).empty()) << c.name;
  }
  // A directory is no file; a valid file still opens after all that.
  MCIDEVICEID id = 0;
  EXPECT_EQ(Open(dir.path().toStdString(), id), MCIERR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(Write(dir, "good.mid", whole), id), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 1000u);
}

TEST_F(Files, CommandsOnNoDeviceAndErrorTexts) {
  MCI_STATUS_PARMS p{};
  p.dwItem = MCI_STATUS_LENGTH;
  EXPECT_EQ(mciSendCommand(0, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)),
            MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(Play(77), MCIERR_INVALID_DEVICE_ID);
  EXPECT_EQ(ErrorText(MCIERR_FILE_NOT_FOUND), "找不到指定的文件。请确认路径和文件名是否正确。");
  char small[8];
  EXPECT_TRUE(mciGetErrorString(MCIERR_FILE_NOT_FOUND, small, sizeof small));
  EXPECT_EQ(std::string(small), "找不");  // cut between characters, never inside one
  EXPECT_FALSE(mciGetErrorString(12345, small, sizeof small));
  EXPECT_EQ(small[0], '\0');
}

}  // namespace
