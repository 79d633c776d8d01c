// The general slider control: a range with a position, operated by
// keyboard, mouse and wheel, optionally through a logarithmic mapping, and
// drawn as a plain groove with a thumb inside a bevel border.
//
// Geometry: the track runs inside the bevel border (BevelWidth on each side)
// along the orientation; the thumb is ThumbWidth long along the track and
// ThumbHeight across it. A vertical slider counts from the bottom.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <functional>

enum TMMOrientation : int { orVertical, orHorizontal };
enum TMMGrooveStyle : int { gsRect, gsRounded };
enum TMMThumbStyle : int { tsRect, tsRounded };
enum TMMFocusAction : int { faNone, faFocusRect, faColor };
enum TMMScalePosition : int { spAboveOrLeft, spBelowOrRight };

class TMMCustomSlider : public QWidget {
  Q_OBJECT
 public:
  using TNotify = std::function<void(QObject* Sender)>;
  using TDrawEvent = std::function<void(QObject* Sender, QPainter& painter, const QRect& rect)>;

  explicit TMMCustomSlider(QWidget* parent = nullptr);

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  // Sets the range; the maximum is raised to min + 1 unless above the
  // minimum (not while loading). The position is then clamped and re-set,
  // which runs the change handler.
  void SetMinMax(int min, int max);
  // The position through the logarithmic mapping when Logarithmic is set.
  int Position() const;
  void SetPosition(int value);
  // The stored (linear) position.
  int RawPosition() const { return FPosition; }
  void SetRawPosition(int value);

  TMMOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TMMOrientation value);
  bool Logarithmic() const { return FLogarithmic; }
  void SetLogarithmic(bool value) { FLogarithmic = value; }
  int Sensitivity() const { return FSensitivity; }
  void SetSensitivity(int value);  // clamped to -96..-20
  int ThumbWidth() const { return FThumbWidth; }
  void SetThumbWidth(int value);
  int ThumbHeight() const { return FThumbHeight; }
  void SetThumbHeight(int value);
  int LineStep() const { return FLineStep; }
  int PageStep() const { return FPageStep; }
  bool Dragging() const { return FDragging; }
  // A pointing hand over the slider instead of the arrow.
  bool HandCursor() const { return FHandCursor; }
  void SetHandCursor(bool value);

  // Parameters of the look.
  int BevelWidth = 5;
  int GrooveSize = 3;
  TMMGrooveStyle GrooveStyle = gsRect;
  TMMThumbStyle ThumbStyle = tsRect;
  TMMFocusAction FocusAction = faFocusRect;
  QColor FocusColor = QColor(0x33, 0x66, 0xcc);
  QColor GrooveColor = QColor(0x80, 0x80, 0x80);
  QColor ThumbColor = QColor(0xd8, 0xd8, 0xd8);
  QColor DisabledColor = QColor(0xff, 0xff, 0xff);
  bool ScaleVisible = false;
  TMMScalePosition ScalePosition = spBelowOrRight;
  int ScaleDistance = 10;
  QPixmap PicLeft, PicRight;

  // Stored values applied while loading do not run the change handler.
  void BeginLoading() { FLoading = true; }
  void EndLoading();
  bool Loading() const { return FLoading; }

  // Where the thumb lies, in widget coordinates.
  QRect ThumbRect() const;
  // Track length minus the thumb, in pixels (at least 1).
  int TravelPixels() const;

  TNotify OnChange, OnTrack, OnTrackEnd;
  TDrawEvent OnDrawThumb, OnDrawGroove;

  QSize sizeHint() const override;

 protected:
  // Runs whenever the position changes (and when the range is set). The
  // base fires OnChange.
  virtual void Change();
  virtual void Loaded() {}

  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int Clamp(int v) const { return v < FMin ? FMin : (v > FMax ? FMax : v); }
  // Pixels along the track from its start (bottom for vertical).
  int AlongTrack(const QPoint& p) const;
  int TrackStart() const { return BevelWidth; }
  // A user operation moved the raw position to `value`.
  void Track(int value);

  int FMin = 0;
  int FMax = 10;
  int FPosition = 0;
  int FLineStep = 1;
  int FPageStep = 5;
  TMMOrientation FOrientation = orHorizontal;
  bool FLogarithmic = false;
  int FSensitivity = -24;
  int FThumbWidth = 11;
  int FThumbHeight = 23;
  bool FDragging = false;
  bool FTracking = false;
  bool FLoading = false;
  bool FHandCursor = false;
  int FDragStartPos = 0;
  int FDragStartPixel = 0;
};
