#include "cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QList>
#include <algorithm>
#include <cstdio>

namespace cli {

namespace {

// Terminal columns of a character: the wide East Asian ones take two
// (lyrics in Chinese, Japanese or Korean).
int Columns(char32_t c) {
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                    (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

// `line` cut to fit in `limit` columns, and the columns it takes.
QString Fit(const QString& line, int limit, int& columns) {
  columns = 0;
  QString out;
  for (char32_t c : line.toUcs4()) {
    const int w = Columns(c);
    if (columns + w > limit) break;
    columns += w;
    out += QString::fromUcs4(&c, 1);
  }
  return out;
}

// The terminal's width on stderr, or a wide default when it says none.
int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 1000;
}

}  // namespace

TProgress::TProgress(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1) {}

TProgress::~TProgress() { Finish(); }

void TProgress::Show(const QString& line, bool force) {
  if (quiet_) return;
  const qint64 interval = terminal_ ? 100 : 1000;
  if (shown_ && !force && since_.elapsed() < interval) return;
  shown_ = true;
  since_.start();
  if (terminal_) {
    // One terminal line, so that the carriage return gets back to its
    // start; spaces wipe what is left of a longer previous line.
    int columns = 0;
    const QByteArray text = Fit(line, TerminalColumns() - 1, columns).toUtf8();
    const int pad = std::max(0, width_ - columns);
    std::fprintf(stderr, "\r%s%*s", text.constData(), pad, "");
    width_ = columns;
    open_ = true;
  } else {
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
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
