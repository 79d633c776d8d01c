#include "score/scorer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "lyrics/lyrics.h"

namespace score {

namespace {

constexpr double kNotePoints = 9000;
constexpr double kLinePoints = 1000;
constexpr double kLineOnPitch = 0.8;
constexpr double kOnsetGraceMs = 100;
// A rest this long ends a phrase of a melody without words.
constexpr std::uint32_t kPhraseRestMs = 1000;

// `midi` moved by whole octaves to the nearest of `target`.
double Fold(double midi, double target) { return midi + 12.0 * std::round((target - midi) / 12.0); }

// The note sounding at `ms`, or -1.
int NoteAt(const std::vector<Note>& notes, double ms) {
  auto after = std::upper_bound(notes.begin(), notes.end(), ms, [](double t, const Note& n) { return t < n.startMs; });
  if (after == notes.begin()) return -1;
  const auto i = after - notes.begin() - 1;
  return ms < notes[std::size_t(i)].endMs ? int(i) : -1;
}

// The note sounding at `ms`, else the nearest in time.
std::size_t NearestNote(const std::vector<Note>& notes, double ms) {
  auto after = std::upper_bound(notes.begin(), notes.end(), ms, [](double t, const Note& n) { return t < n.startMs; });
  if (after == notes.begin()) return 0;
  const std::size_t before = std::size_t(after - notes.begin() - 1);
  if (after == notes.end() || ms < notes[before].endMs) return before;
  return ms - notes[before].endMs <= after->startMs - ms ? before : before + 1;
}

// The line a note starting at `ms` belongs to: the last one started by then
// (the first before any).
std::size_t LineOf(const std::vector<Span>& lines, std::uint32_t ms) {
  auto after = std::upper_bound(lines.begin(), lines.end(), ms,
                                [](std::uint32_t t, const Span& s) { return t < s.startMs; });
  return after == lines.begin() ? 0 : std::size_t(after - lines.begin() - 1);
}

}  // namespace

double ToleranceOf(Difficulty d) {
  switch (d) {
    case Difficulty::Easy: return 2.0;
    case Difficulty::Hard: return 0.5;
    case Difficulty::Normal: break;
  }
  return 1.0;
}

const char* NameOf(Difficulty d) {
  switch (d) {
    case Difficulty::Easy: return "easy";
    case Difficulty::Hard: return "hard";
    case Difficulty::Normal: break;
  }
  return "normal";
}

bool ParseDifficulty(std::string_view name, Difficulty& d) {
  for (Difficulty each : {Difficulty::Easy, Difficulty::Normal, Difficulty::Hard})
    if (name == NameOf(each)) {
      d = each;
      return true;
    }
  return false;
}

std::vector<Span> LinesOf(const lyrics::Lyrics& words, const Melody& melody) {
  std::vector<Span> lines;
  if (!words.empty()) {
    for (const lyrics::Line& line : words.lines) lines.push_back({line.startMs(), line.endMs(), line.text()});
    return lines;
  }
  for (const Note& n : melody.notes) {
    if (lines.empty() || n.startMs >= lines.back().endMs + kPhraseRestMs) lines.push_back({n.startMs, n.endMs, {}});
    lines.back().endMs = std::max(lines.back().endMs, n.endMs);
  }
  return lines;
}

Result Score(const Melody& melody, const std::vector<Span>& lines, const std::vector<PitchPoint>& voice,
             const Timeline& timeline, Difficulty difficulty) {
  const std::vector<Note>& notes = melody.notes;
  const double tolerance = ToleranceOf(difficulty);
  Result result;
  result.difficulty = difficulty;
  result.noteHit.assign(notes.size(), 0.0);
  std::vector<std::int64_t> frames(notes.size(), 0), hits(notes.size(), 0);
  if (timeline.Known()) {
    result.points.reserve(voice.size());
    for (const PitchPoint& p : voice) {
      ScoredPoint sp;
      sp.songMs = timeline.SongMs(p.frame);
      const int key = timeline.KeyAt(p.frame);
      sp.midi = p.midi;
      if (p.voiced() && !notes.empty()) sp.midi = float(Fold(p.midi, notes[NearestNote(notes, sp.songMs)].pitch + key));
      const int at = NoteAt(notes, sp.songMs);
      if (at >= 0) {
        const std::size_t i = std::size_t(at);
        sp.hit = p.voiced() && std::abs(sp.midi - double(notes[i].pitch + key)) <= tolerance;
        const bool excused = !sp.hit && frames[i] == 0 && sp.songMs < notes[i].startMs + kOnsetGraceMs;
        if (!excused) {
          ++frames[i];
          hits[i] += sp.hit ? 1 : 0;
        }
      }
      result.points.push_back(sp);
    }
  }

  double length = 0;
  for (const Note& n : notes) length += n.endMs - n.startMs;
  struct LineSums {
    std::int64_t frames = 0, hits = 0;
    double points = 0;
    bool notes = false;
  };
  std::vector<LineSums> sums(lines.size());
  double total = 0;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    if (frames[i] > 0) result.noteHit[i] = double(hits[i]) / double(frames[i]);
    const double points = kNotePoints * (notes[i].endMs - notes[i].startMs) / length * result.noteHit[i];
    total += points;
    if (lines.empty()) continue;
    LineSums& s = sums[LineOf(lines, notes[i].startMs)];
    s.frames += frames[i];
    s.hits += hits[i];
    s.points += points;
    s.notes = true;
  }
  const auto sung = std::count_if(sums.begin(), sums.end(), [](const LineSums& s) { return s.notes; });
  for (std::size_t l = 0; l < lines.size(); ++l) {
    LineResult line;
    line.span = lines[l];
    line.onPitch = sums[l].frames > 0 ? double(sums[l].hits) / double(sums[l].frames) : 0.0;
    line.points = sums[l].points;
    if (sums[l].notes && line.onPitch >= kLineOnPitch) {
      line.points += kLinePoints / double(sung);
      total += kLinePoints / double(sung);
    }
    result.lines.push_back(std::move(line));
  }
  result.score = int(std::clamp(std::lround(total), 0L, 10000L));
  return result;
}

std::string ScoreFileName(const std::string& take) {
  std::string base = take;
  if (base.size() >= 4) {
    std::string tail = base.substr(base.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (tail == ".wav") base.resize(base.size() - 4);
  }
  return base + ".score.json";
}

}  // namespace score
