// Shared pieces of the accompaniment tests: MIDI files written byte by
// byte, their lengths worked out here from the tempo map (not by the code
// under test), a fixture on the stepped card with the small soundfont, and
// helpers to send commands.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/sequencer/mci.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/winmsg/winmsg.h"

namespace seqtest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "test_sequencer";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// One track: events at absolute ticks, written with delta times.
class Track {
 public:
  Track& at(std::uint32_t tick, std::vector<std::uint8_t> message) {
    delta(tick);
    bytes_.insert(bytes_.end(), message.begin(), message.end());
    return *this;
  }
  Track& tempo(std::uint32_t tick, std::uint32_t usPerQuarter) {
    tempos_[tick] = usPerQuarter;
    return at(tick, {0xFF, 0x51, 0x03, std::uint8_t(usPerQuarter >> 16), std::uint8_t(usPerQuarter >> 8),
                     std::uint8_t(usPerQuarter)});
  }
  Track& note(std::uint32_t on, std::uint32_t off, int key = 60, int channel = 0) {
    at(on, {std::uint8_t(0x90 | channel), std::uint8_t(key), 100});
    return at(off, {std::uint8_t(0x80 | channel), std::uint8_t(key), 0});
  }
  Track& end(std::uint32_t tick) {
    endTick_ = tick;
    return at(tick, {0xFF, 0x2F, 0x00});
  }
  std::vector<std::uint8_t> chunk() const {
    std::vector<std::uint8_t> c = {'M', 'T', 'r', 'k'};
    const auto n = std::uint32_t(bytes_.size());
    for (int s = 24; s >= 0; s -= 8) c.push_back(std::uint8_t(n >> s));
    c.insert(c.end(), bytes_.begin(), bytes_.end());
    return c;
  }
  const std::map<std::uint32_t, std::uint32_t>& tempos() const { return tempos_; }
  std::uint32_t endTick() const { return endTick_; }

 private:
  void delta(std::uint32_t tick) {
    std::uint32_t d = tick - last_;
    last_ = tick;
    std::uint8_t tmp[5];
    int n = 0;
    tmp[n++] = d & 0x7F;
    while (d >>= 7) tmp[n++] = std::uint8_t(0x80 | (d & 0x7F));
    while (n) bytes_.push_back(tmp[--n]);
  }
  std::vector<std::uint8_t> bytes_;
  std::map<std::uint32_t, std::uint32_t> tempos_;
  std::uint32_t last_ = 0, endTick_ = 0;
};

inline std::vector<std::uint8_t> Smf(int format, std::uint16_t division, const std::vector<Track>& tracks) {
  std::vector<std::uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, std::uint8_t(format), 0,
                                 std::uint8_t(tracks.size()), std::uint8_t(division >> 8), std::uint8_t(division)};
  for (const Track& t : tracks) {
    auto c = t.chunk();
    f.insert(f.end(), c.begin(), c.end());
  }
  return f;
}

// Seconds to the latest end of track, from every track's tempo changes.
inline double ExpectedSeconds(std::uint16_t division, const std::vector<Track>& tracks) {
  std::map<std::uint32_t, std::uint32_t> tempos;
  std::uint32_t end = 0;
  for (const Track& t : tracks) {
    tempos.insert(t.tempos().begin(), t.tempos().end());
    end = std::max(end, t.endTick());
  }
  double seconds = 0, tempo = 500000;
  std::uint32_t tick = 0;
  for (auto [at, us] : tempos) {
    if (at >= end) break;
    seconds += double(at - tick) * tempo / 1e6 / division;
    tick = at;
    tempo = us;
  }
  return seconds + double(end - tick) * tempo / 1e6 / division;
}

inline std::string Write(const QTemporaryDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

// --- commands
inline MCIERROR Open(const std::string& path, MCIDEVICEID& id, HWND notify = nullptr) {
  MCI_OPEN_PARMS p{};
  p.dwCallback = reinterpret_cast<DWORD_PTR>(notify);
  p.lpstrElementName = path.c_str();
  const MCIERROR e = mciSendCommand(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&p));
  id = e ? 0 : p.wDeviceID;
  return e;
}
inline DWORD Status(MCIDEVICEID id, DWORD item) {
  MCI_STATUS_PARMS p{};
  p.dwItem = item;
  EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)), 0u);
  return DWORD(p.dwReturn);
}
inline MCIERROR Play(MCIDEVICEID id, HWND notify = nullptr) {
  MCI_PLAY_PARMS p{reinterpret_cast<DWORD_PTR>(notify), 0, 0};
  return mciSendCommand(id, MCI_PLAY, notify ? MCI_NOTIFY : 0, reinterpret_cast<DWORD_PTR>(&p));
}
inline MCIERROR Simple(MCIDEVICEID id, UINT command, DWORD flags = MCI_WAIT) {
  MCI_GENERIC_PARMS p{0};
  return mciSendCommand(id, command, flags, reinterpret_cast<DWORD_PTR>(&p));
}
inline MCIERROR SeekTo(MCIDEVICEID id, DWORD ms) {
  MCI_SEEK_PARMS p{0, ms};
  return mciSendCommand(id, MCI_SEEK, MCI_WAIT | MCI_TO, reinterpret_cast<DWORD_PTR>(&p));
}
inline std::string ErrorText(MCIERROR e) {
  char text[512];
  return mciGetErrorString(e, text, sizeof text) ? std::string(text) : std::string();
}

// Every test: the stepped card, the small soundfont, nothing remembered.
class SeqTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TUNELARK_SOUNDFONT", "/usr/share/sounds/sf2/TimGM6mb.sf2", 1);
    App();
  }
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMicrophoneSilence();
  }
  void TearDown() override {
    mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
    soundcard::ResetCard();
  }
  // Runs the card for `frames`, in periods, letting the devices' helpers
  // keep up as they would at real time.
  static void Run(std::uint64_t frames) {
    while (frames > 0) {
      const std::uint64_t n = std::min<std::uint64_t>(frames, 4410);
      ASSERT_TRUE(sequencer::WaitDevicesSettled(10000));
      soundcard::AdvanceAndPump(n);
      frames -= n;
    }
  }
  QTemporaryDir dir;
};

}  // namespace seqtest
