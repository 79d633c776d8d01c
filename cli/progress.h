// The progress display of a running sub-command on stderr. On a terminal one
// line is redrawn in place (carriage return) a few times a second; when
// stderr is not a terminal a plain line is written once a second, with no
// control characters. Nothing with --quiet.
#pragma once

#include <QElapsedTimer>
#include <QString>

namespace cli {

class TProgress {
 public:
  explicit TProgress(bool quiet);
  ~TProgress();  // ends a line left open
  // Shows `line` now if it is time to (always when `force`).
  void Show(const QString& line, bool force = false);
  // Ends the progress line.
  void Finish();
  bool Terminal() const { return terminal_; }

 private:
  bool quiet_;
  bool terminal_;
  bool open_ = false;
  int width_ = 0;
  QElapsedTimer since_;
  bool shown_ = false;
};

// "m:ss.s" for a time in milliseconds.
QString FormatTime(qint64 ms);
// Writes a line (UTF-8) to stdout or stderr.
void PrintOut(const QString& line);
void PrintErr(const QString& line);

}  // namespace cli
