// Cost of the level meters and of the connector's pump.
//
// BM_MeterUpdate: one ShowBlock that changes the lit count of a shown
// program meter: the level from 50 frames, the peak hold and the request of
// a frame (the paint itself comes at most once per screen refresh).
//
// BM_RecordingMainThread: recording at 44100 Hz on the virtual card at real
// time for 10 s, the main thread running its event loop; argument 0 records
// only, argument 1 also feeds two shown meters through a connector (about
// 870 blocks a second each), argument 2 feeds them with their window not
// shown (the pump without the drawing). Counters: main_cpu_pct, the main
// thread's CPU time in percent of the wall time (the difference between the
// runs is the pump and the drawing; goal under 3% of one core), blocks_per_s
// (blocks shown to each meter: all of them is 868), paints_per_s (paints of
// both meters together: at most two per screen refresh), steps_per_s (the
// pump's wake-ups), and the latency of a Qt event posted from another thread
// every 7 ms (lat_mean_us, lat_max_us), which is how input reaches the
// window.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/MMConect.h"
#include "app/levelmeter.h"
#include "controls/MMLevel.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"
#include "platform/winmsg/winmsg.h"
#include "recplay/MMWRec.h"

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_meters";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QApplication(argc, argv);
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::int64_t NowMicros() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void MakeProgramMeter(TMMLevel& level, int x, TMMChannel channel) {
  level.setGeometry(x, 13, 17, 108);
  SetUpWindowMeter(level, channel);
}

void BM_MeterUpdate(benchmark::State& state) {
  EnsureApp();
  QWidget window;
  window.resize(537, 200);
  TMMLevel level(&window);
  MakeProgramMeter(level, 480, chLeft);
  window.show();
  QCoreApplication::processEvents();
  std::vector<std::int16_t> loud(100, 0), quiet(100, 0);
  loud[14] = 30000;
  quiet[14] = 3000;
  bool flip = false;
  const int before = level.RedrawCount();
  for (auto _ : state) {
    level.ShowBlock(flip ? loud.data() : quiet.data());
    flip = !flip;
  }
  state.counters["paints_per_call"] = double(level.RedrawCount() - before) / double(state.iterations());
}
BENCHMARK(BM_MeterUpdate)->Unit(benchmark::kMicrosecond);

// A Qt event carrying the time it was posted.
class StampEvent : public QEvent {
 public:
  explicit StampEvent(std::int64_t at) : QEvent(QEvent::User), at(at) {}
  std::int64_t at;
};

class LatencyProbe : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    const std::int64_t delay = NowMicros() - static_cast<StampEvent*>(e)->at;
    sum += double(delay);
    max = std::max(max, delay);
    ++count;
    return true;
  }
  double sum = 0;
  std::int64_t max = 0;
  int count = 0;
};

void BM_RecordingMainThread(benchmark::State& state) {
  EnsureApp();
  const bool meters = state.range(0) != 0;
  const bool shown = state.range(0) != 2;  // 2: meters fed but their window not shown (no drawing)
  const int ms = int(state.range(1));
  soundcard::SelectClock(soundcard::Clock::Virtual);
  soundcard::ResetCard();
  soundcard::SetMicrophoneTestSignal();
  const std::string file =
      (std::filesystem::temp_directory_path() / ("tl_bench_meters_" + std::to_string(::getpid()) + ".wav")).string();

  QWidget window;
  window.resize(537, 200);
  TMMLevel left(&window), right(&window);
  MakeProgramMeter(left, 480, chLeft);
  MakeProgramMeter(right, 504, chRight);
  if (shown) window.show();

  double cpu = 0, wall = 0;
  LatencyProbe probe;
  int refreshes = 0, redraws = 0;
  double steps = 0;
  for (auto _ : state) {
    TMMWaveRecorder rec;
    rec.SetBufferSize(3048);
    rec.SetNumBuffers(20);
    rec.SetMode(mStereo);
    rec.SetBitLength(b16Bit);
    rec.SetSampleRate(44100);
    rec.SetFileName(file);
    TMMConnector connect;
    if (meters) {
      connect.SetLevel1(&left);
      connect.SetLevel2(&right);
      rec.SetOutput(&connect);
    }
    const int redrawsBefore = left.RedrawCount() + right.RedrawCount();
    std::atomic<bool> stop{false};
    std::thread poster([&] {
      while (!stop) {
        QCoreApplication::postEvent(&probe, new StampEvent(NowMicros()));
        std::this_thread::sleep_for(std::chrono::milliseconds(7));
      }
    });
    rec.Start();
    const std::uint64_t stepsBefore = TMMConnector::PumpSteps();
    const double before = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    cpu += ThreadCpuSeconds() - before;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    steps += double(TMMConnector::PumpSteps() - stepsBefore);
    stop = true;
    poster.join();
    refreshes += connect.RefreshCount(dkLevel);
    rec.Stop();
    redraws += left.RedrawCount() + right.RedrawCount() - redrawsBefore;
  }
  QCoreApplication::processEvents();
  state.counters["main_cpu_pct"] = 100.0 * cpu / wall;
  state.counters["lat_mean_us"] = probe.count ? probe.sum / probe.count : 0;
  state.counters["lat_max_us"] = double(probe.max);
  state.counters["blocks_per_s"] = double(refreshes) / wall;
  state.counters["paints_per_s"] = double(redraws) / wall;
  state.counters["steps_per_s"] = steps / wall;
  std::filesystem::remove(file);
  soundcard::SelectClock(soundcard::Clock::Stepped);
}
BENCHMARK(BM_RecordingMainThread)
    ->Args({0, 10000})
    ->Args({1, 10000})
    ->Args({2, 10000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
