// Shared pieces of the recording tests: the application object the hidden
// windows need, a fresh card on the stepped clock with the test signal on
// the microphone, a temporary folder, and readers for the WAV files made.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"
#include "recplay/MMTakeRecorder.h"
#include "recplay/MMWRec.h"
#include "wavefile/DiskSpace.h"
#include "wavefile/MMWave.h"

namespace rectest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "rectest";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// Frames of the card for a byte count of 16-bit stereo at 44100 Hz.
constexpr std::uint64_t kFramesPerSecond = 44100;

class RecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    soundcard::SetMicrophoneTestSignal();
    soundcard::EnableWaveInTaps(8u << 20);
    dir = std::filesystem::temp_directory_path() /
          ("tl_rec_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    SetDiskFreeQuery({});
    ProcessMessages();
    soundcard::ResetCard();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  // Runs the card for `ms` milliseconds, delivering the posted messages
  // after every period, as a running message loop would.
  static void Run(std::uint64_t ms) { soundcard::AdvanceAndPump(kFramesPerSecond * ms / 1000); }

  std::filesystem::path dir;
  static inline int counter = 0;
};

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The data chunk of a file the recorder finished (data from offset 46).
inline std::vector<std::uint8_t> DataOf(const std::vector<std::uint8_t>& file) {
  if (file.size() < 46) return {};
  const std::uint32_t size = U32(file, 42);
  if (46 + std::size_t(size) > file.size()) return {};
  return {file.begin() + 46, file.begin() + 46 + size};
}

// The last wave-in handle the card saw.
inline soundcard::WaveInRecord LastRecord() {
  auto history = soundcard::WaveInHistory();
  return history.empty() ? soundcard::WaveInRecord{} : history.back();
}

}  // namespace rectest
