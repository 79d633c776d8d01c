// The end of a session as the window sees it: SIGTERM (shutdown, `kill`),
// SIGHUP (logout, the terminal closing) and SIGINT (Ctrl+C in the terminal
// that started the program) ask the program to quit. The handler only
// writes the signal's number into a pipe; a socket notifier reads it in the
// event loop and calls the quit function there, where a take can be
// finished safely.
#pragma once

#include <functional>

// Installs the handlers for the rest of the process and makes `onQuit` the
// quit function (main thread, after the application object exists). A
// second call only replaces the function.
void InstallQuitSignals(std::function<void(int signal)> onQuit);
