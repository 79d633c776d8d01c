#include "cli/runloop.h"

#include <utility>

#include "platform/winmsg/winmsg.h"

namespace cli {

TRunLoop::TRunLoop() {
  SetApplicationExceptionHandler([this](std::exception_ptr error) { Fail(error); });
}

TRunLoop::~TRunLoop() { SetApplicationExceptionHandler({}); }

void TRunLoop::Run() {
  if (!quit_) loop_.exec();
}

void TRunLoop::Quit() {
  quit_ = true;
  loop_.quit();
}

void TRunLoop::Fail(std::exception_ptr error) {
  if (!error_) error_ = error;
  Quit();
}

void TRunLoop::Guard(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    Fail(std::current_exception());
  }
}

void TRunLoop::RethrowIfFailed() {
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

}  // namespace cli
