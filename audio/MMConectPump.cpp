#include "audio/MMConectPump.h"

#include <algorithm>

void ConnectorPump::Register(TMMConnector* c) {
  if (std::find(connectors.begin(), connectors.end(), c) != connectors.end()) return;
  if (connectors.empty()) {
    window = AllocateHWnd([this](HWND wnd, UINT msg, WPARAM w, LPARAM l) { return Proc(wnd, msg, w, l); });
    timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, [this] { Guarded([this] { Step(); }); });
  }
  c->FSerial = nextSerial++;
  connectors.push_back(c);
  RecomputeSpeed();
}

void ConnectorPump::Unregister(TMMConnector* c) {
  auto it = std::find(connectors.begin(), connectors.end(), c);
  if (it == connectors.end()) return;
  connectors.erase(it);
  RecomputeSpeed();
  if (connectors.empty()) {
    // Drops whatever is still queued for the window.
    DeallocateHWnd(window.exchange(nullptr));
    delete timer;
    timer = nullptr;
    waiting = false;
    activeCount = 0;
    idleHandler = false;
  }
}

void ConnectorPump::RecomputeSpeed() {
  maxSpeed = 0;
  for (TMMConnector* c : connectors) maxSpeed = std::max(maxSpeed, c->FSpeed);
}

TMMConnector* ConnectorPump::Find(WPARAM serial, LPARAM pointer) const {
  for (TMMConnector* c : connectors)
    if (reinterpret_cast<LPARAM>(c) == pointer && c->FSerial == serial) return c;
  return nullptr;
}

void ConnectorPump::PostStep() {
  waiting = false;
  if (HWND w = window.load()) PostMessage(w, MM_CONNECTOR_STEP, 0, 0);
}

void ConnectorPump::Kick() {
  if (waiting.exchange(false))
    if (HWND w = window.load()) PostMessage(w, MM_CONNECTOR_STEP, 0, 0);
}

void ConnectorPump::Start(TMMConnector* c) {
  if (!c->FRunning || !c->FEnabled || !c->FRealTime) return;
  c->FPending = 0;
  c->FActive = true;
  if (c->FAutoTrigger && !c->FCounted) {
    c->FCounted = true;
    ++activeCount;
    if (!timer || !timer->isActive()) PostStep();
  }
}

void ConnectorPump::Step() {
  ++steps;
  // Speed below 5000 lets the application process its messages that many
  // more times per step; the event loop processes them once anyway.
  for (int i = 0; i < 5000 - maxSpeed; ++i) ProcessMessages();
  if (activeCount > 0 && !ApplicationTerminated()) {
    // By index: a display may not unregister a connector, but stay safe.
    const std::int64_t now = MMConnectorNow();
    for (std::size_t i = 0; i < connectors.size(); ++i) {
      TMMConnector* c = connectors[i];
      if (!Fed(c)) continue;
      try {
        // One pass for each block that has come due since the last step,
        // so every block is still shown, in order.
        for (int pass = 0; pass < kMaxPasses; ++pass) {
          c->Refresh();
          if (c->NextBlockIn(now) != 0) break;
        }
      } catch (...) {
        ApplicationHandleException(std::current_exception());
      }
    }
  }
  if (activeCount <= 0 || ApplicationTerminated() || connectors.empty() || !timer) {
    if (timer) timer->stop();
    return;
  }
  if (enterIdle) ProcessMessages();
  // Wait for the earliest block due; with nothing left to show, for a kick.
  waiting = true;
  std::int64_t wait = -1;
  const std::int64_t now = MMConnectorNow();
  for (TMMConnector* c : connectors) {
    if (!Fed(c)) continue;
    const std::int64_t due = c->NextBlockIn(now);
    if (due >= 0 && (wait < 0 || due < wait)) wait = due;
  }
  if (wait < 0) {
    timer->stop();
    return;  // a capture may have come meanwhile on another thread: it kicked
  }
  if (!waiting.exchange(false)) return;  // kicked meanwhile: the step message runs next
  timer->start(int(std::clamp<std::int64_t>((wait + 999) / 1000, kMinWaitMs, 1000)));
}

LRESULT ConnectorPump::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    switch (msg) {
      case MM_CONNECTOR_START:
        if (TMMConnector* c = Find(wParam, lParam)) Start(c);
        return 0;
      case MM_CONNECTOR_REFRESH:
        if (TMMConnector* c = Find(wParam, lParam)) {
          if (c->FEnabled && c->FActive) c->Refresh();
          if (c->FPending > 0) --c->FPending;
        }
        return 0;
      case MM_CONNECTOR_STEP:
        if (timer) timer->stop();  // this step replaces a wait in progress
        Step();
        return 0;
      default:
        break;
    }
  } catch (...) {
    if (msg == MM_CONNECTOR_STEP && activeCount > 0) PostStep();
    ApplicationHandleException(std::current_exception());
  }
  return DefWindowProc(wnd, msg, wParam, lParam);
}
