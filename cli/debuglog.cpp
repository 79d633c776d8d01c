#include "cli/debuglog.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/soundcard/quiethost.h"

namespace cli {

namespace {

void QtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  // A fatal message ends the program: its reason is always shown.
  if (type == QtFatalMsg)
    std::fprintf(stderr, "tunelark: %s\n", text.toUtf8().constData());
  else if (soundcard::DebugLogging())
    std::fprintf(stderr, "tunelark debug: Qt: %s\n", text.toUtf8().constData());
}

}  // namespace

void RouteLibraryMessages() { qInstallMessageHandler(&QtMessage); }

TLibraryOutputOff::TLibraryOutputOff() {
  if (soundcard::DebugLogging()) return;
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  std::fflush(stderr);
  saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  if (saved_ >= 0) ::dup2(null, STDERR_FILENO);
  ::close(null);
}

TLibraryOutputOff::~TLibraryOutputOff() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

}  // namespace cli
