#pragma once

#include <QString>

// Where the program's own files are (the help pages, the demo
// accompaniment): beside the executable in the build tree, in
// share/tunelark beside its bin/ folder when installed. Returns the first
// of those that exists, else the path beside the executable (which the
// caller may use as it is, for example as a dialog's starting folder).
// `programDir` defaults to the running executable's folder.
QString ProgramDataPath(const QString& relative, const QString& programDir = QString());
