#include "audio/MMEngineState.h"

#include <cassert>
#include <string>

const char* MMEngineStateName(TMMEngineState State) {
  switch (State) {
    case TMMEngineState::Stopped: return "stopped";
    case TMMEngineState::Starting: return "starting";
    case TMMEngineState::Running: return "running";
    case TMMEngineState::Draining: return "draining";
    case TMMEngineState::StopDeferred: return "stop deferred";
    case TMMEngineState::Stopping: return "stopping";
    case TMMEngineState::CloseDeferred: return "close deferred";
    case TMMEngineState::Closing: return "closing";
  }
  return "unknown";
}

void MMEngineStateFailed(const char* Engine, TMMEngineState From, TMMEngineState To) {
  assert(!"illegal engine state change");
  throw EMMEngineStateError(std::string(Engine) + ": illegal state change from " + MMEngineStateName(From) + " to " +
                            MMEngineStateName(To));
}
