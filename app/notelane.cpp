#include "app/notelane.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/fonts.h"

namespace {

const QColor kBackground(18, 21, 40);   // a shade lighter than the words' background
const QColor kOctave(30, 34, 60);       // the row of each C
const QColor kNote(70, 78, 124);        // a note's bar
const QColor kHit(255, 196, 32);        // the part sung on pitch: the words' sung colour
const QColor kVoice(90, 210, 255);      // the sung pitch
const QColor kNow(140, 144, 170);
const QColor kText(235, 235, 240);

// A bar fills this share of its row, at least kLeastBar pixels.
constexpr double kBarShare = 0.8;
constexpr double kLeastBar = 3;
constexpr double kVoiceWidth = 2.5;

}  // namespace

TNoteLane::TNoteLane(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The window behind takes the keys (F11) and the clicks.
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TNoteLane::SetMelody(const score::Melody& melody, int key) {
  melody_ = melody;
  key_ = key;
  live_ = {};
  hasLive_ = false;
  finalScore_ = -1;
  view_.band = {};
  Follow();
  update();
}

void TNoteLane::SetKey(int key) {
  if (key == key_) return;
  key_ = key;
  view_.band = {};
  Follow();
  update();
}

void TNoteLane::SetScoreView(score::Result live) {
  const bool empty = live.points.empty() && live.noteHit.empty() && live.score == 0;
  const bool scoreChanged = !hasLive_ || live.score != live_.score;
  live_ = std::move(live);
  hasLive_ = !empty;
  if (hasLive_ && scoreChanged) liveText_.setText(tr("得分 %1").arg(live_.score));
  update();
}

void TNoteLane::SetFinalScore(int score) {
  if (score == finalScore_) return;
  finalScore_ = std::max(-1, score);
  update();
}

void TNoteLane::ShowAt(std::int64_t ms) {
  view_.nowMs = double(ms);
  const notelane::PitchBand before = view_.band;
  Follow();
  const long long pixel = std::llround(view_.nowMs / view_.MsPerPixel());
  if (pixel == shownPixel_ && view_.band == before) return;
  shownPixel_ = pixel;
  update();
}

// The band follows the notes on the lane and a little ahead of it.
void TNoteLane::Follow() {
  const double ahead = view_.LastMs() + notelane::kAheadMs / 2;
  view_.band = notelane::FollowBand(view_.band, melody_, key_, view_.FirstMs(), ahead);
}

void TNoteLane::resizeEvent(QResizeEvent* event) {
  view_.left = 0;
  view_.top = 0;
  view_.width = width();
  view_.height = height();
  Follow();
  shownPixel_ = std::llround(view_.nowMs / view_.MsPerPixel());
  QWidget::resizeEvent(event);
}

void TNoteLane::paintEvent(QPaintEvent* event) {
  ++repaints_;
  QPainter painter(this);
  painter.fillRect(event->rect(), kBackground);
  if (!view_.band.Empty()) {
    // A faint row at each C, to read the heights by.
    const double row = view_.RowHeight();
    for (int pitch = view_.band.low; pitch <= view_.band.high; ++pitch)
      if (pitch % 12 == 0) painter.fillRect(QRectF(0, view_.YOf(pitch) - row / 2, width(), row), kOctave);
    PaintNotes(painter);
    PaintVoice(painter);
    painter.fillRect(QRectF(std::floor(view_.NowX()), 0, 1, height()), kNow);
  }
  PaintScores(painter);
}

void TNoteLane::PaintNotes(QPainter& painter) {
  const notelane::Range notes = notelane::NotesBetween(melody_, view_.FirstMs(), view_.LastMs());
  const double bar = std::max(kLeastBar, view_.RowHeight() * kBarShare);
  const notelane::Range points =
      notelane::PointsBetween(live_.points, view_.FirstMs() - notelane::kJoinMs, view_.LastMs());
  const std::vector<notelane::Span> hits = notelane::HitSpans(live_.points, points);
  auto span = hits.begin();
  for (std::size_t i = notes.first; i < notes.last; ++i) {
    const score::Note& note = melody_.notes[i];
    const double y = view_.YOf(note.pitch + key_) - bar / 2;
    const double x0 = view_.XOf(note.startMs), x1 = view_.XOf(note.endMs);
    painter.fillRect(QRectF(x0, y, x1 - x0, bar), kNote);
    if (!live_.points.empty()) {
      // Spans and notes are both in time order.
      while (span != hits.end() && span->toMs <= note.startMs) ++span;
      for (auto s = span; s != hits.end() && s->fromMs < note.endMs; ++s) {
        const double from = view_.XOf(std::max<double>(s->fromMs, note.startMs));
        const double to = view_.XOf(std::min<double>(s->toMs, note.endMs));
        painter.fillRect(QRectF(from, y, to - from, bar), kHit);
      }
    } else if (i < live_.noteHit.size() && live_.noteHit[i] > 0) {
      // Without points (a score read back): the share hit, from the start.
      painter.fillRect(QRectF(x0, y, (x1 - x0) * std::min(1.0, live_.noteHit[i]), bar), kHit);
    }
  }
}

// The line breaks where the voice had no pitch and where points are apart.
void TNoteLane::PaintVoice(QPainter& painter) {
  const notelane::Range range =
      notelane::PointsBetween(live_.points, view_.FirstMs() - notelane::kJoinMs, view_.LastMs());
  if (range.first == range.last) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(kVoice, kVoiceWidth, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
  QPolygonF line;
  double lastMs = 0;
  const auto flush = [&] {
    if (line.size() == 1) line.append(line.front() + QPointF(0.5, 0));
    if (!line.isEmpty()) painter.drawPolyline(line);
    line.clear();
  };
  for (std::size_t i = range.first; i < range.last; ++i) {
    const score::ScoredPoint& p = live_.points[i];
    if (p.midi <= 0 || (!line.isEmpty() && p.songMs - lastMs > notelane::kJoinMs)) flush();
    if (p.midi > 0) line.append(QPointF(view_.XOf(p.songMs), view_.YOf(p.midi)));
    lastMs = p.songMs;
  }
  flush();
  painter.restore();
}

void TNoteLane::PaintScores(QPainter& painter) {
  const int h = height();
  if (hasLive_) {
    painter.setPen(kText);
    painter.setFont(SimSunPixelFont(std::max(8, h / 8)));
    painter.drawStaticText(QPointF(h / 16.0, h / 16.0), liveText_);
  }
  if (finalScore_ >= 0) {
    // On a veil over the lane, so the bars do not cross the figures.
    const QString text = tr("得分 %1").arg(finalScore_);
    const QFont font = SimSunPixelFont(std::max(10, h * 2 / 5));
    const QRect box = QFontMetrics(font).boundingRect(rect(), Qt::AlignCenter, text).adjusted(-h / 8, 0, h / 8, 0);
    painter.fillRect(box, QColor(kBackground.red(), kBackground.green(), kBackground.blue(), 220));
    painter.setPen(kHit);
    painter.setFont(font);
    painter.drawText(rect(), Qt::AlignCenter, text);
  }
}
