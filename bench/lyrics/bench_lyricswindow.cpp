// Cost of drawing the lyrics window while a song plays.
//
// BM_LyricsWindowPlaying: the window shown at WIDTH x HEIGHT (the
// arguments) on the running platform, a song of 60 s with a line of eight
// syllables every 3 s, time advanced in steps of 1/60 s as the frame timer
// advances it, each step shown and its repaint (if the picture changed)
// drawn at once. Counters: cpu_pct, the main thread's CPU time per second of
// song in percent of one core (goal under 1%), and repaints_per_s.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

#include "app/lyricswindow.h"

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


