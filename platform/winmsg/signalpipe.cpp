#include "platform/winmsg/signalpipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

namespace {

int gPipe[2] = {-1, -1};
QPointer<QSocketNotifier> gNotifier;  // goes with the application object
std::function<void(int)> gOnSignal;

// Async-signal-safe: one write(2) of one byte, errno kept.
void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void InstallSignalPipe(std::function<void(int)> onSignal) {
  gOnSignal = std::move(onSignal);
  if (gPipe[0] < 0) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  }
  if (!gNotifier) {
    gNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(gNotifier, &QSocketNotifier::activated, [] { DeliverPipedSignals(); });
  }
}

void DeliverPipedSignals() {
  if (gPipe[0] < 0) return;
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i)
      if (gOnSignal) gOnSignal(bytes[i]);
}
