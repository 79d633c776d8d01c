// The event loop of a sub-command: runs until Quit, and turns an error that
// escapes a handler of the multimedia layer (or one of the command's own
// slots, through Guard) into a failure of the command after the loop.
#pragma once

#include <QEventLoop>
#include <exception>
#include <functional>

namespace cli {

class TRunLoop {
 public:
  TRunLoop();   // becomes the application's exception handler
  ~TRunLoop();  // and stops being it
  TRunLoop(const TRunLoop&) = delete;
  TRunLoop& operator=(const TRunLoop&) = delete;

  // Runs the loop until Quit (returns at once when Quit came before).
  void Run();
  void Quit();
  // Keeps the first error and quits.
  void Fail(std::exception_ptr error);
  // Runs `fn`, keeping an error it raises.
  void Guard(const std::function<void()>& fn);
  bool Failed() const { return error_ != nullptr; }
  // Raises the kept error, if any.
  void RethrowIfFailed();

 private:
  QEventLoop loop_;
  bool quit_ = false;
  std::exception_ptr error_;
};

}  // namespace cli
