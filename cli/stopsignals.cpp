#include "cli/stopsignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

int gPipe[2] = {-1, -1};
struct sigaction gOldInt {};
struct sigaction gOldTerm {};

// Async-signal-safe: one write(2) of one byte, errno kept.
void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TStopSignals::TStopSignals(std::function<void(int)> onStop, QObject* parent)
    : QObject(parent), onStop_(std::move(onStop)) {
  if (gPipe[0] < 0) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &gOldInt);
  ::sigaction(SIGTERM, &action, &gOldTerm);
}

TStopSignals::~TStopSignals() {
  if (!notifier_) return;
  ::sigaction(SIGINT, &gOldInt, nullptr);
  ::sigaction(SIGTERM, &gOldTerm, nullptr);
}

void TStopSignals::Drain() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      received_ = bytes[i];
      if (onStop_) onStop_(received_);
    }
  }
}

}  // namespace cli
