// The program's entry point: the window when the arguments ask for it and
// there is a display; the command line otherwise, which also refuses
// unknown commands and options before any window is tried (start-up lives
// in the app library so that the GUI tests can run it too).
#include "app/Tunelark.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
  if (const int bad = TakeLanguageOption(argc, argv)) return bad;
  if (StartsWindow(argc, argv)) return RunTunelark(argc, argv);
  return RunCommandLine(argc, argv);
}
