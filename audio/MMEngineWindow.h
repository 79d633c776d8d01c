// What both wave engines do with a message of their hidden window: one about
// another device handle (an earlier run's) goes to the default procedure; a
// failed worker's report closes the device and shows the failure; the
// engine's own messages go to `handle`. Anything raised while handling one
// closes the device and is shown, so no error escapes the message loop.
#pragma once

#include <exception>

#include "audio/MMEngineErrors.h"
#include "audio/MMEngineWorker.h"
#include "platform/winmsg/winmsg.h"

// `handle()` returns false for a message it does not know.
template <typename Engine, typename Handle>
LRESULT MMEngineWindowProc(Engine& engine, TMMEngineFailure& failure, WPARAM device, HWND wnd, UINT msg,
                           WPARAM wParam, LPARAM lParam, Handle&& handle) {
  if (!device || wParam != device) return DefWindowProc(wnd, msg, wParam, lParam);
  try {
    if (msg == MM_ENGINE_THREADFAIL) {
      if (failure.Failed()) {
        const std::exception_ptr error = failure.Take();
        engine.Close();
        if (error) ApplicationHandleException(error);
      }
      return 0;
    }
    if (!handle()) return DefWindowProc(wnd, msg, wParam, lParam);
  } catch (...) {
    engine.Close();
    ApplicationHandleException(std::current_exception());
  }
  return 0;
}
