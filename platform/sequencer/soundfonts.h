// The General MIDI soundfonts the sequencer can use: those installed in the
// usual folders, the default choice among them, and the user's remembered
// choice (kept in the user's settings, as a system setting would be).
#pragma once

#include <string>
#include <vector>

namespace sequencer {

// Every .sf2/.sf3 file in the system's and the user's soundfont folders,
// each file once (links resolved), best-sounding defaults first.
std::vector<std::string> InstalledSoundfonts();
// The best installed General MIDI soundfont: MuseScore General (Lite), then
// TimGM6mb, then the system's default-GM soundfont; "" when there is none.
std::string DefaultSoundfont();
// What the synthesizer loads, first that exists of: TUNELARK_SOUNDFONT, the
// remembered choice, DefaultSoundfont(), any installed soundfont.
std::vector<std::string> SoundfontCandidates();
std::string RememberedSoundfont();
// Remembers `path` ("" forgets the choice).
void RememberSoundfont(const std::string& path);

}  // namespace sequencer
