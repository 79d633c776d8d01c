#include "mp3/SiblingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// The system follows at most 40 links in one name.
constexpr int kMaxLinks = 40;
constexpr int kRandomChars = 6;
constexpr int kAttempts = 100;

// `bytes` cut to at most `limit` bytes without splitting a UTF-8 sequence.
QByteArray CutUtf8(const QByteArray& bytes, qsizetype limit) {
  if (bytes.size() <= limit) return bytes;
  qsizetype n = std::max<qsizetype>(limit, 0);
  while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
  return bytes.left(n);
}

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

QString ResolveOutputName(const QString& path) {
  QString name = QFileInfo(path).absoluteFilePath();
  for (int i = 0; i < kMaxLinks; ++i) {
    const QFileInfo info(name);
    if (!info.isSymLink()) return name;
    name = info.symLinkTarget();  // absolute, whether or not it exists
  }
  return {};
}

QString CreateSiblingFile(const QString& path, QString* error) {
  const QFileInfo info(path);
  const QDir folder(info.absolutePath());
  const QString fileName = info.fileName();
  // The extension is kept so that the file is recognised for what it is; a
  // dot that starts the name begins no extension.
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  const QByteArray base = QFile::encodeName(dot > 0 ? fileName.left(dot) : fileName);
  const QByteArray extension = QFile::encodeName(dot > 0 ? fileName.mid(dot) : QString());
  const QByteArray marker = ".new-";
  // A name of at most NAME_MAX bytes; the folder, a slash, the name and the
  // terminating zero within PATH_MAX.
  const qsizetype folderBytes = QFile::encodeName(folder.absolutePath()).size();
  const qsizetype room = std::min<qsizetype>(NAME_MAX, PATH_MAX - folderBytes - 2);
  const QByteArray head = CutUtf8(base, room - marker.size() - kRandomChars - extension.size());
  if (head.isEmpty() && !base.isEmpty()) {
    if (error) *error = SystemReason(ENAMETOOLONG);
    errno = ENAMETOOLONG;
    return {};
  }
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    QByteArray name = head + marker;
    for (int i = 0; i < kRandomChars; ++i) name += kChars[QRandomGenerator::global()->bounded(62)];
    name += extension;
    const QString candidate = folder.filePath(QFile::decodeName(name));
    QFile file(candidate);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      // What replaces a file gets its permissions.
      if (info.exists()) file.setPermissions(info.permissions());
      return candidate;
    }
    const int failed = errno;  // the checks below may change it
    if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink()) continue;  // taken: another name
    if (error) *error = file.errorString();
    errno = failed;
    return {};
  }
  if (error) *error = SystemReason(EEXIST);
  errno = EEXIST;
  return {};
}
