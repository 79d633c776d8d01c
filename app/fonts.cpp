#include "app/fonts.h"

#include <QStringList>

namespace {

// SimSun under its Latin and its Chinese name first, then the CJK faces a
// Debian system gets from fonts-noto-cjk or fonts-wqy-*. The sans face comes
// before the serif one: at 12 pixels it is the more legible of the two.
QStringList SimSunFamilies() {
  return {"SimSun", QStringLiteral("宋体"), "NSimSun", "Noto Sans CJK SC",
          "Noto Serif CJK SC", "WenQuanYi Zen Hei", "WenQuanYi Micro Hei"};
}

QFont BaseFont() {
  QFont font;
  font.setFamilies(SimSunFamilies());
  font.setStyleHint(QFont::AnyStyle, QFont::PreferAntialias);
  return font;
}

}  // namespace

QFont SimSunFont(qreal pointSize) {
  QFont font = BaseFont();
  font.setPointSizeF(pointSize);
  return font;
}

QFont SimSunPixelFont(int pixelSize) {
  QFont font = BaseFont();
  font.setPixelSize(pixelSize);
  return font;
}
