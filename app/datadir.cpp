#include "app/datadir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString ProgramDataPath(const QString& relative, const QString& programDir) {
  const QDir dir(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir);
  const QString beside = dir.filePath(relative);
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(dir.filePath(QStringLiteral("../share/tunelark/") + relative));
  if (QFileInfo::exists(installed)) return installed;
  return beside;
}
