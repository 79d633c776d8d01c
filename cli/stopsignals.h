// SIGINT, SIGTERM and SIGHUP as a request to finish: the signal pipe calls
// the current stop function in the event loop, where files may be finished
// safely.
#pragma once

#include <QObject>
#include <functional>

namespace cli {

// Installs the handlers for the rest of the process (once; main thread,
// after the QCoreApplication exists). A signal that comes while no stop
// function is set is only remembered.
void InstallStopSignals();
// True once a signal has been seen in the event loop.
bool StopRequested();
// Lets a signal that is waiting in the pipe be seen now.
void DeliverStopSignals();

// A stop function for the time the object lives; the previous one comes
// back when it goes.
class TStopSignals {
 public:
  explicit TStopSignals(std::function<void(int signal)> onStop);
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  std::function<void(int)> previous_;
};

}  // namespace cli
