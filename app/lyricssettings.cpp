#include "app/lyricssettings.h"

#include <QSettings>

namespace {

QSettings LyricsStore() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Lyrics")); }

}  // namespace

QStringList LyricsEncodings() {
  return {QString(), QStringLiteral("UTF-8"), QStringLiteral("GB18030"), QStringLiteral("Big5"),
          QStringLiteral("Shift_JIS"), QStringLiteral("ISO-8859-1")};
}

QString LyricsEncoding() {
  const QString chosen = LyricsStore().value(QStringLiteral("encoding")).toString();
  return LyricsEncodings().contains(chosen) ? chosen : QString();
}

void RememberLyricsEncoding(const QString& encoding) {
  LyricsStore().setValue(QStringLiteral("encoding"), encoding);
}

QRect LyricsWindowGeometry() { return LyricsStore().value(QStringLiteral("geometry")).toRect(); }

void RememberLyricsWindowGeometry(const QRect& geometry) {
  LyricsStore().setValue(QStringLiteral("geometry"), geometry);
}
