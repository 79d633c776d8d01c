// An output file made under a temporary name in its own folder and renamed
// to its real name only when it is complete, so that a failed or
// interrupted command leaves no partial file behind.
#pragma once

#include <QString>

namespace cli {

class TOutputFile {
 public:
  // Checks that `path` may be made: an existing file is refused unless
  // `force`, the folder must exist and be writable. Creates the empty
  // temporary file. Raises ECliFailure with the reason.
  TOutputFile(const QString& path, bool force);
  // Removes the temporary file unless Commit succeeded.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // The real name, and the name to write to meanwhile.
  const QString& Path() const { return path_; }
  const QString& TemporaryPath() const { return temporary_; }
  // Renames the temporary file to the real name (replacing a file there in
  // one step). Raises ECliFailure when that fails.
  void Commit();
  // Removes the temporary file now.
  void Discard();

 private:
  QString path_;
  QString temporary_;
  bool done_ = false;
};

// Raises ECliFailure unless `path` names a readable file.
void CheckInputFile(const QString& path);

}  // namespace cli
