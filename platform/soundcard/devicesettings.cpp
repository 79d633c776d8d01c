#include "platform/soundcard/devicesettings.h"

#include <QSettings>
#include <QString>
#include <algorithm>

namespace soundcard {

namespace {

// The choice lives where a desktop keeps its own settings.
QSettings settings() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("SoundCard")); }
const QString kOffsetKey = QStringLiteral("latencyOffsetMs");

}  // namespace

bool RememberedDevices(std::string* input, std::string* output) {
  QSettings s = settings();
  if (!s.contains(QStringLiteral("output"))) return false;
  *input = s.value(QStringLiteral("input")).toString().toStdString();
  *output = s.value(QStringLiteral("output")).toString().toStdString();
  return true;
}

void RememberDevices(const std::string& input, const std::string& output) {
  QSettings s = settings();
  s.setValue(QStringLiteral("input"), QString::fromStdString(input));
  s.setValue(QStringLiteral("output"), QString::fromStdString(output));
}

bool RememberedLatencyOffsetMs(int* ms) {
  QSettings s = settings();
  if (!s.contains(kOffsetKey)) return false;
  bool ok = false;
  const int v = s.value(kOffsetKey).toInt(&ok);
  if (!ok) return false;
  *ms = std::clamp(v, -kLatencyOffsetLimitMs, kLatencyOffsetLimitMs);
  return true;
}

void RememberLatencyOffsetMs(int ms) {
  settings().setValue(kOffsetKey, std::clamp(ms, -kLatencyOffsetLimitMs, kLatencyOffsetLimitMs));
}

}  // namespace soundcard
