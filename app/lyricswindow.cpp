#include "app/lyricswindow.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/fonts.h"
#include "app/lyricssettings.h"
#include "app/notelane.h"

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
// Baselines at 45% and 85% of the height: each line a little below the
// middle of its half.
constexpr double kCurrentBaseline = 0.45;
constexpr double kNextBaseline = 0.85;
// The note in the top right corner: a sixteenth of the height, in the band
// above the current line's ascent.
constexpr double kNoteShare = 1.0 / 16;
// The note lane's share of the height, at the top, when it shows.
constexpr double kLaneShare = 0.4;

}  // namespace

TLyricsWindow::TLyricsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(tr("歌词"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(240, 100);
  // A remembered place on a screen that is no longer there is not used.
  const QRect remembered = LyricsWindowGeometry();
  if (remembered.isValid() && QGuiApplication::screenAt(remembered.center())) {
    setGeometry(remembered);
  } else {
    // At the top of the screen, above the centred main window where there
    // is room.
    resize(720, 270);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
      const QRect area = s->availableGeometry();
      move(area.center().x() - width() / 2, area.top() + 24);
    }
  }
  frames_ = new QTimer(this);
  frames_->setTimerType(Qt::PreciseTimer);
  frames_->setInterval(kFrameMs);
  connect(frames_, &QTimer::timeout, this, &TLyricsWindow::ShowPosition);
  lane_ = new TNoteLane(this);
  lane_->hide();
}

TLyricsWindow::~TLyricsWindow() {
  if (isVisible()) RememberGeometry();
}

void TLyricsWindow::SetLyrics(lyrics::Lyrics words) {
  words_ = std::move(words);
  ForgetShown();
  ShowPosition();
  update();
}

void TLyricsWindow::SetMelody(const score::Melody& melody, int key) {
  lane_->SetMelody(melody, key);
  PlaceLane();
  lane_->ShowAt(shownMs_);
}

void TLyricsWindow::SetKey(int key) { lane_->SetKey(key); }

void TLyricsWindow::SetScoreView(score::Result live) { lane_->SetScoreView(std::move(live)); }

void TLyricsWindow::SetFinalScore(int score) {
  lane_->SetFinalScore(score);
  PlaceLane();
}

// The lane shows while there is a melody or a score to show; the words
// move below it (and back), so they are shaped again for their new band.
void TLyricsWindow::PlaceLane() {
  const bool shows = !lane_->Melody().empty() || lane_->FinalScore() >= 0;
  const QRect place(0, 0, width(), int(std::lround(height() * kLaneShare)));
  if (shows == lane_->isVisibleTo(this) && (!shows || lane_->geometry() == place)) return;
  lane_->setGeometry(place);
  lane_->setVisible(shows);
  ForgetShown();
  ShowAt(shownMs_);
  update();
}

double TLyricsWindow::WordsTop() const { return lane_->isVisibleTo(this) ? lane_->height() : 0.0; }

double TLyricsWindow::WordsHeight() const { return height() - WordsTop(); }

void TLyricsWindow::SetPlaying(bool playing) {
  if (playing)
    frames_->start();
  else
    frames_->stop();
  ShowPosition();
}

void TLyricsWindow::SetKeyTempoNote(const QString& note) {
  if (note == note_) return;
  const QRect before = NoteRect();
  note_ = note;
  update(before | NoteRect());
}

QFont TLyricsWindow::NoteFont() const { return SimSunPixelFont(std::max(kSmallestPixels, int(height() * kNoteShare))); }

QRect TLyricsWindow::NoteRect() const {
  if (note_.isEmpty()) return {};
  const QFontMetrics metrics(NoteFont());
  const int margin = metrics.height() / 2;
  const int w = metrics.horizontalAdvance(note_) + 2;
  return QRect(width() - margin - w, int(WordsTop()) + margin / 2, w, metrics.height());
}

bool TLyricsWindow::Following() const { return frames_->isActive(); }

void TLyricsWindow::ShowPosition() { ShowAt(HeardPosition ? HeardPosition() : 0); }

void TLyricsWindow::ShowAt(std::int64_t ms) {
  shownMs_ = ms;
  if (lane_->isVisibleTo(this)) lane_->ShowAt(ms);
  const lyricsview::Slots shown = lyricsview::SlotsAt(words_, ms);
  double sung = 0;
  if (shown.current >= 0)
    sung = lyricsview::SungWidth(words_.lines[std::size_t(shown.current)], Shape(shown.current).edges, ms);
  const int before = sungPixels_;
  const int pixels = int(std::lround(sung));
  sungWidth_ = sung;
  if (shown == slots_ && pixels == before) return;
  const bool sameLines = shown == slots_;
  slots_ = shown;
  sungPixels_ = pixels;
  if (!isVisible()) return;
  if (!sameLines) {
    update();
    return;
  }
  // Only the strip the sweep crossed changes.
  const Shaped& line = Shape(shown.current);
  const QRect band = LineRect(line, WordsTop() + WordsHeight() * kCurrentBaseline);
  const int left = int(std::floor(TextLeft(line))) + std::min(before, pixels) - 1;
  update(QRect(left, band.top(), std::abs(pixels - before) + 3, band.height()));
}

// The next ShowAt repaints the whole window: what was shown, down to the
// sweep, belongs to other words or another size. A sweep left behind would
// make it repaint only a strip of a line that is no longer there.
void TLyricsWindow::ForgetShown() {
  for (Shaped& s : shaped_) s = Shaped{};
  slots_ = {};
  sungPixels_ = 0;
  sungWidth_ = 0;
}

TLyricsWindow::Shaped& TLyricsWindow::Shape(int line) {
  for (Shaped& s : shaped_)
    if (s.line == line) return s;
  Shaped& s = shaped_[nextShaped_];
  nextShaped_ = (nextShaped_ + 1) % shaped_.size();
  const lyrics::Line& words = words_.lines[std::size_t(line)];
  s = Shaped{};
  s.line = line;
  s.text = QString::fromStdString(words.text());
  int pixels = std::max(kSmallestPixels, int(WordsHeight() * kHeightShare));
  const double room = width() * kWidthShare;
  const double natural = QFontMetricsF(SimSunPixelFont(pixels)).horizontalAdvance(s.text);
  if (natural > room) pixels = std::max(kSmallestPixels, int(pixels * room / natural));
  s.font = SimSunPixelFont(pixels);
  const QFontMetricsF metrics(s.font);
  s.ascent = metrics.ascent();
  s.descent = metrics.descent();
  s.edges.assign(1, 0.0);
  QString prefix;
  for (const lyrics::Syllable& syllable : words.syllables) {
    prefix += QString::fromStdString(syllable.text);
    s.edges.push_back(metrics.horizontalAdvance(prefix));
  }
  return s;
}

double TLyricsWindow::TextLeft(const Shaped& line) const { return (width() - line.edges.back()) / 2; }

// The line's ink with a margin for glyphs that reach beyond their advance.
QRect TLyricsWindow::LineRect(const Shaped& line, double baseline) const {
  const int margin = 2 + int(line.font.pixelSize()) / 8;
  const int left = int(std::floor(TextLeft(line))) - margin;
  const int top = int(std::floor(baseline - line.ascent)) - margin;
  return QRect(left, top, int(std::ceil(line.edges.back())) + 2 * margin + 1,
               int(std::ceil(line.ascent + line.descent)) + 2 * margin + 1);
}

// Each line is drawn once per colour into a picture on the background, so
// a frame only copies pixels: text at these sizes is slow to draw.
const QPixmap& TLyricsWindow::Picture(Shaped& line, Colour colour, const QRect& rect, double baseline) {
  QPixmap& picture = line.pictures[colour];
  if (!picture.isNull()) return picture;
  const qreal ratio = devicePixelRatioF();
  picture = QPixmap(rect.size() * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(kBackground);
  QPainter painter(&picture);
  painter.setFont(line.font);
  painter.setPen(colour == kSungColour ? kSung : colour == kUnsungColour ? kUnsung : kComing);
  painter.drawText(QPointF(TextLeft(line) - rect.left(), baseline - rect.top()), line.text);
  return picture;
}

namespace {

// Copies the part of `picture`, placed at `origin`, that falls in `target`.
void Blit(QPainter& painter, const QRect& target, const QPixmap& picture, const QPoint& origin) {
  if (target.isEmpty()) return;
  const qreal ratio = picture.devicePixelRatio();
  const QRectF source(QPointF(target.topLeft() - origin) * ratio, QSizeF(target.size()) * ratio);
  painter.drawPixmap(QRectF(target), picture, source);
}

}  // namespace

void TLyricsWindow::paintEvent(QPaintEvent* event) {
  ++repaints_;
  QPainter painter(this);
  const QRect area = event->rect();
  painter.fillRect(area, kBackground);
  if (const QRect note = NoteRect(); note.intersects(area)) {
    painter.setPen(kComing);
    painter.setFont(NoteFont());
    painter.drawText(note, Qt::AlignRight | Qt::AlignVCenter, note_);
  }
  if (words_.empty()) {
    painter.setPen(kComing);
    painter.setFont(SimSunPixelFont(std::max(kSmallestPixels, height() / 12)));
    painter.drawText(QRectF(0, WordsTop(), width(), WordsHeight()), Qt::AlignCenter, tr("（没有歌词）"));
    return;
  }
  if (slots_.current >= 0) {
    const double baseline = WordsTop() + WordsHeight() * kCurrentBaseline;
    Shaped& line = Shape(slots_.current);
    const QRect r = LineRect(line, baseline);
    const int split = int(std::lround(TextLeft(line) + sungWidth_));
    Blit(painter, area & QRect(r.left(), r.top(), split - r.left(), r.height()),
         Picture(line, kSungColour, r, baseline), r.topLeft());
    Blit(painter, area & QRect(split, r.top(), r.right() + 1 - split, r.height()),
         Picture(line, kUnsungColour, r, baseline), r.topLeft());
  }
  if (slots_.next >= 0) {
    const double baseline = WordsTop() + WordsHeight() * kNextBaseline;
    Shaped& line = Shape(slots_.next);
    const QRect r = LineRect(line, baseline);
    Blit(painter, area & r, Picture(line, kComingColour, r, baseline), r.topLeft());
  }
}

void TLyricsWindow::resizeEvent(QResizeEvent* event) {
  PlaceLane();
  ForgetShown();
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
