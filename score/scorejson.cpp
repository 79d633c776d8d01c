#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "score/scorer.h"

namespace score {

namespace {

// `value` to `decimals` places, as the nearest double to the decimal, which
// the writer prints in its shortest form ("812.5", never "812.5000000001").
double Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

}  // namespace

std::string ScoreJson(const Result& result) {
  QJsonArray lines;
  for (const LineResult& line : result.lines) {
    QJsonObject o;
    o.insert(QStringLiteral("start_ms"), qint64(line.span.startMs));
    o.insert(QStringLiteral("end_ms"), qint64(line.span.endMs));
    o.insert(QStringLiteral("text"), QString::fromStdString(line.span.text));
    o.insert(QStringLiteral("on_pitch"), Rounded(line.onPitch, 2));
    o.insert(QStringLiteral("points"), Rounded(line.points, 1));
    lines.append(o);
  }
  QJsonObject top;
  top.insert(QStringLiteral("score"), result.score);
  top.insert(QStringLiteral("difficulty"), QString::fromLatin1(NameOf(result.difficulty)));
  top.insert(QStringLiteral("lines"), lines);
  return QJsonDocument(top).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace score
