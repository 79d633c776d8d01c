// Where an output file is really written, and the visible temporary file
// beside it that replaces an older file only once the new one is complete.
// Shared by the MP3 conversion and the command line's takes.
#pragma once

#include <QString>

// The file an output name leads to: for a symbolic link (or a chain of
// them) the file it points to, which need not exist yet; the absolute name
// itself otherwise. Writing there keeps the link, as a shell's redirection
// does. Empty when the links loop or go too deep.
QString ResolveOutputName(const QString& path);

// Creates, exclusively and empty, a visible temporary file in the folder of
// `path`, named after it with the same extension ("take.new-k3J9aQ.wav").
// The name fits the file system's limit on a name (NAME_MAX bytes) and the
// whole path fits PATH_MAX whenever `path` does: the base name is shortened,
// at a character boundary, as far as needed. It gets the permissions of
// the file at `path`, when there is one. Returns the new file's name,
// or an empty string with `error` set to the system's reason (and errno to
// its number).
QString CreateSiblingFile(const QString& path, QString* error);
