#include "cli/outputfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/options.h"
#include "cli/texts.h"
#include "mp3/SiblingFile.h"
#include "platform/language/language.h"

namespace cli {

namespace {

QString SystemReason(int error) { return language::Reason(error); }

// Why an existing file that is not a regular one is never written over.
QString NotAFile(const QString& path, mode_t mode) {
  if (S_ISDIR(mode)) return Tr("%1 is a folder", "%1 是一个文件夹").arg(path);
  if (S_ISCHR(mode) || S_ISBLK(mode))
    return Tr("%1 is a device, not a file: it is never replaced", "%1 是设备, 不是文件: 不会覆盖它").arg(path);
  if (S_ISFIFO(mode))
    return Tr("%1 is a named pipe, not a file: it is never replaced", "%1 是命名管道, 不是文件: 不会覆盖它").arg(path);
  if (S_ISSOCK(mode))
    return Tr("%1 is a socket, not a file: it is never replaced", "%1 是套接字, 不是文件: 不会覆盖它").arg(path);
  return Tr("%1 is not a regular file: it is never replaced", "%1 不是普通文件: 不会覆盖它").arg(path);
}

// The name a file has once made: links followed, the folder's own links
// and dots resolved.
QString LeadsTo(const QString& path) {
  QString target = ResolveOutputName(path);
  if (target.isEmpty()) target = QFileInfo(path).absoluteFilePath();
  const QFileInfo info(target);
  const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
  return QDir(folder.isEmpty() ? info.absolutePath() : folder).filePath(info.fileName());
}

QString CannotWriteInto(const QString& folder, const QString& reason) {
  return Tr("cannot write into folder %1: %2", "无法写入文件夹 %1: %2").arg(QDir::toNativeSeparators(folder), reason);
}

// The checks of an output: the file its name leads to, which exists (true)
// as a regular file that may be replaced, or not yet (false) in a folder
// that exists. Raises ECliFailure otherwise.
bool CheckTarget(const QString& path, const QString& target, bool force) {
  if (target.isEmpty()) throw ECliFailure(Tr("cannot write %1: %2", "无法写入 %1: %2").arg(path, SystemReason(ELOOP)));
  struct stat st {};
  if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) throw ECliFailure(NotAFile(path, st.st_mode));
    if (!force) throw ECliFailure(Tr("%1 exists (use --force to replace it)", "%1 已存在(用 --force 覆盖)").arg(path));
    return true;
  }
  const QFileInfo folder(QFileInfo(target).absolutePath());
  if (!folder.isDir())
    throw ECliFailure(Tr("folder %1 does not exist", "文件夹 %1 不存在").arg(QDir::toNativeSeparators(folder.filePath())));
  return false;
}

}  // namespace

void CheckOutputFile(const QString& path, bool force) {
  const QString target = ResolveOutputName(QFileInfo(path).absoluteFilePath());
  CheckTarget(path, target, force);
  const QString folder = QFileInfo(target).absolutePath();
  if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
    throw ECliFailure(CannotWriteInto(folder, SystemReason(errno)));
}

TOutputFile::TOutputFile(const QString& path, bool force)
    : path_(QFileInfo(path).absoluteFilePath()), target_(ResolveOutputName(path_)) {
  if (CheckTarget(path, target_, force)) {
    QString reason;
    writePath_ = CreateSiblingFile(target_, &reason);
    if (writePath_.isEmpty()) throw ECliFailure(CannotWriteInto(QFileInfo(target_).absolutePath(), reason));
    return;
  }
  // Created at once and exclusively: the name is ours from now on.
  QFile file(target_);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
    throw ECliFailure(Tr("cannot write %1: %2", "无法写入 %1: %2").arg(path, SystemReason(errno ? errno : EIO)));
  writePath_ = target_;
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Commit() {
  if (done_) return;
  if (writePath_ != target_ &&
      std::rename(QFile::encodeName(writePath_).constData(), QFile::encodeName(target_).constData()) != 0) {
    const QString reason = SystemReason(errno);
    Discard();
    throw ECliFailure(Tr("cannot save %1: %2", "无法保存 %1: %2").arg(path_, reason));
  }
  done_ = true;
}

void TOutputFile::Discard() {
  if (done_) return;
  QFile::remove(writePath_);
  done_ = true;
}

void CheckInputFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) throw ECliFailure(Tr("%1 not found", "找不到 %1").arg(path));
  if (info.isDir()) throw ECliFailure(Tr("%1 is a folder", "%1 是一个文件夹").arg(path));
  if (!info.isReadable()) throw ECliFailure(Tr("%1 cannot be read", "无法读取 %1").arg(path));
}

bool SameFile(const QString& output, const QString& input) {
  struct stat a {}, b {};
  if (::stat(QFile::encodeName(output).constData(), &a) == 0 && ::stat(QFile::encodeName(input).constData(), &b) == 0)
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return LeadsTo(output) == LeadsTo(input);
}

}  // namespace cli
