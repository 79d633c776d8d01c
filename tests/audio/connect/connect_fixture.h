// Shared pieces of the connector tests: the application, a display that
// records what it is shown, a clock the tests move, and a connector opened
// and started as a 16-bit stereo recording with 3048-byte buffers would.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/MMConect.h"
#include "platform/winmsg/winmsg.h"

namespace connecttest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "connecttest";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// The tests' clock, in microseconds.
inline std::int64_t gNow = 1'000'000;
inline std::int64_t TestClock() { return gNow; }

// Records every call; ShowBlock keeps the offset from the first block it was
// shown, the test clock's time and the first four bytes of the block.
class RecordingDisplay : public TMMDisplayClient {
 public:
  explicit RecordingDisplay(int blockSize = 200) : block(blockSize) {}
  void SetDisplayFormat(const WAVEFORMATEX* Format) override {
    format = *Format;
    ++formats;
  }
  int DataBlockSize() const override { return block; }
  void ShowBlock(const void* Data) override {
    const auto* p = static_cast<const std::uint8_t*>(Data);
    if (!base) base = p;  // the first block shown starts the capture buffer
    offsets.push_back(int(p - base));
    times.push_back(gNow);
    std::uint32_t head;
    std::memcpy(&head, p, 4);
    heads.push_back(head);
  }
  void ClearDisplay() override { ++clears; }
  QObject* DisplayObject() override { return &object; }

  int block;
  const std::uint8_t* base = nullptr;
  WAVEFORMATEX format{};
  int formats = 0;
  int clears = 0;
  std::vector<int> offsets;
  std::vector<std::int64_t> times;
  std::vector<std::uint32_t> heads;
  QObject object;
};

class ConnectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    gNow = 1'000'000;
    MMConnectorSetClock(TestClock);
  }
  void TearDown() override {
    MMConnectorSetClock(nullptr);
    ProcessMessages();
  }
  // What a recorder's chain does: the format, the buffer size, open, start.
  static void OpenAndStart(TMMConnector& c, int bufferSize = 3048) {
    const WAVEFORMATEX format = pcmBuildWaveHeader(16, 2, 44100);
    c.SetWaveFormat(&format);
    c.SetBufferSize(bufferSize);
    c.Opened();
    c.Started();
  }
  // The start message is handled; the pump's next step waits in the queue.
  static void Activate() { ProcessMessages(); }
};

}  // namespace connecttest
