#pragma once

#include <QFont>

// The windows' font. The layouts were drawn for SimSun ("宋体"); where it is
// not installed the family list falls back to an installed CJK face, so the
// Chinese captions render at the same size.
QFont SimSunFont(qreal pointSize = 9);

// The same family list at a size in pixels (for windows laid out that way).
QFont SimSunPixelFont(int pixelSize);
