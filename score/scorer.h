// The score of a voice against a melody, 0 to 10 000: the notes share 9 000
// points by length, each earning its share for the part of its frames sung
// within the tolerance (the sung pitch moved by octaves to the note's); each
// line (of the words, else a phrase of the melody) sung at least 80% on pitch
// adds 1 000 / lines.
// A singer reaches a note a little after it starts: the frames of a note's
// first 100 ms sung off pitch before the first on pitch are not counted.
// Lines without notes neither count nor earn a bonus.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "score/melody.h"
#include "score/pitch.h"
#include "score/timeline.h"

namespace lyrics {
struct Lyrics;
}

namespace score {

enum class Difficulty { Easy, Normal, Hard };
// The tolerance in semitones: easy 2, normal 1, hard 0.5.
double ToleranceOf(Difficulty d);
// "easy", "normal", "hard".
const char* NameOf(Difficulty d);
bool ParseDifficulty(std::string_view name, Difficulty& d);

// A line the bonus is counted by, in song milliseconds.
struct Span {
  std::uint32_t startMs = 0;
  std::uint32_t endMs = 0;
  std::string text;  // the line's words (UTF-8), empty for a phrase
};

// The words' lines, or without words the melody's phrases (split at rests).
std::vector<Span> LinesOf(const lyrics::Lyrics& words, const Melody& melody);

struct LineResult {
  Span span;
  double onPitch = 0;  // the part of its notes' frames sung on pitch, 0..1
  double points = 0;   // its notes' points and its bonus
};

// A point of the voice as the note lane draws it.
struct ScoredPoint {
  double songMs = 0;
  float midi = 0;    // moved by octaves next to the note sounding then (or the nearest); 0: none
  bool hit = false;  // on pitch for a note sounding then
};

struct Result {
  int score = 0;  // 0..10 000, rounded
  Difficulty difficulty = Difficulty::Normal;
  std::vector<LineResult> lines;
  std::vector<double> noteHit;      // per melody note, the part of its frames hit, 0..1
  std::vector<ScoredPoint> points;  // every point the timeline places
};

// A pure function of its inputs: the live score and the one saved at the
// end are the same when they see the same points.
Result Score(const Melody& melody, const std::vector<Span>& lines, const std::vector<PitchPoint>& voice,
             const Timeline& timeline, Difficulty difficulty);

// {"score":S,"difficulty":"normal","lines":[{"start_ms":..,"end_ms":..,
// "text":"..","on_pitch":0.93,"points":812.5},..]}
std::string ScoreJson(const Result& result);

// Where a take's score is saved: "a/take.wav" -> "a/take.score.json" (a
// final ".wav" of any case replaced, else the suffix added).
std::string ScoreFileName(const std::string& take);

// Writes ScoreJson(result) and a newline to `path` in one step (a reader
// never sees half a file; an older file is replaced only when the new one
// is complete). Raises EScoreError with the reason when it cannot.
void SaveScore(const std::string& path, const Result& result);

}  // namespace score
