// The sub-commands. Each takes the arguments after its name, runs on the
// QCoreApplication's event loop and returns the exit code, or raises
// ECliUsage / ECliFailure.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "lyrics/lyrics.h"
#include "score/scorer.h"

namespace cli {

int RunRecord(const QStringList& args);
int RunConvert(const QStringList& args);
int RunPlay(const QStringList& args);
int RunDevices(const QStringList& args);
int RunLyrics(const QStringList& args);
int RunScore(const QStringList& args);

struct TParsedArgs;

// The --encoding option's text encoding, checked before any file is read
// (ECliUsage when the system does not know it); empty when not given.
std::string EncodingOption(const TParsedArgs& p);
// --difficulty (normal when not given) and --channel 1..16 (-1 when not
// given: the melody is found), checked before any file is read.
score::Difficulty DifficultyOption(const TParsedArgs& p);
int MelodyChannelOption(const TParsedArgs& p);

// The lyrics of a song file named on the command line (empty when it has
// none); `encoding` empty: detected. Raises ECliFailure when the file
// cannot be read.
lyrics::Lyrics ReadSongLyrics(const QString& song, const std::string& encoding = {});

class TOutputFile;

// Converts one WAV file into `output` (written at its WritePath and
// committed when complete) at `bitrate` kbit/s with the window's encoder
// component, calling `progress` with the percentage after every chunk.
// When `interrupted` becomes true (a signal seen in the event loop the
// conversion keeps running) the conversion stops after the current chunk.
// Raises ECliFailure with the reason (a full disk named as such, with the
// MP3's name); the output is then discarded. With `words`, the MP3 is
// tagged with them (title `fallbackTitle` when they name none) before it
// takes its name; when only the tagging fails, the MP3 is kept untagged
// and ECliFailure says so.
void ConvertToMp3(const QString& input, TOutputFile& output, int bitrate,
                  const std::function<void(int percent)>& progress, const bool& interrupted,
                  const lyrics::Lyrics& words = {}, const QString& fallbackTitle = {});

}  // namespace cli
