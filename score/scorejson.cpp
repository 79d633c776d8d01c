#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QSaveFile>
#include <cmath>

#include "score/scoreerror.h"
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

void SaveScore(const std::string& path, const Result& result) {
  QSaveFile file(QFile::decodeName(path.c_str()));
  const std::string json = ScoreJson(result) + "\n";
  if (!file.open(QIODevice::WriteOnly) || file.write(json.data(), qint64(json.size())) != qint64(json.size()) ||
      !file.commit())
    throw EScoreError(file.errorString().toStdString());
}

}  // namespace score
