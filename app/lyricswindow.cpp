#include "app/lyricswindow.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "app/fonts.h"
#include "app/lyricssettings.h"

TLyricsWindow* LyricsForm = nullptr;

namespace {

const QColor kBackground(12, 14, 28);
const QColor kUnsung(235, 235, 240);
const QColor kSung(255, 196, 32);
const QColor kComing(140, 144, 170);  // the next line

// A line's height is a fifth of the window's, and it shrinks further when
// it would not fit within this share of the width.
constexpr double kHeightShare = 0.2;
constexpr double kWidthShare = 0.92;
constexpr int kSmallestPixels = 8;

}  // namespace

TLyricsWindow::TLyricsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(tr("歌词"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(240, 100);
  const QRect remembered = LyricsWindowGeometry();
  if (remembered.isValid()) {
    setGeometry(remembered);
  } else {
    resize(720, 270);
    if (const QScreen* s = QGuiApplication::primaryScreen())
      move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
  frames_ = new QTimer(this);
  frames_->setTimerType(Qt::PreciseTimer);
  frames_->setInterval(kFrameMs);
  connect(frames_, &QTimer::timeout, this, &TLyricsWindow::ShowPosition);
}

TLyricsWindow::~TLyricsWindow() {
  if (isVisible()) RememberGeometry();
}

void TLyricsWindow::SetLyrics(lyrics::Lyrics words) {
  words_ = std::move(words);
  for (Shaped& s : shaped_) s.line = -1;
  slots_ = {};
  ShowPosition();
  update();
}

void TLyricsWindow::SetPlaying(bool playing) {
  if (playing)
    frames_->start();
  else
    frames_->stop();
  ShowPosition();
}

bool TLyricsWindow::Following() const { return frames_->isActive(); }

void TLyricsWindow::ShowPosition() { ShowAt(HeardPosition ? HeardPosition() : 0); }

void TLyricsWindow::ShowAt(std::int64_t ms) {
  shownMs_ = ms;
  const lyricsview::Slots shown = lyricsview::SlotsAt(words_, ms);
  double sung = 0;
  if (shown.current >= 0)
    sung = lyricsview::SungWidth(words_.lines[std::size_t(shown.current)], Shape(shown.current).edges, ms);
  const int pixels = int(std::lround(sung));
  sungWidth_ = sung;
  if (shown == slots_ && pixels == sungPixels_) return;
  slots_ = shown;
  sungPixels_ = pixels;
  if (isVisible()) update();
}

const TLyricsWindow::Shaped& TLyricsWindow::Shape(int line) {
  for (const Shaped& s : shaped_)
    if (s.line == line) return s;
  Shaped& s = shaped_[nextShaped_];
  nextShaped_ = (nextShaped_ + 1) % shaped_.size();
  const lyrics::Line& words = words_.lines[std::size_t(line)];
  s.line = line;
  s.text = QString::fromStdString(words.text());
  int pixels = std::max(kSmallestPixels, int(height() * kHeightShare));
  const double room = width() * kWidthShare;
  const double natural = QFontMetricsF(SimSunPixelFont(pixels)).horizontalAdvance(s.text);
  if (natural > room) pixels = std::max(kSmallestPixels, int(pixels * room / natural));
  s.font = SimSunPixelFont(pixels);
  const QFontMetricsF metrics(s.font);
  s.ascent = metrics.ascent();
  s.edges.assign(1, 0.0);
  QString prefix;
  for (const lyrics::Syllable& syllable : words.syllables) {
    prefix += QString::fromStdString(syllable.text);
    s.edges.push_back(metrics.horizontalAdvance(prefix));
  }
  return s;
}

void TLyricsWindow::paintEvent(QPaintEvent*) {
  ++repaints_;
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  if (words_.empty()) {
    painter.setPen(kComing);
    painter.setFont(SimSunPixelFont(std::max(kSmallestPixels, height() / 12)));
    painter.drawText(rect(), Qt::AlignCenter, tr("（没有歌词）"));
    return;
  }
  // Baselines at 45% and 85% of the height: each line a little below the
  // middle of its half.
  if (slots_.current >= 0) DrawLine(painter, slots_.current, height() * 0.45, sungWidth_);
  if (slots_.next >= 0) DrawLine(painter, slots_.next, height() * 0.85, -1);
}

// A negative sung width draws the line as the one coming.
void TLyricsWindow::DrawLine(QPainter& painter, int line, double baseline, double sungWidth) {
  const Shaped& s = Shape(line);
  const double x = (width() - s.edges.back()) / 2;
  painter.setFont(s.font);
  if (sungWidth < 0) {
    painter.setPen(kComing);
    painter.drawText(QPointF(x, baseline), s.text);
    return;
  }
  painter.save();
  painter.setClipRect(QRectF(x + sungWidth, 0, width(), height()));
  painter.setPen(kUnsung);
  painter.drawText(QPointF(x, baseline), s.text);
  painter.setClipRect(QRectF(0, 0, x + sungWidth, height()));
  painter.setPen(kSung);
  painter.drawText(QPointF(x, baseline), s.text);
  painter.restore();
}

void TLyricsWindow::resizeEvent(QResizeEvent* event) {
  for (Shaped& s : shaped_) s.line = -1;
  slots_ = {};
  ShowAt(shownMs_);
  QWidget::resizeEvent(event);
}

void TLyricsWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F11) {
    if (isFullScreen())
      showNormal();
    else
      showFullScreen();
  } else if (event->key() == Qt::Key_Escape && isFullScreen()) {
    showNormal();
  } else {
    QWidget::keyPressEvent(event);
  }
}

void TLyricsWindow::closeEvent(QCloseEvent* event) {
  RememberGeometry();
  if (isFullScreen()) showNormal();
  QWidget::closeEvent(event);
}

// Full screen is not remembered: the window comes back where it was before.
void TLyricsWindow::RememberGeometry() { RememberLyricsWindowGeometry(isFullScreen() ? normalGeometry() : geometry()); }
