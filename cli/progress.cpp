#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace cli {

TProgress::TProgress(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1) {}

TProgress::~TProgress() { Finish(); }

void TProgress::Show(const QString& line, bool force) {
  if (quiet_) return;
  const qint64 interval = terminal_ ? 100 : 1000;
  if (shown_ && !force && since_.elapsed() < interval) return;
  shown_ = true;
  since_.start();
  const QByteArray text = line.toUtf8();
  if (terminal_) {
    // Spaces wipe what is left of a longer previous line.
    const int pad = std::max(0, width_ - int(line.size()));
    std::fprintf(stderr, "\r%s%*s", text.constData(), pad, "");
    width_ = int(line.size());
    open_ = true;
  } else {
    std::fprintf(stderr, "%s\n", text.constData());
  }
  std::fflush(stderr);
}

void TProgress::Finish() {
  if (!open_) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
  open_ = false;
  width_ = 0;
}

QString FormatTime(qint64 ms) {
  if (ms < 0) ms = 0;
  const qint64 tenths = ms / 100;
  return QStringLiteral("%1:%2.%3")
      .arg(tenths / 600)
      .arg((tenths / 10) % 60, 2, 10, QLatin1Char('0'))
      .arg(tenths % 10);
}

void PrintOut(const QString& line) {
  std::fprintf(stdout, "%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

void PrintErr(const QString& line) {
  std::fprintf(stderr, "%s\n", line.toUtf8().constData());
  std::fflush(stderr);
}

}  // namespace cli
