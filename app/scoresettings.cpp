#include "app/scoresettings.h"

#include <QSettings>
#include <QString>

namespace {

QSettings ScoreStore() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Score")); }

}  // namespace

bool KeepVoice() { return ScoreStore().value(QStringLiteral("keepVoice"), true).toBool(); }

void RememberKeepVoice(bool keep) { ScoreStore().setValue(QStringLiteral("keepVoice"), keep); }

// Stored by name, so a reordered enumeration reads old settings right.
score::Difficulty Difficulty() {
  score::Difficulty d = score::Difficulty::Normal;  // kept by a name ParseDifficulty does not know
  score::ParseDifficulty(ScoreStore().value(QStringLiteral("difficulty")).toString().toStdString(), d);
  return d;
}

void RememberDifficulty(score::Difficulty difficulty) {
  ScoreStore().setValue(QStringLiteral("difficulty"), QString::fromLatin1(score::NameOf(difficulty)));
}

int MelodyChannel() {
  bool ok = false;
  const int channel = ScoreStore().value(QStringLiteral("melodyChannel"), -1).toInt(&ok);
  return ok && channel >= 0 && channel <= 15 ? channel : -1;
}

void RememberMelodyChannel(int channel) {
  ScoreStore().setValue(QStringLiteral("melodyChannel"), channel >= 0 && channel <= 15 ? channel : -1);
}
