// The level meter: a bar of separate spots showing the level of a PCM
// signal, with a peak marker that is held for a while and then falls.
//
// A connector tells the meter its PCM format once (SetDisplayFormat), hands
// it blocks of DataBlockSize bytes (ShowBlock) and clears it when it stops
// (ClearDisplay). From each block the meter takes the absolute peak of one
// channel, or of the mean of both, turns it into a number of lit spots on a
// decibel or a linear scale, smooths it if asked, and redraws itself at once
// when the lit count or the peak changed.
//
// Threads: everything runs on the main thread except the peak tick, which
// the shared 25 ms tick service calls on its own thread; the tick only
// changes the peak spot, the hold counter and the peak-changed flag (atomics)
// and never draws. The change shows with the next block.
//
// Drawing: the bar at rest (background colour and every unlit spot) is
// prepared once in a background image, rebuilt only after a change of
// layout, colours, dotting or direction. A redraw copies that image into the
// display image and sets the pixels of the lit spots and the peak. Blocks
// come far faster than a screen refreshes, so a change only asks the frame
// pacer (MMFramePacer) for a frame: the inner rectangle is repainted at most
// once per refresh of the screen, with the latest level and peak. The level
// and the peak hold still take every block.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "audio/MMDSPObj.h"
#include "audio/MMDisplay.h"
#include "audio/MMTimer.h"
#include "controls/MMBevel.h"
#include "controls/MMFramePacer.h"

class EMMLevelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace levelmsg {
inline constexpr const char* kInvalidWaveFormat = "Invalid WaveFormat";
}

enum TMMLevelKind : int { lkHorizontal, lkVertical };
enum TMMLevelDirection : int { dirNormal, dirReversed, dirSymetric };
enum TMMDecayMode : int { dmNone, dmStepUp, dmExponential, dmUniform };

// Colours are 0x00BBGGRR: red in the low byte, then green, then blue.
using TMMColor = std::uint32_t;
constexpr TMMColor clBlack = 0x000000;
constexpr TMMColor clYellow = 0x00FFFF;
constexpr TMMColor clAqua = 0xFFFF00;
constexpr TMMColor clRed = 0x0000FF;
constexpr TMMColor clTeal = 0x808000;
constexpr TMMColor clMaroon = 0x000080;
QRgb MMColorToRgb(TMMColor c);

// The off-screen surface of the meter (32-bit RGB).
using TMMDIBCanvas = QImage;

// Replaces the built-in drawing: draw `nSpots` lit spots and the peak spot
// `Peak` into `DIB` within `Rect`.
using TMMLevelDrawBar = std::function<void(QObject* Sender, TMMDIBCanvas& DIB, const QRect& Rect, int nSpots, int Peak)>;

class TMMCustomLevel : public QWidget, public TMMDisplayClient, public TMMFrameClient {
  Q_OBJECT
 public:
  explicit TMMCustomLevel(QWidget* parent = nullptr);
  ~TMMCustomLevel() override;

  // ---- display side (see TMMDisplayClient)
  // Raises EMMLevelError "Invalid WaveFormat" for a format that is not valid
  // PCM; BitLength and Mode then stay as they were.
  void SetDisplayFormat(const WAVEFORMATEX* Format) override;
  int DataBlockSize() const override { return FDataSize; }
  // Nothing while the meter is disabled or hidden.
  void ShowBlock(const void* Data) override;
  void ClearDisplay() override;
  QObject* DisplayObject() override { return this; }

  // ---- published properties
  // Enabled: QWidget's; false clears the meter and pauses the peak tick.
  TMMLevelKind Kind() const { return FKind; }
  void SetKind(TMMLevelKind Value);
  int SpotSpace() const { return FSpotSpace; }
  void SetSpotSpace(int Value);  // 0..10
  int SpotWidth() const { return FSpotWidth; }
  void SetSpotWidth(int Value);  // 1..inner length div 3
  TMMColor Bar1Color() const { return FBarColor[0]; }
  TMMColor Bar2Color() const { return FBarColor[1]; }
  TMMColor Bar3Color() const { return FBarColor[2]; }
  void SetBar1Color(TMMColor Value) { SetColorOf(FBarColor[0], Value); }
  void SetBar2Color(TMMColor Value) { SetColorOf(FBarColor[1], Value); }
  void SetBar3Color(TMMColor Value) { SetColorOf(FBarColor[2], Value); }
  TMMColor Inactive1Color() const { return FInactiveColor[0]; }
  TMMColor Inactive2Color() const { return FInactiveColor[1]; }
  TMMColor Inactive3Color() const { return FInactiveColor[2]; }
  void SetInactive1Color(TMMColor Value) { SetColorOf(FInactiveColor[0], Value); }
  void SetInactive2Color(TMMColor Value) { SetColorOf(FInactiveColor[1], Value); }
  void SetInactive3Color(TMMColor Value) { SetColorOf(FInactiveColor[2], Value); }
  // The background behind the spots.
  TMMColor Color() const { return FColor; }
  void SetColor(TMMColor Value) { SetColorOf(FColor, Value); }
  bool InactiveDoted() const { return FInactiveDoted; }
  void SetInactiveDoted(bool Value);
  bool ActiveDoted() const { return FActiveDoted; }
  void SetActiveDoted(bool Value);
  int Point1() const { return FPoint1; }
  void SetPoint1(int Value);  // 1..100 percent of the spot count
  int Point2() const { return FPoint2; }
  void SetPoint2(int Value);
  TMMLevelDirection Direction() const { return FDirection; }
  void SetDirection(TMMLevelDirection Value);
  TMMBits BitLength() const { return FBits; }
  void SetBitLength(TMMBits Value);
  TMMChannel Channel() const { return FChannel; }
  void SetChannel(TMMChannel Value);
  // mMono, mStereo, or mMultiChannel for more than two channels.
  TMMMode Mode() const;
  void SetMode(TMMMode Value);
  int Gain() const { return FGain; }
  void SetGain(int Value);  // -8..32; others are ignored
  int Samples() const { return FSamples; }
  void SetSamples(int Value);  // at least 1
  int Sensitivy() const { return FSensitivy; }
  void SetSensitivy(int Value);  // -90..-9 dB
  bool LogAmp() const { return FLogAmp; }
  void SetLogAmp(bool Value);
  int NumPeaks() const { return FNumPeaks; }
  void SetNumPeaks(int Value);  // 0..5
  int PeakDelay() const { return FPeakDelay; }
  void SetPeakDelay(int Value);  // 0..50
  int PeakSpeed() const { return FPeakSpeed.load(); }
  void SetPeakSpeed(int Value);  // 0..50
  TMMDecayMode DecayMode() const { return FDecayMode; }
  void SetDecayMode(TMMDecayMode Value);
  int Decay() const { return FDecay; }
  void SetDecay(int Value);  // 1..16
  // Percent of full scale: setting shows that level, reading gives back the
  // level the lit spots stand for.
  int Value() const;
  void SetValue(int Value);
  int DCOffsetL() const { return FDCOffsetL; }
  void SetDCOffsetL(int Value);
  int DCOffsetR() const { return FDCOffsetR; }
  void SetDCOffsetR(int Value);
  const TMMBevel& Bevel() const { return FBevel; }
  void SetBevel(const TMMBevel& Value);
  // The hint shown in the status bar.
  void SetHint(const QString& Hint) { setStatusTip(Hint); }

  const TMMLevelDrawBar& OnDrawBar() const { return FOnDrawBar; }
  void SetOnDrawBar(TMMLevelDrawBar Handler);
  TNotifyEvent OnGainOverflow;  // the scaled level exceeded the spot count
  TNotifyEvent OnPcmOverflow;   // the raw peak reached full scale
  TNotifyEvent OnPaint;         // at the start of every redraw of the display
  // The frame pacer's call: repaints the display.
  void PaintFrame() override;

  // ---- state (read-only)
  int SpotCount() const { return FNumSpots; }  // N
  int Margin() const { return FMargin; }
  int Threshold1() const { return FThreshold1; }  // T1
  int Threshold2() const { return FThreshold2; }  // T2
  int LitSpots() const { return FLit; }           // L
  int PeakSpot() const { return FPeak.load(); }   // P
  int HoldCounter() const { return FHold.load(); }
  std::int64_t RawLevel() const { return FRawLevel; }
  QRect InnerRect() const { return FInner; }
  // Redraws of the display since creation (each one fires OnPaint).
  int RedrawCount() const { return FRedraws; }
  // The display image as the last redraw left it.
  const TMMDIBCanvas& DisplayImage() const { return FDisplay; }
  // One peak tick, as the tick service runs it every 25 ms.
  void PeakTick();
  // The meter's subscription to the tick service.
  PMMTimerClient TimerClient() const { return FTimer; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  std::int64_t BlockPeak(const void* Data) const;
  void ShowRaw(std::int64_t R);
  int ScaleToSpots(std::int64_t R);
  void ClearSmoothing();
  void UpdateDataSize();
  void UpdateInnerRect();
  void Layout();
  void DrawBackground();
  void RenderDisplay();
  // Asks for the display to be put on the screen at the next frame (when
  // shown).
  void Redraw();
  void SyncTick();
  void SetColorOf(TMMColor& field, TMMColor Value);
  QRect SpotRect(int k) const;
  void DrawSpot(QImage& image, int k, QRgb color, bool dotted) const;
  QRgb ActiveColorOf(int k) const;
  QRgb InactiveColorOf(int k) const;
  int BarLength() const;

  // properties
  TMMLevelKind FKind = lkHorizontal;
  int FSpotSpace = 1;
  int FSpotWidth = 1;
  std::array<TMMColor, 3> FBarColor{clAqua, clAqua, clRed};
  std::array<TMMColor, 3> FInactiveColor{clTeal, clTeal, clMaroon};
  TMMColor FColor = clBlack;
  bool FInactiveDoted = false;
  bool FActiveDoted = false;
  int FPoint1 = 50;
  int FPoint2 = 85;
  TMMLevelDirection FDirection = dirNormal;
  TMMBits FBits = b8Bit;
  int FChannels = 1;
  TMMChannel FChannel = chBoth;
  int FGain = 0;
  int FSamples = 50;
  int FSensitivy = -35;
  bool FLogAmp = true;
  int FNumPeaks = 1;
  int FPeakDelay = 20;
  std::atomic<int> FPeakSpeed{0};  // read by the tick thread
  TMMDecayMode FDecayMode = dmNone;
  int FDecay = 1;
  int FDCOffsetL = 0;
  int FDCOffsetR = 0;
  TMMBevel FBevel;
  TMMLevelDrawBar FOnDrawBar;

  // layout
  static constexpr int kFullScale = 32767;
  QRect FInner;
  int FNumSpots = 1;
  int FMargin = 0;
  int FThreshold1 = 0;
  int FThreshold2 = 0;
  int FDataSize = 50;

  // level
  std::int64_t FRawLevel = 0;
  int FLit = 0;
  // Written by the tick thread as well as the main thread.
  std::atomic<int> FPeak{0};
  std::atomic<int> FHold{0};
  std::atomic<bool> FPeakChanged{false};

  // smoothing
  float FDecayFactor = 0.0001f;
  int FRingLength = 1;
  int FRingPos = 0;
  int FRingFill = 0;
  std::int64_t FRingSum = 0;
  std::array<std::int64_t, 32> FRing{};
  float FRunning = 0.0f;

  // drawing
  TMMDIBCanvas FBackground;
  TMMDIBCanvas FDisplay;
  int FRedraws = 0;
  bool FFrameAsked = false;  // a frame is asked for and has not come

  PMMTimerClient FTimer = nullptr;
  bool FTickPaused = false;
};

class TMMLevel : public TMMCustomLevel {
  Q_OBJECT
 public:
  explicit TMMLevel(QWidget* parent = nullptr) : TMMCustomLevel(parent) {}
};
