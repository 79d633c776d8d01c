// Control of the media control service beyond its commands: the
// synthesizer's soundfont, and waits that let tests and the command line
// know the devices are settled.
#pragma once

#include <string>

class QWidget;
class QString;

namespace sequencer {

// Starts loading the soundfont on a helper thread (at most once); the
// program calls it once its window is shown.
void StartSoundfontLoading();
// Waits until the synthesizer has its soundfont and every open device has
// its data ready (instruments loaded, wave buffers filled); false on
// timeout or when no soundfont could be loaded while a sequencer is open.
bool WaitDevicesSettled(int timeoutMs);
// The soundfont the synthesizer uses ("" until one is loaded).
std::string SoundfontInUse();

// The MIDI device sheet: lists the installed soundfonts, lets the user
// choose another .sf2/.sf3 file, remembers the choice and loads it.
// Returns true when the dialog was shown.
bool ShowSoundfontDialog(QWidget* parent, const QString& title);

}  // namespace sequencer
