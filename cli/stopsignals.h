// SIGINT and SIGTERM as a request to finish: the handler only writes the
// signal's number into a pipe; a socket notifier reads it in the event loop
// and calls the stop function there, where files may be finished safely.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace cli {

class TStopSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; `onStop` runs on the main thread for every signal.
  explicit TStopSignals(std::function<void(int signal)> onStop, QObject* parent = nullptr);
  // Restores the previous handlers.
  ~TStopSignals() override;
  // The last signal received (0: none).
  int Received() const { return received_; }

 private:
  void Drain();

  std::function<void(int)> onStop_;
  std::unique_ptr<QSocketNotifier> notifier_;
  int received_ = 0;
};

}  // namespace cli
