#include "cli/stopsignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace cli {

namespace {

int gPipe[2] = {-1, -1};
QSocketNotifier* gNotifier = nullptr;
std::function<void(int)> gOnStop;
bool gRequested = false;

// Async-signal-safe: one write(2) of one byte, errno kept.
void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void InstallStopSignals() {
  if (gNotifier) return;
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read);
  QObject::connect(gNotifier, &QSocketNotifier::activated, [] { DeliverStopSignals(); });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  // A closed terminal or a logout: the take is finished all the same.
  ::sigaction(SIGHUP, &action, nullptr);
}

bool StopRequested() { return gRequested; }

void DeliverStopSignals() {
  if (gPipe[0] < 0) return;
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      gRequested = true;
      if (gOnStop) gOnStop(bytes[i]);
    }
  }
}

TStopSignals::TStopSignals(std::function<void(int)> onStop) : previous_(std::exchange(gOnStop, std::move(onStop))) {}

TStopSignals::~TStopSignals() { gOnStop = std::move(previous_); }

}  // namespace cli
