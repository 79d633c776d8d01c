// Opening an accompaniment for the command line: through the media player
// control the window uses, waiting until its sound is ready so that it
// starts at once when played.
#pragma once

#include <QString>

class TMediaPlayer;

namespace cli {

// Opens `path` in `player` (time in milliseconds) and waits for the
// synthesizer and the device's data. Raises ECliFailure with the reason.
void OpenAccompaniment(TMediaPlayer& player, const QString& path);

}  // namespace cli
