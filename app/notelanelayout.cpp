#include "app/notelanelayout.h"

#include <algorithm>
#include <cmath>

namespace notelane {

double View::MsPerPixel() const { return kAheadMs / std::max(1.0, width * (1 - kNowShare)); }

double View::FirstMs() const { return nowMs - (NowX() - left) * MsPerPixel(); }

double View::LastMs() const { return nowMs + (left + width - NowX()) * MsPerPixel(); }

double View::XOf(double ms) const { return NowX() + (ms - nowMs) / MsPerPixel(); }

double View::RowHeight() const { return band.Empty() ? 0.0 : height / band.Rows(); }

double View::YOf(double pitch) const { return top + (band.high + 0.5 - pitch) * RowHeight(); }

// Notes never overlap, so their ends are in order as their starts are.
Range NotesBetween(const score::Melody& melody, double fromMs, double toMs) {
  const auto& notes = melody.notes;
  const auto first =
      std::partition_point(notes.begin(), notes.end(), [fromMs](const score::Note& n) { return n.endMs <= fromMs; });
  const auto last =
      std::partition_point(first, notes.end(), [toMs](const score::Note& n) { return n.startMs < toMs; });
  return {std::size_t(first - notes.begin()), std::size_t(last - notes.begin())};
}

Range PointsBetween(const std::vector<score::ScoredPoint>& points, double fromMs, double toMs) {
  const auto first = std::partition_point(points.begin(), points.end(),
                                          [fromMs](const score::ScoredPoint& p) { return p.songMs < fromMs; });
  const auto last =
      std::partition_point(first, points.end(), [toMs](const score::ScoredPoint& p) { return p.songMs <= toMs; });
  return {std::size_t(first - points.begin()), std::size_t(last - points.begin())};
}

namespace {

PitchBand Around(int lowest, int highest) {
  const int rows = std::max(kLeastSpan, highest - lowest + 1 + 2 * kMargin);
  const int extra = rows - (highest - lowest + 1);
  const int low = lowest - extra / 2;
  return {low, low + rows - 1};
}

}  // namespace

PitchBand FollowBand(const PitchBand& shown, const score::Melody& melody, int key, double fromMs, double toMs) {
  Range range = NotesBetween(melody, fromMs, toMs);
  if (range.first == range.last) {
    if (!shown.Empty() || melody.notes.empty()) return shown;
    range = {0, melody.notes.size()};
  }
  int lowest = melody.notes[range.first].pitch, highest = lowest;
  for (std::size_t i = range.first; i < range.last; ++i) {
    lowest = std::min(lowest, melody.notes[i].pitch);
    highest = std::max(highest, melody.notes[i].pitch);
  }
  lowest += key;
  highest += key;
  const PitchBand needed = Around(lowest, highest);
  const bool holds = !shown.Empty() && shown.low <= lowest - kMargin && shown.high >= highest + kMargin;
  if (holds && shown.Rows() <= needed.Rows() + 12) return shown;
  return needed;
}

std::vector<Span> HitSpans(const std::vector<score::ScoredPoint>& points, Range range) {
  std::vector<Span> spans;
  for (std::size_t i = range.first; i < range.last && i < points.size(); ++i) {
    const score::ScoredPoint& p = points[i];
    if (!p.hit) continue;
    // A point lasts until the next one; the last of a run as long as the
    // step that led to it.
    double step = 0;
    if (i + 1 < points.size() && points[i + 1].songMs - p.songMs <= kJoinMs)
      step = points[i + 1].songMs - p.songMs;
    else if (i > 0 && p.songMs - points[i - 1].songMs <= kJoinMs)
      step = p.songMs - points[i - 1].songMs;
    if (step <= 0) continue;
    if (!spans.empty() && spans.back().toMs >= p.songMs)
      spans.back().toMs = std::max(spans.back().toMs, p.songMs + step);
    else
      spans.push_back({p.songMs, p.songMs + step});
  }
  return spans;
}

}  // namespace notelane
