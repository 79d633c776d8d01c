#pragma once

// Starts the application, creates its windows, runs the message loop until
// the main window closes and returns the exit code.
int RunTunelark(int argc, char** argv);
