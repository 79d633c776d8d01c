// The lyrics' remembered settings: the text encoding the user chose and
// where the lyrics window was. Kept with the program's other settings.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

// The encodings the user can choose, by the names the reader takes; the
// empty name means "detect it".
QStringList LyricsEncodings();
// The chosen one ("" until one is chosen, or after an unknown one).
QString LyricsEncoding();
void RememberLyricsEncoding(const QString& encoding);

// The lyrics window's place and size on the desktop; an empty rectangle
// when none is remembered.
QRect LyricsWindowGeometry();
void RememberLyricsWindowGeometry(const QRect& geometry);
