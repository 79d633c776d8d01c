// The program's entry point: a sub-command runs the command line without a
// window; anything else starts the window (start-up lives in the app library
// so that the GUI tests can run it too).
#include "app/Tunelark.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
  if (IsCommandLine(argc, argv)) return RunCommandLine(argc, argv);
  return RunTunelark(argc, argv);
}
