#include "app/keytemposettings.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {

QSettings SongsStore() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Songs")); }

QString Group(const QString& hash) { return QStringLiteral("KeyTempo/") + hash; }

}  // namespace

QString SongContentHash(const QString& path) {
  if (!QFileInfo(path).isFile()) return {};
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha1);
  if (!hash.addData(&file)) return {};
  return QString::fromLatin1(hash.result().toHex());
}

sequencer::KeyTempo RememberedKeyTempo(const QString& hash) {
  if (hash.isEmpty()) return {};
  QSettings s = SongsStore();
  s.beginGroup(Group(hash));
  bool keyOk = false, tempoOk = false;
  sequencer::KeyTempo kt;
  const int key = s.value(QStringLiteral("key"), 0).toInt(&keyOk);
  const int tempo = s.value(QStringLiteral("tempo"), 100).toInt(&tempoOk);
  if (keyOk) kt.key = key;
  if (tempoOk) kt.tempo = tempo;
  return kt.Clamped();
}

void RememberKeyTempo(const QString& hash, const sequencer::KeyTempo& kt) {
  if (hash.isEmpty()) return;
  QSettings s = SongsStore();
  if (kt.IsDefault()) {
    s.remove(Group(hash));
    return;
  }
  s.beginGroup(Group(hash));
  s.setValue(QStringLiteral("key"), kt.key);
  s.setValue(QStringLiteral("tempo"), kt.tempo);
}
