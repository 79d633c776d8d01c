// The level meter: layout, the level from a block on both scales, the peak
// marker and its tick, smoothing, Value, the format check, and the pixels
// of the drawn bar.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <stdexcept>

#include "audio/MMTimer.h"
#include "platform/winmsg/mmtimer.h"
#include "tests/controls/level_fixture.h"

using namespace leveltest;

namespace {

class LevelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    MakeProgramMeter(level, chLeft);
    level.show();
    // Paints reach a window only once it is exposed.
    for (int i = 0; i < 100 && !level.windowHandle()->isExposed(); ++i) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    // Ticks come only from the tests: stop the service's own timer.
    if (MMTimerId() != 0) timeKillEvent(MMTimerId());
  }
  // A block, and the screen's next refresh.
  void Show(int left, int right = 0) {
    const auto block = Stereo16(left, right);
    level.ShowBlock(block.data());
    PaintFrame();
  }
  // The frame of the next refresh and the repaint it asks for.
  static void PaintFrame() {
    MMPaintFramesNow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
  }
  QImage Grab() { return level.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // Colour of spot k (1 at the bottom) in the grabbed image of the program
  // meter: spot k is the row 108 - 2k of the widget.
  static QRgb SpotPixel(const QImage& image, int k) { return image.pixel(8, 108 - 2 * k) & 0xFFFFFF; }

  AppFirst app;
  TMMLevel level;
};

constexpr QRgb kYellow = 0xFFFF00, kRed = 0xFF0000, kBlack = 0x000000;

TEST_F(LevelTest, ProgramMeterLayoutHas53SpotsAndItsThresholds) {
  EXPECT_EQ(level.size(), QSize(17, 108));
  EXPECT_EQ(level.InnerRect(), QRect(1, 1, 15, 106));
  EXPECT_EQ(level.SpotCount(), 53);
  EXPECT_EQ(level.Threshold1(), 26);
  EXPECT_EQ(level.Threshold2(), 45);
  EXPECT_EQ(level.Margin(), 0);
  // A default meter: 200 x 17, no bevel, horizontal.
  TMMLevel plain;
  EXPECT_EQ(plain.size(), QSize(200, 17));
  EXPECT_EQ(plain.SpotCount(), 100);
  EXPECT_EQ(plain.DataBlockSize(), 50);
  plain.SetSpotWidth(3);
  plain.SetSpotSpace(2);
  EXPECT_EQ(plain.SpotCount(), 40);   // (200 + 2) / 5
  EXPECT_EQ(plain.Margin(), 1);       // (200 - 198) / 2
  plain.SetKind(lkVertical);          // does not fit: width and height swap
  EXPECT_EQ(plain.size(), QSize(17, 200));
}

TEST_F(LevelTest, PeaksLightTheWorkedNumberOfSpots) {
  int pcmOverflows = 0, gainOverflows = 0;
  level.OnPcmOverflow = [&](QObject*) { ++pcmOverflows; };
  level.OnGainOverflow = [&](QObject*) { ++gainOverflows; };
  const struct {
    int peak, spots;
  } cases[] = {{32767, 53}, {16384, 44}, {8192, 35}, {1000, 7}, {0, 0}, {-32768, 53}, {-8192, 35}};
  for (const auto& c : cases) {
    level.ClearDisplay();
    Show(c.peak, 31000);  // the right channel is not looked at
    EXPECT_EQ(level.LitSpots(), c.spots) << c.peak;
  }
  EXPECT_EQ(pcmOverflows, 2);
  EXPECT_EQ(gainOverflows, 0);
  // Gain 8 doubles the level: a full-scale peak overflows the bar.
  level.SetGain(8);
  level.ClearDisplay();
  Show(32767);
  EXPECT_EQ(level.LitSpots(), 53);
  EXPECT_EQ(gainOverflows, 1);
  Show(8192);  // -6 dB after the gain
  EXPECT_EQ(level.LitSpots(), 44);
}

TEST_F(LevelTest, ChannelChoiceDcOffsetAndEightBitData) {
  level.SetChannel(chRight);
  Show(30000, 8192);
  EXPECT_EQ(level.LitSpots(), 35);
  level.SetChannel(chBoth);  // the mean of both, toward zero
  Show(16385, 16384);        // (16385 + 16384) div 2 = 16384
  EXPECT_EQ(level.RawLevel(), 16384);
  level.SetChannel(chLeft);
  level.SetDCOffsetL(1000);  // subtracted from every left sample
  Show(9192);
  EXPECT_EQ(level.RawLevel(), 8192);
  level.SetDCOffsetL(0);

  // 8-bit mono: 128 is silence, each step is 256 on the 16-bit scale.
  level.SetBitLength(b8Bit);
  level.SetMode(mMono);
  EXPECT_EQ(level.DataBlockSize(), 50);
  std::vector<std::uint8_t> bytes(50, 128);
  bytes[3] = 192;  // (192 - 128) * 256 = 16384
  level.ShowBlock(bytes.data());
  EXPECT_EQ(level.RawLevel(), 16384);
  EXPECT_EQ(level.LitSpots(), 44);
  bytes.assign(50, 128);
  level.ShowBlock(bytes.data());
  EXPECT_EQ(level.LitSpots(), 0);
}

TEST_F(LevelTest, LinearScaleAndValueBothWays) {
  level.SetValue(50);  // Round(16383.5) = 16384, halves to even
  EXPECT_EQ(level.RawLevel(), 16384);
  EXPECT_EQ(level.LitSpots(), 44);
  EXPECT_EQ(level.Value(), 50);  // 100 * 10^((-35 + 35 * 44 / 53) / 20)
  level.SetValue(150);           // clamped to 100
  EXPECT_EQ(level.RawLevel(), 32767);
  level.SetGain(-8);  // no level at all: the lit spots stand for nothing
  EXPECT_EQ(level.Value(), 0);
  level.SetGain(0);
  level.ClearDisplay();
  EXPECT_EQ(level.Value(), 0);

  // Linear: the floor is 32767 / 10^(35 / 20) = 582.7; 16384 lights
  // Round((16384 - 582.7) * 53 / 32184.3) = 26.
  level.SetLogAmp(false);
  Show(16384);
  EXPECT_EQ(level.LitSpots(), 26);
  EXPECT_EQ(level.Value(), 49);  // Round(26 * 100 / 53)
  Show(500);                     // below the floor
  EXPECT_EQ(level.LitSpots(), 0);
}

TEST_F(LevelTest, PeakMarkerHolds41TicksAndVanishesWithTheNextBlock) {
  Show(16384);
  ASSERT_EQ(level.PeakSpot(), 44);
  EXPECT_EQ(level.HoldCounter(), 41);
  Show(0);
  EXPECT_EQ(level.LitSpots(), 0);
  EXPECT_EQ(level.PeakSpot(), 44);
  EXPECT_EQ(SpotPixel(Grab(), 44), kYellow);  // the marker alone
  EXPECT_EQ(SpotPixel(Grab(), 43), kBlack);

  const int redraws = level.RedrawCount();
  Show(0);  // silence after silence: nothing to redraw
  EXPECT_EQ(level.RedrawCount(), redraws);
  for (int i = 0; i < 40; ++i) level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 44);
  level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 0);
  EXPECT_EQ(level.RedrawCount(), redraws);  // the tick never draws
  Show(0);
  EXPECT_EQ(level.RedrawCount(), redraws + 1);
  EXPECT_EQ(SpotPixel(Grab(), 44), kBlack);
  const int after = level.RedrawCount();
  Show(0);
  EXPECT_EQ(level.RedrawCount(), after);

  // With PeakSpeed the marker falls one spot per PeakSpeed ticks.
  level.SetPeakSpeed(2);
  level.SetPeakDelay(1);
  Show(16384);
  Show(0);
  for (int i = 0; i < 3; ++i) level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 43);
  level.PeakTick();
  level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 42);
  // A hold counter reset by a property change still lets the marker go.
  level.SetPeakSpeed(0);
  level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 0);

  level.SetNumPeaks(0);  // no marker at all
  Show(16384);
  EXPECT_EQ(level.PeakSpot(), 0);
}

// A block that reaches the held peak again renews the hold: the marker
// stays while the level sits on it.
TEST_F(LevelTest, ABlockAtTheHeldPeakRenewsTheHold) {
  Show(16384);
  ASSERT_EQ(level.PeakSpot(), 44);
  for (int i = 0; i < 30; ++i) level.PeakTick();
  ASSERT_EQ(level.HoldCounter(), 11);
  Show(16384);  // the same level: spot 44 again
  EXPECT_EQ(level.HoldCounter(), 41);
  for (int i = 0; i < 40; ++i) level.PeakTick();
  EXPECT_EQ(level.PeakSpot(), 44);
}

// Blocks come every 1.1 ms while recording, far faster than a screen
// refreshes: the meter takes every block into its level and peak hold but
// repaints at most once per refresh, showing the latest of them.
TEST_F(LevelTest, BlocksFasterThanTheScreenRepaintOncePerRefreshWithTheLatest) {
  PaintFrame();
  const int before = level.RedrawCount();
  for (int peak : {16384, 32767, 1000}) {  // between two refreshes; the loudest in the middle
    const auto block = Stereo16(peak, 0);
    level.ShowBlock(block.data());
  }
  EXPECT_EQ(level.RedrawCount(), before);
  PaintFrame();
  EXPECT_EQ(level.RedrawCount(), before + 1);
  EXPECT_EQ(level.LitSpots(), 7);
  EXPECT_EQ(level.PeakSpot(), 53);  // held from a block that was never painted
  EXPECT_EQ(level.HoldCounter(), 41);
  // What that one paint put up (display rows: spot k is row 107 - 2k).
  const QImage& shown = level.DisplayImage();
  EXPECT_EQ(shown.pixel(7, 107 - 2 * 7) & 0xFFFFFF, kYellow);
  EXPECT_EQ(shown.pixel(7, 107 - 2 * 8) & 0xFFFFFF, kBlack);
  EXPECT_EQ(shown.pixel(7, 107 - 2 * 53) & 0xFFFFFF, kRed);

  // A block every millisecond for 300 ms through the event loop, each one
  // changing the level (35 and 44 spots in turn): the repaints follow the
  // screen's refresh rate, not the blocks.
  const double hz = level.screen()->refreshRate() > 1 ? level.screen()->refreshRate() : 60.0;
  const int painted = level.RedrawCount();
  int blocks = 0;
  QTimer feed;
  QObject::connect(&feed, &QTimer::timeout, [&] {
    const auto block = Stereo16(blocks++ % 2 ? 16384 : 8192, 0);
    level.ShowBlock(block.data());
  });
  feed.start(1);
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
  feed.stop();
  const double refreshes = double(clock.elapsed()) * hz / 1000.0;
  const int paints = level.RedrawCount() - painted;
  EXPECT_GT(blocks, 2 * int(refreshes));
  EXPECT_GE(paints, 1);
  EXPECT_LE(paints, int(refreshes) + 1) << blocks << " blocks";
  EXPECT_EQ(level.PeakSpot(), 53);  // the loudest block's spot, never gone by
  EXPECT_EQ(level.HoldCounter(), 41);
}

TEST_F(LevelTest, SmoothingModes) {
  // Uniform over a ring of 2: the mean of the last two raw peaks.
  level.SetDecay(2);
  level.SetDecayMode(dmUniform);
  Show(32767);
  EXPECT_EQ(level.LitSpots(), 53);
  Show(0);
  EXPECT_EQ(level.LitSpots(), 44);  // (32767 + 0) div 2 = 16383
  Show(0);
  EXPECT_EQ(level.LitSpots(), 0);

  // Step-up with a slow decay holds the level over a silent block.
  level.SetDecay(16);
  level.SetDecayMode(dmStepUp);
  Show(32767);
  Show(0);
  EXPECT_EQ(level.LitSpots(), 53);

  // Exponential with the start factor 0.0001 follows almost at once.
  TMMLevel fresh;
  MakeProgramMeter(fresh, chLeft);
  fresh.show();
  fresh.SetDecayMode(dmExponential);
  const auto block = Stereo16(16384, 0);
  fresh.ShowBlock(block.data());
  EXPECT_EQ(fresh.LitSpots(), 44);  // floor(0.9999 * 16384) = 16382
}

TEST_F(LevelTest, PropertiesAreClamped) {
  level.SetSpotSpace(11);
  EXPECT_EQ(level.SpotSpace(), 10);
  level.SetSpotSpace(1);
  level.SetSpotWidth(100);
  EXPECT_EQ(level.SpotWidth(), 35);  // 106 div 3
  level.SetSpotWidth(0);
  EXPECT_EQ(level.SpotWidth(), 1);
  level.SetPoint1(0);
  EXPECT_EQ(level.Point1(), 1);
  level.SetPoint2(120);
  EXPECT_EQ(level.Point2(), 100);
  level.SetGain(40);  // ignored
  EXPECT_EQ(level.Gain(), 0);
  level.SetGain(-9);
  EXPECT_EQ(level.Gain(), 0);
  level.SetSensitivy(-100);
  EXPECT_EQ(level.Sensitivy(), -90);
  level.SetSensitivy(0);
  EXPECT_EQ(level.Sensitivy(), -9);
  level.SetNumPeaks(9);
  EXPECT_EQ(level.NumPeaks(), 5);
  level.SetPeakDelay(60);
  EXPECT_EQ(level.PeakDelay(), 50);
  level.SetDecay(20);
  EXPECT_EQ(level.Decay(), 16);
  level.SetSamples(0);
  EXPECT_EQ(level.Samples(), 1);
  EXPECT_EQ(level.DataBlockSize(), 4);
}

TEST_F(LevelTest, DisplayFormatSetsBitsAndChannelsOrRaises) {
  WAVEFORMATEX f = pcmBuildWaveHeader(8, 1, 22050);
  level.SetDisplayFormat(&f);
  EXPECT_EQ(level.BitLength(), b8Bit);
  EXPECT_EQ(level.Mode(), mMono);
  EXPECT_EQ(level.DataBlockSize(), 50);
  f = pcmBuildWaveHeader(16, 2, 44100);
  level.SetDisplayFormat(&f);
  EXPECT_EQ(level.DataBlockSize(), 200);

  for (WAVEFORMATEX bad : {pcmBuildWaveHeader(24, 2, 44100), pcmBuildWaveHeader(16, 3, 44100),
                           pcmBuildWaveHeader(16, 2, 3999)}) {
    try {
      level.SetDisplayFormat(&bad);
      ADD_FAILURE() << "no error";
    } catch (const EMMLevelError& e) {
      EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
  }
  EXPECT_THROW(level.SetDisplayFormat(nullptr), EMMLevelError);
  EXPECT_EQ(level.BitLength(), b16Bit);
  EXPECT_EQ(level.Mode(), mStereo);

  // Four channels: frames are four samples apart; left and right are the
  // first two.
  f = pcmBuildWaveHeader(16, 4, 44100);
  level.SetDisplayFormat(&f);
  EXPECT_EQ(level.DataBlockSize(), 400);
  std::vector<std::int16_t> quad(200, 0);
  quad[4 * 9 + 2] = 32000;  // a third channel: not shown
  quad[4 * 10] = 8192;
  level.ShowBlock(quad.data());
  EXPECT_EQ(level.RawLevel(), 8192);
}

TEST_F(LevelTest, BarPixelsShowYellowAndRedZonesOnBlack) {
  Show(32767);
  QImage image = Grab();
  ASSERT_EQ(image.size(), QSize(17, 108));
  for (int k = 1; k <= 45; ++k) EXPECT_EQ(SpotPixel(image, k), kYellow) << k;
  for (int k = 46; k <= 53; ++k) EXPECT_EQ(SpotPixel(image, k), kRed) << k;
  EXPECT_EQ(image.pixel(8, 107 - 2) & 0xFFFFFF, kBlack);  // the gap above spot 1
  // Every spot spans the inner width; the bevel is shadow at the top left
  // and highlight at the bottom right.
  EXPECT_EQ(image.pixel(1, 106) & 0xFFFFFF, kYellow);
  EXPECT_EQ(image.pixel(15, 106) & 0xFFFFFF, kYellow);
  EXPECT_EQ(image.pixel(0, 50) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(image.pixel(16, 50) & 0xFFFFFF, 0xFFFFFFu);

  Show(1000);  // 7 spots lit, the marker stays at 53
  image = Grab();
  EXPECT_EQ(SpotPixel(image, 7), kYellow);
  EXPECT_EQ(SpotPixel(image, 8), kBlack);
  EXPECT_EQ(SpotPixel(image, 52), kBlack);
  EXPECT_EQ(SpotPixel(image, 53), kRed);

  level.ClearDisplay();
  image = Grab();
  for (int y = 1; y < 107; ++y) EXPECT_EQ(image.pixel(8, y) & 0xFFFFFF, kBlack) << y;
}

TEST_F(LevelTest, DirectionsDotsAndOwnDrawing) {
  TMMLevel bar;  // 200 x 17, no bevel, default colours
  bar.show();
  bar.SetDirection(dirReversed);
  bar.SetActiveDoted(true);
  bar.SetValue(100);
  ASSERT_EQ(bar.LitSpots(), 100);
  QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
  // Spot 1 is the rightmost column (red zone is at the left end now).
  EXPECT_EQ(image.pixel(199, 0) & 0xFFFFFF, 0x00FFFFu);  // aqua, lit, dotted: first pixel set
  EXPECT_EQ(image.pixel(199, 1) & 0xFFFFFF, 0x008080u);  // second row left out: the unlit teal
  EXPECT_EQ(image.pixel(198, 0) & 0xFFFFFF, 0x000000u);  // the gap
  EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u);    // spot 100, red
  // Unlit spots in their inactive colours.
  bar.SetValue(0);
  bar.ClearDisplay();
  image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(image.pixel(199, 1) & 0xFFFFFF, 0x008080u);  // teal
  EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0x800000u);    // maroon

  // Symmetric: five spots around the level, in the level's zone colour.
  bar.SetActiveDoted(false);
  bar.SetDirection(dirSymetric);
  bar.SetValue(100);
  EXPECT_EQ(bar.LitSpots(), 50);  // half the spots
  image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
  auto lit = [&](int k) { return (image.pixel(199 - 2 * (k - 1), 8) & 0xFFFFFF) == 0x00FFFFu; };
  EXPECT_FALSE(lit(47));
  EXPECT_TRUE(lit(48));
  EXPECT_TRUE(lit(52));
  EXPECT_FALSE(lit(53));

  // Own drawing replaces the spots.
  int drawn = -1, peak = -1;
  bar.SetOnDrawBar([&](QObject*, TMMDIBCanvas& dib, const QRect& r, int n, int p) {
    drawn = n;
    peak = p;
    dib.fill(Qt::green);
    EXPECT_EQ(r, QRect(0, 0, 200, 17));
  });
  image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(drawn, 50);
  EXPECT_EQ(peak, 50);
  EXPECT_EQ(image.pixel(100, 8) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(LevelTest, DisabledOrHiddenMeterIgnoresBlocks) {
  Show(16384);
  level.setEnabled(false);
  EXPECT_EQ(level.LitSpots(), 0);  // cleared
  EXPECT_EQ(level.PeakSpot(), 0);
  Show(16384);
  EXPECT_EQ(level.LitSpots(), 0);
  level.setEnabled(true);
  level.hide();
  Show(16384);
  EXPECT_EQ(level.LitSpots(), 0);
  level.show();
  Show(16384);
  EXPECT_EQ(level.LitSpots(), 44);
}

}  // namespace
