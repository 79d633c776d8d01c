// Where a wave engine is in its start, stop and close sequences: one value
// per engine, changed only through TMMEngineStateMachine::Set, which checks
// the change against the engine's table of legal transitions (written in
// each engine's header). The published flag set (open, recording or
// playing, paused) stays what callers read; this value is what the
// sequences decide by.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>

enum class TMMEngineState : std::uint8_t {
  // No run. The device may be open or closed.
  Stopped,
  // Start is queueing the first buffers; returned buffers are not handled.
  Starting,
  // Buffers go round: every returned buffer is delivered and queued again.
  // A paused run is still running.
  Running,
  // Output only: the chain's data has ended and the ring has drained; the
  // stop follows once the device has let out what it still holds.
  Draining,
  // A stop was asked while a buffer was being handled: returned buffers are
  // no longer queued, and the stop completes from the stop message once the
  // handling has unwound.
  StopDeferred,
  // A stop is under way: the device is reset and returned buffers are only
  // counted.
  Stopping,
  // A close was asked while a stop was deferred: the stop completes first,
  // then the close.
  CloseDeferred,
  // A close is under way (stopping the run first when there is one).
  Closing,
};

// The name of `State`, for failures and logs.
const char* MMEngineStateName(TMMEngineState State);

// An engine's answer to "may the state go from `From` to `To`?".
using TMMEngineTransitionRule = bool (*)(TMMEngineState From, TMMEngineState To);

// A change the engine's table does not allow: a fault of the engine's own
// sequences, never of its caller.
struct EMMEngineStateError : std::logic_error {
  using std::logic_error::logic_error;
};

// Asserts in a debug build; raises EMMEngineStateError naming `Engine` and
// the change otherwise.
[[noreturn]] void MMEngineStateFailed(const char* Engine, TMMEngineState From, TMMEngineState To);

// One engine's state. Read from any thread (the card's callback and the
// worker look whether the run goes on); changed by the thread running the
// engine's sequences (the main thread, or ProcessBuffer's thread when a
// handling unwinds into a deferred stop).
class TMMEngineStateMachine {
 public:
  TMMEngineStateMachine(const char* Engine, TMMEngineTransitionRule Legal) : FEngine(Engine), FLegal(Legal) {}

  TMMEngineState Get() const { return FState.load(); }
  bool Is(TMMEngineState State) const { return FState.load() == State; }
  // The run takes returned buffers as its own: starting or running.
  bool RunGoesOn() const {
    const TMMEngineState s = FState.load();
    return s == TMMEngineState::Starting || s == TMMEngineState::Running;
  }
  // A stop waits for a buffer's handling to unwind (a close may wait too).
  bool StopIsDeferred() const {
    const TMMEngineState s = FState.load();
    return s == TMMEngineState::StopDeferred || s == TMMEngineState::CloseDeferred;
  }
  // Moves to `To`; an illegal change asserts in a debug build and raises
  // EMMEngineStateError otherwise, leaving the state as it was.
  void Set(TMMEngineState To) {
    const TMMEngineState from = FState.load();
    if (!FLegal(from, To)) MMEngineStateFailed(FEngine, from, To);
    FState.store(To);
  }

 private:
  const char* FEngine;
  TMMEngineTransitionRule FLegal;
  std::atomic<TMMEngineState> FState{TMMEngineState::Stopped};
};
