#include "controls/MMFramePacer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

struct FramePacer {
  std::vector<TMMFrameClient*> waiting;
  // Owned by the application object, so it goes before Qt does.
  QPointer<QTimer> timer;
  QElapsedTimer clock;
  std::int64_t lastFrameNs = 0;
  bool framed = false;  // a frame was handed out before
  std::uint64_t frames = 0;

  static FramePacer& Get() {
    static FramePacer pacer;
    return pacer;
  }

  QTimer* Timer() {
    if (!timer) {
      timer = new QTimer(QCoreApplication::instance());
      timer->setSingleShot(true);
      timer->setTimerType(Qt::PreciseTimer);
      QObject::connect(timer, &QTimer::timeout, [] { Get().Frame(); });
      clock.start();
    }
    return timer;
  }

  void Request(TMMFrameClient* client, double refreshHz) {
    if (std::find(waiting.begin(), waiting.end(), client) != waiting.end()) return;
    waiting.push_back(client);
    QTimer* t = Timer();
    if (t->isActive()) return;
    const double hz = refreshHz > 1.0 ? refreshHz : 60.0;
    const auto periodNs = std::int64_t(1e9 / hz);
    const std::int64_t waitNs = framed ? lastFrameNs + periodNs - clock.nsecsElapsed() : 0;
    // Rounded up: a frame never comes before its refresh.
    t->start(int(std::max<std::int64_t>((waitNs + 999'999) / 1'000'000, 0)));
  }

  void Cancel(TMMFrameClient* client) {
    waiting.erase(std::remove(waiting.begin(), waiting.end(), client), waiting.end());
    if (waiting.empty() && timer) timer->stop();
  }

  void Frame() {
    if (timer) timer->stop();
    if (waiting.empty()) return;
    lastFrameNs = clock.nsecsElapsed();
    framed = true;
    ++frames;
    // A display may ask again from its PaintFrame: that waits for the next.
    std::vector<TMMFrameClient*> now;
    now.swap(waiting);
    for (TMMFrameClient* c : now) c->PaintFrame();
  }
};

}  // namespace

void MMRequestFrame(TMMFrameClient* client, double refreshHz) {
  if (client) FramePacer::Get().Request(client, refreshHz);
}

void MMCancelFrame(TMMFrameClient* client) { FramePacer::Get().Cancel(client); }

void MMPaintFramesNow() { FramePacer::Get().Frame(); }

std::uint64_t MMFramesPainted() { return FramePacer::Get().frames; }
