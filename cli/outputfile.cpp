#include "cli/outputfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/options.h"
#include "cli/texts.h"

namespace cli {

TOutputFile::TOutputFile(const QString& path, bool force) : path_(QFileInfo(path).absoluteFilePath()) {
  const QFileInfo info(path_);
  if (info.isDir()) throw ECliFailure(Tr("%1 is a folder", "%1 是一个文件夹").arg(path));
  if (info.exists() && !force)
    throw ECliFailure(Tr("%1 exists (use --force to replace it)", "%1 已存在(用 --force 覆盖)").arg(path));
  const QFileInfo folder(info.absolutePath());
  if (!folder.isDir())
    throw ECliFailure(Tr("folder %1 does not exist", "文件夹 %1 不存在").arg(QDir::toNativeSeparators(folder.filePath())));
  // The temporary name is hidden, unique and in the same folder (so the
  // rename stays on one file system).
  const QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                               QStringLiteral(".XXXXXX.part"));
  std::string name(pattern.constData(), std::size_t(pattern.size()));
  const int fd = ::mkstemps(name.data(), 5);
  if (fd < 0)
    throw ECliFailure(Tr("cannot write into folder %1: %2", "无法写入文件夹 %1: %2")
                          .arg(QDir::toNativeSeparators(folder.filePath()), QString::fromLocal8Bit(std::strerror(errno))));
  // mkstemps makes the file private; the finished file gets the usual
  // permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temporary_ = QFile::decodeName(QByteArray::fromStdString(name));
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Commit() {
  if (done_) return;
  if (std::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData()) != 0) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    Discard();
    throw ECliFailure(Tr("cannot save %1: %2", "无法保存 %1: %2").arg(path_, reason));
  }
  done_ = true;
}

void TOutputFile::Discard() {
  if (done_) return;
  QFile::remove(temporary_);
  done_ = true;
}

void CheckInputFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) throw ECliFailure(Tr("%1 not found", "找不到 %1").arg(path));
  if (info.isDir()) throw ECliFailure(Tr("%1 is a folder", "%1 是一个文件夹").arg(path));
  if (!info.isReadable()) throw ECliFailure(Tr("%1 cannot be read", "无法读取 %1").arg(path));
}

}  // namespace cli
