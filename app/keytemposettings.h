// The key and tempo remembered for each song, by the song file's content
// (renamed or copied, it is the same song). Kept with the program's other
// settings; a song at the defaults has no entry.
#pragma once

#include <QString>

#include "platform/sequencer/keytempo.h"

// The SHA-1 of the bytes of the regular file `path`, in hex; empty when it
// is no regular file or cannot be read (a pipe is never read twice).
QString SongContentHash(const QString& path);

// What is remembered for the song of `hash` (the defaults when nothing, or
// when `hash` is empty); a value edited out of range is brought into it.
sequencer::KeyTempo RememberedKeyTempo(const QString& hash);
// Remembers `kt` for the song of `hash`; the defaults remove its entry.
// Nothing when `hash` is empty.
void RememberKeyTempo(const QString& hash, const sequencer::KeyTempo& kt);
