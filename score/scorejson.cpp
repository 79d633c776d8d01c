#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "score/scorer.h"

namespace score {

namespace {

double Rounded(double value, double unit) { return std::round(value / unit) * unit; }

}  // namespace

std::string ScoreJson(const Result& result) {
  QJsonArray lines;
  for (const LineResult& line : result.lines) {
    QJsonObject o;
    o.insert(QStringLiteral("start_ms"), qint64(line.span.startMs));
    o.insert(QStringLiteral("end_ms"), qint64(line.span.endMs));
    o.insert(QStringLiteral("text"), QString::fromStdString(line.span.text));
    o.insert(QStringLiteral("on_pitch"), Rounded(line.onPitch, 0.01));
    o.insert(QStringLiteral("points"), Rounded(line.points, 0.1));
    lines.append(o);
  }
  QJsonObject top;
  top.insert(QStringLiteral("score"), result.score);
  top.insert(QStringLiteral("difficulty"), QString::fromLatin1(NameOf(result.difficulty)));
  top.insert(QStringLiteral("lines"), lines);
  return QJsonDocument(top).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace score
