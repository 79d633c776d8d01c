// The tunelark binary's sub-commands: record, convert, play and devices,
// without a window, on a QCoreApplication event loop; and what the
// arguments ask for before any window is tried.
#pragma once

// True when the arguments ask for the window (none, or one file for it to
// open) and there is a display to show it on. Anything else goes to
// RunCommandLine.
bool StartsWindow(int argc, char** argv);
// Takes "--lang zh|en" (or "--lang=en") out of the arguments, wherever it
// is, and makes it the language of the window or the command; returns 2
// after saying so for another value, else 0.
int TakeLanguageOption(int& argc, char** argv);
// Runs a sub-command or the help, or refuses what StartsWindow did not
// take, and returns the exit code: 0 done, 1 failed (one line on stderr
// says why; also a window without a display), 2 bad usage (an unknown
// command or option, with the usage).
int RunCommandLine(int argc, char** argv);
