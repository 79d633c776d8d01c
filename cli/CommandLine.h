// The tunelark binary's sub-commands: record, convert, play and devices,
// without a window, on a QCoreApplication event loop.
#pragma once

// True when the first argument names a sub-command (or asks for help);
// anything else starts the window.
bool IsCommandLine(int argc, char** argv);
// Runs the sub-command and returns the exit code: 0 done, 1 failed (one
// line on stderr says why), 2 bad usage.
int RunCommandLine(int argc, char** argv);
