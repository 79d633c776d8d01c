// The audio and file components report in their fixed English texts. Shown
// to the singer, each line that is one of those texts is kept word for word
// and followed by a line in the interface's language (in English nothing is
// added); the other lines (a file's name and the system's reason, already in
// that language) are kept.
#pragma once

#include <QString>

namespace language {

QString Message(const QString& text);

}  // namespace language
