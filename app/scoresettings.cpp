#include "app/scoresettings.h"

#include <QSettings>
#include <QString>

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Score")); }

}  // namespace

bool KeepVoice() { return Settings().value(QStringLiteral("keepVoice"), true).toBool(); }

void RememberKeepVoice(bool keep) { Settings().setValue(QStringLiteral("keepVoice"), keep); }

// Stored by name, so a reordered enumeration reads old settings right.
score::Difficulty Difficulty() {
  score::Difficulty d = score::Difficulty::Normal;  // kept by a name ParseDifficulty does not know
  score::ParseDifficulty(Settings().value(QStringLiteral("difficulty")).toString().toStdString(), d);
  return d;
}

void RememberDifficulty(score::Difficulty difficulty) {
  Settings().setValue(QStringLiteral("difficulty"), QString::fromLatin1(score::NameOf(difficulty)));
}

int MelodyChannel() {
  bool ok = false;
  const int channel = Settings().value(QStringLiteral("melodyChannel"), -1).toInt(&ok);
  return ok && channel >= 0 && channel <= 15 ? channel : -1;
}

void RememberMelodyChannel(int channel) {
  Settings().setValue(QStringLiteral("melodyChannel"), channel >= 0 && channel <= 15 ? channel : -1);
}
