#include "app/effectsettings.h"

#include <QSettings>
#include <QString>

namespace {

QSettings EffectsStore() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Effects")); }

constexpr int kDefaultEchoMs = 250;

// The stored whole number under `key` when it lies in low..high, else
// `fallback`.
int Ranged(const QSettings& s, const char* key, int low, int high, int fallback) {
  bool ok = false;
  const int value = s.value(QLatin1String(key), fallback).toInt(&ok);
  return ok && value >= low && value <= high ? value : fallback;
}

}  // namespace

int EchoDelayMs() {
  return Ranged(EffectsStore(), "echoDelayMs", soundcard::kMinEchoMs, soundcard::kMaxEchoMs, kDefaultEchoMs);
}

soundcard::MonitorEffects MonitorEffectsSetting() {
  const QSettings s = EffectsStore();
  const soundcard::MonitorEffects defaults;
  soundcard::MonitorEffects e;
  e.echoMs = s.value(QStringLiteral("echo"), false).toBool() ? EchoDelayMs() : 0;
  e.echoFeedback = Ranged(s, "echoFeedback", 0, 90, defaults.echoFeedback);
  e.echoLevel = Ranged(s, "echoLevel", 0, 100, defaults.echoLevel);
  // Stored by name, so a reordered enumeration reads old settings right;
  // a name ParseReverb does not know reads as no reverb.
  if (!soundcard::ParseReverb(s.value(QStringLiteral("reverb")).toString().toStdString(), e.reverb))
    e.reverb = soundcard::Reverb::Off;
  e.reverbLevel = Ranged(s, "reverbLevel", 0, 100, defaults.reverbLevel);
  e.recorded = s.value(QStringLiteral("recorded"), false).toBool();
  return e;
}

void RememberMonitorEffects(const soundcard::MonitorEffects& e) {
  QSettings s = EffectsStore();
  const bool echo = e.echoMs >= soundcard::kMinEchoMs && e.echoMs <= soundcard::kMaxEchoMs;
  s.setValue(QStringLiteral("echo"), echo);
  if (echo) s.setValue(QStringLiteral("echoDelayMs"), e.echoMs);
  s.setValue(QStringLiteral("echoFeedback"), e.echoFeedback);
  s.setValue(QStringLiteral("echoLevel"), e.echoLevel);
  s.setValue(QStringLiteral("reverb"), QString::fromLatin1(soundcard::NameOf(e.reverb)));
  s.setValue(QStringLiteral("reverbLevel"), e.reverbLevel);
  s.setValue(QStringLiteral("recorded"), e.recorded);
}
