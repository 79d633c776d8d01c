// The connectors' pump, private to the connector: the process-wide state
// that hands the active connectors' blocks to their displays on the main
// thread.
#pragma once

#include <QTimer>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/MMConect.h"
#include "platform/winmsg/winmsg.h"

// Process-wide state of the pump. While any auto-triggered connector is
// active, the pump steps: each step gives every active connector one Refresh
// pass for each block that has come due (so every block is shown, in order,
// never before its time) and then waits in the main thread's event loop: on
// a precise single-shot timer until the next block is due, but at least
// kMinWaitMs, or, when no connector has data left to show, until a capture or
// a pause tick kicks it with a step message. The main thread is never put to
// sleep, so input keeps flowing between steps. All of it runs on the main
// thread except Kick.
struct ConnectorPump {
  std::vector<TMMConnector*> connectors;
  std::atomic<HWND> window{nullptr};
  QTimer* timer = nullptr;  // the wait for the next block
  int maxSpeed = 0;
  int activeCount = 0;
  bool enterIdle = false;
  bool idleHandler = false;  // the application is kept in idle processing
  // Set while the pump waits for data; the first capture or pause tick that
  // clears it posts the step that wakes the pump.
  std::atomic<bool> waiting{false};
  std::uint64_t nextSerial = 1;
  std::uint64_t steps = 0;
  // A wake-up of the main thread costs far more than showing a block: with
  // a block due every 1.1 ms (16-bit stereo at 44100 Hz), waking for each
  // one took several per cent of a core. The meters put a block on the
  // screen only at its next refresh (about every 16 ms) anyway, so the pump
  // wakes about once per refresh and then shows what has come due; a
  // capture first shows what is left of the buffer before it, so every
  // block still reaches the displays, in order.
  static constexpr int kMinWaitMs = 16;
  static constexpr int kMaxPasses = 32;

  static ConnectorPump& Get() {
    static ConnectorPump pump;
    return pump;
  }

  void Register(TMMConnector* c);
  void Unregister(TMMConnector* c);
  void RecomputeSpeed();

  // The connector a message names, if it still exists: the serial in wParam
  // tells a live connector from one that had the same address before.
  TMMConnector* Find(WPARAM serial, LPARAM pointer) const;

  void PostStep();

  // Any thread: new data to show. Wakes a pump that waits for data.
  void Kick();

  void Start(TMMConnector* c);
  bool Fed(const TMMConnector* c) const { return c->FAutoTrigger && c->FEnabled && c->FActive; }

  void Step();

  // Exceptions go to the application's handler; the pump goes on.
  template <typename F>
  void Guarded(F f) {
    try {
      f();
    } catch (...) {
      ApplicationHandleException(std::current_exception());
      if (activeCount > 0 && timer && !timer->isActive()) PostStep();
    }
  }

  LRESULT Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
};
