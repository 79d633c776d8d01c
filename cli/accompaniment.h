// Opening an accompaniment for the command line: through the media player
// control the window uses, waiting until its sound is ready so that it
// starts at once when played.
#pragma once

#include <QString>

#include "platform/sequencer/keytempo.h"

class TMediaPlayer;

namespace cli {

struct TParsedArgs;

// The options --key N (semitones, -12 to 12) and --tempo P (percent, 50 to
// 200) as given, the defaults for those not given; ECliUsage when one is
// no whole number in its range. The command line plays an accompaniment
// at what it is told, never at what the window remembers for the song, so
// that a script's take does not depend on the singer's last session.
sequencer::KeyTempo KeyTempoOptions(const TParsedArgs& parsed);
bool HasKeyTempoOptions(const TParsedArgs& parsed);

// Opens `path` in `player` (time in milliseconds, heard at `kt`) and waits
// for the synthesizer and the device's data, which are then ready at that
// key and tempo. Raises ECliFailure with the reason.
void OpenAccompaniment(TMediaPlayer& player, const QString& path, const sequencer::KeyTempo& kt = {});

}  // namespace cli
