#include "app/filenames.h"

#include <QFile>

std::string ComponentFileName(const QString& path) { return QFile::encodeName(path).toStdString(); }
