#include "app/scoresettings.h"

#include <QSettings>
#include <QString>

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Score")); }

// Stored by name, so a reordered enumeration reads old settings right.
constexpr struct {
  score::Difficulty difficulty;
  const char* name;
} kDifficulties[] = {
    {score::Difficulty::Easy, "easy"}, {score::Difficulty::Normal, "normal"}, {score::Difficulty::Hard, "hard"}};

}  // namespace

bool KeepVoice() { return Settings().value(QStringLiteral("keepVoice"), true).toBool(); }

void RememberKeepVoice(bool keep) { Settings().setValue(QStringLiteral("keepVoice"), keep); }

score::Difficulty Difficulty() {
  const QString name = Settings().value(QStringLiteral("difficulty")).toString();
  for (const auto& d : kDifficulties)
    if (name == QLatin1String(d.name)) return d.difficulty;
  return score::Difficulty::Normal;
}

void RememberDifficulty(score::Difficulty difficulty) {
  for (const auto& d : kDifficulties)
    if (d.difficulty == difficulty) Settings().setValue(QStringLiteral("difficulty"), QString::fromLatin1(d.name));
}

int MelodyChannel() {
  bool ok = false;
  const int channel = Settings().value(QStringLiteral("melodyChannel"), -1).toInt(&ok);
  return ok && channel >= 0 && channel <= 15 ? channel : -1;
}

void RememberMelodyChannel(int channel) {
  Settings().setValue(QStringLiteral("melodyChannel"), channel >= 0 && channel <= 15 ? channel : -1);
}
