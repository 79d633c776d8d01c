// Where the note lane draws a melody and a sung pitch, without drawing:
// time runs right to left past a fixed "now" line, pitch upwards, a band of
// semitones that follows the notes around now. Times are milliseconds of
// the song's own time; pitches are MIDI note numbers as heard (the written
// pitch plus the singer's key).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "score/melody.h"
#include "score/scorer.h"

namespace notelane {

// Now stands at this share of the lane's width; the rest shows what comes.
constexpr double kNowShare = 0.25;
// Song time from the now line to the right edge.
constexpr double kAheadMs = 4000;
// The band of pitches shown is at least this many semitones high, and keeps
// this many free above and below the notes around now.
constexpr int kLeastSpan = 12;
constexpr int kMargin = 1;
// Sung points further apart than this are not joined by the line.
constexpr double kJoinMs = 80;

// The semitones shown, `low` at the bottom row and `high` at the top row
// (inclusive).
struct PitchBand {
  int low = 0;
  int high = -1;
  bool Empty() const { return high < low; }
  int Rows() const { return Empty() ? 0 : high - low + 1; }
  bool operator==(const PitchBand&) const = default;
};

// The lane's rectangle, the song time at the now line and the band shown.
struct View {
  double left = 0, top = 0, width = 0, height = 0;
  double nowMs = 0;
  PitchBand band;

  double NowX() const { return left + width * kNowShare; }
  double MsPerPixel() const;
  double FirstMs() const;  // at the left edge
  double LastMs() const;   // at the right edge
  double XOf(double ms) const;
  // The centre of the row of `pitch` (fractions between rows).
  double YOf(double pitch) const;
  double RowHeight() const;
};

// The notes of `melody` that reach into [fromMs, toMs): indices [first, last).
struct Range {
  std::size_t first = 0, last = 0;
};
Range NotesBetween(const score::Melody& melody, double fromMs, double toMs);
// The points of `points` (in time order) within [fromMs, toMs].
Range PointsBetween(const std::vector<score::ScoredPoint>& points, double fromMs, double toMs);

// The band for the notes that reach into [fromMs, toMs), heard `key`
// semitones from their written pitch. `shown` stays while it still holds
// them with the margin and is not more than an octave higher than they
// need, so the lane does not jump with every note; otherwise the band is
// centred on them, at least kLeastSpan high. Without notes there, `shown`
// stays (empty when nothing was shown yet and the melody has no notes).
PitchBand FollowBand(const PitchBand& shown, const score::Melody& melody, int key, double fromMs, double toMs);

// The song times the voice was on pitch: runs of points with `hit`, each
// point counting until the next one (at most kJoinMs). In time order.
struct Span {
  double fromMs = 0, toMs = 0;
  bool operator==(const Span&) const = default;
};
std::vector<Span> HitSpans(const std::vector<score::ScoredPoint>& points, Range range);

}  // namespace notelane
