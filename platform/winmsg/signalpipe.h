// SIGINT, SIGTERM and SIGHUP (Ctrl+C, `kill`, a closed terminal or a
// logout) as events of the main thread's loop: the handler only writes the
// signal's number into a pipe; a socket notifier reads it in the event loop
// and calls the current function there, where a take can be finished
// safely.
#pragma once

#include <functional>

// Installs the handlers for the rest of the process (main thread, after the
// application object exists) and makes `onSignal` the function a signal
// calls. A later call only replaces the function (and makes a new notifier
// when the application object it belonged to has gone).
void InstallSignalPipe(std::function<void(int signal)> onSignal);
// Calls the function for every signal waiting in the pipe, now.
void DeliverPipedSignals();
