// The program's entry point: start-up lives in the app library so that the
// GUI tests can run it too.
#include "app/Tunelark.h"

int main(int argc, char** argv) { return RunTunelark(argc, argv); }
