#include "app/timelabels.h"

#include <QLabel>

void CountSecond(QLabel* minutes, QLabel* seconds) {
  const int s = seconds->text().toInt() + 1;
  if (s == 60) {
    seconds->setText(QStringLiteral("0"));
    minutes->setText(QString::number(minutes->text().toInt() + 1));
  } else {
    seconds->setText(QString::number(s));
  }
}
