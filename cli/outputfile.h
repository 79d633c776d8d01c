// An output file of a command. A new name is written straight: the file is
// created exclusively at once (nothing that appeared meanwhile is replaced)
// and removed when the command fails before it holds anything. An older
// file is replaced (with --force) through a visible temporary file beside it
// ("take.new-k3J9aQ.wav") that takes its name only when complete. A name
// that is a symbolic link is written through to the file it points to; the
// link stays. Only regular files are ever replaced.
#pragma once

#include <QString>

namespace cli {

class TOutputFile {
 public:
  // Checks that `path` may be made and reserves it: an existing file is
  // refused unless `force`, anything but a regular file always (a folder, a
  // device, a FIFO, a socket); the folder must exist and be writable.
  // Raises ECliFailure naming the path and the reason.
  TOutputFile(const QString& path, bool force);
  // Removes what was made unless Commit came first.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // The name the user gave (absolute), and the file written meanwhile: the
  // file itself, or the temporary one when an older file is replaced.
  const QString& Path() const { return path_; }
  const QString& WritePath() const { return writePath_; }
  bool ReplacesOlderFile() const { return writePath_ != target_; }
  // Puts the written file in place (a temporary one replaces the older file
  // in one step). Raises ECliFailure when that fails.
  void Commit();
  // Removes what was made, now.
  void Discard();

 private:
  QString path_;       // as given, made absolute
  QString target_;     // the file the name leads to (through a link)
  QString writePath_;  // target_, or the temporary file beside it
  bool done_ = false;
};

// The checks of TOutputFile, and a folder that may be written into, without
// making anything yet: for an output made only later (the MP3 of a take).
void CheckOutputFile(const QString& path, bool force);

// Raises ECliFailure unless `path` names a readable file.
void CheckInputFile(const QString& path);

// True when writing to `output` would write into the file `input` (the
// same device and inode, through whatever names and links), or when both
// lead to the same name that does not exist yet.
bool SameFile(const QString& output, const QString& input);

}  // namespace cli
