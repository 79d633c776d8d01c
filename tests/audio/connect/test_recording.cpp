// The program's meters fed by the connector during a recording on the
// stepped card: a loud left and a quiet right channel light the meters
// accordingly, the grabbed images show the zones, and stopping clears them.
#include <QImage>
#include <QWidget>
#include <cmath>
#include <filesystem>
#include <string>

#include "app/levelmeter.h"
#include "controls/MMLevel.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/soundcard.h"
#include "recplay/MMWRec.h"
#include "tests/audio/connect/connect_fixture.h"

using namespace connecttest;

namespace {

void MakeProgramMeter(TMMLevel& level, int x, TMMChannel channel) {
  level.setGeometry(x, 13, 17, 108);
  SetUpWindowMeter(level, channel);
}

// Colour of spot k of a program meter (spot k is the widget's row 108 - 2k).
QRgb Spot(const QImage& image, int k) { return image.pixel(8, 108 - 2 * k) & 0xFFFFFF; }

class RecordingMeters : public ConnectorTest {
 protected:
  void SetUp() override {
    ConnectorTest::SetUp();
    MMConnectorSetClock(nullptr);
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    file = (std::filesystem::temp_directory_path() / ("tl_meters_" + std::to_string(::getpid()) + ".wav")).string();
  }
  void TearDown() override {
    ConnectorTest::TearDown();
    soundcard::ResetCard();
    std::error_code ec;
    std::filesystem::remove(file, ec);
  }
  std::string file;
};

TEST_F(RecordingMeters, LoudLeftQuietRightLightTheMetersAccordingly) {
  // A 441 Hz tone: 0.9 on the left (-0.9 dB), 0.05 on the right (-26 dB).
  std::vector<float> tone(2 * 44100);
  for (std::size_t i = 0; i < 44100; ++i) {
    const float s = float(std::sin(2.0 * M_PI * double(i) / 100.0));
    tone[2 * i] = 0.9f * s;
    tone[2 * i + 1] = 0.05f * s;
  }
  soundcard::SetMicrophoneSamples(std::move(tone), true);

  QWidget window;
  window.resize(537, 200);
  TMMLevel left(&window), right(&window);
  MakeProgramMeter(left, 480, chLeft);
  MakeProgramMeter(right, 504, chRight);
  window.show();

  TMMWaveRecorder rec;
  rec.SetBufferSize(3048);
  rec.SetNumBuffers(20);
  rec.SetMode(mStereo);
  rec.SetBitLength(b16Bit);
  rec.SetSampleRate(44100);
  rec.SetCallBackMode(cmWindow);
  rec.SetFileName(file);
  TMMConnector connect;
  TMMConnector::SetEnterIdle(false);
  connect.SetLevel1(&left);
  connect.SetLevel2(&right);
  rec.SetOutput(&connect);
  rec.Start();
  ASSERT_TRUE(connect.Running());
  // Half a second: after every period of the card the main thread runs its
  // messages for 2 ms, so the pump's waits for the next block come due.
  for (int period = 0; period < 50; ++period) {
    soundcard::AdvanceAndPump(soundcard::kPeriodFrames);
    PumpMessagesFor(2);
  }
  EXPECT_TRUE(connect.Active());
  EXPECT_GE(connect.RefreshCount(dkLevel), 20);  // at least the first block of each of the 28 buffers

  EXPECT_EQ(left.LitSpots(), 52);  // Round((35 - 0.92) * 53 / 35)
  EXPECT_GE(right.LitSpots(), 13);  // Round((35 - 26.0) * 53 / 35) = 14
  EXPECT_LE(right.LitSpots(), 15);
  const QImage l = left.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage r = right.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(Spot(l, 1), 0xFFFF00u);   // yellow zone
  EXPECT_EQ(Spot(l, 45), 0xFFFF00u);
  EXPECT_EQ(Spot(l, 46), 0xFF0000u);  // red zone
  EXPECT_EQ(Spot(l, 52), 0xFF0000u);
  EXPECT_EQ(Spot(l, 53), 0x000000u);  // black background above the bar
  EXPECT_EQ(Spot(r, 1), 0xFFFF00u);
  EXPECT_EQ(Spot(r, 13), 0xFFFF00u);
  EXPECT_EQ(Spot(r, 16), 0x000000u);
  EXPECT_EQ(Spot(r, 46), 0x000000u);

  rec.Stop();  // stop clears both meters
  EXPECT_FALSE(connect.Running());
  EXPECT_EQ(left.LitSpots(), 0);
  EXPECT_EQ(left.PeakSpot(), 0);
  EXPECT_EQ(right.LitSpots(), 0);
  EXPECT_EQ(Spot(left.grab().toImage().convertToFormat(QImage::Format_RGB32), 1), 0x000000u);
  EXPECT_EQ(TMMConnector::ActiveCount(), 0);
}

}  // namespace
