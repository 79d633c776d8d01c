// Cost of drawing the lyrics window while a song plays.
//
// BM_LyricsWindowPlaying: the window shown at WIDTH x HEIGHT (the
// arguments) on the running platform, a song of 60 s with a line of eight
// syllables every 3 s, time advanced in steps of 1/60 s as the frame timer
// advances it, each step shown and its repaint (if the picture changed)
// drawn at once. Counters: cpu_pct, the main thread's CPU time per second of
// song in percent of one core (goal under 1%), and repaints_per_s.
//
// BM_LyricsWindowWithLane: the same with the note lane above the words: a
// melody of a note per syllable, and the take's score handed to the window
// every frame with a sung point every 11.6 ms (512 frames at 44.1 kHz) up to
// the position, as a live take hands it over. The lane scrolls, so it is
// drawn every frame.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>

#include "app/lyricswindow.h"
#include "app/notelane.h"

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_lyrics";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance()) return;
  new QApplication(argc, argv);
  // The window remembers its place: not in the user's settings.
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

constexpr std::uint32_t kSongMs = 60000;

lyrics::Lyrics Song() {
  static const char* const kWords[] = {"春", "风", "又", "绿", "江", "南", "岸", "边"};
  lyrics::Lyrics words;
  for (std::uint32_t start = 1000; start + 3000 <= kSongMs; start += 3000) {
    lyrics::Line line;
    line.newPage = (start / 3000) % 4 == 0;
    for (std::uint32_t i = 0; i < 8; ++i)
      line.syllables.push_back({start + i * 300, start + (i + 1) * 300, kWords[i]});
    words.lines.push_back(std::move(line));
  }
  return words;
}

score::Melody Melody() {
  score::Melody melody;
  melody.channel = 0;
  for (std::uint32_t start = 1000; start + 3000 <= kSongMs; start += 3000)
    for (std::uint32_t i = 0; i < 8; ++i)
      melody.notes.push_back({start + i * 300, start + i * 300 + 280, int(60 + (start / 3000 + i * 5) % 12)});
  return melody;
}

// A voice near each note, a little vibrato, on pitch most of the time.
std::vector<score::ScoredPoint> Voice(const score::Melody& melody) {
  std::vector<score::ScoredPoint> points;
  std::size_t n = 0;
  for (double ms = 0; ms < kSongMs; ms += 512 * 1000.0 / 44100) {
    while (n < melody.notes.size() && melody.notes[n].endMs <= ms) ++n;
    const bool sounding = n < melody.notes.size() && melody.notes[n].startMs <= ms;
    const float midi = sounding ? float(melody.notes[n].pitch + 0.4 * std::sin(ms / 40)) : 0.0f;
    points.push_back({ms, midi, sounding && std::abs(midi - melody.notes[n].pitch) < 0.3});
  }
  return points;
}

void BM_LyricsWindowWithLane(benchmark::State& state) {
  EnsureApp();
  TLyricsWindow window;
  window.resize(int(state.range(0)), int(state.range(1)));
  window.SetLyrics(Song());
  const score::Melody melody = Melody();
  window.SetMelody(melody, 0);
  const std::vector<score::ScoredPoint> voice = Voice(melody);
  window.show();
  QCoreApplication::processEvents();
  double cpu = 0, songSeconds = 0;
  int repaints = 0, laneRepaints = 0;
  for (auto _ : state) {
    const int before = window.Repaints();
    const int laneBefore = window.NoteLane()->Repaints();
    score::Result live;
    std::size_t sung = 0;
    const double start = ThreadCpuSeconds();
    for (std::int64_t frame = 0; frame * 1000 / 60 < kSongMs; ++frame) {
      const std::int64_t ms = frame * 1000 / 60;
      while (sung < voice.size() && voice[sung].songMs <= double(ms)) live.points.push_back(voice[sung++]);
      live.score = int(sung);
      window.SetScoreView(live);
      window.ShowAt(ms);
      QCoreApplication::processEvents();
    }
    cpu += ThreadCpuSeconds() - start;
    songSeconds += kSongMs / 1000.0;
    repaints += window.Repaints() - before;
    laneRepaints += window.NoteLane()->Repaints() - laneBefore;
  }
  state.counters["cpu_pct"] = 100.0 * cpu / songSeconds;
  state.counters["repaints_per_s"] = repaints / songSeconds;
  state.counters["lane_repaints_per_s"] = laneRepaints / songSeconds;
}

void BM_LyricsWindowPlaying(benchmark::State& state) {
  EnsureApp();
  TLyricsWindow window;
  window.resize(int(state.range(0)), int(state.range(1)));
  window.SetLyrics(Song());
  window.show();
  QCoreApplication::processEvents();
  double cpu = 0, songSeconds = 0;
  int repaints = 0;
  for (auto _ : state) {
    const int before = window.Repaints();
    const double start = ThreadCpuSeconds();
    for (std::int64_t frame = 0; frame * 1000 / 60 < kSongMs; ++frame) {
      window.ShowAt(frame * 1000 / 60);
      QCoreApplication::processEvents();
    }
    cpu += ThreadCpuSeconds() - start;
    songSeconds += kSongMs / 1000.0;
    repaints += window.Repaints() - before;
  }
  state.counters["cpu_pct"] = 100.0 * cpu / songSeconds;
  state.counters["repaints_per_s"] = repaints / songSeconds;
}

}  // namespace

BENCHMARK(BM_LyricsWindowPlaying)->Args({720, 270})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LyricsWindowWithLane)->Args({720, 270})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->Iterations(1);


