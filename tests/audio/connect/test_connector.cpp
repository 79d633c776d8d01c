// The connector: the block schedule of a captured buffer, the cut of an
// oversize buffer, the display slots, stop, pause, enable, RealTime and
// RequestRefresh, and the pump shared by several connectors.
#include <QCoreApplication>
#include <memory>
#include <stdexcept>
#include <thread>

#include "audio/MMTimer.h"
#include "platform/winmsg/mmtimer.h"
#include "tests/audio/connect/connect_fixture.h"

using namespace connecttest;

namespace {

// 3048 bytes in which the 200-byte block at offset o starts with o + 1.
std::vector<std::uint8_t> MarkedBuffer(int bytes = 3048) {
  std::vector<std::uint8_t> data(std::size_t(bytes), 0x11);
  for (int o = 0; o + 4 <= bytes; o += 200) {
    const std::uint32_t mark = std::uint32_t(o + 1);
    std::memcpy(data.data() + o, &mark, 4);
  }
  return data;
}

std::vector<int> Offsets(int from, int to, int step) {
  std::vector<int> v;
  for (int o = from; o <= to; o += step) v.push_back(o);
  return v;
}

TEST_F(ConnectorTest, BlocksOfABufferAreSpreadOverItsPlayingTime) {
  RecordingDisplay left, right;
  TMMConnector c;
  c.SetLevel1(&left);
  c.SetLevel2(&right);
  OpenAndStart(c);
  EXPECT_TRUE(c.Running());
  EXPECT_EQ(left.format.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(right.format.nChannels, 2);
  Activate();
  ASSERT_TRUE(c.Active());
  EXPECT_EQ(TMMConnector::ActiveCount(), 1);

  const auto data = MarkedBuffer();
  const std::int64_t stamp = gNow;
  c.CaptureData(data.data(), int(data.size()));
  gNow = stamp + 500;  // 0.5 ms after the capture: only the first block is due
  c.Refresh();
  c.Refresh();
  EXPECT_EQ(left.offsets, std::vector<int>{0});
  // Passes every 0.1 ms over the buffer's 17.3 ms and beyond.
  for (std::int64_t t = 600; t <= 30000; t += 100) {
    gNow = stamp + t;
    c.Refresh();
  }
  const std::vector<int> expected = Offsets(0, 2800, 200);  // 15 blocks; the last 48 bytes are not shown
  EXPECT_EQ(left.offsets, expected);
  EXPECT_EQ(right.offsets, expected);
  EXPECT_EQ(c.RefreshCount(dkLevel), 15);
  EXPECT_EQ(left.times[0], stamp + 500);
  for (std::size_t i = 1; i < left.offsets.size(); ++i) {
    const std::int64_t due = stamp + std::int64_t(left.offsets[i]) * 1000000 / 176400;
    EXPECT_GE(left.times[i], due) << left.offsets[i];
    EXPECT_LT(left.times[i], due + 100) << left.offsets[i];
    EXPECT_EQ(left.heads[i], std::uint32_t(left.offsets[i] + 1));  // the data at that offset
  }

  // Without Synchronize every pass shows the next block.
  c.SetSynchronize(false);
  c.CaptureData(data.data(), int(data.size()));
  for (int i = 0; i < 20; ++i) c.Refresh();
  EXPECT_EQ(c.RefreshCount(dkLevel), 30);
}

// A buffer of exactly 15 blocks shows all 15, the last one included.
TEST_F(ConnectorTest, ABufferOfWholeBlocksShowsItsLastBlock) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  const auto data = MarkedBuffer(3000);
  const std::int64_t stamp = gNow;
  c.CaptureData(data.data(), int(data.size()));
  for (std::int64_t t = 0; t <= 30000; t += 100) {
    gNow = stamp + t;
    c.Refresh();
  }
  EXPECT_EQ(level.offsets, Offsets(0, 2800, 200));
  EXPECT_EQ(level.heads.back(), 2801u);
}

// A buffer that comes before the pump has shown all of the last one (the
// pump steps about once per screen refresh; buffers come in bursts): the
// rest of the last one is shown first, from its own data, so every block
// reaches the meters' peak hold.
TEST_F(ConnectorTest, ANewBufferFirstShowsWhatIsLeftOfTheLastOne) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  const auto first = MarkedBuffer();
  std::vector<std::uint8_t> second(3000, 0x22);  // 15 whole blocks, marked 0x10001 + offset
  for (int o = 0; o < 3000; o += 200) {
    const std::uint32_t mark = std::uint32_t(0x10001 + o);
    std::memcpy(second.data() + o, &mark, 4);
  }
  const std::int64_t stamp = gNow;
  c.CaptureData(first.data(), int(first.size()));
  gNow = stamp + 5000;  // 882 bytes played: the blocks at 0 to 800 are due
  for (int i = 0; i < 10; ++i) c.Refresh();
  ASSERT_EQ(level.offsets, Offsets(0, 800, 200));
  c.CaptureData(second.data(), int(second.size()));
  EXPECT_EQ(level.offsets, Offsets(0, 2800, 200));
  for (std::size_t i = 0; i < level.heads.size(); ++i) EXPECT_EQ(level.heads[i], std::uint32_t(200 * i + 1)) << i;
  for (std::int64_t t = 0; t <= 30000; t += 100) {
    gNow = stamp + 5000 + t;
    c.Refresh();
  }
  ASSERT_EQ(level.heads.size(), 30u);
  for (std::size_t i = 15; i < 30; ++i) EXPECT_EQ(level.heads[i], std::uint32_t(0x10001 + 200 * (i - 15))) << i;
  EXPECT_EQ(c.RefreshCount(dkLevel), 30);
}

TEST_F(ConnectorTest, BufferLargerThanTheBufferSizeIsCut) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  EXPECT_EQ(c.CaptureCapacity(), 3048);
  const auto big = MarkedBuffer(5000);
  c.CaptureData(big.data(), int(big.size()));
  EXPECT_EQ(c.CapturedBytes(), 3048);
  c.CaptureData(big.data(), 0);  // nothing to capture: the last capture stays
  c.CaptureData(nullptr, 100);
  EXPECT_EQ(c.CapturedBytes(), 3048);
  c.CaptureData(big.data(), 450);  // two whole blocks
  c.SetSynchronize(false);
  Activate();
  for (int i = 0; i < 5; ++i) c.Refresh();
  EXPECT_EQ(level.offsets, (std::vector<int>{0, 200}));

  // Through the chain: the buffer a recorder hands on.
  std::vector<std::uint8_t> block(MMBufferBlockSize(4000));
  PMMBufferHeader header = MMInitBufferHeader(block.data(), 4000);
  header->dwBytesRecorded = 4000;
  c.BufferReady(header);
  EXPECT_EQ(c.CapturedBytes(), 3048);
  // In playback the buffer being heard, linked by the output engine, is shown.
  std::vector<std::uint8_t> heardBlock(MMBufferBlockSize(4000));
  PMMBufferHeader heard = MMInitBufferHeader(heardBlock.data(), 4000);
  heard->dwBytesRecorded = 600;
  header->LinkedHeader = heard;
  c.BufferReady(header);
  EXPECT_EQ(c.CapturedBytes(), 3048);  // Synchronize is off: the header itself
  c.SetSynchronize(true);
  c.BufferReady(header);
  EXPECT_EQ(c.CapturedBytes(), 600);
  header->LinkedHeader = nullptr;
  header->dwBytesRecorded = 1000;
  bool more = true;
  c.BufferLoad(header, more);
  EXPECT_EQ(c.CapturedBytes(), 1000);
}

TEST_F(ConnectorTest, DisplaySlotsTakeEachDisplayOnceAndForgetRemovedOnes) {
  TMMConnector c;
  RecordingDisplay a, b;
  c.SetLevel1(&a);
  c.SetLevel2(&a);  // already Level1: ignored
  EXPECT_EQ(c.Level2(), nullptr);
  c.SetLevel2(&b);
  c.SetLevel1(&b);  // already Level2: ignored
  EXPECT_EQ(c.Level1(), &a);
  // The four spectrum slots only ignore the display they already hold.
  c.SetDisplay(dsSpectrum1, &a);
  c.SetDisplay(dsSpectrum2, &a);
  EXPECT_EQ(c.Display(dsSpectrum2), &a);

  auto gone = std::make_unique<RecordingDisplay>();
  c.SetDisplay(dsMeter1, gone.get());
  gone.reset();
  EXPECT_EQ(c.Display(dsMeter1), nullptr);

  // A display of another kind is fed by its own step: 100-byte blocks.
  RecordingDisplay light(100);
  c.SetDisplay(dsLight1, &light);
  c.SetDisplay(dsSpectrum1, nullptr);
  c.SetDisplay(dsSpectrum2, nullptr);
  OpenAndStart(c);
  EXPECT_EQ(light.format.nBlockAlign, 4);  // told the format with the others
  Activate();
  c.SetSynchronize(false);
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  for (int i = 0; i < 40; ++i) c.Refresh();
  EXPECT_EQ(light.offsets.size(), 30u);
  EXPECT_EQ(a.offsets.size(), 15u);
  EXPECT_EQ(c.RefreshCount(dkLight), 30);
}

TEST_F(ConnectorTest, StopClearsTheDisplaysAndLeavesThePump) {
  RecordingDisplay left, right;
  TMMConnector c;
  c.SetLevel1(&left);
  c.SetLevel2(&right);
  OpenAndStart(c);
  Activate();
  c.Stopped();
  EXPECT_EQ(left.clears, 1);
  EXPECT_EQ(right.clears, 1);
  EXPECT_FALSE(c.Running());
  EXPECT_FALSE(c.Active());
  EXPECT_EQ(TMMConnector::ActiveCount(), 0);
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  c.Refresh();
  EXPECT_TRUE(left.offsets.empty());
  // The pump's last step sees nothing active and posts no further step.
  ProcessMessages();
  EXPECT_EQ(RemovePendingMessages(TMMConnector::PumpWindow(), MM_CONNECTOR_STEP), 0);

  c.SetRefreshOnStop(false);
  OpenAndStart(c);
  c.Stopped();
  EXPECT_EQ(left.clears, 1);
}

TEST_F(ConnectorTest, PauseShowsSilenceAfterEveryTick) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  auto showAll = [&] {
    for (std::int64_t t = 0; t <= 30000; t += 100) {
      gNow += 100;
      c.Refresh();
    }
  };
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  showAll();
  c.Paused();
  ASSERT_TRUE(c.PauseTimerRunning());
  if (MMTimerId() != 0) timeKillEvent(MMTimerId());  // ticks come from the test
  c.CaptureData(data.data(), int(data.size()));      // ignored while paused

  level.offsets.clear();
  level.heads.clear();
  showAll();
  EXPECT_TRUE(level.offsets.empty());  // nothing until the first tick
  for (int tick = 1; tick <= 2; ++tick) {
    MMTimerTick();  // 3048 bytes last 17 ms: the pause timer runs every 25 ms tick
    showAll();
    EXPECT_EQ(level.offsets.size(), std::size_t(15 * tick));
  }
  for (std::uint32_t head : level.heads) EXPECT_EQ(head, 0u);  // silence

  c.Restarted();
  EXPECT_FALSE(c.PauseTimerRunning());
  c.CaptureData(data.data(), int(data.size()));
  level.heads.clear();
  showAll();
  ASSERT_EQ(level.heads.size(), 15u);
  EXPECT_EQ(level.heads[1], 201u);
}

TEST_F(ConnectorTest, PausedBeforeTheFirstBufferStillShowsSilence) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  c.Paused();
  if (MMTimerId() != 0) timeKillEvent(MMTimerId());
  MMTimerTick();
  for (int i = 0; i < 300; ++i) {
    gNow += 100;
    c.Refresh();
  }
  EXPECT_EQ(level.offsets.size(), 15u);
  c.Restarted();
}

TEST_F(ConnectorTest, AnErrorInADisplayGoesToTheApplicationAndThePumpGoesOn) {
  struct Throwing : RecordingDisplay {
    void ShowBlock(const void* Data) override {
      RecordingDisplay::ShowBlock(Data);
      if (offsets.size() == 1) throw std::runtime_error("display failed");
    }
  } level;
  int errors = 0;
  SetApplicationExceptionHandler([&](std::exception_ptr) { ++errors; });
  MMConnectorSetClock(nullptr);
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  PumpMessagesFor(60);
  SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(level.offsets, Offsets(0, 2800, 200));
}

TEST_F(ConnectorTest, DisablingClearsAndEnablingFeedsAgain) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  Activate();
  c.SetEnabled(false);
  EXPECT_EQ(level.clears, 1);
  EXPECT_FALSE(c.Active());
  EXPECT_EQ(TMMConnector::ActiveCount(), 0);
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  c.Refresh();
  EXPECT_TRUE(level.offsets.empty());
  c.SetEnabled(true);
  Activate();
  EXPECT_TRUE(c.Active());
  EXPECT_EQ(TMMConnector::ActiveCount(), 1);
  c.CaptureData(data.data(), int(data.size()));
  c.Refresh();
  EXPECT_EQ(level.offsets.size(), 1u);
}

TEST_F(ConnectorTest, RealTimeIsFixedWhileOpenAndOffRefreshesOnCapture) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  OpenAndStart(c);
  try {
    c.SetRealTime(false);
    ADD_FAILURE() << "no error";
  } catch (const EMMConnectorError& e) {
    EXPECT_STREQ(e.what(), "Change to property while device was open");
  }
  c.Stopped();
  c.Closed();
  c.SetRealTime(false);
  OpenAndStart(c);
  EXPECT_FALSE(c.Active());  // not in the pump
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  EXPECT_EQ(level.offsets, std::vector<int>{0});  // refreshed by the capture itself
  EXPECT_EQ(TMMConnector::ActiveCount(), 0);
}

TEST_F(ConnectorTest, RequestRefreshWithoutAutoTrigger) {
  RecordingDisplay level;
  TMMConnector c;
  c.SetLevel1(&level);
  c.SetAutoTrigger(false);
  OpenAndStart(c);
  Activate();
  EXPECT_TRUE(c.Active());
  EXPECT_EQ(TMMConnector::ActiveCount(), 0);  // the pump does not run for it
  const auto data = MarkedBuffer();
  c.CaptureData(data.data(), int(data.size()));
  c.RequestRefresh();  // main thread: at once
  EXPECT_EQ(level.offsets.size(), 1u);
  gNow += 2000;
  std::thread other([&] { c.RequestRefresh(); });
  other.join();
  EXPECT_EQ(level.offsets.size(), 1u);  // posted, not yet handled
  ProcessMessages();
  EXPECT_EQ(level.offsets, (std::vector<int>{0, 200}));
}

TEST_F(ConnectorTest, OnePumpFeedsEveryConnectorAndOutlivesOneOfThem) {
  MMConnectorSetClock(nullptr);  // the pump waits on the real clock
  RecordingDisplay da, db;
  TMMConnector a;
  auto b = std::make_unique<TMMConnector>();
  a.SetLevel1(&da);
  b->SetLevel1(&db);
  OpenAndStart(a);
  OpenAndStart(*b);
  Activate();
  EXPECT_EQ(TMMConnector::ActiveCount(), 2);
  const auto data = MarkedBuffer();
  a.CaptureData(data.data(), int(data.size()));
  b->CaptureData(data.data(), int(data.size()));
  PumpMessagesFor(60);  // the buffer lasts 17.3 ms
  EXPECT_EQ(da.offsets, Offsets(0, 2800, 200));
  EXPECT_EQ(db.offsets, Offsets(0, 2800, 200));
  for (std::size_t i = 1; i < da.offsets.size(); ++i) EXPECT_GT(da.offsets[i], da.offsets[i - 1]);

  b.reset();  // its messages go with it; the pump stays for the other
  EXPECT_EQ(TMMConnector::ActiveCount(), 1);
  // With everything shown the pump waits for data without stepping.
  EXPECT_EQ(RemovePendingMessages(TMMConnector::PumpWindow(), MM_CONNECTOR_STEP), 0);
  a.CaptureData(data.data(), int(data.size()));  // wakes it
  PumpMessagesFor(60);
  EXPECT_EQ(da.offsets.size(), 30u);

  a.SetSpeed(0);
  EXPECT_EQ(a.Speed(), 1);
  a.SetSpeed(9000);
  EXPECT_EQ(a.Speed(), 5000);
}

}  // namespace
